#include "shell/ShellRules.h"

namespace tamsel {

bool ShowOnStart(int argCount, std::wstring_view tail)
{
    return !(argCount > 1 && tail == L"-h");
}

std::wstring_view CommandLineTail(std::wstring_view cmd)
{
    size_t i = 0;
    if (!cmd.empty() && cmd[0] == L'"') {
        i = cmd.find(L'"', 1);
        i = (i == std::wstring_view::npos) ? cmd.size() : i + 1;
    } else {
        while (i < cmd.size() && cmd[i] != L' ' && cmd[i] != L'\t')
            ++i;
    }
    while (i < cmd.size() && (cmd[i] == L' ' || cmd[i] == L'\t'))
        ++i;
    return cmd.substr(i);
}

int OsLevelFromVersion(unsigned major, unsigned minor)
{
    if (major < 5 || (major == 5 && minor == 0))
        return 0;
    if (major == 5)
        return 1;
    if (major == 6 && minor == 0)
        return 2;
    return 3;
}

bool IdleExpired(uint32_t now, uint32_t lastActivity, int idleTimeMode)
{
    const uint32_t limit = static_cast<uint32_t>(idleTimeMode) * kIdleUnitMs;
    return static_cast<uint32_t>(now - lastActivity) > limit;
}

int RotationCodeForKey(unsigned vk, bool ctrlHeld, bool altHeld)
{
    if (!ctrlHeld || !altHeld)
        return 0;
    switch (vk) {
    case kVkUp: return 1;
    case kVkRight: return 2;
    case kVkDown: return 3;
    case kVkLeft: return 4;
    default: return 0;
    }
}

bool HwKeyFilter::OnKeyEvent(unsigned vk, unsigned keyMessage, uint32_t hwKeyCode, uint32_t now)
{
    if (hwKeyCode == 0 || vk != hwKeyCode || keyMessage != kWmKeyUp)
        return false;
    const bool fire = static_cast<uint32_t>(now - m_lastRelease) > kHwKeyDebounceMs;
    m_lastRelease = now;
    return fire;
}

} // namespace tamsel

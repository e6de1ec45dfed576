// Decisions of the application shell that need no window: the start-up command
// line, the Windows generation, the idle rule and the hardware-key hook rules.
#pragma once

#include <cstdint>
#include <string_view>

namespace tamsel {

// The window starts hidden only for exactly one argument "-h"; the tail is the
// command line after the program name, with leading blanks already skipped.
bool ShowOnStart(int argCount, std::wstring_view tail);

// Skips the program name (quoted or not) and the blanks after it.
std::wstring_view CommandLineTail(std::wstring_view commandLine);

// 0 unsupported (before XP), 1 XP / Server 2003, 2 Vista, 3 Windows 7 or later.
int OsLevelFromVersion(unsigned major, unsigned minor);

constexpr unsigned kIdleTimerId = 1;
constexpr unsigned kIdleTimerPeriodMs = 10000;
constexpr uint32_t kIdleUnitMs = 300000;

// True once more than idleTimeMode * 5 minutes have passed since the last
// activity. Ticks wrap after 49.7 days; unsigned subtraction keeps that harmless.
bool IdleExpired(uint32_t now, uint32_t lastActivity, int idleTimeMode);

constexpr uint32_t kHwKeyDebounceMs = 1000;
constexpr unsigned kVkControl = 0x11, kVkMenu = 0x12;
constexpr unsigned kVkLeft = 0x25, kVkUp = 0x26, kVkRight = 0x27, kVkDown = 0x28;
constexpr unsigned kWmKeyUp = 0x101;

// Rotation code (1..4) for Ctrl+Alt+arrow, 0 when the event is no rotation key.
int RotationCodeForKey(unsigned vk, bool ctrlHeld, bool altHeld);

// The hardware snapshot key: releases only, and a release that follows the
// previous release by 1000 ms or less is dropped (the dropped one still counts
// as the previous release).
class HwKeyFilter {
public:
    // One keyboard event; true when it asks for a snapshot.
    bool OnKeyEvent(unsigned vk, unsigned keyMessage, uint32_t hwKeyCode, uint32_t now);

private:
    uint32_t m_lastRelease = 0;
};

} // namespace tamsel

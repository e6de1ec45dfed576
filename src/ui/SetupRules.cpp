#include "ui/SetupRules.h"

#include <cstddef>

#include "resources/resource.h"

namespace tamsel {

namespace {

struct Option {
    int id;
    int value;
};

const Option kCameras[] = {{IDC_SETUP_CAMERA1, 0}, {IDC_SETUP_CAMERA2, 1}, {IDC_SETUP_CAMERA3, 2}};
const Option kResolutions[] = {
    {IDC_SETUP_RES_VGA, 1}, {IDC_SETUP_RES_SVGA, 2}, {IDC_SETUP_RES_XVGA, 3}, {IDC_SETUP_RES_NATIVE, 4}};
const Option kPreviewSizes[] = {{IDC_SETUP_PREVIEW_SMALL, 0}, {IDC_SETUP_PREVIEW_LARGE, 1}};
const Option kIdleTimes[] = {{IDC_SETUP_IDLE_5, 1},  {IDC_SETUP_IDLE_10, 2}, {IDC_SETUP_IDLE_15, 3},
                             {IDC_SETUP_IDLE_20, 4}, {IDC_SETUP_IDLE_30, 6}};

template <std::size_t N>
const Option* Find(const Option (&options)[N], int id)
{
    for (const Option& o : options)
        if (o.id == id)
            return &o;
    return nullptr;
}

// The selected option stays "on" when pressed; the others show "off" and
// light up while pressed. A value no option has leaves every face alone.
template <std::size_t N>
std::vector<SetupButtonFaces> Selection(const Option (&options)[N], int value)
{
    bool matched = false;
    for (const Option& o : options)
        matched = matched || o.value == value;
    std::vector<SetupButtonFaces> faces;
    if (!matched)
        return faces;
    for (const Option& o : options) {
        if (o.value == value)
            faces.push_back({o.id, SetupFace::On, SetupFace::On});
        else
            faces.push_back({o.id, SetupFace::Off, SetupFace::On});
    }
    return faces;
}

// An on/off pair: the button of the current state stays "on".
std::vector<SetupButtonFaces> Pair(int onId, int offId, bool on)
{
    const SetupButtonFaces current{0, SetupFace::On, SetupFace::On};
    const SetupButtonFaces other{0, SetupFace::Off, SetupFace::On};
    SetupButtonFaces onButton = on ? current : other, offButton = on ? other : current;
    onButton.id = onId;
    offButton.id = offId;
    return {onButton, offButton};
}

std::vector<SetupButtonFaces> Cameras(const SetupModel& m)
{
    std::vector<SetupButtonFaces> faces;
    for (const Option& o : kCameras) {
        SetupButtonFaces f{o.id, SetupFace::Off, SetupFace::Off};
        if (o.value < m.m_nDevCount)
            f.normal = SetupFace::On; // attached: flips to "off" while pressed
        if (o.value == m.m_nCurDev)
            f = {o.id, SetupFace::On, SetupFace::On};
        faces.push_back(f);
    }
    return faces;
}

} // namespace

std::vector<SetupButtonFaces> SetupGroupFaces(const SetupModel& m, SetupGroup group)
{
    switch (group) {
    case SetupGroup::Camera: return Cameras(m);
    case SetupGroup::Resolution: return Selection(kResolutions, m.m_nResolution);
    case SetupGroup::Preview: return Selection(kPreviewSizes, m.m_nPreviewSize);
    case SetupGroup::Idle: return Selection(kIdleTimes, m.m_nIdleTime);
    case SetupGroup::Flash: return Pair(IDC_SETUP_FLASH_ON, IDC_SETUP_FLASH_OFF, m.m_bFlash);
    case SetupGroup::Geotag: {
        auto faces = Pair(IDC_SETUP_GEOTAG_ON, IDC_SETUP_GEOTAG_OFF, m.m_bGeotagging);
        faces.push_back({IDC_SETUP_GEOTAG_SET, SetupFace::On, SetupFace::On});
        return faces;
    }
    case SetupGroup::None: break;
    }
    return {};
}

SetupPress PressSetupButton(SetupModel& m, int id)
{
    SetupPress press;
    if (id == IDC_SETUP_CLOSE) {
        press.action = SetupAction::Close;
    } else if (const Option* camera = Find(kCameras, id)) {
        if (!m.m_bBusy && m.m_nDevCount > camera->value && m.m_nCurDev != camera->value)
            press = {SetupAction::SelectCamera, camera->value};
    } else if (const Option* res = Find(kResolutions, id)) {
        if (!m.m_bBusy && m.m_nResolution != res->value)
            press = {SetupAction::SetResolution, res->value};
    } else if (const Option* size = Find(kPreviewSizes, id)) {
        if (!m.m_bBusy && m.m_nPreviewSize != size->value)
            press = {SetupAction::SetPreviewSize, size->value};
    } else if (id == IDC_SETUP_GEOTAG_ON) {
        if (!m.m_bBusy && !m.m_bGeotagging)
            press.action = SetupAction::GpsStart;
    } else if (id == IDC_SETUP_GEOTAG_OFF) {
        if (!m.m_bBusy && m.m_bGeotagging)
            press.action = SetupAction::GpsStop;
    } else if (const Option* idle = Find(kIdleTimes, id)) {
        if (m.m_nIdleTime != idle->value) {
            m.m_nIdleTime = idle->value;
            press = {SetupAction::SetIdleTime, idle->value, SetupGroup::Idle};
        }
    } else if (id == IDC_SETUP_FLASH_ON || id == IDC_SETUP_FLASH_OFF) {
        m.m_bFlash = id == IDC_SETUP_FLASH_ON;
        press = {SetupAction::SetFlash, m.m_bFlash ? 1 : 0, SetupGroup::Flash};
    } else if (id == IDC_SETUP_GEOTAG_SET) {
        press.action = SetupAction::OpenGpsPort;
    } else if (id == IDC_SETUP_APP_DESCRIPTION) {
        press.action = SetupAction::OpenDescription;
    } else if (id == IDC_SETUP_USER_MANUAL) {
        press.action = SetupAction::OpenManual;
    }
    // These three wait for the main window's answer.
    if (press.action == SetupAction::SelectCamera || press.action == SetupAction::SetResolution ||
        press.action == SetupAction::SetPreviewSize)
        m.m_bBusy = true;
    return press;
}

SetupAnswer ApplySetupResult(SetupModel& m, long code, long value)
{
    SetupAnswer answer;
    switch (code) {
    case 1:
        m.m_nCurDev = static_cast<int>(value);
        answer.refresh = SetupGroup::Camera;
        break;
    case 2:
        m.m_nResolution = static_cast<int>(value);
        answer.refresh = SetupGroup::Resolution;
        break;
    case 3:
        m.m_nPreviewSize = static_cast<int>(value);
        answer.refresh = SetupGroup::Preview;
        break;
    case 4:
        m.m_bGeotagging = value != 0;
        answer.refresh = SetupGroup::Geotag;
        break;
    case 6:
        answer.error = value == 1 ? SetupError::Device : SetupError::Resolution;
        break;
    default:
        break;
    }
    return answer;
}

const wchar_t* SetupErrorText(SetupError error)
{
    switch (error) {
    case SetupError::Device: return L"Change device error !!";
    case SetupError::Resolution: return L"Change resolution error !!";
    case SetupError::None: break;
    }
    return nullptr;
}

std::wstring UserManualPath(std::wstring_view modulePath)
{
    const size_t slash = modulePath.find_last_of(L'\\');
    // A folder is on a drive (C:\...) or a share (\\server\...), never a
    // name relative to the current folder.
    const bool drive = modulePath.size() > 2 && modulePath[1] == L':' && modulePath[2] == L'\\';
    const bool share = modulePath.size() > 2 && modulePath[0] == L'\\' && modulePath[1] == L'\\';
    if (slash == std::wstring_view::npos || (!drive && !share))
        return {};
    return std::wstring(modulePath.substr(0, slash + 1)) + L"User Manual.pdf";
}

} // namespace tamsel

#include "ui/SetupRules.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "resources/resource.h"

namespace tamsel {
namespace {

constexpr SetupFace On = SetupFace::On, Off = SetupFace::Off;
using Faces = std::map<int, std::pair<SetupFace, SetupFace>>; // id -> normal, pressed

Faces FacesOf(const SetupModel& m, SetupGroup g)
{
    Faces out;
    for (const SetupButtonFaces& f : SetupGroupFaces(m, g))
        EXPECT_TRUE(out.emplace(f.id, std::make_pair(f.normal, f.pressed)).second) << "twice: " << f.id;
    return out;
}

std::string Describe(const Faces& faces)
{
    std::string text;
    for (const auto& kv : faces)
        text += std::to_string(kv.first) + (kv.second.first == On ? ":on/" : ":off/") +
                (kv.second.second == On ? "on " : "off ");
    return text;
}

TEST(SetupGroupFaces, CamerasThatAreNotAttachedLookOffWhateverTheSelection)
{
    struct Case { int count, current; Faces want; };
    const Case cases[] = {
        {1, 0, {{IDC_SETUP_CAMERA1, {On, On}}, {IDC_SETUP_CAMERA2, {Off, Off}}, {IDC_SETUP_CAMERA3, {Off, Off}}}},
        {2, 1, {{IDC_SETUP_CAMERA1, {On, Off}}, {IDC_SETUP_CAMERA2, {On, On}}, {IDC_SETUP_CAMERA3, {Off, Off}}}},
        {3, 2, {{IDC_SETUP_CAMERA1, {On, Off}}, {IDC_SETUP_CAMERA2, {On, Off}}, {IDC_SETUP_CAMERA3, {On, On}}}},
        {3, 0, {{IDC_SETUP_CAMERA1, {On, On}}, {IDC_SETUP_CAMERA2, {On, Off}}, {IDC_SETUP_CAMERA3, {On, Off}}}},
        {0, 0, {{IDC_SETUP_CAMERA1, {On, On}}, {IDC_SETUP_CAMERA2, {Off, Off}}, {IDC_SETUP_CAMERA3, {Off, Off}}}},
        // The selection stays "on" even beyond the count (the main window
        // tells the count first, then the index).
        {1, 2, {{IDC_SETUP_CAMERA1, {On, Off}}, {IDC_SETUP_CAMERA2, {Off, Off}}, {IDC_SETUP_CAMERA3, {On, On}}}},
    };
    for (const Case& c : cases) {
        SetupModel m;
        m.m_nDevCount = c.count;
        m.m_nCurDev = c.current;
        EXPECT_EQ(Describe(FacesOf(m, SetupGroup::Camera)), Describe(c.want)) << c.count << " cameras, " << c.current;
    }
}

TEST(SetupGroupFaces, SelectionGroupsLightTheChosenOptionAndIgnoreValuesWithoutButton)
{
    struct Case { SetupGroup group; int value; int chosen; std::vector<int> others; };
    const std::vector<int> res = {IDC_SETUP_RES_VGA, IDC_SETUP_RES_SVGA, IDC_SETUP_RES_XVGA, IDC_SETUP_RES_NATIVE};
    const std::vector<int> idle = {IDC_SETUP_IDLE_5, IDC_SETUP_IDLE_10, IDC_SETUP_IDLE_15, IDC_SETUP_IDLE_20,
                                   IDC_SETUP_IDLE_30};
    const std::vector<int> size = {IDC_SETUP_PREVIEW_SMALL, IDC_SETUP_PREVIEW_LARGE};
    const Case cases[] = {
        {SetupGroup::Resolution, 1, IDC_SETUP_RES_VGA, res},   {SetupGroup::Resolution, 2, IDC_SETUP_RES_SVGA, res},
        {SetupGroup::Resolution, 3, IDC_SETUP_RES_XVGA, res},  {SetupGroup::Resolution, 4, IDC_SETUP_RES_NATIVE, res},
        {SetupGroup::Resolution, 0, 0, res},                   {SetupGroup::Resolution, 5, 0, res},
        {SetupGroup::Preview, 0, IDC_SETUP_PREVIEW_SMALL, size}, {SetupGroup::Preview, 1, IDC_SETUP_PREVIEW_LARGE, size},
        {SetupGroup::Preview, 2, 0, size},
        {SetupGroup::Idle, 1, IDC_SETUP_IDLE_5, idle},         {SetupGroup::Idle, 2, IDC_SETUP_IDLE_10, idle},
        {SetupGroup::Idle, 3, IDC_SETUP_IDLE_15, idle},        {SetupGroup::Idle, 4, IDC_SETUP_IDLE_20, idle},
        {SetupGroup::Idle, 6, IDC_SETUP_IDLE_30, idle},        {SetupGroup::Idle, 5, 0, idle},
        {SetupGroup::Idle, 0, 0, idle},
    };
    for (const Case& c : cases) {
        SetupModel m;
        m.m_nResolution = m.m_nPreviewSize = m.m_nIdleTime = c.value;
        Faces want;
        if (c.chosen) // no button for the value: nothing changes
            for (int id : c.others)
                want[id] = id == c.chosen ? std::make_pair(On, On) : std::make_pair(Off, On);
        EXPECT_EQ(Describe(FacesOf(m, c.group)), Describe(want)) << static_cast<int>(c.group) << " = " << c.value;
    }
}

TEST(SetupGroupFaces, OnOffPairsKeepTheCurrentStateLit)
{
    struct Case { SetupGroup group; bool on; Faces want; };
    const Case cases[] = {
        {SetupGroup::Flash, true, {{IDC_SETUP_FLASH_ON, {On, On}}, {IDC_SETUP_FLASH_OFF, {Off, On}}}},
        {SetupGroup::Flash, false, {{IDC_SETUP_FLASH_ON, {Off, On}}, {IDC_SETUP_FLASH_OFF, {On, On}}}},
        // The port button's one picture in both states, refreshed with the pair.
        {SetupGroup::Geotag, true,
         {{IDC_SETUP_GEOTAG_ON, {On, On}}, {IDC_SETUP_GEOTAG_OFF, {Off, On}}, {IDC_SETUP_GEOTAG_SET, {On, On}}}},
        {SetupGroup::Geotag, false,
         {{IDC_SETUP_GEOTAG_ON, {Off, On}}, {IDC_SETUP_GEOTAG_OFF, {On, On}}, {IDC_SETUP_GEOTAG_SET, {On, On}}}},
    };
    for (const Case& c : cases) {
        SetupModel m;
        m.m_bFlash = m.m_bGeotagging = c.on;
        EXPECT_EQ(Describe(FacesOf(m, c.group)), Describe(c.want)) << static_cast<int>(c.group) << " " << c.on;
    }
}

// The state every press below starts from, but for each case's changes.
SetupModel Base()
{
    SetupModel m;
    m.m_nDevCount = 2;
    m.m_nCurDev = 0;
    m.m_nResolution = 4;
    m.m_nPreviewSize = 0;
    m.m_nIdleTime = 1;
    m.m_bGeotagging = false;
    m.m_bFlash = false;
    return m;
}

TEST(PressSetupButton, PostsOrDropsByStateAndBusyRule)
{
    struct Case {
        const char* what;
        void (*prepare)(SetupModel&);
        int id;
        SetupAction action;
        int wParam;
        bool busyAfter;
    };
    auto none = [](SetupModel&) {};
    auto busy = [](SetupModel& m) { m.m_bBusy = true; };
    auto one = [](SetupModel& m) { m.m_nDevCount = 1; };
    auto three = [](SetupModel& m) { m.m_nDevCount = 3; };
    auto geoOn = [](SetupModel& m) { m.m_bGeotagging = true; };
    auto busyGeoOn = [](SetupModel& m) { m.m_bBusy = true; m.m_bGeotagging = true; };
    const Case cases[] = {
        {"close", none, IDC_SETUP_CLOSE, SetupAction::Close, 0, false},
        {"close while busy", busy, IDC_SETUP_CLOSE, SetupAction::Close, 0, true},
        {"camera 2 of 2", none, IDC_SETUP_CAMERA2, SetupAction::SelectCamera, 1, true},
        {"camera 1, selected", none, IDC_SETUP_CAMERA1, SetupAction::None, 0, false},
        {"camera 3 of 2", none, IDC_SETUP_CAMERA3, SetupAction::None, 0, false},
        {"camera 2 of 1", one, IDC_SETUP_CAMERA2, SetupAction::None, 0, false},
        {"camera 3 of 1", one, IDC_SETUP_CAMERA3, SetupAction::None, 0, false},
        {"camera 3 of 3", three, IDC_SETUP_CAMERA3, SetupAction::SelectCamera, 2, true},
        {"camera 2 while busy", busy, IDC_SETUP_CAMERA2, SetupAction::None, 0, true},
        {"VGA", none, IDC_SETUP_RES_VGA, SetupAction::SetResolution, 1, true},
        {"SVGA", none, IDC_SETUP_RES_SVGA, SetupAction::SetResolution, 2, true},
        {"XVGA", none, IDC_SETUP_RES_XVGA, SetupAction::SetResolution, 3, true},
        {"native, selected", none, IDC_SETUP_RES_NATIVE, SetupAction::None, 0, false},
        {"VGA while busy", busy, IDC_SETUP_RES_VGA, SetupAction::None, 0, true},
        {"640*480", none, IDC_SETUP_PREVIEW_LARGE, SetupAction::SetPreviewSize, 1, true},
        {"480*320, selected", none, IDC_SETUP_PREVIEW_SMALL, SetupAction::None, 0, false},
        {"640*480 while busy", busy, IDC_SETUP_PREVIEW_LARGE, SetupAction::None, 0, true},
        {"geotagging on", none, IDC_SETUP_GEOTAG_ON, SetupAction::GpsStart, 0, false},
        {"geotagging on, on", geoOn, IDC_SETUP_GEOTAG_ON, SetupAction::None, 0, false},
        {"geotagging off", geoOn, IDC_SETUP_GEOTAG_OFF, SetupAction::GpsStop, 0, false},
        {"geotagging off, off", none, IDC_SETUP_GEOTAG_OFF, SetupAction::None, 0, false},
        {"geotagging off while busy", busyGeoOn, IDC_SETUP_GEOTAG_OFF, SetupAction::None, 0, true},
        {"geotagging on while busy", busy, IDC_SETUP_GEOTAG_ON, SetupAction::None, 0, true},
        {"10 min", none, IDC_SETUP_IDLE_10, SetupAction::SetIdleTime, 2, false},
        {"30 min while busy", busy, IDC_SETUP_IDLE_30, SetupAction::SetIdleTime, 6, true},
        {"5 min, selected", none, IDC_SETUP_IDLE_5, SetupAction::None, 0, false},
        {"flash on", none, IDC_SETUP_FLASH_ON, SetupAction::SetFlash, 1, false},
        {"flash off while busy", busy, IDC_SETUP_FLASH_OFF, SetupAction::SetFlash, 0, true},
        {"port while busy", busy, IDC_SETUP_GEOTAG_SET, SetupAction::OpenGpsPort, 0, true},
        {"description while busy", busy, IDC_SETUP_APP_DESCRIPTION, SetupAction::OpenDescription, 0, true},
        {"manual while busy", busy, IDC_SETUP_USER_MANUAL, SetupAction::OpenManual, 0, true},
        {"Enter", none, 1, SetupAction::None, 0, false},
        {"Escape", none, 2, SetupAction::None, 0, false},
    };
    for (const Case& c : cases) {
        SetupModel m = Base();
        c.prepare(m);
        const SetupPress p = PressSetupButton(m, c.id);
        EXPECT_EQ(p.action, c.action) << c.what;
        EXPECT_EQ(p.wParam, c.wParam) << c.what;
        EXPECT_EQ(m.m_bBusy, c.busyAfter) << c.what;
    }
}

TEST(PressSetupButton, IdleAndFlashChangeTheCopyAndRefreshTheirGroupAtOnce)
{
    SetupModel m = Base();
    SetupPress p = PressSetupButton(m, IDC_SETUP_IDLE_20);
    EXPECT_EQ(m.m_nIdleTime, 4);
    EXPECT_EQ(p.refresh, SetupGroup::Idle);
    p = PressSetupButton(m, IDC_SETUP_IDLE_20); // the one now selected
    EXPECT_EQ(p.action, SetupAction::None);
    EXPECT_EQ(p.refresh, SetupGroup::None);

    // "flash on" twice posts twice.
    for (int i = 0; i < 2; ++i) {
        p = PressSetupButton(m, IDC_SETUP_FLASH_ON);
        EXPECT_EQ(p.action, SetupAction::SetFlash);
        EXPECT_EQ(p.wParam, 1);
        EXPECT_EQ(p.refresh, SetupGroup::Flash);
        EXPECT_TRUE(m.m_bFlash);
    }
    p = PressSetupButton(m, IDC_SETUP_FLASH_OFF);
    EXPECT_EQ(p.wParam, 0);
    EXPECT_FALSE(m.m_bFlash);

    // A request that needs an answer leaves the selection as it was: the
    // answer moves it.
    p = PressSetupButton(m, IDC_SETUP_RES_VGA);
    EXPECT_EQ(p.refresh, SetupGroup::None);
    EXPECT_EQ(m.m_nResolution, 4);
}

TEST(ApplySetupResult, AnswersMoveTheirGroupOrReportTheFailure)
{
    struct Case { long code, value; SetupGroup refresh; SetupError error; int curDev, resolution, size; bool geo; };
    const Case cases[] = {
        {1, 1, SetupGroup::Camera, SetupError::None, 1, 4, 0, false},
        {2, 3, SetupGroup::Resolution, SetupError::None, 0, 3, 0, false},
        {3, 1, SetupGroup::Preview, SetupError::None, 0, 4, 1, false},
        {3, 0, SetupGroup::Preview, SetupError::None, 0, 4, 0, false},
        {4, 7, SetupGroup::Geotag, SetupError::None, 0, 4, 0, true},
        {4, 0, SetupGroup::Geotag, SetupError::None, 0, 4, 0, false},
        {6, 1, SetupGroup::None, SetupError::Device, 0, 4, 0, false},
        {6, 2, SetupGroup::None, SetupError::Resolution, 0, 4, 0, false},
        {6, 9, SetupGroup::None, SetupError::Resolution, 0, 4, 0, false},
        {5, 1, SetupGroup::None, SetupError::None, 0, 4, 0, false},
        {0, 1, SetupGroup::None, SetupError::None, 0, 4, 0, false},
    };
    for (const Case& c : cases) {
        SetupModel m = Base();
        const SetupAnswer a = ApplySetupResult(m, c.code, c.value);
        EXPECT_EQ(a.refresh, c.refresh) << c.code << "," << c.value;
        EXPECT_EQ(a.error, c.error) << c.code << "," << c.value;
        EXPECT_EQ(m.m_nCurDev, c.curDev) << c.code << "," << c.value;
        EXPECT_EQ(m.m_nResolution, c.resolution) << c.code << "," << c.value;
        EXPECT_EQ(m.m_nPreviewSize, c.size) << c.code << "," << c.value;
        EXPECT_EQ(m.m_bGeotagging, c.geo) << c.code << "," << c.value;
    }
    EXPECT_STREQ(SetupErrorText(SetupError::Device), L"Change device error !!");
    EXPECT_STREQ(SetupErrorText(SetupError::Resolution), L"Change resolution error !!");
}

TEST(PressSetupButton, ASecondRequestWaitsForTheAnswerToTheFirst)
{
    SetupModel m = Base();
    ASSERT_EQ(PressSetupButton(m, IDC_SETUP_CAMERA2).action, SetupAction::SelectCamera);
    EXPECT_EQ(PressSetupButton(m, IDC_SETUP_CAMERA2).action, SetupAction::None);
    EXPECT_EQ(PressSetupButton(m, IDC_SETUP_RES_VGA).action, SetupAction::None);
    EXPECT_EQ(PressSetupButton(m, IDC_SETUP_PREVIEW_LARGE).action, SetupAction::None);
    // The camera change failed: the old camera stays selected and the
    // buttons work again.
    const SetupAnswer a = ApplySetupResult(m, 6, 1);
    EXPECT_EQ(a.error, SetupError::Device);
    ClearSetupBusy(m);
    EXPECT_EQ(m.m_nCurDev, 0);
    EXPECT_EQ(PressSetupButton(m, IDC_SETUP_RES_VGA).action, SetupAction::SetResolution);
}

} // namespace
} // namespace tamsel

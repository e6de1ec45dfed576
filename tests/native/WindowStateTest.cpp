#include "framework/WindowState.h"

#include <gtest/gtest.h>

#include <string>

namespace tamsel {
namespace {

using LiveChange = WindowState::LiveChange;

// One letter a step: O open, H hide, L live, R review.
void Apply(WindowState& s, const std::string& steps)
{
    for (char c : steps) {
        switch (c) {
        case 'O': s.Open(); break;
        case 'H': s.Hide(); break;
        case 'L': s.SetMode(WindowState::kLive); break;
        case 'R': s.SetMode(WindowState::kReview); break;
        default: ADD_FAILURE() << "unknown step " << c;
        }
    }
}

WindowState StateAfter(const std::string& steps)
{
    WindowState s;
    Apply(s, steps);
    return s;
}

TEST(WindowState, StartsHiddenInLivePreview)
{
    const WindowState s;
    EXPECT_FALSE(s.IsOpen());
    EXPECT_EQ(s.Mode(), WindowState::kLive);
    EXPECT_FALSE(s.InReview());
    EXPECT_EQ(s.RouteLiveChange(), LiveChange::kStop);
}

// A handler marks the state before it pumps; what the pump dispatched is
// `during`. It learns whether anything changed, and what a change of the
// live picture does now.
TEST(WindowState, WhatAHandlerLearnsAfterAPump)
{
    struct Case { const char* before; const char* during; bool open; int mode; bool changed; LiveChange route; };
    const Case cases[] = {
        {"O", "", true, 1, false, LiveChange::kGoOn},
        {"O", "L", true, 1, false, LiveChange::kGoOn},   // a mode set to what it was is no change
        {"O", "H", false, 1, true, LiveChange::kStop},    // rotation, then close
        {"O", "R", true, 2, true, LiveChange::kDefer},    // resolution, then the mode switch
        {"OR", "L", true, 1, true, LiveChange::kGoOn},
        {"OR", "LR", true, 2, true, LiveChange::kDefer},  // two quick switches
        {"O", "RL", true, 1, true, LiveChange::kGoOn},    // review and back: live again
        {"O", "HO", true, 1, true, LiveChange::kGoOn},    // closed and reopened
        {"", "H", false, 1, true, LiveChange::kStop},     // a close during a reopening
        {"OH", "H", false, 1, true, LiveChange::kStop},   // a second close still counts
        {"ORH", "", false, 2, false, LiveChange::kStop},  // hidden in review
    };
    for (const Case& c : cases) {
        WindowState s = StateAfter(c.before);
        const WindowState::Mark mark = s.Now();
        Apply(s, c.during);
        const std::string name = std::string(c.before) + " | " + c.during;
        EXPECT_EQ(s.IsOpen(), c.open) << name;
        EXPECT_EQ(s.Mode(), c.mode) << name;
        EXPECT_EQ(s.ChangedSince(mark), c.changed) << name;
        EXPECT_EQ(s.RouteLiveChange(), c.route) << name;
    }
}

TEST(WindowState, EachOpenAndHideCountsAndAModeOnlyWhenItDiffers)
{
    struct Case { const char* steps; unsigned changes; };
    const Case cases[] = {
        {"", 0}, {"O", 1}, {"OO", 2}, {"OH", 2}, {"HH", 2}, {"L", 0}, {"R", 1}, {"RR", 1}, {"RLR", 3}, {"ORHO", 4},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StateAfter(c.steps).Now(), c.changes) << c.steps;
}

} // namespace
} // namespace tamsel

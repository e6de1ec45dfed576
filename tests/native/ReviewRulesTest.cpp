#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "review/ReviewRules.h"

namespace tamsel {
namespace {

enum class Op { Validate, Left, Right, Delete };

struct Case {
    const char* name;
    Op op;
    std::vector<std::wstring> files;
    std::set<std::wstring> gone; // files removed behind the program's back
    int cur;
    std::vector<std::wstring> expectFiles;
    int expectCur;
    bool expectMoved;   // arrows: the step ran; validation: its result
    bool expectRemoved; // vanished entries dropped (a save is due)
};

class ReviewRulesTest : public ::testing::TestWithParam<Case> {};

TEST_P(ReviewRulesTest, ListAndCurrentPictureFollowTheRules)
{
    const Case& c = GetParam();
    PictureList list{c.files, c.cur};
    std::vector<std::wstring> tested;
    const PathExists exists = [&](const std::wstring& p) {
        tested.push_back(p);
        return c.gone.count(p) == 0;
    };
    bool moved = false, removed = false;
    switch (c.op) {
    case Op::Validate: moved = ValidateCurrentPicture(list, exists, &removed); break;
    case Op::Left: {
        const ReviewStep s = StepLeft(list, exists);
        moved = s.moved;
        removed = s.removed;
        break;
    }
    case Op::Right: {
        const ReviewStep s = StepRight(list, exists);
        moved = s.moved;
        removed = s.removed;
        break;
    }
    case Op::Delete:
        RemoveDeletedPicture(list, exists);
        moved = true;
        break;
    }
    EXPECT_EQ(list.PicFiles, c.expectFiles);
    EXPECT_EQ(list.CurPicIndex, c.expectCur);
    EXPECT_EQ(moved, c.expectMoved);
    EXPECT_EQ(removed, c.expectRemoved);
    if (!moved && c.op != Op::Validate && c.op != Op::Delete) {
        EXPECT_TRUE(tested.empty()) << "an arrow at the end tests no file";
    }
}

const std::vector<std::wstring> k5{L"P1", L"P2", L"P3", L"P4", L"P5"};
const std::vector<std::wstring> k4{L"P1", L"P2", L"P3", L"P4"};
const std::vector<std::wstring> k3{L"P1", L"P2", L"P3"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ReviewRulesTest,
    ::testing::Values(
        // Ends: no wrap-around.
        Case{"LeftAtTheOldestDoesNothing", Op::Left, k5, {}, 0, k5, 0, false, false},
        Case{"RightAtTheNewestDoesNothing", Op::Right, k5, {}, 4, k5, 4, false, false},
        Case{"RightOnEmptyListDoesNothing", Op::Right, {}, {}, 0, {}, 0, false, false},
        Case{"RightMovesOneNewer", Op::Right, k4, {}, 0, k4, 1, true, false},
        Case{"RightReachesTheNewest", Op::Right, k4, {}, 2, k4, 3, true, false},
        Case{"LeftReachesTheOldest", Op::Left, k4, {}, 1, k4, 0, true, false},
        Case{"LeftMovesOneOlder", Op::Left, k4, {}, 2, k4, 1, true, false},
        // Vanished files are dropped on the way.
        Case{"RightSkipsAVanishedPicture", Op::Right, k4, {L"P2"}, 0, {L"P1", L"P3", L"P4"}, 1, true, true},
        Case{"RightWithEveryNewerGoneFallsBackToTheOlder", Op::Right, k4, {L"P3", L"P4"}, 1,
             {L"P1", L"P2"}, 1, true, true},
        Case{"LeftDropsTheOlderOnesGoneAndLeavesTheNewerUntested", Op::Left, k3, {L"P2", L"P3"}, 2,
             {L"P1", L"P3"}, 0, true, true},
        Case{"LeftWithEveryOlderGoneGoesForward", Op::Left, k4, {L"P1", L"P2"}, 2, {L"P3", L"P4"}, 0, true,
             true},
        Case{"LeftWithEverythingGoneEmptiesTheList", Op::Left, k3, {L"P1", L"P2", L"P3"}, 2, {}, 0, true,
             true},
        Case{"RightWithEverythingGoneEmptiesTheList", Op::Right, k3, {L"P1", L"P2", L"P3"}, 0, {}, 0, true,
             true},
        Case{"LeftFromAStaleIndexPastTheEnd", Op::Left, k3, {}, 7, k3, 2, true, false},
        // Indexes outside the list (a hand-edited "Cur") never reach an entry
        // that is not there.
        Case{"LeftFromTwoPastTheEnd", Op::Left, k3, {}, 4, k3, 2, true, false},
        Case{"LeftFromOnePastTheEndWithTheLastGone", Op::Left, k3, {L"P3"}, 3, {L"P1", L"P2"}, 1, true, true},
        Case{"RightFromOnePastTheEndDoesNothing", Op::Right, k3, {}, 3, k3, 3, false, false},
        Case{"RightFromANegativeIndexGoesToTheOldest", Op::Right, k3, {}, -1, k3, 0, true, false},
        Case{"LeftFromANegativeIndexDoesNothing", Op::Left, k3, {}, -1, k3, -1, false, false},
        Case{"ValidateFromANegativeIndex", Op::Validate, k3, {}, -1, k3, 0, true, false},
        Case{"ValidateFromOnePastTheEnd", Op::Validate, k3, {}, 3, k3, 2, true, false},
        Case{"DeleteWithANegativeIndexRemovesNothing", Op::Delete, k3, {}, -1, k3, -1, true, false},
        Case{"DeleteFromOnePastTheEndRemovesNothing", Op::Delete, k3, {}, 3, k3, 3, true, false},
        // Validation: forward from the current entry, then backward from the last.
        Case{"ValidateKeepsAnExistingCurrent", Op::Validate, k3, {}, 1, k3, 1, true, false},
        Case{"ValidateMovesForwardPastAVanishedCurrent", Op::Validate, k3, {L"P2"}, 1, {L"P1", L"P3"}, 1,
             true, true},
        Case{"ValidateFallsBackToTheNewestOlderOne", Op::Validate, k4, {L"P3", L"P4"}, 2, {L"P1", L"P2"}, 1,
             true, true},
        Case{"ValidateWithEveryFileGoneEmptiesTheList", Op::Validate, k3, {L"P1", L"P2", L"P3"}, 0, {}, 0,
             false, true},
        Case{"ValidateOnEmptyListResetsTheIndex", Op::Validate, {}, {}, 3, {}, 0, false, false},
        Case{"ValidateFromAnIndexPastTheEnd", Op::Validate, k3, {}, 5, k3, 2, true, false},
        // Deletion: the next newer picture takes the deleted one's place.
        Case{"DeletingTheNewestMakesTheNewLastCurrent", Op::Delete, k3, {}, 2, {L"P1", L"P2"}, 1, true, false},
        Case{"DeletingTheOldestKeepsIndexZero", Op::Delete, k3, {}, 0, {L"P2", L"P3"}, 0, true, false},
        Case{"DeletingAMiddleOneShowsTheNextNewer", Op::Delete, k3, {}, 1, {L"P1", L"P3"}, 1, true, false},
        Case{"DeletingTheOnlyPictureEmptiesTheList", Op::Delete, {L"P1"}, {}, 0, {}, 0, true, false},
        Case{"DeletingWithTheNeighbourGoneGoesOlder", Op::Delete, k3, {L"P3"}, 1, {L"P1"}, 0, true, false},
        Case{"DeletingWithEveryOlderGoneGoesForward", Op::Delete, k4, {L"P1", L"P3"}, 1, {L"P4"}, 0, true,
             false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(ReviewPasses, StartsOutsideTheListBeginAtItsEnds)
{
    // A forward pass from before the first entry starts at the first, a
    // backward one from past the last at the last; each tests only entries
    // that are there.
    struct Case {
        bool forward;
        int start;
        std::set<std::wstring> gone;
        bool found;
        int cur;
        std::vector<std::wstring> tested;
    };
    const Case cases[] = {
        {true, -1, {}, true, 0, {L"P1"}},
        {true, -5, {L"P1"}, true, 0, {L"P1", L"P2"}},
        {true, 3, {}, false, 9, {}},
        {true, 4, {}, false, 9, {}},
        {false, 3, {}, true, 2, {L"P3"}},
        {false, 4, {L"P3"}, true, 1, {L"P3", L"P2"}},
        {false, -1, {}, false, 9, {}},
    };
    for (const Case& c : cases) {
        PictureList list{k3, 9};
        std::vector<std::wstring> tested;
        const PathExists exists = [&](const std::wstring& p) {
            tested.push_back(p);
            return c.gone.count(p) == 0;
        };
        bool removed = false;
        const bool found = c.forward ? ForwardPass(list, c.start, exists, &removed)
                                     : BackwardPass(list, c.start, exists, &removed);
        const std::string what = (c.forward ? "forward from " : "backward from ") + std::to_string(c.start);
        EXPECT_EQ(found, c.found) << what;
        EXPECT_EQ(list.CurPicIndex, c.cur) << what;
        EXPECT_EQ(tested, c.tested) << what;
        EXPECT_EQ(removed, !c.gone.empty()) << what;
    }
}

TEST(DeleteQuestion, SitsAtTheViewerCentreInBothSizes)
{
    const DeleteQuestionLayout small = ComputeDeleteQuestion(360, 272);
    EXPECT_EQ(small.titleX, 55);
    EXPECT_EQ(small.titleY, 56);
    EXPECT_EQ((std::vector<int>{small.yes.left, small.yes.top, small.yes.right, small.yes.bottom}),
              (std::vector<int>{55, 156, 155, 196}));
    EXPECT_EQ((std::vector<int>{small.no.left, small.no.top, small.no.right, small.no.bottom}),
              (std::vector<int>{165, 156, 265, 196}));
    EXPECT_EQ(small.yesTextX, 80);
    EXPECT_EQ(small.noTextX, 200);
    const DeleteQuestionLayout large = ComputeDeleteQuestion(480, 360);
    EXPECT_EQ((std::vector<int>{large.yes.left, large.yes.top, large.yes.right, large.yes.bottom}),
              (std::vector<int>{115, 200, 215, 240}));
    int x = 0, y = 0;
    ViewerNoPictureOrigin(480, 360, &x, &y);
    EXPECT_EQ(x, 70);
    EXPECT_EQ(y, 130);
}

TEST(DeleteQuestion, OnlyAReleaseStrictlyInsideAButtonAnswers)
{
    const QuestionRect yes = ComputeDeleteQuestion(360, 272).yes; // (55,156)-(155,196)
    EXPECT_TRUE(yes.StrictlyContains(56, 157));
    EXPECT_TRUE(yes.StrictlyContains(154, 195));
    EXPECT_FALSE(yes.StrictlyContains(55, 170)) << "left border";
    EXPECT_FALSE(yes.StrictlyContains(155, 170)) << "right border";
    EXPECT_FALSE(yes.StrictlyContains(100, 156)) << "top border";
    EXPECT_FALSE(yes.StrictlyContains(100, 196)) << "bottom border";
}

} // namespace
} // namespace tamsel

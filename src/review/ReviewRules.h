// Paging through the picture list and deleting from it, with the entries
// whose files vanished dropped on the way. No platform calls: whether a file
// exists is asked through the function passed in.
#pragma once

#include "settings/PictureList.h"

namespace tamsel {

// What one validation or arrow step did to the list.
struct ReviewStep {
    bool moved = false;   // the step ran: the current picture is (re)loaded
    bool removed = false; // vanished entries were dropped: the list must be saved
};

// A pass walks the list from `start` in one direction, drops each entry whose
// file is gone and stops at the first that exists, which becomes current.
// A forward pass tests the entry that moves into a freed place; a backward
// pass starting past the end starts at the last entry. True when one was found.
bool ForwardPass(PictureList& list, int start, const PathExists& exists, bool* removed);
bool BackwardPass(PictureList& list, int start, const PathExists& exists, bool* removed);

// Makes CurPicIndex name an existing file if the list has one: forward from
// the current entry, then backward from the last. False leaves the list empty
// and CurPicIndex 0.
bool ValidateCurrentPicture(PictureList& list, const PathExists& exists, bool* removed);

// The arrows: one older (left) or newer (right) picture, no wrap-around.
ReviewStep StepLeft(PictureList& list, const PathExists& exists);
ReviewStep StepRight(PictureList& list, const PathExists& exists);

// After the current entry's file was deleted: removes the entry and settles
// on the picture that takes its place (the next newer one, or the newest
// when the last was deleted), dropping vanished entries on the way.
void RemoveDeletedPicture(PictureList& list, const PathExists& exists);

// The delete question of the viewer, in its client coordinates.
struct QuestionRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    // A release on the border is not an answer.
    bool StrictlyContains(int x, int y) const { return left < x && x < right && top < y && y < bottom; }
};
struct DeleteQuestionLayout {
    int titleX = 0, titleY = 0; // "Delete?"
    QuestionRect yes, no;
    int yesTextX = 0, yesTextY = 0, noTextX = 0, noTextY = 0;
};
DeleteQuestionLayout ComputeDeleteQuestion(int clientWidth, int clientHeight);

// Where the viewer's "No Picture" starts.
inline void ViewerNoPictureOrigin(int clientWidth, int clientHeight, int* x, int* y)
{
    *x = clientWidth / 2 - 170;
    *y = clientHeight / 2 - 50;
}

} // namespace tamsel

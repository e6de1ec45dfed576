#include "review/ReviewRules.h"

namespace tamsel {

namespace {

int Count(const PictureList& list) { return static_cast<int>(list.PicFiles.size()); }

void RemoveAt(PictureList& list, int index) { list.PicFiles.erase(list.PicFiles.begin() + index); }

} // namespace

bool ForwardPass(PictureList& list, int start, const PathExists& exists, bool* removed)
{
    int i = start < 0 ? 0 : start;
    while (i < Count(list)) {
        if (exists(list.PicFiles[i])) {
            list.CurPicIndex = i;
            return true;
        }
        RemoveAt(list, i); // the next entry moves into place i
        *removed = true;
    }
    return false;
}

bool BackwardPass(PictureList& list, int start, const PathExists& exists, bool* removed)
{
    for (int i = start < Count(list) ? start : Count(list) - 1; i >= 0; --i) {
        if (exists(list.PicFiles[i])) {
            list.CurPicIndex = i;
            return true;
        }
        RemoveAt(list, i);
        *removed = true;
    }
    return false;
}

bool ValidateCurrentPicture(PictureList& list, const PathExists& exists, bool* removed)
{
    if (list.PicFiles.empty() || (!ForwardPass(list, list.CurPicIndex, exists, removed) &&
                                  !BackwardPass(list, Count(list) - 1, exists, removed))) {
        list.CurPicIndex = 0;
        return false;
    }
    return true;
}

ReviewStep StepLeft(PictureList& list, const PathExists& exists)
{
    ReviewStep step;
    if (list.CurPicIndex - 1 < 0)
        return step; // the oldest picture is the end
    step.moved = true;
    list.CurPicIndex -= 1;
    if (list.PicFiles.empty()) {
        list.CurPicIndex = 0;
        return step;
    }
    if (!BackwardPass(list, list.CurPicIndex, exists, &step.removed)) {
        list.CurPicIndex = 0;
        if (!ForwardPass(list, 0, exists, &step.removed))
            list.CurPicIndex = 0;
    }
    return step;
}

ReviewStep StepRight(PictureList& list, const PathExists& exists)
{
    ReviewStep step;
    if (list.CurPicIndex + 1 > Count(list) - 1)
        return step; // the newest picture is the end
    step.moved = true;
    list.CurPicIndex += 1;
    if (!ForwardPass(list, list.CurPicIndex, exists, &step.removed) &&
        !BackwardPass(list, Count(list) - 1, exists, &step.removed))
        list.CurPicIndex = 0;
    return step;
}

void RemoveDeletedPicture(PictureList& list, const PathExists& exists)
{
    if (list.CurPicIndex < 0 || list.CurPicIndex >= Count(list))
        return;
    RemoveAt(list, list.CurPicIndex);
    if (list.PicFiles.empty()) {
        list.CurPicIndex = 0;
        return;
    }
    if (list.CurPicIndex > Count(list) - 1)
        list.CurPicIndex = Count(list) - 1;
    bool removed = false; // the list reaches disk with the next save
    if (!BackwardPass(list, list.CurPicIndex, exists, &removed)) {
        list.CurPicIndex = 0;
        ForwardPass(list, 0, exists, &removed);
    }
}

DeleteQuestionLayout ComputeDeleteQuestion(int clientWidth, int clientHeight)
{
    DeleteQuestionLayout q;
    const int x0 = clientWidth / 2 - 125, y0 = clientHeight / 2 - 80;
    q.titleX = x0;
    q.titleY = y0;
    q.yes = {x0, y0 + 100, x0 + 100, y0 + 140};
    q.no = {x0 + 110, y0 + 100, x0 + 210, y0 + 140};
    q.yesTextX = x0 + 25;
    q.yesTextY = y0 + 105;
    q.noTextX = x0 + 145;
    q.noTextY = y0 + 105;
    return q;
}

} // namespace tamsel

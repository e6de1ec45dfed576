// Grabber callbacks to measure CSampleGrabberCB::BufferCB against when no
// still capture is waiting.
#pragma once

#include "capture/DShow.h"

namespace benchwin {

// Lives in its own translation unit, so no caller can inline its methods.
ISampleGrabberCB* EmptyCallback();

// A model of BufferCB restructured so that the path every preview frame
// takes is a leaf: the armed flag constant-initialised at namespace scope
// (no first-use guard) and the armed work in a function of its own. For
// comparison only; the program's callback is CSampleGrabberCB.
ISampleGrabberCB* SplitCallbackModel();

} // namespace benchwin

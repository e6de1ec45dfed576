// What tests and benchmarks may see of the engine beyond its surface: the
// graph it built and the grabber callback in it.
#pragma once

#include "capture/DShowCapture.h"

namespace tamsel {

class CaptureTestAccess {
public:
    static IGraphBuilder* Graph(const CDShowCapture& engine) { return engine.m_pGraph.Get(); }
    static ISampleGrabberCB* GrabberCallback(const CDShowCapture& engine) { return engine.m_pGrabberCB.Get(); }
};

} // namespace tamsel

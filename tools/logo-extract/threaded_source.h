// A source run ahead on a thread of its own, so that reading, decoding and converting the next
// frames overlap with the caller's work on the current one.
#pragma once

#include <memory>

#include "frame_source.h"

namespace vle::extract {

// Wraps `inner`: a worker thread fills a ring of `depth` frames (depth >= 1) with inner->Next()
// while the caller takes them out with Next(). Frames come out in order and exactly as the inner
// source made them; memory stays at `depth` frames however slow the caller is. An error of the
// inner source is thrown by the Next() that reaches the frame it failed at, after the frames
// before it. Remark() and destruction stop the worker first; the inner source is used by one
// thread at a time.
std::unique_ptr<FrameSource> RunAhead(std::unique_ptr<FrameSource> inner, int depth);

}  // namespace vle::extract

// Where the frames come from: a recording decoded with FFmpeg, raw frames in a host layout, or the
// synthetic broadcast. Every source hands out frames of one size in one host layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "broadcast.h"
#include "options.h"

namespace vle::extract {

// A failure while reading input or writing output; what() is one line for the user.
class RunError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
  broadcast::Layout layout() const { return layout_; }
  size_t frameBytes() const { return broadcast::FrameBytes(width(), height(), layout_); }
  // Frames to expect, or -1 when the source cannot tell in advance.
  virtual int64_t expectedFrames() const = 0;
  // The input's frame rate, as its stream says (the average rate where it varies); raw input and
  // the demo count 25. Sampling does not change it: it is the rate of the timeline Time() runs on.
  virtual double framesPerSecond() const = 0;
  // The length of the input this source covers, in seconds (--frames shortens it); negative when
  // the source cannot tell in advance.
  virtual double durationSeconds() const = 0;
  // Fills `frame` (frameBytes() long) with the next frame and returns true; false at the end, with
  // `frame` untouched. Throws RunError when the input is broken.
  virtual bool Next(uint8_t* frame) = 0;
  // Next() into `frame` (frameBytes() long), by exchanging buffers with the source where it keeps
  // frames of its own, so that no frame is copied on the way: on true, `frame` holds the next
  // frame and its previous buffer may now be the source's. On false `frame` is untouched.
  virtual bool Take(std::vector<uint8_t>& frame) { return Next(frame.data()); }
  // Something the user should know once the run is over (skipped damaged packets), or empty.
  virtual std::string Remark() const { return std::string(); }
  // The time of the frame Next() filled last, in seconds from the start of the input; raw input
  // and the demo count 25 frames a second. Negative before the first frame or when unknown.
  virtual double Time() const { return -1; }
  // Passes over up to `count` frames without handing them out; returns how many there were.
  // Sources that can move on without decoding or reading override it.
  virtual int64_t Skip(int64_t count) {
    std::vector<uint8_t> scratch(frameBytes());
    int64_t skipped = 0;
    while (skipped < count && Next(scratch.data())) ++skipped;
    return skipped;
  }
  // Whether the input is a file that can be opened and read again from the start (not a pipe).
  virtual bool Rereadable() const { return false; }

 protected:
  explicit FrameSource(broadcast::Layout layout) : layout_(layout) {}

 private:
  broadcast::Layout layout_;
};

// Opens the input the options name, sampled as `sampling` says; throws RunError (missing file,
// nothing decodable, a size that does not fit the layout, a raw file that is not a whole number of
// frames, seeking asked of a pipe).
std::unique_ptr<FrameSource> OpenSource(const Options& options, const Sampling& sampling);
inline std::unique_ptr<FrameSource> OpenSource(const Options& options) {
  return OpenSource(options, options.sampling);
}

// Every `n`th frame of `source`, starting with its first.
std::unique_ptr<FrameSource> EveryNth(std::unique_ptr<FrameSource> source, int64_t n);

// The FFmpeg part, in a file of its own. `path` is a file ("-": standard input), or with `isUrl`
// anything FFmpeg opens ("udp://...", "file:..."). Key frames are sampled by discarding the other
// packets before decoding; every:S by seeking. Stops with Interrupted when a stop is requested,
// even while FFmpeg waits for input.
std::unique_ptr<FrameSource> OpenRecording(const std::string& path, bool isUrl, broadcast::Layout layout,
                                           const std::optional<std::pair<int, int>>& size,
                                           const Sampling& sampling);

}  // namespace vle::extract

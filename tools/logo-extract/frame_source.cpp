#include "frame_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "stop.h"
#include "threaded_source.h"

namespace vle::extract {


namespace {

// Frames decoded ahead of the plug-in: enough to even out the decoder's pace, few enough that the
// ring stays small (25 MB for 1920 x 1080 Bgr24).
constexpr int kRunAheadFrames = 4;
constexpr double kAssumedRate = broadcast::SyntheticBroadcast::kFramesPerSecond;

class DemoSource final : public FrameSource {
 public:
  DemoSource(int width, int height, broadcast::Layout layout, int64_t frames)
      : FrameSource(layout), broadcast_(width, height, layout), frames_(frames) {}
  int width() const override { return broadcast_.width(); }
  int height() const override { return broadcast_.height(); }
  int64_t expectedFrames() const override { return frames_; }
  double framesPerSecond() const override { return kAssumedRate; }
  double durationSeconds() const override { return double(frames_) / kAssumedRate; }
  bool Next(uint8_t* frame) override {
    if (next_ >= frames_) return false;
    broadcast_.Render(next_++, frame);
    return true;
  }
  double Time() const override { return next_ > 0 ? double(next_ - 1) / kAssumedRate : -1; }
  int64_t Skip(int64_t count) override {
    const int64_t n = std::min(count, frames_ - next_);
    next_ += n;
    return n;
  }
  bool Rereadable() const override { return true; }

 private:
  broadcast::SyntheticBroadcast broadcast_;
  int64_t frames_;
  int64_t next_ = 0;
};

class RawSource final : public FrameSource {
 public:
  RawSource(const std::string& path, int width, int height, broadcast::Layout layout)
      : FrameSource(layout), width_(width), height_(height) {
    const size_t bytes = frameBytes();
    if (path == "-") {
      fd_ = STDIN_FILENO;
      name_ = "standard input";
      return;
    }
    name_ = "'" + path + "'";
    for (;;) {  // a FIFO waits for its writer
      fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd_ >= 0) break;
      if (errno != EINTR) throw RunError("cannot open " + name_ + ": " + std::strerror(errno));
      ThrowIfStopRequested();
    }
    struct stat st {};
    if (fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
      const uint64_t size = static_cast<uint64_t>(st.st_size);
      if (size == 0 || size % bytes != 0) {
        close(fd_);
        throw RunError(name_ + " holds " + std::to_string(size) + " bytes, not a whole number of " +
                       std::to_string(width) + "x" + std::to_string(height) + " frames of " +
                       std::to_string(bytes) + " bytes");
      }
      expected_ = static_cast<int64_t>(size / bytes);
      regular_ = true;
    }
  }
  ~RawSource() override {
    if (fd_ != STDIN_FILENO) close(fd_);
  }
  int width() const override { return width_; }
  int height() const override { return height_; }
  int64_t expectedFrames() const override { return expected_; }
  double framesPerSecond() const override { return kAssumedRate; }
  double durationSeconds() const override { return expected_ < 0 ? -1 : double(expected_) / kAssumedRate; }
  double Time() const override { return read_ > 0 ? double(read_ - 1) / kAssumedRate : -1; }
  bool Rereadable() const override { return regular_; }
  int64_t Skip(int64_t count) override {
    if (!regular_) return FrameSource::Skip(count);
    const int64_t n = std::min(count, expected_ - read_);
    if (n <= 0) return 0;
    if (lseek(fd_, off_t(n) * off_t(frameBytes()), SEEK_CUR) < 0)
      throw RunError("cannot read " + name_ + ": " + std::strerror(errno));
    read_ += n;
    return n;
  }

  bool Next(uint8_t* frame) override {
    const size_t bytes = frameBytes();
    // Read aside first so that a short last frame leaves `frame` as it was.
    scratch_.resize(bytes);
    size_t got = 0;
    while (got < bytes) {
      ThrowIfStopRequested();
      const ssize_t n = read(fd_, scratch_.data() + got, bytes - got);
      if (n > 0) {
        got += size_t(n);
      } else if (n == 0) {
        break;
      } else if (errno != EINTR) {  // EINTR: a signal, looked at above
        throw RunError("cannot read " + name_ + ": " + std::strerror(errno));
      }
    }
    if (got == bytes) {
      std::memcpy(frame, scratch_.data(), bytes);
      ++read_;
      return true;
    }
    if (got != 0 || read_ == 0) {
      throw RunError(name_ + " ends " + (got != 0 ? "inside a frame" : "before the first frame") + " (" +
                     std::to_string(read_) + " whole frames of " + std::to_string(bytes) + " bytes)");
    }
    return false;
  }

 private:
  std::string name_;
  int width_, height_;
  int fd_ = -1;
  int64_t expected_ = -1;
  int64_t read_ = 0;
  bool regular_ = false;
  std::vector<uint8_t> scratch_;
};

// Hands out every `stride`th frame of a source, starting with its first.
class StridedSource final : public FrameSource {
 public:
  StridedSource(std::unique_ptr<FrameSource> inner, int64_t stride)
      : FrameSource(inner->layout()), inner_(std::move(inner)), stride_(stride) {}
  int width() const override { return inner_->width(); }
  int height() const override { return inner_->height(); }
  int64_t expectedFrames() const override {
    const int64_t e = inner_->expectedFrames();
    return e < 0 ? -1 : (e + stride_ - 1) / stride_;
  }
  double framesPerSecond() const override { return inner_->framesPerSecond(); }
  double durationSeconds() const override { return inner_->durationSeconds(); }
  bool Next(uint8_t* frame) override { return Advance() && inner_->Next(frame); }
  bool Take(std::vector<uint8_t>& frame) override { return Advance() && inner_->Take(frame); }
  double Time() const override { return inner_->Time(); }
  std::string Remark() const override { return inner_->Remark(); }
  bool Rereadable() const override { return inner_->Rereadable(); }

 private:
  // Passes over the frames between two handed out; false when the input ends among them.
  bool Advance() {
    if (started_ && inner_->Skip(stride_ - 1) < stride_ - 1) return false;
    started_ = true;
    return true;
  }

  std::unique_ptr<FrameSource> inner_;
  int64_t stride_;
  bool started_ = false;
};

// Stops any source after a number of frames. `everyFrame`: the inner source hands out every frame
// of the input, so that the limit is also a length in time.
class LimitedSource final : public FrameSource {
 public:
  LimitedSource(std::unique_ptr<FrameSource> inner, int64_t limit, bool everyFrame)
      : FrameSource(inner->layout()), inner_(std::move(inner)), limit_(limit), everyFrame_(everyFrame) {}
  int width() const override { return inner_->width(); }
  int height() const override { return inner_->height(); }
  int64_t expectedFrames() const override {
    const int64_t e = inner_->expectedFrames();
    return e < 0 ? limit_ : std::min(e, limit_);
  }
  double framesPerSecond() const override { return inner_->framesPerSecond(); }
  double durationSeconds() const override {
    const double d = inner_->durationSeconds(), fps = inner_->framesPerSecond();
    if (everyFrame_ && fps > 0 && (d < 0 || double(limit_) / fps < d)) return double(limit_) / fps;
    return d;
  }
  bool Next(uint8_t* frame) override {
    if (done_ >= limit_ || !inner_->Next(frame)) return false;
    ++done_;
    return true;
  }
  std::string Remark() const override { return inner_->Remark(); }
  double Time() const override { return inner_->Time(); }
  bool Rereadable() const override { return inner_->Rereadable(); }

 private:
  std::unique_ptr<FrameSource> inner_;
  int64_t limit_;
  bool everyFrame_;
  int64_t done_ = 0;
};

}  // namespace

std::unique_ptr<FrameSource> EveryNth(std::unique_ptr<FrameSource> source, int64_t n) {
  if (n <= 1) return source;
  return std::make_unique<StridedSource>(std::move(source), n);
}

std::unique_ptr<FrameSource> OpenSource(const Options& o, const Sampling& sampling) {
  std::unique_ptr<FrameSource> source;
  switch (o.input) {
    case InputKind::kDemo:
      source = std::make_unique<DemoSource>(o.size->first, o.size->second, o.layout, *o.frames);
      break;
    case InputKind::kRaw:
      source = std::make_unique<RawSource>(o.inputPath, o.rawWidth, o.rawHeight, o.layout);
      break;
    case InputKind::kRecording:
      source = OpenRecording(o.inputPath, o.inputIsUrl, o.layout, o.size, sampling);
      break;
  }
  // The demo's --frames is its length; elsewhere it limits the frames handed out.
  if (o.input != InputKind::kRecording && sampling.mode == Sampling::Mode::kEvery) {
    const int64_t stride = std::max<int64_t>(1, std::llround(sampling.seconds * kAssumedRate));
    source = std::make_unique<StridedSource>(std::move(source), stride);
  }
  if (o.frames && o.input != InputKind::kDemo) {
    // Raw frames and the demo's are all key frames.
    const bool everyFrame = sampling.mode == Sampling::Mode::kAll ||
                            (sampling.mode == Sampling::Mode::kKeyframes && o.input != InputKind::kRecording);
    source = std::make_unique<LimitedSource>(std::move(source), *o.frames, everyFrame);
  }
  // Decoding runs ahead of the plug-in by a few frames.
  if (o.input == InputKind::kRecording) source = RunAhead(std::move(source), kRunAheadFrames);
  return source;
}

}  // namespace vle::extract

#include "threaded_source.h"

#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace vle::extract {
namespace {

class ThreadedSource final : public FrameSource {
 public:
  ThreadedSource(std::unique_ptr<FrameSource> inner, int depth)
      : FrameSource(inner->layout()),
        inner_(std::move(inner)),
        ring_(size_t(depth < 1 ? 1 : depth), std::vector<uint8_t>(inner_->frameBytes())),
        times_(ring_.size(), -1.0),
        rereadable_(inner_->Rereadable()),
        framesPerSecond_(inner_->framesPerSecond()),
        durationSeconds_(inner_->durationSeconds()),
        worker_([this] { Work(); }) {}

  ~ThreadedSource() override { StopWorker(); }

  int width() const override { return inner_->width(); }
  int height() const override { return inner_->height(); }
  int64_t expectedFrames() const override { return inner_->expectedFrames(); }
  double framesPerSecond() const override { return framesPerSecond_; }
  double durationSeconds() const override { return durationSeconds_; }
  double Time() const override { return time_; }
  bool Rereadable() const override { return rereadable_; }

  bool Next(uint8_t* frame) override {
    return Hand([frame](std::vector<uint8_t>& slot) { std::memcpy(frame, slot.data(), slot.size()); });
  }

  bool Take(std::vector<uint8_t>& frame) override {
    if (frame.size() != inner_->frameBytes()) return Next(frame.data());
    return Hand([&frame](std::vector<uint8_t>& slot) { frame.swap(slot); });
  }

  std::string Remark() const override {
    const_cast<ThreadedSource*>(this)->StopWorker();
    return inner_->Remark();
  }

 private:
  // Hands the oldest filled slot to `give` (a copy out of it, or an exchange of buffers of one
  // size) and returns it to the worker.
  template <typename Give>
  bool Hand(Give give) {
    std::unique_lock<std::mutex> lock(mutex_);
    filledOrEnd_.wait(lock, [this] { return filled_ > 0 || ended_; });
    if (filled_ == 0) {
      if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
      return false;
    }
    // The worker does not touch a filled slot, so the hand-over runs unlocked.
    std::vector<uint8_t>& slot = ring_[head_];
    lock.unlock();
    give(slot);
    time_ = times_[head_];
    lock.lock();
    head_ = (head_ + 1) % ring_.size();
    --filled_;
    free_.notify_one();
    return true;
  }

  void Work() {
    size_t tail = 0;
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        free_.wait(lock, [this] { return filled_ < ring_.size() || stop_; });
        if (stop_) break;
      }
      // The caller reads only filled slots: this one is the worker's until it is counted.
      bool got = false;
      std::exception_ptr error;
      try {
        got = inner_->Next(ring_[tail].data());
        if (got) times_[tail] = inner_->Time();
      } catch (...) {
        error = std::current_exception();
      }
      std::lock_guard<std::mutex> lock(mutex_);
      if (!got) {
        error_ = error;
        break;
      }
      tail = (tail + 1) % ring_.size();
      ++filled_;
      filledOrEnd_.notify_one();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    filledOrEnd_.notify_all();
  }

  void StopWorker() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
      free_.notify_all();
    }
    if (worker_.joinable()) worker_.join();
  }

  std::unique_ptr<FrameSource> inner_;
  std::vector<std::vector<uint8_t>> ring_;
  std::vector<double> times_;  // each slot's Time(), owned like its frame
  const bool rereadable_;      // fixed when the inner source opened, like the two below
  const double framesPerSecond_, durationSeconds_;
  double time_ = -1;           // of the frame Next() handed out last; the caller's thread only
  std::mutex mutex_;
  std::condition_variable free_;         // a slot was emptied, or the worker must stop
  std::condition_variable filledOrEnd_;  // a slot was filled, or the worker ended
  size_t head_ = 0;                      // the oldest filled slot
  size_t filled_ = 0;
  bool stop_ = false;
  bool ended_ = false;
  std::exception_ptr error_;
  std::thread worker_;  // last: it starts once everything above exists
};

}  // namespace

std::unique_ptr<FrameSource> RunAhead(std::unique_ptr<FrameSource> inner, int depth) {
  return std::make_unique<ThreadedSource>(std::move(inner), depth);
}

}  // namespace vle::extract

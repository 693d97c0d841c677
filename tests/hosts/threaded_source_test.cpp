// The run-ahead source: frames in order and intact, memory bounded by the ring whatever the pace
// of the caller, errors after the frames before them, and a clean stop part-way.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "frame_source.h"
#include "threaded_source.h"

namespace vle::extract {
namespace {

// Frame i is filled with bytes i, i+1, ...; it fails with RunError at frame `failAt` (-1: never).
class CountingSource final : public FrameSource {
 public:
  CountingSource(int frames, int failAt, std::atomic<int>* made)
      : FrameSource(broadcast::Layout::kYuy2), frames_(frames), failAt_(failAt), made_(made) {}
  int width() const override { return 6; }
  int height() const override { return 3; }
  int64_t expectedFrames() const override { return frames_; }
  double framesPerSecond() const override { return 25; }
  double durationSeconds() const override { return double(frames_) / 25; }
  bool Next(uint8_t* frame) override {
    if (next_ == failAt_) throw RunError("broken at " + std::to_string(next_));
    if (next_ >= frames_) return false;
    for (size_t i = 0; i < frameBytes(); ++i) frame[i] = uint8_t(next_ + int(i));
    ++next_;
    ++*made_;
    return true;
  }
  std::string Remark() const override { return "made " + std::to_string(next_); }

 private:
  int frames_, failAt_, next_ = 0;
  std::atomic<int>* made_;
};

bool IsFrame(const std::vector<uint8_t>& f, int index) {
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != uint8_t(index + int(i))) return false;
  }
  return true;
}

struct Case {
  int frames, failAt, depth;
  bool slowCaller;
  bool take;  // frames by exchanging buffers (Take) rather than by copy (Next)
};

class RunAheadTest : public ::testing::TestWithParam<Case> {};

TEST_P(RunAheadTest, FramesInOrderBoundedAndErrorsLast) {
  const Case c = GetParam();
  std::atomic<int> made{0};
  auto source = RunAhead(std::make_unique<CountingSource>(c.frames, c.failAt, &made), c.depth);
  ASSERT_EQ(source->frameBytes(), 36u);
  EXPECT_EQ(source->expectedFrames(), c.frames);
  const int good = c.failAt >= 0 ? c.failAt : c.frames;
  std::vector<uint8_t> frame(source->frameBytes());
  auto next = [&] { return c.take ? source->Take(frame) : source->Next(frame.data()); };
  for (int i = 0; i < good; ++i) {
    if (c.slowCaller) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(next()) << "frame " << i;
    ASSERT_EQ(frame.size(), source->frameBytes());
    ASSERT_TRUE(IsFrame(frame, i)) << "frame " << i;
    // A handed-out buffer is the caller's alone: the worker, filling on, must not write into it.
    if (c.slowCaller) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(IsFrame(frame, i)) << "frame " << i << " changed while the caller held it";
    // Taken: i + 1; in the ring: at most depth; one more may be in the inner source's hands.
    EXPECT_LE(made.load(), i + 1 + c.depth + 1);
  }
  if (c.failAt >= 0) {
    EXPECT_THROW(next(), RunError);
  } else {
    const std::vector<uint8_t> before = frame;
    EXPECT_FALSE(next());
    EXPECT_EQ(frame, before);  // untouched at the end
    EXPECT_EQ(source->Remark(), "made " + std::to_string(c.frames));
  }
  EXPECT_FALSE(source->Next(frame.data()));
}

INSTANTIATE_TEST_SUITE_P(Cases, RunAheadTest,
                         ::testing::Values(Case{40, -1, 4, true, false}, Case{200, -1, 1, false, false},
                                           Case{0, -1, 3, false, false}, Case{30, 7, 4, true, false},
                                           Case{30, 0, 2, false, false}, Case{40, -1, 4, true, true},
                                           Case{200, -1, 1, false, true}, Case{30, 7, 2, true, true},
                                           Case{0, -1, 3, false, true}));

TEST(RunAhead, StopsPartWayWithoutTakingEveryFrame) {
  std::atomic<int> made{0};
  {
    auto source = RunAhead(std::make_unique<CountingSource>(1000000, -1, &made), 3);
    std::vector<uint8_t> frame(source->frameBytes());
    ASSERT_TRUE(source->Next(frame.data()));
    EXPECT_EQ(source->Remark().rfind("made ", 0), 0u);  // stops the worker first
  }
  EXPECT_LT(made.load(), 10);
}

}  // namespace
}  // namespace vle::extract

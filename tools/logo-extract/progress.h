// A one-line progress bar on standard error, drawn only when that is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vle::extract {

class Progress {
 public:
  // `total` < 0: unknown, the bar shows the count alone.
  Progress(int64_t total, bool enabled);
  ~Progress();
  // Redraws at most ten times a second; `note` follows the rate (e.g. the template's changes).
  void Update(int64_t done, const char* note = "");
  // Whether the bar is drawn at all (standard error is a terminal and it was asked for).
  bool enabled() const { return enabled_; }
  // Clears the line.
  void Finish();
  // Frames per second so far.
  double Rate(int64_t done) const;

 private:
  using Clock = std::chrono::steady_clock;
  int64_t total_;
  bool enabled_;
  bool drawn_ = false;
  Clock::time_point start_;
  Clock::time_point last_;
};

}  // namespace vle::extract

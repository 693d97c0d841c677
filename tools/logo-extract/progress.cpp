#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace vle::extract {

Progress::Progress(int64_t total, bool enabled)
    : total_(total), enabled_(enabled && isatty(STDERR_FILENO)), start_(Clock::now()), last_() {}

Progress::~Progress() { Finish(); }

double Progress::Rate(int64_t done) const {
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  return seconds > 0 ? double(done) / seconds : 0.0;
}

void Progress::Update(int64_t done, const char* note) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  drawn_ = true;
  char line[240];
  if (total_ > 0) {
    // The count may pass an estimated total; the bar then stays full.
    const int64_t shown = std::min(done, total_);
    const int width = 30;
    const int filled = static_cast<int>(shown * width / total_);
    const std::string bar = std::string(size_t(filled), '#') + std::string(size_t(width - filled), '.');
    std::snprintf(line, sizeof line, "\r%lld/%lld frames [%s] %3d%%  %.1f fps %s", (long long)done,
                  (long long)total_, bar.c_str(), static_cast<int>(shown * 100 / total_), Rate(done), note);
  } else {
    std::snprintf(line, sizeof line, "\r%lld frames  %.1f fps %s", (long long)done, Rate(done), note);
  }
  std::fputs(line, stderr);
  std::fflush(stderr);
}

void Progress::Finish() {
  if (!drawn_) return;
  drawn_ = false;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
}

}  // namespace vle::extract

#include "stop.h"

#include <signal.h>

#include <atomic>
#include <csignal>

namespace vle::extract {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Atomics rather than volatile sig_atomic_t: a decoding thread may look at the flag too. Lock-free
// atomics are safe in a signal handler.
std::atomic<int> g_stopSignal{0};
std::atomic<int> g_noAbruptStop{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnStopSignal(int signal) {
  if (g_stopSignal.load() != 0 && g_noAbruptStop.load() == 0) {
    // Asked twice: whatever the first request is waiting for, stop now. Both calls are
    // async-signal-safe.
    std::signal(signal, SIG_DFL);
    raise(signal);
    return;
  }
  int none = 0;
  g_stopSignal.compare_exchange_strong(none, signal);
}

}  // namespace

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int s : kStopSignals) sigaddset(&action.sa_mask, s);
  action.sa_flags = 0;  // no SA_RESTART: blocking calls return EINTR
  for (int s : kStopSignals) sigaction(s, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

int StopSignal() { return g_stopSignal.load(std::memory_order_relaxed); }

void ThrowIfStopRequested() {
  if (StopSignal() != 0) throw Interrupted();
}

NoAbruptStop::NoAbruptStop() { g_noAbruptStop.store(1); }

NoAbruptStop::~NoAbruptStop() { g_noAbruptStop.store(0); }

}  // namespace vle::extract

#include "stop.h"

#include <signal.h>

#include <csignal>

namespace vle::extract {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t g_stopSignal = 0;
volatile std::sig_atomic_t g_noAbruptStop = 0;

void OnStopSignal(int signal) {
  if (g_stopSignal != 0 && g_noAbruptStop == 0) {
    // Asked twice: whatever the first request is waiting for, stop now. Both calls are
    // async-signal-safe.
    std::signal(signal, SIG_DFL);
    raise(signal);
    return;
  }
  if (g_stopSignal == 0) g_stopSignal = signal;
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

int StopSignal() { return g_stopSignal; }

void ThrowIfStopRequested() {
  if (g_stopSignal != 0) throw Interrupted();
}

NoAbruptStop::NoAbruptStop() { g_noAbruptStop = 1; }

NoAbruptStop::~NoAbruptStop() { g_noAbruptStop = 0; }

}  // namespace vle::extract

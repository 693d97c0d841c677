// Stopping when the user asks: SIGINT, SIGTERM and SIGHUP set a flag that every blocking read and
// write checks. The handlers are installed without SA_RESTART, so a read stalled on a pipe returns
// EINTR at once instead of waiting for data; FFmpeg sees the flag through its interrupt callback.
#pragma once

#include "frame_source.h"

namespace vle::extract {

// Thrown when a stop was requested; what() is "interrupted".
class Interrupted : public RunError {
 public:
  Interrupted() : RunError("interrupted") {}
};

// Installs the handlers. A second signal after the first ends the process at once with the
// signal's default action (for a run stuck somewhere no flag is looked at); the temporary files
// are made so that this leaves none behind. SIGPIPE and SIGXFSZ are ignored, so that writing to a
// closed pipe or past the file size limit fails with EPIPE or EFBIG and the normal cleanup runs.
void CatchStopSignals();

// The signal that asked to stop, 0 while none did.
int StopSignal();
inline bool StopRequested() { return StopSignal() != 0; }

// Throws Interrupted when a stop was requested.
void ThrowIfStopRequested();

// While it lives (e.g. while outputs are renamed into place), a second signal only sets the flag
// instead of ending the process, so that it cannot stop the work half-way. Works whichever thread
// the signal is delivered to.
class NoAbruptStop {
 public:
  NoAbruptStop();
  ~NoAbruptStop();
  NoAbruptStop(const NoAbruptStop&) = delete;
  NoAbruptStop& operator=(const NoAbruptStop&) = delete;
};

}  // namespace vle::extract

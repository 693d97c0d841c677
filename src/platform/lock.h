// The one lock between the host's video thread and its user-interface thread.
// A critical section on Windows, a mutex elsewhere. Not recursive: a thread that holds it must not
// enter it again.
#pragma once

namespace vle::platform {

class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Enter();
  void Leave();

 private:
  struct Impl;
  Impl* impl_;
};

// Holds a Lock for one scope, released on every way out.
class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Enter(); }
  ~LockGuard() { lock_.Leave(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& lock_;
};

}  // namespace vle::platform

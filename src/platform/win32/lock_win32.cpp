#include <windows.h>

#include "platform/lock.h"

namespace vle::platform {

struct Lock::Impl {
  CRITICAL_SECTION section;
};

Lock::Lock() : impl_(new Impl) { InitializeCriticalSection(&impl_->section); }
Lock::~Lock() {
  DeleteCriticalSection(&impl_->section);
  delete impl_;
}
void Lock::Enter() { EnterCriticalSection(&impl_->section); }
void Lock::Leave() { LeaveCriticalSection(&impl_->section); }

}  // namespace vle::platform

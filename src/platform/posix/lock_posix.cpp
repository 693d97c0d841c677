#include <mutex>

#include "platform/lock.h"

namespace vle::platform {

struct Lock::Impl {
  std::mutex mutex;
};

Lock::Lock() : impl_(new Impl) {}
Lock::~Lock() { delete impl_; }
void Lock::Enter() { impl_->mutex.lock(); }
void Lock::Leave() { impl_->mutex.unlock(); }

}  // namespace vle::platform

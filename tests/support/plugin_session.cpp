#include "support/plugin_session.h"

namespace vle::test {

void PluginSession::SetUp() {
  host_ = std::make_unique<InProcessHost>("session");
  settingsDir_ = host_->folder().string();
}

void PluginSession::TearDown() { host_.reset(); }

void PluginSession::Announce(int32_t w, int32_t h, int32_t format, int32_t cpuClass) {
  ASSERT_EQ(host_->Announce(w, h, format, cpuClass), 1);
}

void PluginSession::Settle(HostFrame& frame) {
  const int settled = host_->Settle(frame);
  ASSERT_EQ(settled, kSettleFrames) << "frame " << settled + 1 << " was not answered 0";
}

}  // namespace vle::test

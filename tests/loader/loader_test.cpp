// Loads the built plug-in by file name, as a host does, and reads it through its two exports.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plugin/host_records.h"
#include "support/cp1251.h"

#ifdef _WIN32
#include <windows.h>
using Module = HMODULE;
static Module Open(const char* path) { return LoadLibraryA(path); }
static void* Find(Module m, const char* name) { return reinterpret_cast<void*>(GetProcAddress(m, name)); }
static void* FindOrdinal(Module m, int ordinal) {
  return reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(ordinal)));
}
static void Close(Module m) { FreeLibrary(m); }
#else
#include <dlfcn.h>
using Module = void*;
static Module Open(const char* path) {
  return dlopen((std::string("./") + path).c_str(), RTLD_NOW | RTLD_LOCAL);
}
static void* Find(Module m, const char* name) { return dlsym(m, name); }
static void Close(Module m) { dlclose(m); }
#endif

namespace {

using VersionFn = int32_t (*)();
using DescriptorFn = const PluginDescriptor* (*)();

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = Open(VLE_PLUGIN_PATH);
    ASSERT_NE(module_, nullptr) << "cannot load " << VLE_PLUGIN_PATH;
  }
  void TearDown() override {
    if (module_) Close(module_);
  }
  Module module_{};
};

TEST_F(LoaderTest, ExportsByName) {
  auto version = reinterpret_cast<VersionFn>(Find(module_, "Quorsana_Plugin_Version"));
  auto pr = reinterpret_cast<DescriptorFn>(Find(module_, "Quorsana_Plugin_PR"));
  ASSERT_NE(version, nullptr);
  ASSERT_NE(pr, nullptr);
  EXPECT_EQ(version(), 3);
  EXPECT_EQ(version(), 3);
  EXPECT_EQ(pr(), pr());
}

#ifdef _WIN32
TEST_F(LoaderTest, ExportsByOrdinal) {
  EXPECT_EQ(FindOrdinal(module_, 1), Find(module_, "Quorsana_Plugin_PR"));
  EXPECT_EQ(FindOrdinal(module_, 2), Find(module_, "Quorsana_Plugin_Version"));
  EXPECT_EQ(FindOrdinal(module_, 3), nullptr);
}
#endif

TEST_F(LoaderTest, DescriptorSlots) {
  auto pr = reinterpret_cast<DescriptorFn>(Find(module_, "Quorsana_Plugin_PR"));
  ASSERT_NE(pr, nullptr);
  const PluginDescriptor* d = pr();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(std::string(d->name), vle::test::Cp1251("Экстрактор логотипов"));
  EXPECT_EQ(std::string(d->description), vle::test::Cp1251("Изготовление шаблона логотипа."));
  ASSERT_NE(d->load, nullptr);
  ASSERT_NE(d->setFormat, nullptr);
  ASSERT_NE(d->processFrame, nullptr);
  ASSERT_NE(d->idle, nullptr);
  ASSERT_NE(d->configure, nullptr);
  ASSERT_NE(d->unload, nullptr);

  FrameFormat f{720, 576, 0, 0, 3};
  EXPECT_EQ(d->setFormat(&f), 1);
  FrameFormat zero{0, 0, 0, 1, 0};
  EXPECT_EQ(d->setFormat(&zero), 1);
  d->idle();
}

}  // namespace

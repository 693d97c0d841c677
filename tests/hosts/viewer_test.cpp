// logo-viewer's automated session under a real window system: it must open the plug-in's settings
// from its menu, capture, stop, photograph the screen with the held template over the video, and
// exit cleanly.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/read_file.h"

namespace {

std::wstring Widen(const char* text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring out(size_t(n > 0 ? n - 1 : 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), n);
  return out;
}

uint32_t Le32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}

// Pixels of a 24-bit bottom-up bitmap within `tolerance` of the colour 0xRRGGBB.
int64_t CountNear(const std::string& bmp, int w, int h, uint32_t rgb, int tolerance) {
  const size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
  const size_t offset = Le32(bmp, 10);
  int64_t n = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = reinterpret_cast<const uint8_t*>(bmp.data()) + offset + stride * size_t(y);
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = row + 3 * x;  // B, G, R
      n += std::abs(p[2] - int(rgb >> 16)) <= tolerance &&
           std::abs(p[1] - int((rgb >> 8) & 0xFF)) <= tolerance &&
           std::abs(p[0] - int(rgb & 0xFF)) <= tolerance;
    }
  }
  return n;
}

class ViewerSession : public ::testing::TestWithParam<const char*> {};

TEST_P(ViewerSession, ShowsTheHeldTemplateOverTheVideoAndExitsCleanly) {
  const std::wstring viewer = Widen(VLE_VIEWER);
  const std::wstring layout = Widen(GetParam());
  std::wstring shot = Widen(VLE_SCREENSHOT);
  shot.insert(shot.size() - 4, L"-" + layout);
  DeleteFileW(shot.c_str());
  // The plug-in's settings file beside the viewer: start from the default settings.
  const std::wstring folder = viewer.substr(0, viewer.find_last_of(L"\\/") + 1);
  DeleteFileW((folder + L"Plugins\\Vorlane_LogoExtractor.ini").c_str());

  // What the viewer says on standard error, for the failure message.
  const std::wstring said = shot.substr(0, shot.size() - 4) + L".log";
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE log = CreateFileW(said.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  std::wstring command = L"\"" + viewer + L"\" --pixel-format " + layout + L" --auto-test \"" + shot + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = log;
  si.hStdError = log;
  PROCESS_INFORMATION pi{};
  const bool started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi) != FALSE;
  const DWORD startError = GetLastError();
  if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
  ASSERT_TRUE(started) << "error " << startError;
  const DWORD waited = WaitForSingleObject(pi.hProcess, 180000);
  if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  const std::string message = vle::test::ReadFile(said);
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the viewer did not finish: " << message;
  ASSERT_EQ(code, 0u) << message;

  const std::string bmp = vle::test::ReadFile(shot);
  ASSERT_GE(bmp.size(), 54u);
  ASSERT_EQ(bmp.substr(0, 2), "BM");
  const int w = int(Le32(bmp, 18)), h = int(Le32(bmp, 22));
  EXPECT_EQ(w, GetSystemMetrics(SM_CXVIRTUALSCREEN));
  EXPECT_EQ(h, GetSystemMetrics(SM_CYVIRTUALSCREEN));
  ASSERT_EQ(bmp.size(), Le32(bmp, 10) + ((size_t(w) * 3 + 3) & ~size_t(3)) * size_t(h));
  // The held template in the region: the key colour over most of it (far more than the key
  // colour button shows), and the logo's gold ring.
  const int tolerance = layout == L"yuy2" ? 8 : 0;
  EXPECT_GE(CountNear(bmp, w, h, 0x0080FF, tolerance), 5000);
  EXPECT_GE(CountNear(bmp, w, h, 0xFAC41E, tolerance), 300);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ViewerSession, ::testing::Values("yuy2", "bgr24"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace

// logo-viewer: plays the synthetic broadcast (or raw frames) through the logo extractor plug-in in
// a window, as a TV-viewing host does, with the plug-in's settings under the "Plug-in" menu.
//
//   logo-viewer [--size WxH] [--pixel-format yuy2|bgr24] [--fps N] [--raw WxH:yuy2|bgr24 FILE]
//               [--auto-test SCREENSHOT.bmp]
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "viewer.h"

namespace {

using vle::broadcast::Layout;
using vle::viewer::ViewerOptions;

bool ParseSize(const std::wstring& text, int* w, int* h) {
  wchar_t tail = 0;
  return swscanf(text.c_str(), L"%dx%d%lc", w, h, &tail) == 2 && *w > 0 && *h > 0;
}

bool ParseLayout(const std::wstring& text, Layout* layout) {
  if (text == L"yuy2")
    *layout = Layout::kYuy2;
  else if (text == L"bgr24")
    *layout = Layout::kBgr24;
  else
    return false;
  return true;
}

// Empty when the command line is sound, else what is wrong with it.
std::wstring Parse(const std::vector<std::wstring>& args, ViewerOptions* o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == L"--size" && hasValue) {
      if (!ParseSize(args[++i], &o->width, &o->height)) return L"--size wants WIDTHxHEIGHT";
    } else if (a == L"--pixel-format" && hasValue) {
      if (!ParseLayout(args[++i], &o->layout)) return L"--pixel-format is yuy2 or bgr24";
    } else if (a == L"--fps" && hasValue) {
      o->framesPerSecond = _wtoi(args[++i].c_str());
      if (o->framesPerSecond < 1 || o->framesPerSecond > 240) return L"--fps wants 1 to 240";
    } else if (a == L"--raw" && i + 2 < args.size()) {
      const std::wstring description = args[++i];
      const size_t colon = description.find(L':');
      if (colon == std::wstring::npos || !ParseSize(description.substr(0, colon), &o->width, &o->height) ||
          !ParseLayout(description.substr(colon + 1), &o->layout)) {
        return L"--raw wants WIDTHxHEIGHT:yuy2 or WIDTHxHEIGHT:bgr24 and a file";
      }
      o->rawPath = args[++i];
    } else if (a == L"--auto-test" && hasValue) {
      o->autoTestShot = args[++i];
    } else {
      return L"unknown or incomplete option " + a +
             L"\n\nlogo-viewer [--size WxH] [--pixel-format yuy2|bgr24] [--fps N]\n"
             L"            [--raw WxH:yuy2|bgr24 FILE] [--auto-test SCREENSHOT.bmp]";
    }
  }
  return std::wstring();
}

// The automated session must never wait for a person: it reports on standard error instead.
int Report(const ViewerOptions& o, const std::wstring& text) {
  if (!o.autoTestShot.empty()) {
    fwprintf(stderr, L"logo-viewer: %ls\n", text.c_str());
  } else {
    MessageBoxW(nullptr, text.c_str(), L"logo-viewer", MB_OK | MB_ICONERROR);
  }
  return 2;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);

  ViewerOptions options;
  const std::wstring usage = Parse(args, &options);
  if (!usage.empty()) return Report(options, usage);
  vle::viewer::Viewer viewer(options);
  const std::wstring error = viewer.Start(instance);
  if (!error.empty()) return Report(options, error);
  return viewer.Run();
}

#include "screenshot.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>

namespace vle::viewer {

std::wstring SaveScreenshot(const std::wstring& path) {
  const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (w <= 0 || h <= 0) return L"the screen has no size";

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;  // bottom-up, as the file stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool copied = false;
  if (memory != nullptr && dib != nullptr) {
    HGDIOBJ old = SelectObject(memory, dib);
    copied = BitBlt(memory, 0, 0, w, h, screen, x, y, SRCCOPY | CAPTUREBLT) != FALSE;
    GdiFlush();
    SelectObject(memory, old);
  }
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!copied) {
    if (dib != nullptr) DeleteObject(dib);
    return L"the screen could not be copied";
  }

  const size_t folderEnd = path.find_last_of(L"\\/");
  if (folderEnd != std::wstring::npos) CreateDirectoryW(path.substr(0, folderEnd).c_str(), nullptr);
  const uint32_t stride = (uint32_t(w) * 3 + 3) & ~3u;
  const uint32_t imageBytes = stride * uint32_t(h);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageBytes;
  info.bmiHeader.biSizeImage = imageBytes;

  std::wstring error;
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (out == nullptr) {
    error = L"cannot write " + path;
  } else {
    const bool ok = fwrite(&file, sizeof file, 1, out) == 1 &&
                    fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                    fwrite(bits, 1, imageBytes, out) == imageBytes;
    if (fclose(out) != 0 || !ok) error = L"cannot write " + path;
  }
  DeleteObject(dib);
  return error;
}

}  // namespace vle::viewer

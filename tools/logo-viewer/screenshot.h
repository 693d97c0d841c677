// The whole virtual screen as a 24-bit bitmap file.
#pragma once

#include <string>

namespace vle::viewer {

// Captures every monitor's picture and writes it to `path`, creating the file's folder when only
// that last level is missing. Returns an empty string, or what went wrong.
std::wstring SaveScreenshot(const std::wstring& path);

}  // namespace vle::viewer

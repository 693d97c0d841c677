// The settings file exactly as the plug-in writes it for given values: the one section, window
// position first, then the eight settings in the file's order, CR LF after every line. No test
// framework here, so that fuzzers and benchmarks build their expectations with it too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/settings_block.h"

namespace vle::test {

inline std::string SettingsFileText(const SettingsBlock& b, int32_t dlgWndPosX = kNoWindowPosition,
                                    int32_t dlgWndPosY = kNoWindowPosition) {
  char text[512];
  std::snprintf(text, sizeof text,
                "[PluginSettings]\r\nDlgWndPosX=%d\r\nDlgWndPosY=%d\r\nLogoPosX=%d\r\nLogoPosY=%d\r\n"
                "LogoSizeX=%d\r\nLogoSizeY=%d\r\nInverseSelection=%u\r\nThreshold=%d\r\nBlackLevel=%d\r\n"
                "ColorKey=%u\r\n",
                static_cast<int>(dlgWndPosX), static_cast<int>(dlgWndPosY), static_cast<int>(b.logoPosX),
                static_cast<int>(b.logoPosY), static_cast<int>(b.logoSizeX), static_cast<int>(b.logoSizeY),
                static_cast<unsigned>(b.inverseSelection), static_cast<int>(b.threshold),
                static_cast<int>(b.blackLevel), static_cast<unsigned>(b.colorKey));
  return text;
}

}  // namespace vle::test

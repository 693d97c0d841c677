// Helpers of the host tests: running a program with its own environment and capturing what it
// says, a scratch folder per test, reading the template bitmap, and comparing masks.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "broadcast.h"
#include "support/read_file.h"

namespace vle::test {

struct ToolResult {
  int exitCode = -1;  // -1: did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with `args`; `env` entries are added to (or replace) this process's environment.
// Standard input comes from `stdinPath` (empty: /dev/null).
ToolResult RunTool(const std::string& program, const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env = {},
                   const std::string& stdinPath = std::string());

// A fresh folder, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> Entries() const;  // names, sorted

 private:
  std::string path_;
};

// A program started in the background with a pipe for its standard input that the test holds open,
// so that the program waits on it for as long as the test wants.
class RunningTool {
 public:
  RunningTool(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env = {});
  ~RunningTool();  // kills the program if it still runs
  RunningTool(const RunningTool&) = delete;
  RunningTool& operator=(const RunningTool&) = delete;

  int pid() const { return pid_; }
  // Waits until the program catches `signal` and sleeps (e.g. blocked in a read); false when it
  // ended or did not get there within `seconds`.
  bool WaitUntilBlocked(int signal, double seconds);
  // Waits up to `seconds` for the program to end; false when it still runs.
  bool Wait(double seconds, ToolResult* result);
  void CloseStdin();

 private:
  int pid_ = -1;
  int stdin_ = -1;
  std::string outPath_, errPath_;
  std::unique_ptr<ScratchDir> capture_;
};

void WriteFile(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);

// A 24-bit bitmap as the plug-in writes it; `rgb` is top-down R, G, B. `error` says what is wrong
// with the file, empty when it is sound.
struct Bitmap {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  std::string error;
  const uint8_t* At(int x, int y) const { return &rgb[3 * (size_t(y) * size_t(width) + size_t(x))]; }
};
Bitmap ReadBitmap(const std::string& path);

// An 8-bit RGB picture read from a PNG file; width 0 when it cannot be read.
struct Png {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // top-down R, G, B
};
Png ReadPng(const std::string& path);

// Win32 MulDiv for non-negative operands.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// The default region (2 % .. 22 %) of a frame, as left, top, right, bottom.
struct Box {
  int left, top, right, bottom;
};
Box DefaultRegion(int frameWidth, int frameHeight);

// `frameMask` (1 per logo pixel, rows top-down) cut to `region` and scaled to `width` x `height`,
// each output pixel taking the frame pixel under its centre.
std::vector<uint8_t> ScaleMask(const std::vector<uint8_t>& frameMask, int frameWidth, const Box& region,
                               int width, int height);

// Intersection over union of the bitmap's pixels that are not `keyRgb` and the mask's ones.
double KeyedIou(const Bitmap& bitmap, uint32_t keyRgb, const std::vector<uint8_t>& mask);

// Frames 0 .. frames - 1 of the scene through FFmpeg at `rate` frames a second (as FFmpeg writes a
// rate: "25", "60000/1001"), `encoder` being the options after the input; false when FFmpeg failed.
bool EncodeScene(const broadcast::Scene& scene, int frames, const std::string& rate, const std::string& encoder,
                 const std::string& path);

}  // namespace vle::test

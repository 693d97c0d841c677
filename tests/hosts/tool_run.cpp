#include "tool_run.h"

#include <fcntl.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

extern char** environ;

namespace vle::test {

namespace fs = std::filesystem;

namespace {

// Starts `program` with stdin, stdout and stderr from those descriptors.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::map<std::string, std::string>& env, int in, int out, int err) {
  std::map<std::string, std::string> merged;
  for (char** e = environ; *e != nullptr; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq != nullptr) merged[std::string(*e, size_t(eq - *e))] = eq + 1;
  }
  for (const auto& [k, v] : env) merged[k] = v;
  std::vector<std::string> envText;
  for (const auto& [k, v] : merged) envText.push_back(k + "=" + v);
  std::vector<char*> envp, argv;
  for (auto& s : envText) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argText = {program};
  argText.insert(argText.end(), args.begin(), args.end());
  for (auto& s : argText) argv.push_back(s.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    // The test's signal settings are not the program's.
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) signal(s, SIG_DFL);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

ToolResult RunTool(const std::string& program, const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env, const std::string& stdinPath) {
  ScratchDir capture;
  const std::string outPath = capture / "out", errPath = capture / "err";
  const int in = open(stdinPath.empty() ? "/dev/null" : stdinPath.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const pid_t pid = Spawn(program, args, env, in, out, err);
  for (int fd : {in, out, err})
    if (fd >= 0) close(fd);
  ToolResult r;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid) r.exitCode = ExitCode(status);
  r.out = ReadFile(outPath);
  r.err = ReadFile(errPath);
  return r;
}

RunningTool::RunningTool(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env)
    : capture_(std::make_unique<ScratchDir>()) {
  outPath_ = *capture_ / "out";
  errPath_ = *capture_ / "err";
  int fds[2] = {-1, -1};
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  stdin_ = fds[1];
  const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  pid_ = Spawn(program, args, env, fds[0], out, err);
  for (int fd : {fds[0], out, err})
    if (fd >= 0) close(fd);
}

RunningTool::~RunningTool() {
  CloseStdin();
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void RunningTool::CloseStdin() {
  if (stdin_ >= 0) close(stdin_);
  stdin_ = -1;
}

bool RunningTool::WaitUntilBlocked(int signal, double seconds) {
  const std::string proc = "/proc/" + std::to_string(pid_);
  int sleeping = 0;
  for (double waited = 0; pid_ > 0 && waited < seconds; waited += 0.01) {
    usleep(10000);
    // SigCgt: the handler is in place. State S, several times running: waiting, not starting up.
    const std::string status = ReadFile(proc + "/status");
    const size_t at = status.find("SigCgt:");
    const uint64_t caught = at == std::string::npos ? 0 : std::strtoull(status.c_str() + at + 7, nullptr, 16);
    const std::string stat = ReadFile(proc + "/stat");
    const size_t paren = stat.rfind(')');
    const char state = paren == std::string::npos || paren + 2 >= stat.size() ? '?' : stat[paren + 2];
    if (state == 'Z' || state == '?') return false;
    const bool ready = (caught >> (signal - 1) & 1) && state == 'S';
    sleeping = ready ? sleeping + 1 : 0;
    if (sleeping == 5) return true;
  }
  return false;
}

bool RunningTool::Wait(double seconds, ToolResult* result) {
  for (double waited = 0; pid_ > 0; waited += 0.01) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      result->exitCode = ExitCode(status);
      result->out = ReadFile(outPath_);
      result->err = ReadFile(errPath_);
      return true;
    }
    if (waited >= seconds) return false;
    usleep(10000);
  }
  return false;
}

ScratchDir::ScratchDir() {
  std::random_device rd;
  for (;;) {
    path_ =
        (fs::temp_directory_path() / ("vle-hosts-" + std::to_string(getpid()) + "-" + std::to_string(rd())))
            .string();
    if (fs::create_directory(path_)) break;
  }
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<std::string> ScratchDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

bool Exists(const std::string& path) { return fs::exists(path); }

namespace {
uint32_t Le32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}
uint32_t Le16(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8;
}
}  // namespace

Bitmap ReadBitmap(const std::string& path) {
  Bitmap bmp;
  const std::string b = ReadFile(path);
  if (b.size() < 58 || b[0] != 'B' || b[1] != 'M') {
    bmp.error = "no bitmap header";
    return bmp;
  }
  const int32_t w = int32_t(Le32(b, 18)), h = int32_t(Le32(b, 22));
  const size_t stride = (3 * size_t(std::max(w, 0)) + 3) / 4 * 4;
  if (Le32(b, 10) != 58 || Le32(b, 14) != 40 || Le16(b, 26) != 1 || Le16(b, 28) != 24 || Le32(b, 30) != 0 ||
      w < 0 || h < 0 || Le32(b, 2) != b.size() || b.size() != 58 + stride * size_t(h)) {
    bmp.error = "header fields or file size do not describe a 24-bit bitmap";
    return bmp;
  }
  bmp.width = w;
  bmp.height = h;
  bmp.rgb.resize(3 * size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y) {
    const size_t row = 58 + stride * size_t(h - 1 - y);  // rows bottom-up
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &bmp.rgb[3 * (size_t(y) * size_t(w) + size_t(x))];
      p[0] = uint8_t(b[row + 3 * size_t(x) + 2]);
      p[1] = uint8_t(b[row + 3 * size_t(x) + 1]);
      p[2] = uint8_t(b[row + 3 * size_t(x)]);
    }
  }
  return bmp;
}

Png ReadPng(const std::string& path) {
  Png out;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    return out;
  }
  out.width = int(image.width);
  out.height = int(image.height);
  out.rgb = std::move(rgb);
  return out;
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c) { return int32_t((int64_t(a) * b + c / 2) / c); }

Box DefaultRegion(int w, int h) {
  const int left = MulDiv(w, 20, 1000), top = MulDiv(h, 20, 1000);
  return Box{left, top, left + MulDiv(w, 200, 1000), top + MulDiv(h, 200, 1000)};
}

std::vector<uint8_t> ScaleMask(const std::vector<uint8_t>& frameMask, int frameWidth, const Box& r, int width,
                               int height) {
  std::vector<uint8_t> out(size_t(width) * size_t(height));
  const int rw = r.right - r.left, rh = r.bottom - r.top;
  for (int y = 0; y < height; ++y) {
    const int sy = r.top + int((2 * int64_t(y) + 1) * rh / (2 * int64_t(height)));
    for (int x = 0; x < width; ++x) {
      const int sx = r.left + int((2 * int64_t(x) + 1) * rw / (2 * int64_t(width)));
      out[size_t(y) * size_t(width) + size_t(x)] = frameMask[size_t(sy) * size_t(frameWidth) + size_t(sx)];
    }
  }
  return out;
}

double KeyedIou(const Bitmap& bitmap, uint32_t keyRgb, const std::vector<uint8_t>& mask) {
  int64_t both = 0, either = 0;
  for (int y = 0; y < bitmap.height; ++y) {
    for (int x = 0; x < bitmap.width; ++x) {
      const uint8_t* p = bitmap.At(x, y);
      const bool logo = ((uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]) != keyRgb;
      const bool truth = mask[size_t(y) * size_t(bitmap.width) + size_t(x)] != 0;
      both += logo && truth;
      either += logo || truth;
    }
  }
  return either == 0 ? 0.0 : double(both) / double(either);
}

bool EncodeScene(const broadcast::Scene& scene, int frames, const std::string& rate, const std::string& encoder,
                 const std::string& path) {
  const broadcast::SyntheticBroadcast b(scene);
  const std::string command = "ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s " + std::to_string(scene.width) + "x" +
                              std::to_string(scene.height) + " -r " + rate + " -i - " + encoder +
                              " -pix_fmt yuv420p '" + path + "'";
  std::FILE* pipe = popen(command.c_str(), "w");
  if (pipe == nullptr) return false;
  std::vector<uint8_t> rgb(3 * size_t(scene.width) * size_t(scene.height));
  bool ok = true;
  for (int n = 0; n < frames && ok; ++n) {
    b.RenderRgb(n, rgb.data());
    ok = std::fwrite(rgb.data(), 1, rgb.size(), pipe) == rgb.size();
  }
  return pclose(pipe) == 0 && ok;
}

}  // namespace vle::test

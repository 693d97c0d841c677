// logo-extract end to end: the real program, the real plug-in loaded by file name, real files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "broadcast.h"
#include "plugin/plugin.h"
#include "support/host_harness.h"
#include "tool_run.h"
#include "ui/control_ids.h"
#include "ui/headless/headless_desktop.h"

namespace vle::test {
namespace {

using broadcast::Layout;
using broadcast::SyntheticBroadcast;

constexpr uint32_t kDefaultKeyRgb = 0x0080FF;  // COLORREF 0xFF8000 as R, G, B

std::string LayoutName(Layout l) { return l == Layout::kYuy2 ? "yuy2" : "bgr24"; }

// Every run keeps the plug-in's settings file in the scratch folder, starting from the defaults.
class LogoExtract : public ::testing::Test {
 protected:
  // The plug-in creates only the last folder, Plugins, of its settings path.
  void SetUp() override {
    ASSERT_EQ(mkdir((dir_ / "config").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir_ / "config/Quorsana").c_str(), 0700), 0);
  }

  ToolResult Extract(std::vector<std::string> args, const std::string& stdinPath = std::string()) {
    return RunTool(VLE_LOGO_EXTRACT, args, Env(), stdinPath);
  }
  // The same through the shell, which runs `setup` first ("cd DIR", "ulimit -f 16").
  ToolResult ExtractAfter(const std::string& setup, std::vector<std::string> args) {
    args.insert(args.begin(), {"-c", setup + " && exec \"$0\" \"$@\"", VLE_LOGO_EXTRACT});
    return RunTool("/bin/sh", args, Env());
  }
  std::map<std::string, std::string> Env() const {
    return {{"QUORSANA_STORE_IN_USERS_FOLDER", "1"}, {"XDG_CONFIG_HOME", dir_ / "config"}};
  }
  std::string SettingsFile() const { return dir_ / "config/Quorsana/Plugins/Vorlane_LogoExtractor.ini"; }
  // The value of `key` in the settings file, or empty.
  std::string Setting(const std::string& key) const {
    std::istringstream in(ReadFile(SettingsFile()));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return std::string();
  }

  ScratchDir dir_;
};

// ---- The synthetic broadcast through the whole chain ----

// The plug-in linked into this test, driven as logo-extract drives the loaded one (loaded, format
// announced, settings window opened, Start clicked, every frame handed over): what it makes of the
// same frames is what logo-extract must have written.
class InProcessPlugin {
 public:
  InProcessPlugin(int w, int h, Layout layout) : host_("in-process") {
    Quorsana_Plugin_PR()->load();
    started_ = host_.Start(w, h, layout == Layout::kYuy2 ? 0 : 1);
  }
  bool started() const { return started_; }
  void Process(uint8_t* pixels) { host_.Process(pixels); }
  std::string StopAndSave(const std::string& path) {
    auto& desktop = host_.desktop();
    desktop.Click(IDC_STOP);
    desktop.saveChooser = [&](const ui::SaveFileRequest&, std::string* chosen) {
      *chosen = path;
      return true;
    };
    desktop.Click(IDC_SAVE);
    desktop.saveChooser = nullptr;
    return ReadFile(path);
  }

 private:
  InProcessHost host_;
  bool started_ = false;
};

class DemoChain : public LogoExtract, public ::testing::WithParamInterface<Layout> {};

TEST_P(DemoChain, TemplateMatchesTheLogoAndFramesMatchTheInProcessPlugin) {
  const Layout layout = GetParam();
  const int w = 720, h = 576, frames = 300;
  const ToolResult r = Extract({"--demo", "--frames", std::to_string(frames), "--pixel-format",
                                LayoutName(layout), "-o", dir_ / "logo.bmp", "--preview",
                                dir_ / "preview.png", "--output-frames", dir_ / "frames.raw", "-q"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");  // quiet

  const Bitmap bmp = ReadBitmap(dir_ / "logo.bmp");
  ASSERT_EQ(bmp.error, "");
  EXPECT_EQ(bmp.width, 154);
  EXPECT_EQ(bmp.height, 115);
  const SyntheticBroadcast broadcast(w, h, layout);
  const double iou =
      KeyedIou(bmp, kDefaultKeyRgb, ScaleMask(broadcast.OpaqueMask(), w, DefaultRegion(w, h), 154, 115));
  RecordProperty("iou", std::to_string(iou));
  std::printf("IoU of the %s template with the logo's opaque parts: %.4f\n", LayoutName(layout).c_str(), iou);
  EXPECT_GE(iou, 0.9);

  // Frame by frame against the plug-in in this process, and the same bitmap at the end.
  std::ifstream processed(dir_ / "frames.raw", std::ios::binary);
  std::vector<uint8_t> mine(broadcast.frameBytes()), theirs(broadcast.frameBytes());
  {
    InProcessPlugin plugin(w, h, layout);
    ASSERT_TRUE(plugin.started());
    for (int n = 0; n < frames; ++n) {
      broadcast.Render(n, mine.data());
      plugin.Process(mine.data());
      ASSERT_TRUE(processed.read(reinterpret_cast<char*>(theirs.data()), std::streamsize(theirs.size())))
          << "frames.raw ends at frame " << n;
      ASSERT_TRUE(mine == theirs) << "frame " << n << " differs";
    }
    EXPECT_EQ(processed.peek(), EOF) << "frames.raw holds more than " << frames << " frames";
    EXPECT_TRUE(plugin.StopAndSave(dir_ / "in-process.bmp") == ReadFile(dir_ / "logo.bmp"));
  }

  // The preview is the last frame upright in true colours: the outline just left of the region,
  // the key colour in the region's corners (outside the logo), the logo's white V, and the moving
  // picture, not the key colour, below the region.
  const Png preview = ReadPng(dir_ / "preview.png");
  ASSERT_EQ(preview.width, w);
  ASSERT_EQ(preview.height, h);
  const Box region = DefaultRegion(w, h);
  const int vX = w * 40 / 1000 + (w * 200 / 1000 - w * 40 / 1000) * 770 / 1024;
  const int vY = h * 40 / 1000 + (h * 190 / 1000 - h * 40 / 1000) * 650 / 1024;
  struct Probe {
    int x, y;
    uint32_t rgb;
    bool equal;
  } probes[] = {{region.left - 1, region.top + 40, 0xC0C0C0, true},
                {region.right, region.top + 40, 0xC0C0C0, true},
                {region.left + 3, region.top + 3, kDefaultKeyRgb, true},
                {region.left + 3, region.bottom - 3, kDefaultKeyRgb, true},
                {vX, vY, 0xF6F6F6, true},
                {region.left + 3, region.bottom + 20, kDefaultKeyRgb, false}};
  for (const Probe& p : probes) {
    const uint8_t* px = &preview.rgb[3 * (size_t(p.y) * size_t(w) + size_t(p.x))];
    // A Yuy2 frame carries the colours through 4:2:2 YCbCr: a few levels of rounding.
    const int tolerance = layout == Layout::kYuy2 ? 6 : 0;
    const bool near = std::abs(px[0] - int(p.rgb >> 16)) <= tolerance &&
                      std::abs(px[1] - int((p.rgb >> 8) & 0xFF)) <= tolerance &&
                      std::abs(px[2] - int(p.rgb & 0xFF)) <= tolerance;
    EXPECT_EQ(near, p.equal) << "preview pixel (" << p.x << ", " << p.y << ") is " << int(px[0]) << ", "
                             << int(px[1]) << ", " << int(px[2]);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, DemoChain, ::testing::Values(Layout::kYuy2, Layout::kBgr24),
                         [](const auto& info) { return LayoutName(info.param); });

// ---- A real recording, made by FFmpeg: a static box over a noisy moving test picture ----

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string d; std::getline(dirs, d, ':');) {
    const std::string candidate = d + "/" + name;
    if (!d.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::string();
}

enum class Via { kPath, kStdin, kColonInName, kUrl };

struct RecordingCase {
  const char* name;
  Layout layout;
  int width, height;  // 0: the recording's own 320 x 240
  Via via = Via::kPath;
};

void PrintTo(const RecordingCase& c, std::ostream* os) { *os << c.name; }

class Recording : public LogoExtract, public ::testing::WithParamInterface<RecordingCase> {
 protected:
  // One recording for all cases: 100 frames, a 40 x 24 box at (24, 18) that noise never touches.
  static void SetUpTestSuite() {
    const std::string ffmpeg = FindOnPath("ffmpeg");
    if (ffmpeg.empty()) return;
    dir_ = new ScratchDir;
    const std::string out = *dir_ / "recording.ts";  // streamable: readable from a pipe too
    for (const char* codec : {"libx264", "mpeg4"}) {
      const ToolResult r = RunTool(ffmpeg, {"-v",
                                            "error",
                                            "-y",
                                            "-f",
                                            "lavfi",
                                            "-i",
                                            "testsrc2=size=320x240:rate=25,noise=alls=100:allf=t+u",
                                            "-f",
                                            "lavfi",
                                            "-i",
                                            "color=c=0xF0E040:size=40x24:rate=25",
                                            "-filter_complex",
                                            "[0][1]overlay=24:18:shortest=1",
                                            "-t",
                                            "4",
                                            "-c:v",
                                            codec,
                                            "-q:v",
                                            "2",
                                            "-crf",
                                            "18",
                                            "-pix_fmt",
                                            "yuv420p",
                                            out});
      if (r.exitCode == 0) {
        path_ = out;
        return;
      }
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static ScratchDir* dir_;
  static std::string path_;
};
ScratchDir* Recording::dir_ = nullptr;
std::string Recording::path_;

TEST_P(Recording, TemplateHoldsTheStaticBoxAndNothingElse) {
  if (path_.empty()) GTEST_SKIP() << "no ffmpeg that can make the recording";
  const RecordingCase& c = GetParam();
  const std::map<Via, std::vector<std::string>> inputs = {{Via::kPath, {path_}},
                                                          {Via::kStdin, {"-"}},
                                                          {Via::kColonInName, {"news:2024.ts"}},
                                                          {Via::kUrl, {"--url", "file:" + path_}}};
  std::vector<std::string> args = inputs.at(c.via);
  args.insert(args.end(), {"--pixel-format", LayoutName(c.layout), "-o", LogoExtract::dir_ / "logo.bmp"});
  if (c.width != 0)
    args.insert(args.end(), {"--size", std::to_string(c.width) + "x" + std::to_string(c.height)});
  ToolResult r;
  if (c.via == Via::kColonInName) {
    // Relative, as a protocol name would be: "news:" must not be taken for one.
    WriteFile(LogoExtract::dir_ / "news:2024.ts", ReadFile(path_));
    r = ExtractAfter("cd '" + LogoExtract::dir_.path() + "'", args);
  } else {
    r = Extract(args, c.via == Via::kStdin ? path_ : std::string());
  }
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("100 frames"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("75 captured"), std::string::npos) << r.err;

  const Bitmap bmp = ReadBitmap(LogoExtract::dir_ / "logo.bmp");
  ASSERT_EQ(bmp.error, "");
  ASSERT_EQ(bmp.width, 154);
  ASSERT_EQ(bmp.height, 115);
  const int w = c.width ? c.width : 320, h = c.height ? c.height : 240;
  std::vector<uint8_t> box(size_t(w) * size_t(h));
  for (int y = 18 * h / 240; y < 42 * h / 240; ++y)
    for (int x = 24 * w / 320; x < 64 * w / 320; ++x) box[size_t(y) * size_t(w) + size_t(x)] = 1;
  const double iou = KeyedIou(bmp, kDefaultKeyRgb, ScaleMask(box, w, DefaultRegion(w, h), 154, 115));
  std::printf("IoU of the %s template with the recording's box: %.4f\n", c.name, iou);
  EXPECT_GE(iou, 0.9);
}

INSTANTIATE_TEST_SUITE_P(Cases, Recording,
                         ::testing::Values(RecordingCase{"yuy2", Layout::kYuy2, 0, 0},
                                           RecordingCase{"bgr24", Layout::kBgr24, 0, 0},
                                           RecordingCase{"bgr24_scaled_up", Layout::kBgr24, 640, 480},
                                           RecordingCase{"yuy2_from_stdin", Layout::kYuy2, 0, 0, Via::kStdin},
                                           RecordingCase{"colon_in_file_name", Layout::kYuy2, 0, 0,
                                                         Via::kColonInName},
                                           RecordingCase{"url_option", Layout::kYuy2, 0, 0, Via::kUrl}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Raw frames: from a file or from standard input, the same template as the same demo ----

class RawFrames : public LogoExtract, public ::testing::WithParamInterface<bool> {};

TEST_P(RawFrames, GiveTheTemplateOfTheSameFramesFromTheDemo) {
  const bool fromStdin = GetParam();
  const int w = 200, h = 160, frames = 120;
  const SyntheticBroadcast broadcast(w, h, Layout::kYuy2);
  {
    std::ofstream raw(dir_ / "frames.yuy2", std::ios::binary);
    std::vector<uint8_t> frame(broadcast.frameBytes());
    for (int n = 0; n < frames; ++n) {
      broadcast.Render(n, frame.data());
      raw.write(reinterpret_cast<const char*>(frame.data()), std::streamsize(frame.size()));
    }
  }
  const ToolResult demo =
      Extract({"--demo", "--size", "200x160", "--frames", "120", "-o", dir_ / "demo.bmp"});
  ASSERT_EQ(demo.exitCode, 0) << demo.err;
  const ToolResult raw =
      fromStdin ? Extract({"--raw", "200x160:yuy2", "-", "-o", dir_ / "raw.bmp"}, dir_ / "frames.yuy2")
                : Extract({"--raw", "200x160:yuy2", dir_ / "frames.yuy2", "-o", dir_ / "raw.bmp"});
  ASSERT_EQ(raw.exitCode, 0) << raw.err;
  EXPECT_EQ(ReadBitmap(dir_ / "raw.bmp").error, "");
  EXPECT_TRUE(ReadFile(dir_ / "raw.bmp") == ReadFile(dir_ / "demo.bmp"));
}

INSTANTIATE_TEST_SUITE_P(Sources, RawFrames, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "stdin" : "file"; });

// ---- Options reach the plug-in through its settings window, and it keeps them ----

struct SettingsCase {
  const char* name;
  std::vector<std::string> args;
  std::map<std::string, std::string> file;  // settings file values afterwards
  int bitmapWidth, bitmapHeight;
  uint32_t keyRgb;          // the key colour
  bool cornerKeyed = true;  // the bitmap's corner (moving picture) is keyed
};

void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

class SettingsWindow : public LogoExtract, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(SettingsWindow, OptionsBecomeTheSettingsTheTemplateIsMadeWith) {
  const SettingsCase& c = GetParam();
  std::vector<std::string> args = {"--demo", "--size", "160x128", "--frames", "90", "-o", dir_ / "logo.bmp"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const ToolResult r = Extract(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const auto& [key, value] : c.file) EXPECT_EQ(Setting(key), value) << key;
  const Bitmap bmp = ReadBitmap(dir_ / "logo.bmp");
  ASSERT_EQ(bmp.error, "");
  EXPECT_EQ(bmp.width, c.bitmapWidth);
  EXPECT_EQ(bmp.height, c.bitmapHeight);
  const uint8_t* corner = bmp.At(0, bmp.height - 1);  // the moving picture
  EXPECT_EQ(((uint32_t(corner[0]) << 16) | (uint32_t(corner[1]) << 8) | corner[2]) == c.keyRgb,
            c.cornerKeyed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsWindow,
    ::testing::Values(
        SettingsCase{"defaults",
                     {},
                     {{"LogoPosX", "20"}, {"LogoSizeY", "200"}, {"Threshold", "50"}},
                     154,
                     115,
                     kDefaultKeyRgb},
        // Sizes are set before positions: the size control moves the position to keep the centre.
        SettingsCase{"region",
                     {"--region", "10.0,5.5,30.0,40.0"},
                     {{"LogoPosX", "100"}, {"LogoPosY", "55"}, {"LogoSizeX", "300"}, {"LogoSizeY", "400"}},
                     230,
                     230,
                     kDefaultKeyRgb},
        SettingsCase{"region_at_the_far_corner",
                     {"--region", "70,60,30,40"},
                     {{"LogoPosX", "700"}, {"LogoPosY", "600"}, {"LogoSizeX", "300"}, {"LogoSizeY", "400"}},
                     230,
                     230,
                     kDefaultKeyRgb},
        SettingsCase{"levels",
                     {"--threshold", "30", "--black-level", "20"},
                     {{"Threshold", "30"}, {"BlackLevel", "20"}},
                     154,
                     115,
                     kDefaultKeyRgb},
        // RRGGBB 00FF40 is the COLORREF 0x0040FF00.
        SettingsCase{"key_colour",
                     {"--key-colour", "00FF40"},
                     {{"ColorKey", std::to_string(0x40FF00)}},
                     154,
                     115,
                     0x00FF40},
        // Inverted, the moving picture keeps its darkest colours and the logo is keyed.
        SettingsCase{
            "inversion", {"--invert"}, {{"InverseSelection", "1"}}, 154, 115, kDefaultKeyRgb, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogoExtract, SettingsLastUntilChangedAndInversionIsSetNotToggled) {
  const std::vector<std::string> base = {"--demo", "--size", "160x128",        "--frames",
                                         "40",     "-o",     dir_ / "logo.bmp"};
  auto run = [&](std::vector<std::string> extra) {
    extra.insert(extra.begin(), base.begin(), base.end());
    return Extract(extra);
  };
  ToolResult r = run({"--threshold", "31", "--invert", "-q"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = run({"--invert"});  // already on: stays on
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("threshold 31, black level 0, inversion on"), std::string::npos) << r.err;
  EXPECT_EQ(Setting("InverseSelection"), "1");
  r = run({"--no-invert", "-q"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Setting("InverseSelection"), "0");
  EXPECT_EQ(Setting("Threshold"), "31");
}

// ---- Bad input: one line, a non-zero exit, and no file written or replaced ----

struct ErrorCase {
  const char* name;
  std::vector<std::string> args;  // "@" is replaced by the scratch folder
  const char* message;            // part of the one line on standard error
  const char* stdinContent = nullptr;
  const char* shellSetup = nullptr;  // run through the shell after this
};

// Every entry of a folder with what it holds: bytes, a link's target, or a folder's mark.
std::map<std::string, std::string> Snapshot(const ScratchDir& dir) {
  std::map<std::string, std::string> files;
  for (const std::string& name : dir.Entries()) {
    struct stat st {};
    lstat((dir / name).c_str(), &st);
    std::string link(256, '\0');
    if (S_ISLNK(st.st_mode)) {
      link.resize(size_t(std::max<ssize_t>(0, readlink((dir / name).c_str(), link.data(), link.size()))));
      files[name] = "link to " + link;
    } else {
      files[name] = S_ISREG(st.st_mode) ? ReadFile(dir / name) : "mode " + std::to_string(st.st_mode);
    }
  }
  return files;
}

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class BadInput : public LogoExtract, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(BadInput, FailsWithOneLineAndWritesNothing) {
  const ErrorCase& c = GetParam();
  WriteFile(dir_ / "garbage.mp4", std::string(4096, '\x5a'));
  WriteFile(dir_ / "short.yuy2", std::string(1000, '\0'));
  WriteFile(dir_ / "logo.bmp", "an earlier template");
  // 40 frames: enough for a whole run, should an output replace them.
  WriteFile(dir_ / "in.bgr24", std::string(40 * 16 * 16 * 3, '\x40'));
  ASSERT_EQ(symlink("in.bgr24", (dir_ / "in-link").c_str()), 0);
  ASSERT_EQ(link((dir_ / "in.bgr24").c_str(), (dir_ / "in-hard").c_str()), 0);
  ASSERT_EQ(symlink("logo.bmp", (dir_ / "logo-link").c_str()), 0);
  ASSERT_EQ(mkdir((dir_ / "adir").c_str(), 0700), 0);
  WriteFile(dir_ / "readonly.bmp", "kept");
  ASSERT_EQ(chmod((dir_ / "readonly.bmp").c_str(), 0444), 0);
  std::vector<std::string> args = {
      "-o", dir_ / "logo.bmp", "--preview", dir_ / "preview.png", "--output-frames", dir_ / "frames.raw"};
  for (std::string a : c.args) {
    if (const size_t at = a.find('@'); at != std::string::npos) a.replace(at, 1, dir_.path());
    args.push_back(a);
  }
  std::string input;
  if (c.stdinContent != nullptr) {
    input = dir_ / "stdin";
    WriteFile(input, c.stdinContent);
  }
  const auto before = Snapshot(dir_);
  const ToolResult r = c.shellSetup ? ExtractAfter(c.shellSetup, args) : Extract(args, input);

  EXPECT_NE(r.exitCode, 0);
  EXPECT_EQ(r.err.rfind("logo-extract: ", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(r.err.back(), '\n');
  EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  // No output, no temporary file left behind, the input and every earlier file as they were.
  EXPECT_TRUE(Snapshot(dir_) == before);
  EXPECT_EQ(ReadFile(dir_ / "logo.bmp"), "an earlier template");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadInput,
    ::testing::Values(
        ErrorCase{"missing_recording", {"@/nowhere.mp4"}, "cannot open"},
        ErrorCase{"undecodable_recording", {"@/garbage.mp4"}, "garbage.mp4"},
        ErrorCase{
            "raw_size_not_dividing_the_file", {"--raw", "16x16:yuy2", "@/short.yuy2"}, "not a whole number"},
        ErrorCase{"raw_stdin_ending_inside_a_frame",
                  {"--raw", "16x16:bgr24", "-"},
                  "ends inside a frame",
                  "a few bytes, not a frame"},
        ErrorCase{"raw_odd_width_yuy2", {"--raw", "15x16:yuy2", "@/short.yuy2"}, "even width"},
        ErrorCase{"raw_zero_size", {"--raw", "0x16:bgr24", "@/short.yuy2"}, "--raw wants"},
        ErrorCase{"raw_unknown_layout", {"--raw", "16x16:rgb", "@/short.yuy2"}, "--raw wants"},
        ErrorCase{"demo_zero_size", {"--demo", "--size", "640x0"}, "--size wants"},
        ErrorCase{"demo_odd_width_yuy2", {"--demo", "--size", "321x240"}, "even width"},
        ErrorCase{"too_few_frames_to_settle", {"--demo", "--frames", "25"}, "captured none"},
        ErrorCase{"zero_frames", {"--demo", "--frames", "0"}, "--frames"},
        ErrorCase{"threshold_above_255", {"--demo", "--threshold", "256"}, "0 to 255"},
        ErrorCase{"black_level_negative", {"--demo", "--black-level", "-1"}, "0 to 255"},
        ErrorCase{"threshold_not_a_number", {"--demo", "--threshold", "ten"}, "0 to 255"},
        ErrorCase{"region_beyond_the_frame", {"--demo", "--region", "90,0,20,20"}, "beyond the frame"},
        ErrorCase{"region_two_decimals", {"--demo", "--region", "1.25,2,20,20"}, "one decimal"},
        ErrorCase{"region_three_values", {"--demo", "--region", "2,2,20"}, "X,Y,WIDTH,HEIGHT"},
        ErrorCase{"key_colour_not_hex", {"--demo", "--key-colour", "12345G"}, "six hexadecimal"},
        ErrorCase{"pixel_format_unknown", {"--demo", "--pixel-format", "rgb32"}, "yuy2 or bgr24"},
        ErrorCase{"unknown_option", {"--demo", "--frobnicate"}, "unknown option '--frobnicate'"},
        ErrorCase{"value_missing", {"--demo", "--threshold"}, "needs a value"},
        ErrorCase{"no_input", {}, "no input"},
        ErrorCase{"two_inputs", {"--demo", "@/garbage.mp4"}, "one input"},
        ErrorCase{"output_folder_missing", {"--demo", "-o", "@/no/such/folder/logo.bmp"}, "cannot write"},
        ErrorCase{"plugin_missing", {"--demo", "--plugin", "@/nowhere.so"}, "no plug-in"},
        ErrorCase{"plugin_not_a_library", {"--demo", "--plugin", "@/garbage.mp4"}, "cannot load"},
        // An output is never the input, nor another output, however it is named.
        ErrorCase{"output_frames_over_raw_input",
                  {"--raw", "16x16:bgr24", "@/in.bgr24", "--output-frames", "@/./in.bgr24"},
                  "would overwrite the input"},
        ErrorCase{"output_over_input_through_symlink",
                  {"--raw", "16x16:bgr24", "@/in.bgr24", "-o", "@/in-link"},
                  "would overwrite the input"},
        ErrorCase{"output_over_input_hard_link",
                  {"--raw", "16x16:bgr24", "@/in-hard", "--output-frames", "@/in.bgr24"},
                  "would overwrite the input"},
        ErrorCase{"two_outputs_one_new_file",
                  {"--demo", "--frames", "40", "-o", "@/x.png", "--preview", "@/./x.png"},
                  "are the same file"},
        ErrorCase{"two_outputs_one_file_through_symlink",
                  {"--demo", "--frames", "40", "--preview", "@/logo-link"},
                  "are the same file"},
        ErrorCase{"two_outputs_on_standard_output",
                  {"--demo", "--frames", "40", "-o", "-", "--preview", "-"},
                  "are the same file"},
        // Destinations are checked before the first frame, and a failing one replaces nothing.
        ErrorCase{"preview_is_a_folder", {"--demo", "--frames", "40", "--preview", "@/adir"}, "is a folder"},
        ErrorCase{"output_read_only", {"--demo", "--frames", "40", "-o", "@/readonly.bmp"}, "read-only"},
        ErrorCase{
            "bitmap_device_full", {"--demo", "--frames", "40", "-o", "/dev/full"}, "No space left on device"},
        ErrorCase{"file_size_limit", {"--demo", "--frames", "40"}, "File too large", nullptr, "ulimit -f 64"},
        ErrorCase{"region_empty", {"--demo", "--region", "0,0,0,0"}, "is empty"},
        ErrorCase{"region_zero_height", {"--demo", "--region", "10,10,20,0"}, "is empty"},
        ErrorCase{"pixel_format_after_raw",
                  {"--raw", "16x16:bgr24", "@/in.bgr24", "--pixel-format", "yuy2"},
                  "disagree"},
        ErrorCase{"protocol_without_url_option", {"http://127.0.0.1:9/live.ts"}, "use --url"},
        ErrorCase{"sample_unknown", {"--demo", "--sample", "some"}, "--sample is all, keyframes or every"},
        ErrorCase{"sample_every_zero", {"--demo", "--sample", "every:0"}, "--sample is all"},
        ErrorCase{"until_stable_zero", {"--demo", "--until-stable", "0"}, "--until-stable wants"},
        ErrorCase{"mask_neither_png_nor_pgm", {"--demo", "--mask", "@/mask.jpg"}, "--mask writes"},
        ErrorCase{"find_logo_with_region", {"--demo", "--find-logo", "--region", "2,2,20,20"}, "leave out --region"},
        ErrorCase{"find_logo_from_stdin", {"--find-logo", "-"}, "not standard input", "x"},
        ErrorCase{"report_over_the_input", {"@/garbage.mp4", "--report", "@/garbage.mp4"}, "overwrite the input"},
        ErrorCase{"report_folder_missing", {"--demo", "--report", "@/no/such/report.json"}, "cannot write"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Where outputs go: through symlinks, keeping modes, into devices, FIFOs and standard output ----

struct DestinationCase {
  const char* name;
  std::function<void(const ScratchDir&)> setup;
  std::vector<std::string> args;  // "@" is replaced by the scratch folder
  // Checks what the run left; `bitmap` is the template it wrote, wherever it went.
  std::function<void(const ScratchDir&, const std::string& bitmap)> check;
  std::string bitmapAt;  // the file holding the template afterwards; empty: standard output
};

void PrintTo(const DestinationCase& c, std::ostream* os) { *os << c.name; }

class Destination : public LogoExtract, public ::testing::WithParamInterface<DestinationCase> {};

mode_t ModeOf(const std::string& path, bool followLinks = true) {
  struct stat st {};
  (followLinks ? stat : lstat)(path.c_str(), &st);
  return st.st_mode;
}

TEST_P(Destination, IsWrittenWhereThePathLeads) {
  const DestinationCase& c = GetParam();
  if (c.setup) c.setup(dir_);
  std::vector<std::string> args = {"--demo", "--size", "64x48", "--frames", "40", "-q"};
  for (std::string a : c.args) {
    if (const size_t at = a.find('@'); at != std::string::npos) a.replace(at, 1, dir_.path());
    args.push_back(a);
  }
  const ToolResult r = Extract(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string bitmap = c.bitmapAt.empty() ? r.out : ReadFile(dir_ / c.bitmapAt);
  WriteFile(dir_ / "check.bmp", bitmap);
  EXPECT_EQ(ReadBitmap(dir_ / "check.bmp").error, "");
  std::remove((dir_ / "check.bmp").c_str());
  c.check(dir_, bitmap);
  for (const std::string& name : dir_.Entries()) EXPECT_EQ(name.find(".partial"), std::string::npos) << name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Destination,
    ::testing::Values(
        DestinationCase{"symlink_is_followed",
                        [](const ScratchDir& d) {
                          WriteFile(d / "target.bmp", "old");
                          symlink("target.bmp", (d / "link.bmp").c_str());
                        },
                        {"-o", "@/link.bmp"},
                        [](const ScratchDir& d, const std::string&) {
                          EXPECT_TRUE(S_ISLNK(ModeOf(d / "link.bmp", false)));
                        },
                        "target.bmp"},
        DestinationCase{"dangling_symlink_makes_its_target",
                        [](const ScratchDir& d) { symlink("made.bmp", (d / "link.bmp").c_str()); },
                        {"-o", "@/link.bmp"},
                        [](const ScratchDir& d, const std::string&) {
                          EXPECT_TRUE(S_ISLNK(ModeOf(d / "link.bmp", false)));
                        },
                        "made.bmp"},
        DestinationCase{
            "mode_is_kept",
            [](const ScratchDir& d) {
              WriteFile(d / "logo.bmp", "old");
              chmod((d / "logo.bmp").c_str(), 0604);
            },
            {"-o", "@/logo.bmp"},
            [](const ScratchDir& d, const std::string&) { EXPECT_EQ(ModeOf(d / "logo.bmp") & 07777, 0604u); },
            "logo.bmp"},
        DestinationCase{
            "standard_output", nullptr, {"-o", "-"}, [](const ScratchDir&, const std::string&) {}, ""},
        DestinationCase{
            "device_is_written_not_replaced",
            nullptr,
            {"-o", "@/logo.bmp", "--output-frames", "/dev/null"},
            [](const ScratchDir&, const std::string&) { EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null"))); },
            "logo.bmp"}),
    [](const auto& info) { return std::string(info.param.name); });

// The test holds the FIFO open for reading and writing, so the program's open does not wait for a
// reader, and the template (53,418 bytes) fits the pipe's buffer.
TEST_F(LogoExtract, FifoIsWrittenNotReplaced) {
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  const int fd = open((dir_ / "fifo").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  const ToolResult r = Extract({"--demo", "--size", "64x48", "--frames", "40", "-q", "-o", dir_ / "fifo"});
  std::string bytes(1 << 17, '\0');
  const ssize_t n = read(fd, bytes.data(), bytes.size());
  close(fd);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(S_ISFIFO(ModeOf(dir_ / "fifo")));
  bytes.resize(size_t(std::max<ssize_t>(n, 0)));
  WriteFile(dir_ / "logo.bmp", bytes);
  EXPECT_EQ(ReadBitmap(dir_ / "logo.bmp").error, "");
}

// ---- A stalled input stops at a signal, and leaves nothing behind ----

// Where the program waits: for a recording's first bytes, for raw frames (the plug-in is loaded by
// then), or for the reader of a FIFO it is to write.
enum class Stall { kRecording, kRaw, kFifoOutput };

struct StopCase {
  const char* name;
  int signal;
  int exitCode;  // -1: ended by the signal
  Stall stall;
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class StalledInput : public LogoExtract, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StalledInput, StopsAtOnceAndReplacesNothing) {
  const StopCase& c = GetParam();
  WriteFile(dir_ / "logo.bmp", "an earlier template");
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  std::vector<std::string> args = {"-o", dir_ / "logo.bmp", "--preview", dir_ / "preview.png"};
  const std::map<Stall, std::vector<std::string>> inputs = {
      {Stall::kRecording, {"-"}},
      {Stall::kRaw, {"--raw", "16x16:bgr24", "-"}},
      {Stall::kFifoOutput, {"--demo", "--output-frames", dir_ / "fifo"}}};
  args.insert(args.end(), inputs.at(c.stall).begin(), inputs.at(c.stall).end());
  const bool pluginLoaded = c.stall == Stall::kRaw;
  const auto before = Snapshot(dir_);
  RunningTool tool(VLE_LOGO_EXTRACT, args, Env());
  ASSERT_TRUE(tool.WaitUntilBlocked(c.signal == SIGKILL ? SIGINT : c.signal, 60))
      << "the program did not come to wait";
  ASSERT_EQ(kill(tool.pid(), c.signal), 0);
  ToolResult r;
  if (!tool.Wait(30, &r)) {
    tool.CloseStdin();  // end of input, so that the program ends and the test can go on
    tool.Wait(30, &r);
    FAIL() << "the signal did not stop the program; it ended at the end of its input: " << r.err;
  }
  EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
  if (c.signal != SIGKILL) {
    // What was kept, as it is.
    EXPECT_EQ(r.err, std::string("logo-extract: interrupted; no output written; ") +
                         (pluginLoaded ? "the plug-in's settings file was updated\n"
                                       : "the settings file was not touched\n"));
    EXPECT_EQ(Exists(SettingsFile()), pluginLoaded);
  }
  EXPECT_TRUE(Snapshot(dir_) == before);  // not even a temporary file after SIGKILL
}

INSTANTIATE_TEST_SUITE_P(Signals, StalledInput,
                         ::testing::Values(StopCase{"sigint_recording", SIGINT, 130, Stall::kRecording},
                                           StopCase{"sigterm_recording", SIGTERM, 143, Stall::kRecording},
                                           StopCase{"sighup_raw", SIGHUP, 129, Stall::kRaw},
                                           StopCase{"sigint_raw", SIGINT, 130, Stall::kRaw},
                                           StopCase{"sigkill_raw", SIGKILL, -1, Stall::kRaw},
                                           StopCase{"sigint_fifo_output", SIGINT, 130, Stall::kFifoOutput}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vle::test

// Prints, for each synthetic scene, size and encoding, how far each opacity method's estimate is
// from the truth: opacity error over the logo's box, colour error where the logo is at least 30 %
// opaque, and the de-blended picture's PSNR where it is at most 80 % opaque: the last frame as
// broadcast, de-blended with the estimate from the (encoded) samples, and in brackets the decoded
// frame de-blended, where the encoder's loss comes on top. The busy scene (a picture busy around
// the logo in every frame) is made of `frames` * 4 consecutive frames, as a recording's are.
//   vle_alpha_measure [frames] [scratch folder] [H.264 crf] [all | broadcast | busy]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "alpha_scene.h"

using namespace vle;

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 80;
  const std::string scratch = argc > 2 ? argv[2] : ".";
  const int crf = argc > 3 ? std::atoi(argv[3]) : 16;
  const std::string which = argc > 4 ? argv[4] : "all";
  const struct { int w, h; } sizes[] = {{720, 576}, {1920, 1080}};
  const struct { broadcast::LogoStyle kind; const char* name; } kinds[] = {
      {broadcast::LogoStyle::kWhiteHalf, "white 0.5"}, {broadcast::LogoStyle::kGradient, "colour 0.2-0.9"},
      {broadcast::LogoStyle::kOpaque, "opaque"}, {broadcast::LogoStyle::kPlate, "plate"}};
  // Both methods on the scene's frames as made and as the encoder gave them back; `tag` names the
  // scene in the dumped pictures' names.
  auto measure = [&](const test::AlphaScene& scene, const char* name, const std::string& tag,
                     const std::vector<std::vector<uint8_t>>& h264) {
    const int w = scene.width, h = scene.height;
    for (int encoded = 0; encoded < 2; ++encoded) {
      const auto& frames = encoded ? h264 : scene.frames;
      if (frames.empty()) continue;
      for (int method = 0; method < 2; ++method) {
        const int margin = std::max(3, h / 100);
        analysis::Rect box{scene.logo.left - margin, scene.logo.top - margin, scene.logo.width + 2 * margin,
                           scene.logo.height + 2 * margin};
        analysis::AlphaEstimator est(w, h, box,
                                     method ? analysis::AlphaMethod::kSpread : analysis::AlphaMethod::kLineFit);
        const auto t0 = std::chrono::steady_clock::now();
        for (const auto& f : frames) est.Add(f.data(), w, h, 3 * w);
        const analysis::AlphaMatte m = est.Finish();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() /
                          double(frames.size());
        const test::AlphaFigures f = test::Judge(scene, m, scene.frames.back());
        const test::AlphaFigures decoded = test::Judge(scene, m, frames.back());
        if (const char* dump = std::getenv("VLE_ALPHA_DUMP")) {
          // Estimated and true opacity side by side over the box, as a PGM.
          const std::string path = std::string(dump) + "/" + std::to_string(w) + "-" + tag + "-" +
                                   std::to_string(encoded) + "-" + std::to_string(method) + ".pgm";
          if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
            std::fprintf(out, "P5 %d %d 255\n", 2 * m.box.width, m.box.height);
            for (int y = m.box.top; y < m.box.top + m.box.height; ++y) {
              for (int x = m.box.left; x < m.box.left + m.box.width; ++x) std::fputc(int(m.AlphaAt(x, y) * 255), out);
              for (int x = m.box.left; x < m.box.left + m.box.width; ++x)
                std::fputc(int(scene.alpha[size_t(y) * size_t(w) + size_t(x)] * 255), out);
            }
            std::fclose(out);
          }
        }
        const auto& q = m.quality;
        std::printf("| %s | %dx%d | %s | %s | %lld/%lld (%lld no logo, %lld unusable) | %.4f | %.2f | %.1f (%.1f) | %.1f %.1f %.1f | %.2f |%s\n",
                    name, w, h, encoded ? "H.264" : "raw", method ? "spread" : "line fit",
                    (long long)q.framesUsed, (long long)q.framesSeen, (long long)q.framesNoLogo,
                    (long long)q.framesUnusable, f.alphaMae, f.colorMae, f.deblendPsnr, decoded.deblendPsnr,
                    q.residualRms[0], q.residualRms[1], q.residualRms[2], ms,
                    q.trustworthy ? "" : (" " + q.verdict).c_str());
        std::fflush(stdout);
      }
    }
  };
  std::printf("| scene | size | clip | method | used | alpha MAE | colour MAE | de-blend PSNR (of the decoded frame) | residual | ms/frame |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
  for (const auto& size : sizes) {
    if (which == "busy") break;
    for (const auto& kind : kinds) {
      // Two breaks without the logo, as advertising would make.
      std::vector<int> absent;
      for (int n = count / 3; n < count / 3 + count / 10; ++n) absent.push_back(n);
      for (int n = 2 * count / 3; n < 2 * count / 3 + count / 20; ++n) absent.push_back(n);
      const test::AlphaScene scene = test::MakeAlphaScene(size.w, size.h, kind.kind, broadcast::LogoPlace::kTopRight, count, absent);
      const auto h264 = test::H264RoundTrip(scene.frames, size.w, size.h, scratch, crf);
      const auto h264Background = test::H264RoundTrip(scene.background, size.w, size.h, scratch, crf);
      if (!h264Background.empty()) {
        std::printf("| %s | %dx%d | H.264 crf %d alone: background PSNR %.1f dB in the box |\n", kind.name, size.w,
                    size.h, crf, test::BoxPsnr(h264Background.back(), scene.background.back(), size.w, scene.logo));
      }
      measure(scene, kind.name, std::to_string(int(kind.kind)), h264);
    }
  }
  if (which != "broadcast") {
    const test::AlphaScene scene = test::MakeBusyAlphaScene(4 * count);
    const auto h264 = test::H264RoundTrip(scene.frames, scene.width, scene.height, scratch, crf);
    measure(scene, "busy 0.3-0.8", "busy", h264);
  }
}

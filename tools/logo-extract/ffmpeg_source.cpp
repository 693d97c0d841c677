// Recordings through FFmpeg: demux, decode, and convert each picture to the host layout at one
// size. Yuy2 frames are made full-range BT.601, the convention the plug-in converts them with, so
// the template's colours are the recording's colours.
//
// Sampling: key frames only by dropping every other packet before the decoder sees it (and telling
// the decoder to discard non-key pictures, for streams whose key flags are incomplete); one frame
// every S seconds by seeking back to the key frame at or before each target time and decoding only
// key frames from there, so that each sample costs one decoded picture.
#include <algorithm>
#include <cstring>
#include <thread>

#include "frame_source.h"
#include "stop.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace vle::extract {
namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// The SWS_CS_* numbers are those of AVColorSpace for the matrices swscale knows.
int SwsColorSpace(AVColorSpace space) {
  switch (space) {
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_FCC:
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_SMPTE240M:
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
      return space;
    default:
      return SWS_CS_ITU601;
  }
}

bool FullRange(const AVFrame* f) {
  switch (f->format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
      return true;
    default:
      return f->color_range == AVCOL_RANGE_JPEG;
  }
}

class RecordingSource final : public FrameSource {
 public:
  RecordingSource(const std::string& path, bool isUrl, broadcast::Layout layout,
                  const std::optional<std::pair<int, int>>& size, const Sampling& sampling)
      : FrameSource(layout),
        name_(!isUrl && path == "-" ? "standard input" : "'" + path + "'"),
        sampling_(sampling) {
    try {
      Open(path, isUrl, size);
    } catch (...) {
      Release();
      throw;
    }
  }

  ~RecordingSource() override { Release(); }

  int width() const override { return width_; }
  int height() const override { return height_; }
  int64_t expectedFrames() const override { return expected_; }
  double framesPerSecond() const override { return 1 / frameSeconds_; }
  double durationSeconds() const override { return duration_ > 0 ? duration_ : -1; }

  double Time() const override { return time_; }
  bool Rereadable() const override { return rereadable_; }

  bool Next(uint8_t* out) override {
    if (sampling_.mode == Sampling::Mode::kEvery && decoded_ > 0 && !SeekTo(time_ + sampling_.seconds)) {
      return false;
    }
    for (int failures = 0;;) {
      const int rc = avcodec_receive_frame(decoder_, frame_);
      if (rc >= 0) {
        const int64_t pts = frame_->best_effort_timestamp;
        // After a seek that landed on the key frame handed out last, go on to the next one.
        if (sampling_.mode == Sampling::Mode::kEvery && decoded_ > 0 && pts != AV_NOPTS_VALUE &&
            lastPts_ != AV_NOPTS_VALUE && pts <= lastPts_) {
          av_frame_unref(frame_);
          continue;
        }
        lastPts_ = pts;
        time_ = pts == AV_NOPTS_VALUE ? time_ + frameSeconds_ : (pts - startPts_) * timeBase_;
        Convert(out);
        av_frame_unref(frame_);
        ++decoded_;
        return true;
      }
      if (rc == AVERROR_EOF) {
        if (decoded_ == 0) {
          throw RunError("no picture could be decoded from " + name_ +
                         (lastError_ < 0 ? ": " + AvError(lastError_) : std::string()));
        }
        return false;
      }
      if (rc != AVERROR(EAGAIN)) {
        // A damaged picture: skip it as a player would, unless the decoder is stuck on it.
        ++damaged_;
        lastError_ = rc;
        if (++failures > 1000) throw RunError("cannot decode " + name_ + ": " + AvError(rc));
        continue;
      }
      Feed();
    }
  }

  std::string Remark() const override {
    if (damaged_ == 0) return std::string();
    return std::to_string(damaged_) + " damaged packet(s) of " + name_ + " were skipped (" +
           AvError(lastError_) + ")";
  }

 private:
  // Seeks to the key frame nearest `seconds` after the frame handed out last; false when that is
  // past the end.
  bool SeekTo(double seconds) {
    if (duration_ > 0 && seconds > duration_) return false;
    const int64_t target = startPts_ + static_cast<int64_t>(seconds / timeBase_);
    const int64_t after = lastPts_ == AV_NOPTS_VALUE ? INT64_MIN : lastPts_ + 1;
    // No key frame after the last one handed out: the samples are complete.
    if (avformat_seek_file(format_, stream_, after, target, INT64_MAX, 0) < 0) return false;
    avcodec_flush_buffers(decoder_);
    flushed_ = false;
    return true;
  }

  void Open(const std::string& path, bool isUrl, const std::optional<std::pair<int, int>>& size) {
    av_log_set_level(AV_LOG_QUIET);  // errors are reported here, one line each
    format_ = avformat_alloc_context();
    if (format_ == nullptr) throw RunError("out of memory");
    // Blocking reads return at a stop request; FFmpeg asks before each one and on EINTR.
    format_->interrupt_callback = AVIOInterruptCB{[](void*) { return StopRequested() ? 1 : 0; }, nullptr};
    // A path is a file, whatever colons it holds ("news:2024.ts"), and the files it opens are files
    // too; "-" is standard input, as for raw frames. Other protocols only when asked for by URL.
    std::string url = isUrl ? path : path == "-" ? "pipe:0" : "file:" + path;
    AVDictionary* options = nullptr;
    if (!isUrl) av_dict_set(&options, "protocol_whitelist", path == "-" ? "pipe" : "file", 0);
    int rc = avformat_open_input(&format_, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) {
      ThrowIfStopRequested();
      std::string hint;
      if (!isUrl && path.find("://") != std::string::npos) hint = " (for an FFmpeg URL, use --url)";
      throw RunError("cannot open " + name_ + ": " + AvError(rc) + hint);
    }
    rc = avformat_find_stream_info(format_, nullptr);
    if (rc < 0) {
      ThrowIfStopRequested();
      throw RunError("cannot read " + name_ + ": " + AvError(rc));
    }
    const AVCodec* codec = nullptr;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream_ < 0) throw RunError(name_ + " holds no video that FFmpeg can decode");
    AVStream* st = format_->streams[stream_];
    decoder_ = avcodec_alloc_context3(codec);
    if (decoder_ == nullptr) throw RunError("out of memory");
    rc = avcodec_parameters_to_context(decoder_, st->codecpar);
    // Frame threads on every core decode several pictures at once; the pictures are the same.
    decoder_->thread_count = int(std::thread::hardware_concurrency());
    decoder_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (sampling_.mode != Sampling::Mode::kAll) decoder_->skip_frame = AVDISCARD_NONKEY;
    if (rc >= 0) rc = avcodec_open2(decoder_, codec, nullptr);
    if (rc < 0) throw RunError("cannot decode " + name_ + ": " + AvError(rc));
    width_ = size ? size->first : st->codecpar->width;
    height_ = size ? size->second : st->codecpar->height;
    if (width_ <= 0 || height_ <= 0) throw RunError(name_ + " does not say its picture size");
    if (frameBytes() == 0) {
      throw RunError(name_ + " is " + std::to_string(width_) + "x" + std::to_string(height_) +
                     ": a yuy2 frame needs an even width (use --pixel-format bgr24 or --size)");
    }
    if (st->nb_frames > 0) {
      expected_ = st->nb_frames;
    } else if (format_->duration > 0 && st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0) {
      expected_ = av_rescale(format_->duration, st->avg_frame_rate.num,
                             int64_t(st->avg_frame_rate.den) * AV_TIME_BASE);
    }
    timeBase_ = av_q2d(st->time_base);
    startPts_ = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    if (format_->duration > 0) {
      duration_ = double(format_->duration) / AV_TIME_BASE;
    } else if (st->duration > 0 && st->duration != AV_NOPTS_VALUE) {
      duration_ = double(st->duration) * timeBase_;
    }
    // The average rate is the one the frames keep; the base rate where a stream does not say it.
    const AVRational rate = st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate
                                                                                      : st->r_frame_rate;
    if (rate.num > 0 && rate.den > 0 && av_q2d(rate) < 1000) frameSeconds_ = 1 / av_q2d(rate);
    rereadable_ = path != "-" && format_->pb != nullptr && (format_->pb->seekable & AVIO_SEEKABLE_NORMAL);
    if (sampling_.mode == Sampling::Mode::kKeyframes) {
      // The index, where the container has one, counts the key frames; otherwise the count is unknown.
      int64_t keys = 0;
      const int entries = avformat_index_get_entries_count(st);
      for (int i = 0; i < entries; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(st, i);
        if (e != nullptr && (e->flags & AVINDEX_KEYFRAME)) ++keys;
      }
      expected_ = keys > 0 ? keys : -1;
    } else if (sampling_.mode == Sampling::Mode::kEvery) {
      if (!rereadable_) {
        throw RunError("--sample every:S seeks, and " + name_ +
                       " is a stream that cannot seek: use --sample keyframes or all");
      }
      expected_ = duration_ > 0 ? static_cast<int64_t>(duration_ / sampling_.seconds) + 1 : -1;
    }
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (packet_ == nullptr || frame_ == nullptr) throw RunError("out of memory");
  }

  void Release() {
    sws_freeContext(scaler_);
    scaler_ = nullptr;
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
  }

  // Hands the decoder the next packet of our stream, or the end of the input.
  void Feed() {
    for (;;) {
      if (flushed_) throw RunError("the decoder of " + name_ + " stalled");
      const int rc = av_read_frame(format_, packet_);
      if (rc == AVERROR_EOF) {
        avcodec_send_packet(decoder_, nullptr);
        flushed_ = true;
        return;
      }
      if (rc < 0) {
        ThrowIfStopRequested();
        throw RunError("cannot read " + name_ + ": " + AvError(rc));
      }
      if (packet_->stream_index != stream_ ||
          (sampling_.mode != Sampling::Mode::kAll && !(packet_->flags & AV_PKT_FLAG_KEY))) {
        av_packet_unref(packet_);
        continue;
      }
      const int sent = avcodec_send_packet(decoder_, packet_);
      av_packet_unref(packet_);
      if (sent < 0 && sent != AVERROR(EAGAIN)) {
        ++damaged_;
        lastError_ = sent;
        continue;
      }
      return;
    }
  }

  void Convert(uint8_t* out) {
    const bool yuy2 = layout() == broadcast::Layout::kYuy2;
    scaler_ = sws_getCachedContext(
        scaler_, frame_->width, frame_->height, static_cast<AVPixelFormat>(frame_->format), width_, height_,
        yuy2 ? AV_PIX_FMT_YUYV422 : AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (scaler_ == nullptr) {
      const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame_->format));
      throw RunError("cannot convert the pictures of " + name_ + " (" + (name ? name : "unknown") + ")");
    }
    const int* srcTable = sws_getCoefficients(SwsColorSpace(frame_->colorspace));
    sws_setColorspaceDetails(scaler_, srcTable, FullRange(frame_) ? 1 : 0, sws_getCoefficients(SWS_CS_ITU601),
                             1, 0, 1 << 16, 1 << 16);
    uint8_t* planes[4] = {out, nullptr, nullptr, nullptr};
    int strides[4] = {2 * width_, 0, 0, 0};
    if (!yuy2) {
      // Bgr24 rows run bottom-up: start at the last row and step backwards.
      planes[0] = out + size_t(3) * width_ * (height_ - 1);
      strides[0] = -3 * width_;
    }
    sws_scale(scaler_, frame_->data, frame_->linesize, 0, frame_->height, planes, strides);
  }

  std::string name_;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* decoder_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  SwsContext* scaler_ = nullptr;
  int stream_ = -1;
  int width_ = 0, height_ = 0;
  int64_t expected_ = -1;
  int64_t decoded_ = 0;
  int64_t damaged_ = 0;
  int lastError_ = 0;
  bool flushed_ = false;
  Sampling sampling_;
  double timeBase_ = 0, duration_ = 0, time_ = -1, frameSeconds_ = 0.04;
  int64_t startPts_ = 0;
  int64_t lastPts_ = AV_NOPTS_VALUE;
  bool rereadable_ = false;
};

}  // namespace

std::unique_ptr<FrameSource> OpenRecording(const std::string& path, bool isUrl, broadcast::Layout layout,
                                           const std::optional<std::pair<int, int>>& size,
                                           const Sampling& sampling) {
  return std::make_unique<RecordingSource>(path, isUrl, layout, size, sampling);
}

}  // namespace vle::extract

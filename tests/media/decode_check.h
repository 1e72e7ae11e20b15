#pragma once
// Checks of recorded files shared by the media suites: shell runs of the
// FFmpeg command-line tools, and a full decode with libavcodec that finds
// the flashes of the test picture's square and the tone bursts.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "tools/brevio-media/synthetic.h"

namespace mediacheck {


struct ShellRun {
  int status = -1;
  std::string output;  // stdout and stderr together
};

inline ShellRun Shell(const std::string& command) {
  ShellRun r;
  std::FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

inline std::string Tool() { return BREVIO_MEDIA_TOOL; }

// A full decode that keeps the file's own millisecond timestamps: pictures
// taken at uneven moments (as a camera under load delivers them) would
// otherwise be squeezed onto a 1/25 s grid by the command-line tool itself.
inline const std::string kDecode = "ffmpeg -nostdin -v warning -i ";
inline const std::string kToNull = " -enc_time_base -1 -f null -";

inline std::string Probe(const std::string& file, const std::string& entries) {
  return Shell("ffprobe -v error -show_entries " + entries + " -of default=noprint_wrappers=1 '" + file + "'")
      .output;
}

// Errors that libav reports while decoding (level error or worse).
inline std::mutex g_logMutex;
inline std::vector<std::string> g_logErrors;
inline void CollectErrors(void*, int level, const char* fmt, va_list args) {
  if (level > AV_LOG_ERROR) return;
  char line[1024];
  std::vsnprintf(line, sizeof line, fmt, args);
  std::lock_guard lock(g_logMutex);
  g_logErrors.emplace_back(line);
}

// The time a decoded picture of synthetic::DrawPicture carries, in ms; -1
// when the cells cannot be read (not such a picture).
inline double PictureTime(const std::uint8_t* luma, int stride, int width, int height) {
  unsigned code = 0;
  for (int bit = 0; bit < synthetic::kTimeBits; ++bit) {
    const synthetic::Box c = synthetic::TimeCell(width, height, bit);
    double sum = 0;
    int n = 0;
    for (int y = c.y0 + 1; y < c.y1 - 1; ++y) {
      for (int x = c.x0 + 1; x < c.x1 - 1; ++x, ++n) sum += luma[y * stride + x];
    }
    if (n == 0) return -1;
    const double mean = sum / n;
    if (mean > 90 && mean < 170) return -1;  // neither black nor white
    code = (code << 1) | (mean >= 170 ? 1u : 0u);
  }
  return code * 2.0;
}

struct Decoded {
  int pictures = 0;
  int soundFrames = 0;
  int errors = 0;
  std::vector<double> flashes;  // ms at which the square lights up (see below)
  std::vector<double> bursts;   // ms at which a tone burst begins
  double soundPeak = 0;
  // For files cut short: the time of the last key picture read, of the
  // last picture decoded, and of the first packet that failed (damaged,
  // not decodable, or unreadable), 1e300 when none did.
  double lastKeyMs = -1;
  double lastPictureMs = -1;
  // The earliest and latest time that decoded pictures of
  // synthetic::DrawPicture carry (their own clock), -1 when none could be read.
  double firstTakenMs = -1;
  double lastTakenMs = -1;
  double firstErrorMs = 1e300;
};

inline Decoded DecodeAll(const std::string& path, int width, int height) {
  Decoded d;
  AVFormatContext* fmt = nullptr;
  if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) {
    d.errors = 1;
    d.firstErrorMs = 0;
    return d;
  }
  avformat_find_stream_info(fmt, nullptr);
  std::vector<AVCodecContext*> decoders(fmt->nb_streams, nullptr);
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    const AVCodec* codec = avcodec_find_decoder(fmt->streams[i]->codecpar->codec_id);
    if (!codec) continue;
    decoders[i] = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoders[i], fmt->streams[i]->codecpar);
    decoders[i]->pkt_timebase = fmt->streams[i]->time_base;
    if (avcodec_open2(decoders[i], codec, nullptr) < 0) ++d.errors;
  }
  const synthetic::Box box = synthetic::SquareBox(width, height);
  bool lit = false;
  double lastLoud = -1e9;
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* grey = nullptr;
  std::vector<std::uint8_t> greyPixels;
  std::vector<double> sentMs(fmt->nb_streams, 0);  // the last packet handed to each decoder
  auto failed = [&](double ms) {
    ++d.errors;
    d.firstErrorMs = std::min(d.firstErrorMs, ms);
  };
  auto drain = [&](unsigned index) {
    AVCodecContext* c = decoders[index];
    const double tb = av_q2d(fmt->streams[index]->time_base) * 1000.0;
    for (;;) {
      const int r = avcodec_receive_frame(c, frame);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
      if (r < 0) {
        failed(sentMs[index]);
        return;
      }
      const double ms = frame->best_effort_timestamp * tb;
      if (c->codec_type == AVMEDIA_TYPE_VIDEO) {
        ++d.pictures;
        d.lastPictureMs = std::max(d.lastPictureMs, ms);
        // The brightness plane: the first plane of YUV pictures; other
        // pictures (the AVI files' RGB) are converted to grey first.
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
        const std::uint8_t* luma = frame->data[0];
        int stride = frame->linesize[0];
        if (desc && (desc->flags & AV_PIX_FMT_FLAG_RGB || desc->flags & AV_PIX_FMT_FLAG_PAL)) {
          grey = sws_getCachedContext(grey, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                      frame->width, frame->height, AV_PIX_FMT_GRAY8, SWS_POINT, nullptr, nullptr,
                                      nullptr);
          greyPixels.resize(static_cast<std::size_t>(frame->width) * frame->height);
          std::uint8_t* planes[4] = {greyPixels.data(), nullptr, nullptr, nullptr};
          int strides[4] = {frame->width, 0, 0, 0};
          sws_scale(grey, frame->data, frame->linesize, 0, frame->height, planes, strides);
          luma = greyPixels.data();
          stride = frame->width;
        }
        if (const double taken = PictureTime(luma, stride, width, height); taken >= 0) {
          d.firstTakenMs = d.firstTakenMs < 0 ? taken : std::min(d.firstTakenMs, taken);
          d.lastTakenMs = std::max(d.lastTakenMs, taken);
        }
        double sum = 0;
        for (int y = box.y0 + 2; y < box.y1 - 2; ++y) {
          for (int x = box.x0 + 2; x < box.x1 - 2; ++x) sum += luma[y * stride + x];
        }
        const bool on = sum / ((box.y1 - box.y0 - 4) * (box.x1 - box.x0 - 4)) > 150;
        if (on && !lit) {
          // The first lit picture may have been taken well after the flash
          // began (pictures dropped): the time it carries says by how much,
          // so the flash's own start on the file's time line is found.
          const double taken = PictureTime(luma, stride, width, height);
          const double flashStart = std::floor(taken / synthetic::kFlashPeriodMs) * synthetic::kFlashPeriodMs;
          d.flashes.push_back(taken >= 0 && taken - flashStart < synthetic::kFlashOnMs ? ms - (taken - flashStart) : ms);
        }
        lit = on;
      } else if (c->codec_type == AVMEDIA_TYPE_AUDIO) {
        ++d.soundFrames;
        // AAC decodes to planar float, the AVI files' PCM to 16-bit integers.
        const bool integer = frame->format == AV_SAMPLE_FMT_S16 || frame->format == AV_SAMPLE_FMT_S16P;
        const auto* floats = reinterpret_cast<const float*>(frame->data[0]);
        const auto* shorts = reinterpret_cast<const std::int16_t*>(frame->data[0]);
        const int step = frame->format == AV_SAMPLE_FMT_S16 ? std::max(frame->ch_layout.nb_channels, 1) : 1;
        for (int i = 0; i < frame->nb_samples; ++i) {
          const double t = ms + i * 1000.0 / frame->sample_rate;
          const double v = integer ? std::fabs(shorts[i * step] / 32768.0) : std::fabs(floats[i]);
          d.soundPeak = std::max(d.soundPeak, v);
          if (v > 0.1) {
            if (t - lastLoud > 300) d.bursts.push_back(t);
            lastLoud = t;
          }
        }
      }
      av_frame_unref(frame);
    }
  };
  double readMs = 0;
  for (;;) {
    const int r = av_read_frame(fmt, pkt);
    if (r == AVERROR_EOF) break;
    if (r < 0) {
      failed(readMs);
      break;
    }
    const unsigned index = static_cast<unsigned>(pkt->stream_index);
    if (index < decoders.size() && decoders[index]) {
      const double ms = (pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts) * av_q2d(fmt->streams[index]->time_base) * 1000.0;
      readMs = std::max(readMs, ms);
      sentMs[index] = ms;
      if (pkt->flags & AV_PKT_FLAG_CORRUPT) failed(ms);
      if (decoders[index]->codec_type == AVMEDIA_TYPE_VIDEO && (pkt->flags & AV_PKT_FLAG_KEY)) {
        d.lastKeyMs = std::max(d.lastKeyMs, ms);
      }
      if (avcodec_send_packet(decoders[index], pkt) < 0) failed(ms);
      drain(index);
    }
    av_packet_unref(pkt);
  }
  for (unsigned i = 0; i < decoders.size(); ++i) {
    if (!decoders[i]) continue;
    avcodec_send_packet(decoders[i], nullptr);
    drain(i);
    avcodec_free_context(&decoders[i]);
  }
  sws_freeContext(grey);
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avformat_close_input(&fmt);
  return d;
}

}  // namespace mediacheck

namespace mediacheck {

// For every flash after the first half second (the one at 0 s is the
// file's first picture): the offset in ms of the nearest tone burst.
inline std::vector<double> FlashOffsets(const Decoded& d) {
  std::vector<double> out;
  for (double f : d.flashes) {
    if (f <= 500) continue;
    double best = 1e9;
    for (double b : d.bursts) best = std::fabs(b - f) < std::fabs(best) ? b - f : best;
    out.push_back(best);
  }
  return out;
}

// The container's duration in seconds as ffprobe reports it, or -1.
inline double Duration(const std::string& file) {
  const std::string format = Probe(file, "format=duration");
  const auto eq = format.find("duration=");
  if (eq == std::string::npos) return -1;
  try {
    return std::stod(format.substr(eq + 9));
  } catch (...) {
    return -1;
  }
}

// Writes `seconds` of the synthetic sound (tone bursts at the flashes) as
// raw 16-bit mono samples at `rate`, for SDL's disk audio driver.
inline void WriteToneFile(const std::string& path, int rate, int seconds, int toneHz) {
  std::vector<unsigned char> pcm;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  if (rate == synthetic::kSampleRate) {
    synthetic::FillSound(pcm, 0, rate * seconds, toneHz);
  } else {
    // The same bursts at another rate.
    pcm.resize(static_cast<std::size_t>(rate) * seconds * 2);
    for (int i = 0; i < rate * seconds; ++i) {
      const double ms = i * 1000.0 / rate;
      const auto v = static_cast<std::int16_t>(
          synthetic::FlashOn(ms) ? 16000 * std::sin(2 * M_PI * toneHz * i / static_cast<double>(rate)) : 0);
      pcm[2 * i] = static_cast<unsigned char>(v & 0xFF);
      pcm[2 * i + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
    }
  }
  std::fwrite(pcm.data(), 1, pcm.size(), f);
  std::fclose(f);
}

}  // namespace mediacheck

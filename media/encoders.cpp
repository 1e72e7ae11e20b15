#include "media/encoders.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "contracts/fundara/memory.h"
#include "media/avhelpers.h"
#include "platform/sync.h"

// ---------------------------------------------------------------- H.264

CBmptoH264::~CBmptoH264() { Close(); }

int CBmptoH264::Init(int width, int height, int framesPerSecond) {
  Close();
  if (width <= 0 || height <= 0 || framesPerSecond <= 0) return 0;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_H264);
  if (!codec) return 0;
  m_ctx = avcodec_alloc_context3(codec);
  if (!m_ctx) return 0;
  m_ctx->bit_rate = 3000000;
  m_ctx->width = width;
  m_ctx->height = height;
  m_ctx->time_base = AVRational{1, framesPerSecond};
  m_ctx->framerate = AVRational{framesPerSecond, 1};
  m_ctx->gop_size = 10;
  m_ctx->max_b_frames = 1;
  m_ctx->thread_count = 1;
  m_ctx->pix_fmt = AV_PIX_FMT_YUV420P;
  if (avcodec_open2(m_ctx, codec, nullptr) < 0) {
    Close();
    return 0;
  }
  m_sws = sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, AV_PIX_FMT_YUV420P, SWS_POINT,
                         nullptr, nullptr, nullptr);
  m_packet = av_packet_alloc();
  m_yuv = av_frame_alloc();
  m_copy = NewMem(kCopyBufferSize);
  if (!m_sws || !m_packet || !m_yuv || !m_copy) {
    Close();
    return 0;
  }
  m_yuv->format = AV_PIX_FMT_YUV420P;
  m_yuv->width = width;
  m_yuv->height = height;
  if (av_frame_get_buffer(m_yuv, 0) < 0) {
    Close();
    return 0;
  }
  m_width = width;
  m_height = height;
  m_fps = framesPerSecond;
  m_counter = 0;
  m_times.clear();
  return 1;
}

bool CBmptoH264::IsOpen() const { return m_ctx && m_sws && m_yuv && m_copy && m_packet; }

int CBmptoH264::GetReorderDelay() const {
  if (!m_ctx) return 0;
  // has_b_frames is the encoder's upper bound; with at most one B-frame in a
  // row no pyramid is possible and pictures are held back by exactly one.
  if (m_ctx->max_b_frames < 2) return std::min(m_ctx->has_b_frames, m_ctx->max_b_frames);
  return m_ctx->has_b_frames;
}

int CBmptoH264::BmptoH264Data(const unsigned char* pixels, int length) {
  return BmptoH264Data(pixels, length, static_cast<std::uint32_t>(m_counter * 1000 / m_fps));
}

int CBmptoH264::BmptoH264Data(const unsigned char* pixels, int length, std::uint32_t timestampMs) {
  if (!pixels || length <= 0 || !m_ctx || !m_sws || !m_yuv || !m_copy || !m_packet) return 0;
  const int stride = m_width * 3;
  // A picture shorter than the size given to Init would be read past its end.
  if (length < stride * m_height) return 0;
  if (av_frame_make_writable(m_yuv) < 0) return 0;
  // Bottom-up rows: start at the last row in memory and walk backwards.
  const std::uint8_t* src[1] = {pixels + static_cast<std::size_t>(stride) * (m_height - 1)};
  const int srcStride[1] = {-stride};
  sws_scale(m_sws, src, srcStride, 0, m_height, m_yuv->data, m_yuv->linesize);
  m_yuv->pts = m_counter;
  m_times[m_counter] = timestampMs;
  const int sent = avcodec_send_frame(m_ctx, m_yuv);
  ++m_counter;
  if (sent < 0) {
    m_times.erase(m_counter - 1);
    return 0;
  }
  return ReceivePackets() < 0 ? 0 : 1;
}

void CBmptoH264::HandOut(const unsigned char* data, int length) {
  if (m_handler) m_handler->SetH264Data(data, length);
}

// Hands every packet the encoder has ready to the receiver. Returns the
// number of packets, or -1 on an encoder error.
int CBmptoH264::ReceivePackets() {
  int count = 0;
  for (;;) {
    const int r = avcodec_receive_packet(m_ctx, m_packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return count;
    if (r < 0) return -1;
    auto it = m_times.find(m_packet->pts);
    if (it != m_times.end()) {
      m_packetTimeMs = it->second;
      m_times.erase(it);
    } else {
      m_packetTimeMs = static_cast<std::uint32_t>(m_packet->pts * 1000 / m_fps);
    }
    std::memset(m_copy, 0, kCopyBufferSize);
    int length = 0;
    if (m_packet->size <= kCopyBufferSize) {
      length = m_packet->size;
      std::memcpy(m_copy, m_packet->data, static_cast<std::size_t>(length));
    }
    HandOut(m_copy, length);
    av_packet_unref(m_packet);
    ++count;
  }
}

int CBmptoH264::AddEndData() {
  if (!m_ctx || !m_copy || !m_packet) return 0;
  // A second call finds the encoder drained already and hands only the end
  // code. This runs on the owner's thread, which is never made to sleep.
  avcodec_send_frame(m_ctx, nullptr);
  if (ReceivePackets() < 0) return 0;
  static const unsigned char kEnd[4] = {0x00, 0x00, 0x01, 0xB7};
  HandOut(kEnd, 4);
  return 1;
}

void CBmptoH264::Close() {
  avcodec_free_context(&m_ctx);
  sws_freeContext(m_sws);
  m_sws = nullptr;
  av_packet_free(&m_packet);
  av_frame_free(&m_yuv);
  DelMem(m_copy);
  m_copy = nullptr;
  m_times.clear();
  m_counter = 0;
}

// ---------------------------------------------------------------- AAC

CPCMtoAAC::~CPCMtoAAC() { Close(); }

int CPCMtoAAC::Init() {
  Close();
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (!codec) return 0;
  m_ctx = avcodec_alloc_context3(codec);
  if (!m_ctx) return 0;
  // 16-bit interleaved samples when the encoder takes them; FFmpeg's own AAC
  // encoder wants planar floats, which this wrapper converts to.
  const AVSampleFormat fmt = kinora::MonoSampleFormat(codec);
  if (fmt == AV_SAMPLE_FMT_NONE) {
    Close();
    return 0;
  }
  m_ctx->codec_type = AVMEDIA_TYPE_AUDIO;
  m_ctx->sample_fmt = fmt;
  m_ctx->sample_rate = kSampleRate;
  m_ctx->time_base = AVRational{1, kSampleRate};
  av_channel_layout_default(&m_ctx->ch_layout, 1);
  m_ctx->bit_rate = 64000;
  if (avcodec_open2(m_ctx, codec, nullptr) < 0) {
    Close();
    return 0;
  }
  const int frameSize = m_ctx->frame_size > 0 ? m_ctx->frame_size : 1024;
  m_packet = av_packet_alloc();
  m_frame = av_frame_alloc();
  m_frameBytes = frameSize * m_ctx->ch_layout.nb_channels * 2;
  m_buffer = NewMem(static_cast<std::size_t>(m_frameBytes));
  if (!m_packet || !m_frame || !m_buffer) {
    Close();
    return 0;
  }
  m_frame->nb_samples = frameSize;
  m_frame->format = fmt;
  m_frame->pts = 0;
  av_channel_layout_copy(&m_frame->ch_layout, &m_ctx->ch_layout);
  if (av_frame_get_buffer(m_frame, 0) < 0) {
    Close();
    return 0;
  }
  m_nextPts = 0;
  m_anchors.Clear();
  return 1;
}

int CPCMtoAAC::EncodeChunk(const unsigned char* pcm, int bytes, double timeMs) {
  if (av_frame_make_writable(m_frame) < 0) return 0;
  const int samples = m_frame->nb_samples;
  std::memset(m_buffer, 0, static_cast<std::size_t>(m_frameBytes));
  std::memcpy(m_buffer, pcm, static_cast<std::size_t>(bytes));
  kinora::FillMonoFrame(m_frame, m_buffer, samples);
  m_frame->pts = m_nextPts;
  m_anchors.Add(m_nextPts, timeMs);
  m_nextPts += samples;
  if (avcodec_send_frame(m_ctx, m_frame) < 0) return 0;
  ReceivePackets();
  return 1;
}

void CPCMtoAAC::ReceivePackets() {
  for (;;) {
    const int r = avcodec_receive_packet(m_ctx, m_packet);
    if (r < 0) break;
    const unsigned char* data = m_packet->data;
    int size = m_packet->size;
    // Strip an ADTS header (7 bytes, 9 with CRC) where the encoder frames its output so.
    if (size >= 7 && data[0] == 0xFF && (data[1] & 0xF6) == 0xF0) {
      const int head = (data[1] & 0x01) ? 7 : 9;
      data += head;
      size -= head;
    }
    // A unit that would start before the recording (the encoder's priming
    // frame when the first block starts at 0) is left out rather than
    // stamped late, which would delay all the sound behind it.
    const double time = m_anchors.TimeOf(m_packet->pts, kSampleRate);
    if (m_handler && size > 0 && time > -0.5) {
      m_handler->SetAACData(data, size, static_cast<std::uint32_t>(std::floor(std::max(0.0, time))));
    }
    av_packet_unref(m_packet);
  }
}

int CPCMtoAAC::Flush() {
  if (!IsOpen()) return 0;
  avcodec_send_frame(m_ctx, nullptr);
  ReceivePackets();
  return 1;
}

int CPCMtoAAC::SetPCMData(const unsigned char* pcm, int length, std::uint32_t timestampMs) {
  if (!m_frame || !m_ctx || !m_buffer || !m_packet) return 0;
  if (!pcm || length <= 0) return 1;
  length &= ~1;  // whole samples only
  const int samplesPerChunk = m_frameBytes / 2;
  int i = 0;
  for (int offset = 0; offset < length; offset += m_frameBytes, ++i) {
    const int bytes = std::min(m_frameBytes, length - offset);
    const double time = timestampMs + static_cast<double>(i) * samplesPerChunk * 1000.0 / kSampleRate;
    EncodeChunk(pcm + offset, bytes, time);
  }
  return 1;
}

int CPCMtoAAC::PCMtoAACData(const unsigned char* pcm, int length, std::uint32_t timestampMs) {
  if (!m_frame || !m_ctx || !m_buffer || !m_packet) return 0;
  if (!pcm || length <= 0) return 1;
  EncodeChunk(pcm, std::min(length & ~1, m_frameBytes), timestampMs);
  return 1;
}

int CPCMtoAAC::WriteLog(const char* path, const unsigned char* data, int length) {
  if (!path || !data || length <= 0) return 0;
  std::FILE* f = std::fopen(path, "ab+");
  if (!f) return 0;
  std::fwrite(data, 1, static_cast<std::size_t>(length), f);
  std::fclose(f);
  return 1;
}

void CPCMtoAAC::Close() {
  avcodec_free_context(&m_ctx);
  av_packet_free(&m_packet);
  av_frame_free(&m_frame);
  DelMem(m_buffer);
  m_buffer = nullptr;
  m_frameBytes = 0;
  m_anchors.Clear();
  m_nextPts = 0;
}

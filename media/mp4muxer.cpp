#include "media/mp4muxer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswscale/swscale.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "media/avhelpers.h"
#include "media/flvrecord.h"  // WM_STOP_RECORD
#include "media/mp4finish.h"

namespace {

constexpr int kStopWaitMs = 5000;
constexpr int kSampleRate = 44100;
constexpr int kIoBufferBytes = 1 << 16;
// Written fragments reach the disk itself at least this often.
constexpr std::int64_t kSyncUs = 1000000;

// The MP4 family: written fragmented while recording.
bool WritesFragments(const AVOutputFormat* format) {
  for (const char* name : {"mp4", "mov", "ipod", "3gp", "3g2"}) {
    if (std::strcmp(format->name, name) == 0) return true;
  }
  return false;
}

}  // namespace

CMp4Muxer::~CMp4Muxer() { Close(); }

std::int64_t CMp4Muxer::Ticks(std::uint32_t ms, double factor) {
  return static_cast<std::int64_t>(static_cast<double>(ms) * factor);
}

int CMp4Muxer::Init(const char* path, int width, int height) {
  Close();
  if (!path || !*path || width <= 0 || height <= 0) return 0;
  avformat_alloc_output_context2(&m_output, nullptr, nullptr, path);
  if (!m_output) avformat_alloc_output_context2(&m_output, nullptr, "mpeg", path);
  if (!m_output) return 0;
  const AVOutputFormat* format = m_output->oformat;
  if (format->video_codec != AV_CODEC_ID_NONE) {
    m_videoStream = AddVideoStream(m_output, width, height, format->video_codec);
  }
  if (format->audio_codec != AV_CODEC_ID_NONE) m_audioStream = AddAudioStream(m_output, format->audio_codec);
  av_dump_format(m_output, 0, path, 1);
  if (m_videoStream) OpenVideo(m_videoStream);
  if (m_audioStream) OpenAudio(m_audioStream);
  m_path = path;
  m_fragmented = WritesFragments(format);
  if (!(format->flags & AVFMT_NOFILE) && !OpenOutput(path)) {
    Close();
    return 0;
  }
  AVDictionary* options = nullptr;
  if (m_fragmented) {
    av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    // Half a second to a second a fragment: a kill costs at most about a
    // second of the recording.
    av_dict_set(&options, "min_frag_duration", "500000", 0);
    av_dict_set(&options, "frag_duration", "1000000", 0);
  }
  // A stream that stops delivering (a microphone unplugged) holds the
  // other back for at most a second.
  m_output->max_interleave_delta = 1000000;
  const int header = avformat_write_header(m_output, &options);
  av_dict_free(&options);
  if (header < 0) {
    Close();
    return 0;
  }
  // The container may choose finer time bases than asked for.
  if (m_videoStream) m_videoTickFactor = m_videoStream->time_base.den / 1000.0;
  if (m_audioStream) m_audioTickFactor = m_audioStream->time_base.den / 1000.0;
  {
    // Without pictures the first sound sample starts the clock.
    std::lock_guard lock(m_videoLock);
    m_clock.Reset(!m_videoStream || !m_videoCtx);
  }
  {
    std::lock_guard lock(m_audioLock);
    m_sound.Reset(m_audioFrame ? m_audioFrame->nb_samples : 1024, kSampleRate);
  }
  m_ended.store(false);
  m_failed.store(false);
  m_lastVideoDts = -1;
  m_lastAudioDts = -1;
  m_nextAudioDts = -1;
  m_maxVideoPts = 0;
  m_unsyncedBytes = 0;
  m_syncedUs = MonotonicUs();
  StartMux();
  return 1;
}

bool CMp4Muxer::OpenOutput(const char* path) {
  m_fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (m_fd < 0) return false;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
  if (!buffer) return false;
  m_io = avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, &CMp4Muxer::WriteOut, &CMp4Muxer::SeekOut);
  if (!m_io) {
    av_free(buffer);
    return false;
  }
  m_io->seekable = AVIO_SEEKABLE_NORMAL;
  m_output->pb = m_io;
  // Every packet the container hands out goes to the file at once: with
  // fragments, each fragment reaches the file whole.
  m_output->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_FLUSH_PACKETS;
  return true;
}

int CMp4Muxer::WriteOut(void* opaque, std::uint8_t* data, int length) {
  auto* self = static_cast<CMp4Muxer*>(opaque);
  int done = 0;
  while (done < length) {
    const ssize_t n = write(self->m_fd, data + done, static_cast<std::size_t>(length - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return AVERROR(n < 0 ? errno : ENOSPC);
    done += static_cast<int>(n);
  }
  self->m_unsyncedBytes += length;
  return length;
}

std::int64_t CMp4Muxer::SeekOut(void* opaque, std::int64_t offset, int whence) {
  auto* self = static_cast<CMp4Muxer*>(opaque);
  if (whence == AVSEEK_SIZE) {
    struct stat st {};
    return fstat(self->m_fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : AVERROR(errno);
  }
  const off_t r = lseek(self->m_fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  return r < 0 ? AVERROR(errno) : static_cast<std::int64_t>(r);
}

AVStream* CMp4Muxer::AddVideoStream(AVFormatContext* context, int width, int height, int codecId) {
  if (!context) return nullptr;
  AVStream* stream = avformat_new_stream(context, nullptr);
  if (!stream) return nullptr;
  const auto id = static_cast<AVCodecID>(codecId);
  stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  stream->codecpar->codec_id = id;
  stream->time_base = AVRational{1, 25};
  const AVCodec* codec = avcodec_find_encoder(id);
  if (!codec) return stream;
  std::lock_guard lock(m_videoLock);
  avcodec_free_context(&m_videoCtx);
  m_videoCtx = avcodec_alloc_context3(codec);  // the encoder's defaults first
  if (!m_videoCtx) return stream;
  m_videoCtx->codec_id = id;
  m_videoCtx->bit_rate = 3000000;
  m_videoCtx->width = width;
  m_videoCtx->height = height;
  m_videoCtx->time_base = AVRational{1, 25};
  m_videoCtx->framerate = AVRational{25, 1};
  m_videoCtx->gop_size = 10;
  m_videoCtx->pix_fmt = AV_PIX_FMT_YUV420P;
  if (id == AV_CODEC_ID_MPEG2VIDEO) m_videoCtx->max_b_frames = 2;
  if (id == AV_CODEC_ID_MPEG1VIDEO) m_videoCtx->mb_decision = 2;
  if (context->oformat->flags & AVFMT_GLOBALHEADER) m_videoCtx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  return stream;
}

AVStream* CMp4Muxer::AddAudioStream(AVFormatContext* context, int codecId) {
  if (!context) return nullptr;
  AVStream* stream = avformat_new_stream(context, nullptr);
  if (!stream) return nullptr;
  stream->id = 1;
  const auto id = static_cast<AVCodecID>(codecId);
  stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
  stream->codecpar->codec_id = id;
  stream->time_base = AVRational{1, kSampleRate};
  const AVCodec* codec = avcodec_find_encoder(id);
  if (!codec) return stream;
  std::lock_guard lock(m_audioLock);
  avcodec_free_context(&m_audioCtx);
  m_audioCtx = avcodec_alloc_context3(codec);
  if (!m_audioCtx) return stream;
  m_audioCtx->codec_id = id;
  m_audioCtx->codec_type = AVMEDIA_TYPE_AUDIO;
  // 16-bit mono samples, converted where the encoder takes another format.
  m_audioCtx->sample_fmt = kinora::MonoSampleFormat(codec);
  m_audioCtx->bit_rate = 64000;
  m_audioCtx->sample_rate = kSampleRate;
  m_audioCtx->time_base = AVRational{1, kSampleRate};
  av_channel_layout_uninit(&m_audioCtx->ch_layout);
  av_channel_layout_default(&m_audioCtx->ch_layout, 1);
  if (context->oformat->flags & AVFMT_GLOBALHEADER) m_audioCtx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  return stream;
}

int CMp4Muxer::OpenVideo(AVStream* stream) {
  std::lock_guard lock(m_videoLock);
  if (!stream || !m_videoCtx) return 0;
  if (avcodec_open2(m_videoCtx, nullptr, nullptr) < 0 ||
      avcodec_parameters_from_context(stream->codecpar, m_videoCtx) < 0) {
    avcodec_free_context(&m_videoCtx);
    return 0;
  }
  m_srcPicture = av_frame_alloc();
  m_yuvPicture = av_frame_alloc();
  m_videoPacket = av_packet_alloc();
  if (!m_srcPicture || !m_yuvPicture || !m_videoPacket) return 0;
  m_yuvPicture->format = AV_PIX_FMT_YUV420P;
  m_yuvPicture->width = m_videoCtx->width;
  m_yuvPicture->height = m_videoCtx->height;
  if (av_frame_get_buffer(m_yuvPicture, 0) < 0) {
    av_frame_free(&m_yuvPicture);
    return 0;
  }
  m_pictureCounter = 0;
  m_captureTimes.clear();
  m_decodeTimes.Clear();
  return 1;
}

int CMp4Muxer::OpenAudio(AVStream* stream) {
  std::lock_guard lock(m_audioLock);
  if (!stream || !m_audioCtx || m_audioCtx->sample_fmt == AV_SAMPLE_FMT_NONE) return 0;
  if (avcodec_open2(m_audioCtx, nullptr, nullptr) < 0 ||
      avcodec_parameters_from_context(stream->codecpar, m_audioCtx) < 0) {
    avcodec_free_context(&m_audioCtx);
    return 0;
  }
  m_audioFrame = av_frame_alloc();
  m_audioPacket = av_packet_alloc();
  if (!m_audioFrame || !m_audioPacket) return 0;
  m_audioFrame->nb_samples = m_audioCtx->frame_size > 0 ? m_audioCtx->frame_size : 1024;
  m_audioFrame->format = m_audioCtx->sample_fmt;
  m_audioFrame->sample_rate = kSampleRate;
  av_channel_layout_copy(&m_audioFrame->ch_layout, &m_audioCtx->ch_layout);
  if (av_frame_get_buffer(m_audioFrame, 0) < 0) {
    av_frame_free(&m_audioFrame);
    return 0;
  }
  m_audioSamples = 0;
  m_sampleTimes.Clear();
  return 1;
}

int CMp4Muxer::BmptoH264Data(const unsigned char* pixels, int length) {
  if (!m_videoStream || !pixels || length <= 0 || m_ended.load() || m_failed.load()) return 0;
  std::lock_guard lock(m_videoLock);
  if (!m_videoCtx || !m_yuvPicture || !m_videoPacket) return 0;
  const int width = m_videoCtx->width, height = m_videoCtx->height;
  const int stride = width * 3;
  // A short picture is refused before it takes a place in the queue.
  if (length < stride * height) return 0;
  std::uint32_t captured = 0;
  if (!m_clock.StampPicture(&captured)) return 0;
  // The placeholder carries the decoding time; the unit that fills it
  // brings its presentation time (the capture time of its picture).
  const std::uint32_t decoding = m_decodeTimes.Next(captured, m_videoCtx->has_b_frames);
  if (m_videoQueue.AddFrame(decoding, nullptr, 0, 0) < 0) return 0;
  m_sws = sws_getCachedContext(m_sws, width, height, AV_PIX_FMT_BGR24, width, height, AV_PIX_FMT_YUV420P,
                               SWS_POINT, nullptr, nullptr, nullptr);
  if (!m_sws || av_frame_make_writable(m_yuvPicture) < 0) return 0;
  // Bottom-up rows: start at the last row in memory and walk backwards.
  m_srcPicture->data[0] = const_cast<std::uint8_t*>(pixels) + static_cast<std::size_t>(stride) * (height - 1);
  m_srcPicture->linesize[0] = -stride;
  sws_scale(m_sws, m_srcPicture->data, m_srcPicture->linesize, 0, height, m_yuvPicture->data,
            m_yuvPicture->linesize);
  m_srcPicture->data[0] = nullptr;
  m_yuvPicture->pts = m_pictureCounter;
  m_captureTimes[m_pictureCounter] = captured;
  ++m_pictureCounter;
  if (avcodec_send_frame(m_videoCtx, m_yuvPicture) < 0) {
    m_captureTimes.erase(m_pictureCounter - 1);
    return 0;
  }
  ReceiveVideo();
  return 1;
}

void CMp4Muxer::ReceiveVideo() {
  while (avcodec_receive_packet(m_videoCtx, m_videoPacket) == 0) {
    std::uint32_t pts = 0;
    auto it = m_captureTimes.find(m_videoPacket->pts);
    if (it != m_captureTimes.end()) {
      pts = it->second;
      m_captureTimes.erase(it);
    } else {
      pts = static_cast<std::uint32_t>(m_videoPacket->pts * 1000 / 25);
    }
    if (m_videoPacket->size > 0) {
      m_videoQueue.UpdateFrame(m_videoPacket->data, static_cast<std::uint32_t>(m_videoPacket->size),
                               (m_videoPacket->flags & AV_PKT_FLAG_KEY) ? 1 : 0, pts);
    }
    av_packet_unref(m_videoPacket);
  }
}

int CMp4Muxer::SetPCMData(const unsigned char* pcm, int length) {
  // A block that has just been filled: its first sample was taken one block ago.
  const std::int64_t duration = static_cast<std::int64_t>(length / 2) * 1000000 / kSampleRate;
  return SetPCMData(pcm, length, MonotonicUs() - duration, 0);
}

int CMp4Muxer::SetPCMData(const unsigned char* pcm, int length, std::int64_t captureUs, std::uint32_t lostSamples) {
  if (!m_audioStream || m_ended.load() || m_failed.load() || m_clock.IsPaused()) return 0;
  {
    std::lock_guard lock(m_audioLock);
    if (!m_audioCtx || !m_audioFrame || !m_audioPacket) return 0;
  }
  return m_sound.Push(pcm, length, captureUs, lostSamples) ? 1 : 0;
}

void CMp4Muxer::EncodeAudio(const unsigned char* pcm, int samples, double timeMs) {
  if (av_frame_make_writable(m_audioFrame) < 0) return;
  kinora::FillMonoFrame(m_audioFrame, pcm, samples);
  m_audioFrame->pts = m_audioSamples;
  m_sampleTimes.Add(m_audioSamples, timeMs);
  m_audioSamples += m_audioFrame->nb_samples;
  if (avcodec_send_frame(m_audioCtx, m_audioFrame) < 0) return;
  ReceiveAudio();
}

void CMp4Muxer::ReceiveAudio() {
  while (avcodec_receive_packet(m_audioCtx, m_audioPacket) == 0) {
    // A unit that would start before the recording (the encoder's priming
    // frame) is left out rather than stamped late.
    const double time = m_sampleTimes.TimeOf(m_audioPacket->pts, kSampleRate);
    if (m_audioPacket->size > 0 && time > -0.5) {
      m_audioQueue.AddFrame(static_cast<std::uint32_t>(std::floor(std::max(0.0, time))), m_audioPacket->data,
                            static_cast<std::uint32_t>(m_audioPacket->size), 0);
    }
    av_packet_unref(m_audioPacket);
  }
}

int CMp4Muxer::PCMtoAACData(AVCodecContext* encoder, const unsigned char* pcm, int length,
                            std::uint32_t timestampMs) {
  if (!encoder) return 0;
  std::lock_guard lock(m_audioLock);
  // Only the muxer's own encoder has a frame to encode from.
  if (encoder != m_audioCtx || !m_audioFrame || !m_audioPacket) return 0;
  if (!pcm || length < 2) return 1;
  EncodeAudio(pcm, std::min(length / 2, m_audioFrame->nb_samples), timestampMs);
  return 1;
}

int CMp4Muxer::AddEndData() {
  if (!m_videoStream) return 0;
  m_ended.store(true);
  {
    std::lock_guard lock(m_videoLock);
    if (m_videoCtx && m_videoPacket && avcodec_send_frame(m_videoCtx, nullptr) == 0) ReceiveVideo();
  }
  // The mux thread encodes the sound still on its way and what the sound
  // encoder holds before it finishes the file.
  m_mux.RequestStop();
  return 1;
}

bool CMp4Muxer::WriteUnit(const CMuxThread::Unit& unit, AVStream* stream, double factor, std::int64_t& lastDts) {
  AVPacket* packet = av_packet_alloc();
  if (!packet) return true;  // this unit is lost; the file goes on
  int written = 0;
  if (av_new_packet(packet, static_cast<int>(unit.length)) == 0) {
    std::memcpy(packet->data, unit.data, unit.length);
    std::int64_t dts = Ticks(unit.time, factor);
    if (stream == m_audioStream) {
      // The sound track is one unbroken run of frames: a unit within the
      // rounding of its millisecond time of where the last one ended
      // follows it exactly.
      if (m_nextAudioDts >= 0 && std::llabs(dts - m_nextAudioDts) <= Ticks(2, factor)) dts = m_nextAudioDts;
    }
    // Decoding times must rise strictly; the first pictures share the first
    // capture time while the encoder fills its reorder delay.
    if (dts <= lastDts) dts = lastDts + 1;
    packet->dts = dts;
    packet->pts = stream == m_audioStream ? dts : std::max(Ticks(unit.pts, factor), dts);
    packet->stream_index = stream->index;
    if (unit.key) packet->flags |= AV_PKT_FLAG_KEY;
    if (stream == m_videoStream) {
      // The file's length ends one picture after the latest picture shown,
      // which with reordering is not the latest decoded.
      m_maxVideoPts = std::max(m_maxVideoPts, packet->pts);
      packet->duration = std::max<std::int64_t>(1, m_maxVideoPts + Ticks(1000 / 25, factor) - dts);
    } else if (m_audioStream->codecpar->frame_size > 0) {
      packet->duration = av_rescale_q(m_audioStream->codecpar->frame_size, AVRational{1, kSampleRate},
                                      stream->time_base);
      m_nextAudioDts = dts + packet->duration;
    }
    lastDts = dts;
    written = av_interleaved_write_frame(m_output, packet);
  }
  av_packet_free(&packet);
  if (written < 0) return false;
  // What the container has handed out reaches the disk itself every second.
  if (m_fd >= 0 && m_unsyncedBytes > 0) {
    const std::int64_t now = MonotonicUs();
    if (now - m_syncedUs >= kSyncUs) {
      fdatasync(m_fd);
      m_syncedUs = now;
      m_unsyncedBytes = 0;
    }
  }
  return true;
}

void CMp4Muxer::FinishFile(bool written) {
  bool ok = written && av_write_trailer(m_output) >= 0;
  if (m_io) {
    avio_flush(m_io);
    ok = ok && m_io->error >= 0;
  }
  if (m_fd >= 0) {
    ok = ok && fdatasync(m_fd) == 0;
    close(m_fd);
    m_fd = -1;
  }
  m_videoQueue.Release();
  m_audioQueue.Release();
  if (!ok) {
    m_failed.store(true);
  } else if (m_fragmented && m_finishFaststart) {
    // A failed copy leaves the fragmented file, which plays too.
    std::string error;
    if (!kinora::MakeFaststartMp4(m_path, &error)) {
      av_log(nullptr, AV_LOG_WARNING, "%s stays fragmented: %s\n", m_path.c_str(), error.c_str());
    }
  }
  if (HWND owner = m_owner.load()) PostMessage(owner, WM_STOP_RECORD, 0, ok ? 1 : 0);
}

void CMp4Muxer::StartMux() {
  m_mux.Start(
      m_videoQueue, m_audioQueue,
      [this](const CMuxThread::Unit& u) { return WriteUnit(u, m_videoStream, m_videoTickFactor, m_lastVideoDts); },
      [this](const CMuxThread::Unit& u) {
        return !m_audioStream || WriteUnit(u, m_audioStream, m_audioTickFactor, m_lastAudioDts);
      },
      [this](bool last) {
        std::lock_guard lock(m_audioLock);
        if (!m_audioCtx || !m_audioFrame || !m_audioPacket) return;
        m_sound.Drain(
            m_clock, [this](const unsigned char* pcm, int samples, double ms) { EncodeAudio(pcm, samples, ms); },
            last);
        // The sound the encoder still holds belongs to the recording too.
        if (last && avcodec_send_frame(m_audioCtx, nullptr) == 0) ReceiveAudio();
      },
      [this](bool written) { FinishFile(written); });
}

void CMp4Muxer::Close() {
  // The container is never freed under a running mux thread: after the
  // usual wait, wait on until the thread has written the trailer.
  if (m_mux.Running() && !m_mux.Stop(kStopWaitMs)) m_mux.Join();
  {
    std::lock_guard lock(m_videoLock);
    avcodec_free_context(&m_videoCtx);
    av_packet_free(&m_videoPacket);
    av_frame_free(&m_srcPicture);
    av_frame_free(&m_yuvPicture);
    sws_freeContext(m_sws);
    m_sws = nullptr;
    m_captureTimes.clear();
    m_decodeTimes.Clear();
    m_pictureCounter = 0;
  }
  {
    std::lock_guard lock(m_audioLock);
    avcodec_free_context(&m_audioCtx);
    av_packet_free(&m_audioPacket);
    av_frame_free(&m_audioFrame);
    m_sampleTimes.Clear();
    m_audioSamples = 0;
  }
  if (m_output) {
    m_output->pb = nullptr;  // ours, freed below
    avformat_free_context(m_output);
    m_output = nullptr;
  }
  if (m_io) {
    av_freep(&m_io->buffer);
    avio_context_free(&m_io);
  }
  if (m_fd >= 0) {
    close(m_fd);
    m_fd = -1;
  }
  m_videoStream = nullptr;
  m_audioStream = nullptr;
  m_videoQueue.Release();
  m_audioQueue.Release();
  m_videoTickFactor = 1.0;
  m_audioTickFactor = 1.0;
}

#include "media/mp4decode.h"

#include <SDL2/SDL.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

#include "contracts/fundara/memory.h"
#include "imaging/picture_codec.h"
#include "media/sdl_audio.h"
#include "platform/records.h"

namespace {

constexpr int kOutRate = 44100;
constexpr int kOutChannels = 2;
constexpr int kOutBytesPerSample = 2 * kOutChannels;  // one stereo S16 sample
constexpr int kDeviceSamples = 1024;

// The reader stays this far ahead of what is being shown and played, and
// within this many bytes of queued pictures.
constexpr std::int64_t kPictureAheadMs = 1000;
constexpr std::int64_t kSoundAheadMs = 2000;
constexpr std::int64_t kPictureBudget = 64 << 20;
constexpr std::int64_t kSoundLowMs = 500;
// A picture later than this is not shown; sound later than this is not played.
constexpr std::int64_t kPictureLateMs = 20;
constexpr std::int64_t kSoundLateMs = 150;
// Sound goes to the device this much before its time, so that the device
// never runs dry between two units.
constexpr std::int64_t kSoundLeadMs = 40;
// The pictures' clock follows the sound when the two part by more than this.
constexpr std::int32_t kClockSlackMs = 10;
// Pictures shown after a seek while paused.
constexpr int kSeekPictures = 10;
// The largest picture side accepted.
constexpr int kMaxSide = 16384;

bool SaneSize(int width, int height) {
  return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
         av_image_check_size(static_cast<unsigned>(width), static_cast<unsigned>(height), 0, nullptr) == 0;
}

// Decrements a gate that counts units down; -1 (run) and 0 stay.
void CountDown(std::atomic<int>& gate) {
  int v = gate.load();
  while (v > 0 && !gate.compare_exchange_weak(v, v - 1)) {
  }
}

std::uint32_t Now() {
  const std::uint32_t t = GetTickCount();
  return t == 0 ? 1 : t;  // 0 is "not set"
}

// Sets the clock start from a unit of time `ms` shown now, unless another
// thread set it first; returns the clock start in force.
std::uint32_t AnchorClock(std::atomic<std::uint32_t>& clockStart, std::uint32_t ms) {
  std::uint32_t anchor = Now() - ms;
  if (anchor == 0) anchor = 1;
  std::uint32_t expected = 0;
  if (clockStart.compare_exchange_strong(expected, anchor)) return anchor;
  return expected;
}

// Milliseconds since the clock start (signed: the start may lie ahead).
std::int64_t Elapsed(std::uint32_t clockStart) {
  return static_cast<std::int32_t>(Now() - clockStart);
}

// Queued units carry in `key` the seek generation they were decoded in
// (low 15 bits) and, for pictures, their width.
int UnitTag(int generation, int width) { return ((generation & 0x7FFF) << 16) | (width & 0xFFFF); }
bool Current(int tag, int generation) { return ((tag >> 16) & 0x7FFF) == (generation & 0x7FFF); }
int TagWidth(int tag) { return tag & 0xFFFF; }

std::uint32_t ClampMs(std::int64_t ms) {
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(ms, 0, 0xFFFFFFF0));
}

// One picture handed to the owner: the record and its padded rows, kept
// alive until the owner's handler has finished with them.
struct Handover {
  _CAMERAFRAME record;
  std::vector<BYTE> pixels;
};

}  // namespace

CMp4Decode::CMp4Decode() = default;

CMp4Decode::~CMp4Decode() {
  CloseDecode();
  CloseInput();
}

void CMp4Decode::CloseInput() {
  avcodec_free_context(&m_videoDecoder);
  avcodec_free_context(&m_audioDecoder);
  avformat_close_input(&m_input);
  av_packet_free(&m_packet);
  m_videoIndex = -1;
  m_audioIndex = -1;
  m_width = -1;
  m_height = -1;
  m_totalSeconds = -1;
}

int CMp4Decode::Init(const char* path) {
  CloseDecode();
  CloseInput();
  if (!path || !*path) return 0;
  if (avformat_open_input(&m_input, path, nullptr, nullptr) < 0) return 0;
  if (avformat_find_stream_info(m_input, nullptr) < 0) {
    CloseInput();
    return 0;
  }
  av_dump_format(m_input, 0, path, 0);
  for (unsigned i = 0; i < m_input->nb_streams; ++i) {
    const AVCodecParameters* par = m_input->streams[i]->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && m_videoIndex < 0) m_videoIndex = static_cast<int>(i);
    if (par->codec_type == AVMEDIA_TYPE_AUDIO && m_audioIndex < 0) m_audioIndex = static_cast<int>(i);
  }
  // A file without pictures is refused, and so is one whose pictures
  // cannot be decoded or have an absurd size. Sound is optional: the
  // system's own recordings made without a microphone have none.
  if (m_videoIndex < 0) {
    CloseInput();
    return 0;
  }
  const AVCodecParameters* video = m_input->streams[m_videoIndex]->codecpar;
  if (!avcodec_find_decoder(video->codec_id) || !SaneSize(video->width, video->height)) {
    CloseInput();
    return 0;
  }
  if (m_audioIndex >= 0 && !avcodec_find_decoder(m_input->streams[m_audioIndex]->codecpar->codec_id)) {
    m_audioIndex = -1;
  }
  m_totalSeconds = DurationSeconds();
  m_startMs = m_input->start_time != AV_NOPTS_VALUE ? m_input->start_time / 1000 : 0;
  m_packet = av_packet_alloc();
  if (!m_packet) {
    CloseInput();
    return 0;
  }
  return 1;
}

namespace {

AVCodecContext* OpenDecoder(const AVStream* stream) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return nullptr;
  AVCodecContext* c = avcodec_alloc_context3(codec);
  if (!c) return nullptr;
  if (avcodec_parameters_to_context(c, stream->codecpar) < 0) {
    avcodec_free_context(&c);
    return nullptr;
  }
  c->pkt_timebase = stream->time_base;
  if (avcodec_open2(c, codec, nullptr) < 0) avcodec_free_context(&c);
  return c;
}

}  // namespace

int CMp4Decode::OpenVideoDecode() {
  if (!m_input || m_videoIndex < 0 || m_readerThread.joinable()) return 0;
  std::lock_guard lock(m_demuxLock);
  avcodec_free_context(&m_videoDecoder);
  FreePicturePath();
  m_videoDecoder = OpenDecoder(m_input->streams[m_videoIndex]);
  if (!m_videoDecoder) return 0;
  const int w = m_videoDecoder->width, h = m_videoDecoder->height;
  m_decodedPicture = av_frame_alloc();
  m_convertedPicture = av_frame_alloc();
  if (!m_decodedPicture || !m_convertedPicture || !SaneSize(w, h)) {
    FreePicturePath();
    avcodec_free_context(&m_videoDecoder);
    return 0;
  }
  m_convertedBuffer = NewMem(static_cast<std::size_t>(w) * h * 3);
  const AVPixelFormat from = m_videoDecoder->pix_fmt == AV_PIX_FMT_NONE ? AV_PIX_FMT_YUV420P : m_videoDecoder->pix_fmt;
  m_scaler = sws_getContext(w, h, from, w, h, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!m_convertedBuffer || !m_scaler) {
    FreePicturePath();
    avcodec_free_context(&m_videoDecoder);
    return 0;
  }
  m_width = w;
  m_height = h;
  return 1;
}

int CMp4Decode::OpenAudioDecode() {
  if (!m_input || m_audioIndex < 0 || m_readerThread.joinable()) return 0;
  std::lock_guard lock(m_demuxLock);
  avcodec_free_context(&m_audioDecoder);
  FreeSoundPath();
  m_audioDecoder = OpenDecoder(m_input->streams[m_audioIndex]);
  m_audioFrame = av_frame_alloc();
  if (!m_audioDecoder || !m_audioFrame || m_audioDecoder->sample_rate <= 0) {
    FreeSoundPath();
    avcodec_free_context(&m_audioDecoder);
    return 0;
  }
  // The output takes exactly what the resampler makes.
  if (kinora::AcquireSdlAudio()) {
    m_sdlAcquired = true;
    SDL_AudioSpec want{};
    want.freq = kOutRate;
    want.format = AUDIO_S16LSB;
    want.channels = kOutChannels;
    want.samples = kDeviceSamples;
    want.callback = MixCallback;
    want.userdata = this;
    SDL_AudioSpec have{};
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    // What a callback mixes is heard a buffer later, except where the
    // "device" is a file that takes each buffer as soon as it is mixed.
    const char* driver = SDL_GetCurrentAudioDriver();
    const bool file = driver && std::strcmp(driver, "disk") == 0;
    m_latencyMs = (m_device != 0 && !file && have.freq > 0) ? have.samples * 1000u / static_cast<unsigned>(have.freq) : 0;
  }
  // The resampler follows the decoder's own description; a frame that
  // differs from it gets a resampler of its own (EnsureResampler).
  AVFrame probe{};
  probe.format = m_audioDecoder->sample_fmt;
  probe.sample_rate = m_audioDecoder->sample_rate;
  probe.ch_layout = m_audioDecoder->ch_layout;
  if (m_device == 0 || !EnsureResampler(&probe)) {
    FreeSoundPath();
    avcodec_free_context(&m_audioDecoder);
    return 0;
  }
  return 1;
}

bool CMp4Decode::EnsureResampler(const AVFrame* frame) {
  const int channels = frame->ch_layout.nb_channels;
  const std::uint64_t mask = frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? frame->ch_layout.u.mask : 0;
  if (m_resampler && frame->format == m_resampleFormat && frame->sample_rate == m_resampleRate &&
      channels == m_resampleChannels && mask == m_resampleLayout) {
    return true;
  }
  swr_free(&m_resampler);
  if (channels <= 0 || frame->sample_rate <= 0 || frame->format < 0) return false;
  AVChannelLayout in{};
  if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    av_channel_layout_default(&in, channels);
  } else if (av_channel_layout_copy(&in, &frame->ch_layout) < 0) {
    return false;
  }
  AVChannelLayout out = AV_CHANNEL_LAYOUT_STEREO;
  const int r = swr_alloc_set_opts2(&m_resampler, &out, AV_SAMPLE_FMT_S16, kOutRate, &in,
                                    static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
  av_channel_layout_uninit(&in);
  if (r < 0 || swr_init(m_resampler) < 0) {
    swr_free(&m_resampler);
    return false;
  }
  m_resampleFormat = frame->format;
  m_resampleRate = frame->sample_rate;
  m_resampleChannels = channels;
  m_resampleLayout = mask;
  return true;
}

void CMp4Decode::FreePicturePath() {
  sws_freeContext(m_scaler);
  m_scaler = nullptr;
  DelMem(m_convertedBuffer);
  m_convertedBuffer = nullptr;
  av_frame_free(&m_decodedPicture);
  av_frame_free(&m_convertedPicture);
}

void CMp4Decode::FreeSoundPath() {
  if (m_device != 0) {
    // Closing waits for a running callback; none runs afterwards.
    SDL_CloseAudioDevice(m_device);
    m_device = 0;
  }
  if (m_sdlAcquired) {
    kinora::ReleaseSdlAudio();
    m_sdlAcquired = false;
  }
  m_unitData = nullptr;
  m_unitLeft = 0;
  swr_free(&m_resampler);
  m_resampleFormat = -1;
  DelMem(m_soundBuffer);
  m_soundBuffer = nullptr;
  m_convertedSize = 0;
  DelMem(m_spareBuffer);
  m_spareBuffer = nullptr;
  m_spareSize = 0;
  av_frame_free(&m_audioFrame);
}

void CMp4Decode::SetHwnd(HWND window) { m_owner = window; }

// ---- Playing -------------------------------------------------------------------

void CMp4Decode::WakeAll() {
  m_readerWake.Set();
  m_pictureWake.Set();
  m_soundWake.Set();
}

int CMp4Decode::Play(int run) {
  if (m_readerThread.joinable()) {
    m_clockStart = 0;
    m_pictureGate = run ? -1 : 0;
    m_soundGate = run ? -1 : 0;
    WakeAll();
    return 1;
  }
  if (!m_input || !m_decodedPicture || !m_convertedBuffer) return 0;
  m_stop = false;
  m_readerEnded = false;
  m_readGate.Set();
  m_readerExit.Reset();
  m_clockStart = 0;
  m_readerThread = std::thread(&CMp4Decode::ReaderThread, this);
  return 1;
}

int CMp4Decode::Pause(int paused) {
  m_clockStart = 0;
  m_pictureGate = paused ? 0 : -1;
  m_soundGate = paused ? 0 : -1;
  WakeAll();
  return 1;
}

bool CMp4Decode::QueuesFull() {
  // How far the queued units reach beyond the first one still waiting.
  const auto ahead = [](CFrameQueue& queue, std::int64_t last) -> std::int64_t {
    if (queue.GetListCount() < 2) return 0;
    const std::uint32_t head = queue.GetFirstTimeMs();
    return head == 0xFFFFFFFFu ? 0 : last - static_cast<std::int64_t>(head);
  };
  const bool pictures = m_pictureThread.joinable();
  const bool sound = m_soundThread.joinable();
  const std::int64_t pictureAhead = pictures ? ahead(m_pictureQueue, m_lastQueuedPicture) : 0;
  const std::int64_t soundAhead = sound ? ahead(m_soundQueue, m_lastQueuedSound) : 0;
  if (pictures &&
      static_cast<std::int64_t>(m_pictureQueue.GetListCount()) * m_width * m_height * 3 >= kPictureBudget) {
    return true;
  }
  // A file whose sound lies far from its pictures (the AVI writer stores a
  // second of sound at a time) is read on while the other queue runs dry,
  // up to the byte budget.
  const bool soundDry = sound && soundAhead < kSoundLowMs;
  const bool picturesDry = pictures && m_pictureQueue.GetListCount() < 2;
  if (pictureAhead >= kPictureAheadMs && !soundDry) return true;
  return soundAhead >= kSoundAheadMs && !picturesDry;
}

void CMp4Decode::ReaderThread() {
  m_readerExit.Reset();
  m_pictureGate = -1;
  m_soundGate = -1;
  m_pictureExit.Reset();
  if (m_videoDecoder) m_pictureThread = std::thread(&CMp4Decode::PictureThread, this);
  m_soundExit.Reset();
  if (m_audioDecoder && m_device != 0) m_soundThread = std::thread(&CMp4Decode::SoundThread, this);
  // The clock starts with the first unit shown, so that the time spent
  // opening and decoding the first packets does not make it late.
  m_clockStart = 0;
  {
    std::lock_guard lock(m_demuxLock);
    SeekLocked(0);
  }
  const bool withSound = m_soundThread.joinable();
  while (!m_stop) {
    if (!m_readGate.Wait(50)) continue;
    m_readerWake.Reset();
    if (QueuesFull() || m_readerEnded) {
      m_readerWake.Wait(m_readerEnded ? 50 : 5);
      continue;
    }
    std::lock_guard lock(m_demuxLock);
    const int generation = m_generation;
    switch (NextUnitLocked(m_packet, withSound)) {
      case Unit::Picture: {
        const std::uint32_t ms = PictureMs(m_decodedPicture);
        if (ms < m_dropBefore || !ConvertPictureLocked(m_decodedPicture)) break;
        const int w = m_width, h = m_height;
        if (m_pictureQueue.AddFrame(ms, m_convertedBuffer, static_cast<std::uint32_t>(w) * h * 3,
                                    UnitTag(generation, w)) > 0) {
          m_lastQueuedPicture = ms;
        }
        break;
      }
      case Unit::Sound: {
        const std::uint32_t ms = SoundMs(m_audioFrame);
        const std::int64_t lengthMs =
            m_audioFrame->sample_rate > 0 ? m_audioFrame->nb_samples * 1000LL / m_audioFrame->sample_rate : 0;
        if (ms + lengthMs < m_dropBefore) break;
        const int bytes = ConvertSoundLocked(m_audioFrame);
        if (bytes > 0 &&
            m_soundQueue.AddFrame(ms, m_soundBuffer, static_cast<std::uint32_t>(bytes), UnitTag(generation, 0)) > 0) {
          m_lastQueuedSound = ms;
        }
        break;
      }
      case Unit::None:
        break;
      case Unit::End: {
        // The resampler's last samples, then nothing more until a seek.
        if (m_resampler && withSound) {
          const int out = swr_get_out_samples(m_resampler, 0);
          if (out > 0) {
            const int need = out * kOutBytesPerSample;
            if (need > m_spareSize) {
              DelMem(m_spareBuffer);
              m_spareBuffer = NewMem(static_cast<std::size_t>(need));
              m_spareSize = m_spareBuffer ? need : 0;
            }
            uint8_t* dst[1] = {m_spareBuffer};
            const int got = m_spareBuffer ? swr_convert(m_resampler, dst, out, nullptr, 0) : 0;
            if (got > 0) {
              m_soundQueue.AddFrame(ClampMs(m_nextSoundMs), m_spareBuffer,
                                    static_cast<std::uint32_t>(got * kOutBytesPerSample), UnitTag(generation, 0));
            }
          }
        }
        m_readerEnded = true;
        break;
      }
    }
  }
  m_readerExit.Set();
}

CMp4Decode::Unit CMp4Decode::NextUnitLocked(AVPacket* packet, bool withSound) {
  for (int guard = 0; guard < 64; ++guard) {
    // Output waiting in a decoder comes first.
    if (m_pending >= 0) {
      AVCodecContext* c = m_pending == m_videoIndex ? m_videoDecoder : m_audioDecoder;
      AVFrame* f = m_pending == m_videoIndex ? m_decodedPicture : m_audioFrame;
      const int r = (c && f) ? avcodec_receive_frame(c, f) : AVERROR_EOF;
      if (r == 0) return m_pending == m_videoIndex ? Unit::Picture : Unit::Sound;
      // Draining, anything but a picture means this decoder is done.
      if (m_inputEnded) m_drained[m_pending == m_videoIndex ? 0 : 1] = true;
      m_pending = -1;
    }
    if (m_inputEnded) {
      // Drain each decoder once; then the file is done.
      if (!m_drained[0] && m_videoDecoder) {
        avcodec_send_packet(m_videoDecoder, nullptr);
        m_pending = m_videoIndex;
        continue;
      }
      m_drained[0] = true;
      if (!m_drained[1] && m_audioDecoder && withSound) {
        avcodec_send_packet(m_audioDecoder, nullptr);
        m_pending = m_audioIndex;
        continue;
      }
      m_drained[1] = true;
      return Unit::End;
    }
    const int r = av_read_frame(m_input, packet);
    if (r == AVERROR(EAGAIN)) return Unit::None;
    if (r < 0) {
      // The end, or a read error (a file cut off mid-way): what was read plays.
      m_inputEnded = true;
      continue;
    }
    if (packet->stream_index == m_videoIndex && m_videoDecoder) {
      // Broken packets are skipped: the decoder resumes at the next good one.
      if (avcodec_send_packet(m_videoDecoder, packet) == 0) m_pending = m_videoIndex;
    } else if (packet->stream_index == m_audioIndex && m_audioDecoder && withSound) {
      if (avcodec_send_packet(m_audioDecoder, packet) == 0) m_pending = m_audioIndex;
    }
    av_packet_unref(packet);
    if (m_pending < 0) return Unit::None;
  }
  return Unit::None;
}

void CMp4Decode::SeekLocked(std::uint32_t ms) {
  // The key frame at or before the target; decoding runs on from there and
  // what comes before the target is dropped.
  const std::int64_t ts = (static_cast<std::int64_t>(ms) + m_startMs) * 1000;
  if (avformat_seek_file(m_input, -1, INT64_MIN, ts, ts, 0) < 0) {
    avformat_seek_file(m_input, -1, INT64_MIN, ts, INT64_MAX, 0);
  }
  if (m_videoDecoder) avcodec_flush_buffers(m_videoDecoder);
  if (m_audioDecoder) avcodec_flush_buffers(m_audioDecoder);
  if (m_resampler) swr_init(m_resampler);  // forgets the samples it held
  m_pending = -1;
  m_inputEnded = false;
  m_drained[0] = m_drained[1] = false;
  m_dropBefore = ms;
  m_nextPictureMs = ms;
  m_nextSoundMs = ms;
  m_lastQueuedPicture = m_lastQueuedSound = ms;
  ++m_generation;
  m_pictureQueue.Release();
  m_soundQueue.Release();
  m_readerEnded = false;
}

std::uint32_t CMp4Decode::PictureMs(const AVFrame* picture) {
  const AVStream* s = m_input->streams[m_videoIndex];
  std::int64_t ms;
  if (picture->best_effort_timestamp != AV_NOPTS_VALUE) {
    ms = av_rescale_q(picture->best_effort_timestamp, s->time_base, AVRational{1, 1000}) - m_startMs;
  } else {
    ms = m_nextPictureMs;
  }
  // A picture without a time stamp follows the last one by one picture time.
  const AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : AVRational{25, 1};
  m_nextPictureMs = ms + av_rescale_q(1, av_inv_q(rate), AVRational{1, 1000});
  return ClampMs(ms);
}

std::uint32_t CMp4Decode::SoundMs(const AVFrame* frame) {
  const AVStream* s = m_input->streams[m_audioIndex];
  std::int64_t ms;
  if (frame->best_effort_timestamp != AV_NOPTS_VALUE) {
    ms = av_rescale_q(frame->best_effort_timestamp, s->time_base, AVRational{1, 1000}) - m_startMs;
  } else {
    ms = m_nextSoundMs;
  }
  if (frame->sample_rate > 0) m_nextSoundMs = ms + frame->nb_samples * 1000LL / frame->sample_rate;
  return ClampMs(ms);
}

bool CMp4Decode::ConvertPictureLocked(const AVFrame* picture) {
  const int w = picture->width, h = picture->height;
  if (!SaneSize(w, h) || picture->format < 0 || !m_convertedPicture) return false;
  if (w != m_width || h != m_height || !m_convertedBuffer) {
    // The picture size changed mid-stream: a buffer of the new size.
    unsigned char* buffer = NewMem(static_cast<std::size_t>(w) * h * 3);
    if (!buffer) return false;
    DelMem(m_convertedBuffer);
    m_convertedBuffer = buffer;
    m_width = w;
    m_height = h;
  }
  // A new scaler whenever size or pixel format differ from the last picture's.
  m_scaler = sws_getCachedContext(m_scaler, w, h, static_cast<AVPixelFormat>(picture->format), w, h, AV_PIX_FMT_BGR24,
                                  SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!m_scaler) return false;
  // Written from the last row upwards: the buffer's rows run bottom-up.
  const int stride = w * 3;
  m_convertedPicture->data[0] = m_convertedBuffer + static_cast<std::size_t>(h - 1) * stride;
  m_convertedPicture->linesize[0] = -stride;
  m_convertedPicture->width = w;
  m_convertedPicture->height = h;
  m_convertedPicture->format = AV_PIX_FMT_BGR24;
  const int rows = sws_scale(m_scaler, picture->data, picture->linesize, 0, h, m_convertedPicture->data,
                             m_convertedPicture->linesize);
  m_convertedPicture->data[0] = nullptr;
  return rows == h;
}

int CMp4Decode::ConvertSoundLocked(const AVFrame* frame) {
  if (frame->nb_samples <= 0 || !EnsureResampler(frame)) return 0;
  // The output's size follows from the resampler for each frame: a file at
  // a lower rate or with fewer channels gives more bytes than it decoded.
  const int out = swr_get_out_samples(m_resampler, frame->nb_samples);
  if (out <= 0) return 0;
  const int need = out * kOutBytesPerSample;
  if (need > m_convertedSize) {
    unsigned char* buffer = NewMem(static_cast<std::size_t>(need));
    if (!buffer) return 0;
    DelMem(m_soundBuffer);
    m_soundBuffer = buffer;
    m_convertedSize = need;
  }
  uint8_t* dst[1] = {m_soundBuffer};
  const int got = swr_convert(m_resampler, dst, out, const_cast<const uint8_t**>(frame->extended_data),
                              frame->nb_samples);
  return got > 0 ? got * kOutBytesPerSample : 0;
}

bool CMp4Decode::Deliver(WPARAM wParam, const unsigned char* bottomUp, int width, int height) {
  HWND owner = m_owner;
  if (!owner || !bottomUp || width <= 0 || height <= 0) return false;
  auto handover = std::make_shared<Handover>();
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  const std::size_t stride = (row + 3) & ~std::size_t{3};
  handover->pixels.assign(stride * height, 0);
  for (int y = 0; y < height; ++y) {
    std::memcpy(handover->pixels.data() + y * stride, bottomUp + y * row, row);
  }
  handover->record = _CAMERAFRAME{handover->pixels.data(), width, height, 24, nullptr};
  // The owner's thread may be the one stopping the player: a stop ends the
  // wait, and the record stays alive for a handler that has begun.
  return SendMessageCancellable(
      owner, WM_CAMERA_FRAME, wParam, reinterpret_cast<LPARAM>(&handover->record), [this] { return m_stop.load(); },
      handover);
}

void CMp4Decode::PictureThread() {
  _FRAMEDATA* pending = nullptr;
  while (!m_stop) {
    m_pictureWake.Reset();
    if (pending && !Current(pending->key, m_generation)) {
      CFrameQueue::FreeFrame(pending);
      pending = nullptr;
    }
    if (m_pictureGate == 0) {
      m_pictureWake.Wait(20);
      continue;
    }
    if (!pending) pending = m_pictureQueue.GetFirstFrame();
    if (!pending) {
      m_pictureWake.Wait(5);
      continue;
    }
    if (!pending->data) {
      CFrameQueue::FreeFrame(pending);
      pending = nullptr;
      continue;
    }
    if (!Current(pending->key, m_generation)) continue;
    const std::uint32_t start = m_clockStart;
    if (start == 0) {
      AnchorClock(m_clockStart, pending->time);
    } else {
      const std::int64_t elapsed = Elapsed(start);
      if (pending->time + kPictureLateMs < elapsed) {
        // Its time has passed: it is never shown.
        CFrameQueue::FreeFrame(pending);
        pending = nullptr;
        continue;
      }
      if (pending->time > elapsed) {
        // Asleep until its time; a pause, a seek or a stop wakes it.
        m_pictureWake.Wait(static_cast<int>(pending->time - elapsed));
        continue;
      }
    }
    // The width travels with the picture; the height follows from its size.
    const int w = TagWidth(pending->key);
    const int h = w > 0 ? static_cast<int>(pending->length / (static_cast<std::uint32_t>(w) * 3)) : 0;
    if (h > 0 && static_cast<std::uint32_t>(w) * h * 3 == pending->length) {
      Deliver(pending->time / 1000, pending->data, w, h);
    }
    CFrameQueue::FreeFrame(pending);
    pending = nullptr;
    CountDown(m_pictureGate);
  }
  CFrameQueue::FreeFrame(pending);
  m_pictureQueue.Release();
  m_pictureExit.Set();
}

void CMp4Decode::SoundThread() {
  _FRAMEDATA* pending = nullptr;
  while (!m_stop) {
    m_soundWake.Reset();
    if (pending && !Current(pending->key, m_generation)) {
      CFrameQueue::FreeFrame(pending);
      pending = nullptr;
    }
    if (m_soundGate == 0) {
      m_soundWake.Wait(20);
      continue;
    }
    if (!pending) pending = m_soundQueue.GetFirstFrame();
    if (!pending) {
      m_soundWake.Wait(5);
      continue;
    }
    if (!pending->data) {
      CFrameQueue::FreeFrame(pending);
      pending = nullptr;
      continue;
    }
    if (!Current(pending->key, m_generation)) continue;
    const std::uint32_t start = m_clockStart;
    if (start == 0) {
      AnchorClock(m_clockStart, pending->time);
    } else {
      const std::int64_t elapsed = Elapsed(start);
      const std::int64_t length = pending->length / kOutBytesPerSample * 1000LL / kOutRate;
      if (pending->time + length + kSoundLateMs < elapsed) {
        CFrameQueue::FreeFrame(pending);
        pending = nullptr;
        continue;
      }
      if (pending->time > elapsed + kSoundLeadMs) {
        m_soundWake.Wait(static_cast<int>(pending->time - elapsed - kSoundLeadMs));
        continue;
      }
    }
    SDL_LockAudioDevice(m_device);
    m_unitData = pending->data;
    m_unitLeft = pending->length;
    m_unitTime = pending->time;
    m_unitPlayed = 0;
    SDL_UnlockAudioDevice(m_device);
    SDL_PauseAudioDevice(m_device, 0);
    // The callback consumes it; a seek or a stop takes it back.
    for (;;) {
      SDL_LockAudioDevice(m_device);
      const bool done = m_unitLeft == 0;
      SDL_UnlockAudioDevice(m_device);
      if (done || m_stop || !Current(pending->key, m_generation)) break;
      m_soundWake.Wait(1);
      m_soundWake.Reset();
    }
    SDL_LockAudioDevice(m_device);
    m_unitData = nullptr;
    m_unitLeft = 0;
    SDL_UnlockAudioDevice(m_device);
    CFrameQueue::FreeFrame(pending);
    pending = nullptr;
    CountDown(m_soundGate);
  }
  CFrameQueue::FreeFrame(pending);
  m_soundQueue.Release();
  m_soundExit.Set();
}

void CMp4Decode::MixCallback(void* user, unsigned char* stream, int length) {
  // Runs under the device lock. The buffer comes uncleared: silence first,
  // so that a pause or a gap plays nothing.
  auto* self = static_cast<CMp4Decode*>(user);
  std::memset(stream, 0, static_cast<std::size_t>(length));
  const std::uint32_t n = std::min<std::uint32_t>(static_cast<std::uint32_t>(length), self->m_unitLeft);
  if (n == 0 || !self->m_unitData) return;
  // The sound leads the clock: the samples mixed now are heard after the
  // device's latency. The pictures follow when the two part by more than
  // the slack (a device that runs slower or faster than the clock).
  const std::uint32_t start = self->m_clockStart;
  if (start != 0) {
    const std::uint32_t position =
        self->m_unitTime + static_cast<std::uint32_t>(self->m_unitPlayed * 1000ULL / (kOutBytesPerSample * kOutRate));
    std::uint32_t anchor = Now() + self->m_latencyMs - position;
    if (anchor == 0) anchor = 1;
    const std::int32_t apart = static_cast<std::int32_t>(anchor - start);
    if (apart > kClockSlackMs || apart < -kClockSlackMs) {
      std::uint32_t expected = start;
      self->m_clockStart.compare_exchange_strong(expected, anchor);
    }
  }
  SDL_MixAudioFormat(stream, self->m_unitData, AUDIO_S16LSB, n, self->m_volume.load());
  self->m_unitData += n;
  self->m_unitLeft -= n;
  self->m_unitPlayed += n;
}

// ---- Seeking and single pictures -----------------------------------------------

int CMp4Decode::SetVideoPos(int percent) {
  if (!m_input || m_videoIndex < 0) return 0;
  const int total = m_totalSeconds;
  if (total < 0) return 0;
  percent = std::clamp(percent, 0, 100);
  const std::int64_t target = static_cast<std::int64_t>(total) * percent / 100;
  m_readGate.Reset();
  {
    std::lock_guard lock(m_demuxLock);
    SeekLocked(ClampMs(target * 1000));
  }
  m_clockStart = 0;
  m_readGate.Set();
  int paused = 0;
  m_pictureGate.compare_exchange_strong(paused, kSeekPictures);
  WakeAll();
  return 1;
}

int CMp4Decode::GetVideoAllTime() { return m_input ? m_totalSeconds : -1; }

int CMp4Decode::DurationSeconds() const {
  // The stream's own duration, else the container's (FLV and fragmented
  // MP4 often have no stream duration).
  if (m_videoIndex >= 0) {
    const AVStream* s = m_input->streams[m_videoIndex];
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0) {
      const double seconds = static_cast<double>(s->duration) * av_q2d(s->time_base);
      if (seconds > 0 && seconds < 1e7) return static_cast<int>(seconds + 0.5);
    }
  }
  if (m_input->duration != AV_NOPTS_VALUE && m_input->duration > 0) {
    return static_cast<int>((m_input->duration + AV_TIME_BASE / 2) / AV_TIME_BASE);
  }
  return -1;
}

int CMp4Decode::GetVideoWidth() { return m_videoDecoder ? m_width.load() : -1; }
int CMp4Decode::GetVideoHeight() { return m_videoDecoder ? m_height.load() : -1; }

int CMp4Decode::SetVolumePos(int percent) {
  m_volume = std::clamp(percent, 0, 100) * SDL_MIX_MAXVOLUME / 100;
  return 1;
}

int CMp4Decode::GetVolumePos() { return m_volume * 100 / SDL_MIX_MAXVOLUME; }

unsigned char* CMp4Decode::ReadFrame(int n) {
  if (!m_input || !m_decodedPicture || n < 0) return nullptr;
  std::lock_guard lock(m_demuxLock);
  if (!m_packet) return nullptr;
  for (int count = 0;;) {
    const Unit u = NextUnitLocked(m_packet, false);
    if (u == Unit::End) return nullptr;
    if (u != Unit::Picture) continue;
    const std::uint32_t ms = PictureMs(m_decodedPicture);
    if (count++ < n) continue;
    if (!ConvertPictureLocked(m_decodedPicture)) return nullptr;
    m_frameTime = ms;
    return m_convertedBuffer;
  }
}

unsigned char* CMp4Decode::ReadVideoFrame(int seconds) {
  if (!m_input || !m_decodedPicture || seconds < 0) return nullptr;
  if (m_totalSeconds >= 0 && seconds > m_totalSeconds) return nullptr;
  std::lock_guard lock(m_demuxLock);
  if (!m_packet) return nullptr;
  const std::uint32_t target = ClampMs(static_cast<std::int64_t>(seconds) * 1000);
  SeekLocked(target);
  m_clockStart = 0;
  // Decode from the key frame on to the picture shown at the target: the
  // first one at or after it, or the file's last one when it ends first.
  AVFrame* last = av_frame_alloc();
  std::uint32_t lastMs = 0;
  unsigned char* result = nullptr;
  for (;;) {
    const Unit u = NextUnitLocked(m_packet, false);
    if (u == Unit::End) {
      if (last && last->buf[0] && ConvertPictureLocked(last)) {
        m_frameTime = lastMs;
        result = m_convertedBuffer;
      }
      break;
    }
    if (u != Unit::Picture) continue;
    const std::uint32_t ms = PictureMs(m_decodedPicture);
    if (ms >= target) {
      if (ConvertPictureLocked(m_decodedPicture)) {
        m_frameTime = ms;
        result = m_convertedBuffer;
      }
      break;
    }
    if (last) {
      av_frame_unref(last);
      av_frame_ref(last, m_decodedPicture);
      lastMs = ms;
    }
  }
  av_frame_free(&last);
  // Playing goes on from the picture after this one.
  if (result) m_dropBefore = m_frameTime + 1;
  m_readerWake.Set();
  return result;
}

int CMp4Decode::ReSet(int seconds) {
  const unsigned char* picture = ReadVideoFrame(seconds);
  if (!picture) return 0;
  return Deliver(0, picture, m_width, m_height) ? 1 : 0;
}

int CMp4Decode::SaveAsImage(const unsigned char* pixels, int width, int height, const char* path) {
  if (!pixels || width <= 0 || height <= 0 || !path || !*path || !SaneSize(width, height)) return 0;
  // A picture buffer runs bottom-up with rows padded to 4 bytes.
  CBitmapPicture picture;
  if (!picture.Allocate(width, height, 24)) return 0;
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    std::memcpy(picture.data + static_cast<std::size_t>(height - 1 - y) * picture.Stride(), pixels + y * row, row);
  }
  return WritePictureBuffer(path, picture) ? 1 : 0;
}

// ---- Ending --------------------------------------------------------------------

void CMp4Decode::StopThreads() {
  m_stop = true;
  m_readGate.Set();
  m_pictureGate = 0;
  m_soundGate = 0;
  WakeAll();
  // The reader started the other two, so it is joined first; every thread
  // is joined before anything it uses is freed.
  if (m_readerThread.joinable()) m_readerThread.join();
  if (m_pictureThread.joinable()) m_pictureThread.join();
  if (m_soundThread.joinable()) m_soundThread.join();
}

void CMp4Decode::CloseDecode() {
  StopThreads();
  std::lock_guard lock(m_demuxLock);
  FreePicturePath();
  FreeSoundPath();
  m_pictureQueue.Release();
  m_soundQueue.Release();
  m_clockStart = 0;
  m_stop = false;
}

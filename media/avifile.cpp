#include "media/avifile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

#include "contracts/fundara/memory.h"

CAviFile::~CAviFile() {
  // No notice may carry a header of this object once it is gone.
  if (m_device) WaveInDiscard(m_device);
  CloseAviFile();
  DeleteAudioBuffer();
}

void CAviFile::Init() {
  m_format = WAVEFORMATEX{};
  m_format.wFormatTag = WAVE_FORMAT_PCM;
  m_format.nChannels = 1;
  m_format.nSamplesPerSec = 22050;
  m_format.wBitsPerSample = 16;
  m_format.nBlockAlign = 2;
  m_format.nAvgBytesPerSec = 44100;
}

void CAviFile::Close() { CloseAviFile(); }

int CAviFile::CreateAvi(const char* path, const BITMAPINFOHEADER* header, int framesPerSecond) {
  if (!path || !*path || !header) return 1;
  if (m_file || framesPerSecond <= 0 || header->biWidth <= 0 || header->biHeight == 0 || header->biBitCount != 24) {
    return 1;
  }
  std::lock_guard lock(m_fileLock);
  if (avformat_alloc_output_context2(&m_file, nullptr, "avi", path) < 0 || !m_file) return 1;
  // Every packet goes to the file at once, so that a write error belongs
  // to the write that caused it.
  m_file->flags |= AVFMT_FLAG_FLUSH_PACKETS;
  if (avio_open(&m_file->pb, path, AVIO_FLAG_WRITE) < 0) {
    avformat_free_context(m_file);
    m_file = nullptr;
    return 1;
  }
  m_headerWritten = false;
  m_soundFailed = false;
  m_width = header->biWidth;
  m_height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
  m_stride = (m_width * 3 + 3) & ~3;
  if (const int r = CreateVideoStream(framesPerSecond, header->biSizeImage, m_width, m_height)) return r;

  // The compressing stream: Microsoft Video 1 codes blocks of 4 × 4 pixels,
  // so a picture is coded without its last columns and rows beyond a
  // multiple of 4.
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MSVIDEO1);
  if (!codec) return 1;
  m_compressor = avcodec_alloc_context3(codec);
  if (!m_compressor) return 1;
  m_compressor->width = m_width & ~3;
  m_compressor->height = m_height & ~3;
  m_compressor->pix_fmt = AV_PIX_FMT_RGB555LE;
  m_compressor->time_base = AVRational{1, framesPerSecond};
  m_compressor->framerate = AVRational{framesPerSecond, 1};
  if (m_compressor->width < 4 || m_compressor->height < 4 || avcodec_open2(m_compressor, codec, nullptr) < 0 ||
      avcodec_parameters_from_context(m_videoStream->codecpar, m_compressor) < 0) {
    avcodec_free_context(&m_compressor);
    return 1;
  }
  m_videoStream->codecpar->codec_tag = MKTAG('M', 'S', 'V', 'C');
  m_picture = av_frame_alloc();
  m_packet = av_packet_alloc();
  if (!m_picture || !m_packet) return 1;
  m_picture->format = AV_PIX_FMT_RGB555LE;
  m_picture->width = m_compressor->width;
  m_picture->height = m_compressor->height;
  if (av_frame_get_buffer(m_picture, 0) < 0) return 1;
  m_sws = sws_getContext(m_compressor->width, m_compressor->height, AV_PIX_FMT_BGR24, m_compressor->width,
                         m_compressor->height, AV_PIX_FMT_RGB555LE, SWS_POINT, nullptr, nullptr, nullptr);
  return m_sws ? 0 : 1;
}

int CAviFile::CreateVideoStream(int rate, DWORD /*bufferSize: the muxer sizes its own*/, int width, int height) {
  if (!m_file || m_headerWritten || rate <= 0) return 1;
  m_videoStream = avformat_new_stream(m_file, nullptr);
  if (!m_videoStream) return 1;
  m_videoStream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  m_videoStream->codecpar->width = width;
  m_videoStream->codecpar->height = height;
  m_videoStream->time_base = AVRational{1, rate};
  m_videoStream->avg_frame_rate = AVRational{rate, 1};
  return 0;
}

int CAviFile::CreateAudio(HWND window) {
  m_soundPosition = 0;
  Init();
  {
    // A stream can only be added before the first write.
    std::lock_guard lock(m_fileLock);
    if (!m_file || m_headerWritten || m_audioStream) return 1;
  }
  if (m_device) return 1;
  m_device = WaveInOpen(m_format, window);
  if (!m_device) return 1;
  std::lock_guard lock(m_fileLock);
  return CreateAudioStream(1, static_cast<int>(m_format.nSamplesPerSec), m_format.nBlockAlign,
                           m_format.nSamplesPerSec);
}

int CAviFile::CreateAudioStream(int scale, int rate, int sampleSize, DWORD /*bufferSize*/) {
  if (!m_file || m_headerWritten || scale <= 0 || rate <= 0 || sampleSize <= 0) return 1;
  m_audioStream = avformat_new_stream(m_file, nullptr);
  if (!m_audioStream) return 1;
  AVCodecParameters* p = m_audioStream->codecpar;
  p->codec_type = AVMEDIA_TYPE_AUDIO;
  p->codec_id = AV_CODEC_ID_PCM_S16LE;
  p->sample_rate = rate / scale;
  av_channel_layout_default(&p->ch_layout, sampleSize / 2 > 0 ? sampleSize / 2 : 1);
  p->bits_per_coded_sample = 16;
  p->block_align = sampleSize;
  p->bit_rate = static_cast<std::int64_t>(rate / scale) * sampleSize * 8;
  m_audioStream->time_base = AVRational{scale, rate};
  return 0;
}

int CAviFile::CreateAudioBuffer(int samples) {
  if (samples <= 0 || !m_device) return 0;
  DeleteAudioBuffer();
  for (WAVEHDR& h : m_headers) {
    h = WAVEHDR{};
    auto* buffer = NewMem(static_cast<std::size_t>(samples) * m_format.nBlockAlign);
    if (!buffer) return 0;
    h.lpData = reinterpret_cast<char*>(buffer);
    h.dwBufferLength = static_cast<DWORD>(samples) * m_format.nBlockAlign;
    h.dwLoops = 1;
    if (!WaveInPrepareHeader(m_device, &h) || !WaveInAddBuffer(m_device, &h)) return 0;
  }
  return WaveInStart(m_device);
}

int CAviFile::WriteHeaderOnce() {
  if (m_headerWritten) return 0;
  if (!m_file || !m_compressor) return 1;
  const int r = avformat_write_header(m_file, nullptr);
  if (r < 0) return r;
  m_headerWritten = true;
  return 0;
}

int CAviFile::WritePacket(AVPacket* packet) {
  if (const int r = WriteHeaderOnce()) return r;
  return av_write_frame(m_file, packet);
}

int CAviFile::WriteAudioBuffer(HWAVEIN device, WAVEHDR* header) {
  if (!header) return 0;
  // Buffers of a device that has been closed meanwhile are not written.
  if (!device || device != m_device) return 0;
  if (!WaveInUnprepareHeader(device, header)) return 0;
  {
    std::lock_guard lock(m_fileLock);
    if (!m_file || !m_audioStream || m_soundFailed) return 0;
    if (WriteSound(*header) < 0) {
      // No more sound for this file; pictures go on.
      m_soundFailed = true;
      WaveInStop(device);
      WaveInReset(device);
      return 0;
    }
  }
  return WaveInPrepareHeader(device, header) && WaveInAddBuffer(device, header) ? 1 : 0;
}

// Writes the whole samples of a filled buffer at the sound position (under the file lock).
int CAviFile::WriteSound(const WAVEHDR& header) {
  const DWORD bytes = header.dwBytesRecorded - header.dwBytesRecorded % m_format.nBlockAlign;
  if (bytes == 0) return 0;
  AVPacket* packet = av_packet_alloc();
  int r = packet ? av_new_packet(packet, static_cast<int>(bytes)) : -1;
  if (r == 0) {
    std::memcpy(packet->data, header.lpData, bytes);
    packet->stream_index = m_audioStream->index;
    packet->pts = packet->dts = m_soundPosition / m_format.nBlockAlign;
    packet->duration = bytes / m_format.nBlockAlign;
    packet->flags |= AV_PKT_FLAG_KEY;
    r = WritePacket(packet);
  }
  av_packet_free(&packet);
  if (r >= 0) m_soundPosition += bytes;
  return r;
}

// At the close: the sound captured but not yet written goes into the file
// too, instead of arriving after it has been closed: the buffers handed
// back whose notice has not been handled yet (oldest first), then the
// partly filled one.
void CAviFile::WriteCapturedSound() {
  if (!m_device || !m_audioStream || m_soundFailed) return;
  WaveInDiscard(m_device);  // the device stops and keeps no buffer
  std::vector<WAVEHDR*> pending;
  for (WAVEHDR& h : m_headers) {
    if (h.lpData && h.dwBytesRecorded > 0 && (h.dwFlags & WHDR_PREPARED)) pending.push_back(&h);
  }
  std::sort(pending.begin(), pending.end(), [](const WAVEHDR* a, const WAVEHDR* b) {
    const bool doneA = a->dwFlags & WHDR_DONE, doneB = b->dwFlags & WHDR_DONE;
    if (doneA != doneB) return doneA;
    return a->reserved < b->reserved;
  });
  for (WAVEHDR* h : pending) {
    if (WriteSound(*h) < 0) break;
    h->dwBytesRecorded = 0;
  }
}

int CAviFile::DeleteAudioBuffer() {
  if (m_device) WaveInDiscard(m_device);
  for (WAVEHDR& h : m_headers) {
    DelMem(h.lpData);
    h = WAVEHDR{};
  }
  return 1;
}

int CAviFile::WriteData(int frameIndex, const unsigned char* data, int length) {
  std::lock_guard lock(m_fileLock);
  if (!m_compressor || !m_picture || !m_packet || !m_sws || !data || length <= 0) return 1;
  if (frameIndex < 0 || length < m_stride * m_height) return 1;
  if (av_frame_make_writable(m_picture) < 0) return 1;
  // Bottom-up rows: the top row of the coded picture is the last in memory.
  const std::uint8_t* src[1] = {data + static_cast<std::size_t>(m_stride) * (m_height - 1)};
  const int srcStride[1] = {-m_stride};
  sws_scale(m_sws, src, srcStride, 0, m_picture->height, m_picture->data, m_picture->linesize);
  m_picture->pts = frameIndex;
  int r = avcodec_send_frame(m_compressor, m_picture);
  while (r >= 0) {
    r = avcodec_receive_packet(m_compressor, m_packet);
    if (r < 0) break;
    m_packet->stream_index = m_videoStream->index;
    av_packet_rescale_ts(m_packet, m_compressor->time_base, m_videoStream->time_base);
    r = WritePacket(m_packet);
    av_packet_unref(m_packet);
  }
  return r == AVERROR(EAGAIN) || r == AVERROR_EOF ? 0 : r;
}

int CAviFile::CloseAviFile() {
  {
    std::lock_guard lock(m_fileLock);
    if (m_file) {
      WriteCapturedSound();
      // A file that got no data still gets its header and index.
      if (WriteHeaderOnce() == 0) av_write_trailer(m_file);
      avio_closep(&m_file->pb);
      avformat_free_context(m_file);
      m_file = nullptr;
    }
    m_videoStream = nullptr;
    m_audioStream = nullptr;
    avcodec_free_context(&m_compressor);
    av_frame_free(&m_picture);
    av_packet_free(&m_packet);
    sws_freeContext(m_sws);
    m_sws = nullptr;
    m_headerWritten = false;
  }
  if (m_device) {
    WaveInStop(m_device);
    WaveInReset(m_device);
    WaveInClose(m_device);
    m_device = nullptr;
  }
  return 0;
}

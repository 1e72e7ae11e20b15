#include "media/flvrecord.h"

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "contracts/fundara/memory.h"

namespace {

constexpr int kStopWaitMs = 5000;
// Written tags reach the disk itself at least this often.
constexpr std::int64_t kSyncUs = 2000000;
// AudioSpecificConfig of the sound track: AAC-LC, 44100 Hz, one channel.
constexpr unsigned char kAacConfig[2] = {0x12, 0x08};

}  // namespace

CFlvRecord::~CFlvRecord() {
  m_mux.Stop(kStopWaitMs);
  m_mux.Join();  // never leave a thread behind on a dead object
  {
    std::lock_guard lock(m_fileLock);
    m_flv.CloseFlv();
  }
  m_audioQueue.Release();
  m_videoQueue.Release();
  {
    std::lock_guard lock(m_videoLock);
    m_video.Close();
  }
  std::lock_guard lock(m_audioLock);
  m_audio.Close();
}

int CFlvRecord::Init(int width, int height, const char* path) {
  // A recorder serves one recording at a time: the previous one must have finished.
  m_mux.Join();
  m_audioQueue.Release();
  m_videoQueue.Release();
  {
    std::lock_guard lock(m_videoLock);
    m_videoHeaderPending = 1;
    m_video.SetH264DataHandler(this);
    m_video.Init(width, height, 25);
    m_decodeTimes.Clear();
  }
  {
    std::lock_guard lock(m_audioLock);
    m_audioHeaderPending = 1;
    m_audio.SetAACDataHandler(this);
    m_audio.Init();
    m_sound.Reset(m_audio.GetFrameBytes() / 2, CPCMtoAAC::kSampleRate);
    m_soundOpen.store(m_audio.IsOpen());
  }
  {
    // Without a picture encoder the first sound sample starts the clock.
    std::lock_guard lock(m_videoLock);
    m_clock.Reset(!m_video.IsOpen());
  }
  m_failed.store(false);
  m_syncedUs = MonotonicUs();
  {
    std::lock_guard lock(m_fileLock);
    if (!m_flv.CreateFlv(path, width, height, 7, 10)) return 0;
    m_flv.m_audioChannels = 1;
    m_flv.m_audioSampleRate = 44100;
    m_flv.FlvHeader();
  }
  StartMux();
  return 1;
}

int CFlvRecord::WriteBmpData(const unsigned char* pixels, int length) {
  std::lock_guard video(m_videoLock);
  if (!m_video.IsOpen() || !pixels || m_failed.load()) return 0;
  // A short picture is refused before it takes a place in the queue.
  if (length < m_video.GetWidth() * m_video.GetHeight() * 3) return 0;
  std::uint32_t captured = 0;
  if (!m_clock.StampPicture(&captured)) return 0;
  // The placeholder carries the decoding time; the encoder hands back the
  // presentation time with the unit.
  const std::uint32_t decoding = m_decodeTimes.Next(captured, m_video.GetReorderDelay());
  if (m_videoQueue.AddFrame(decoding, nullptr, 0, 0) < 0) return 0;
  return m_video.BmptoH264Data(pixels, length, captured);
}

int CFlvRecord::WritePCMData(const unsigned char* pcm, int length) {
  // A block that has just been filled: its first sample was taken one block ago.
  const std::int64_t duration = static_cast<std::int64_t>(length / 2) * 1000000 / CPCMtoAAC::kSampleRate;
  return WritePCMData(pcm, length, MonotonicUs() - duration, 0);
}

int CFlvRecord::WritePCMData(const unsigned char* pcm, int length, std::int64_t captureUs,
                             std::uint32_t lostSamples) {
  if (!m_soundOpen.load() || m_failed.load() || m_clock.IsPaused()) return 0;
  return m_sound.Push(pcm, length, captureUs, lostSamples) ? 1 : 0;
}

void CFlvRecord::WriteAvcHeader(const unsigned char* gathered, int length) {
  std::lock_guard lock(m_fileLock);
  m_flv.WriteExtradata(7, gathered, length);
}

int CFlvRecord::SetH264Data(const unsigned char* data, int length) {
  int pos = InitFirstPos(data, length);
  if (pos < 0) return 0;
  unsigned char* gather = nullptr;
  int gatherLength = 0;
  int key = 0;
  int more = 1;
  while (more) {
    const unsigned char* nal = nullptr;
    int nalLength = 0;
    more = GetNalFromBuffer(data, length, pos, nal, nalLength);
    if (nalLength <= 0) continue;
    if (nal[0] == 0xB7) {  // the end code handed out after the last picture
      DelMem(gather);
      return 1;
    }
    const int type = nal[0] & 0x1F;
    if (type == 6) continue;  // SEI
    if (type == 5) {
      key = 1;
      if (m_videoHeaderPending && gatherLength > 0) {
        WriteAvcHeader(gather, gatherLength);
        m_videoHeaderPending = 0;
        DelMem(gather);
        gather = nullptr;
        gatherLength = 0;
      }
    }
    unsigned char* unit = DisposeBuffer(nal, nalLength, m_videoHeaderPending ? 2 : 4);
    if (!unit) continue;
    AddBuffer(unit, nalLength + (m_videoHeaderPending ? 2 : 4), gather, gatherLength);
    DelMem(unit);
  }
  if (gatherLength > 0) {
    if (m_videoHeaderPending) {
      WriteAvcHeader(gather, gatherLength);
      m_videoHeaderPending = 0;
    } else {
      m_videoQueue.UpdateFrame(gather, static_cast<std::uint32_t>(gatherLength), key, m_video.GetPacketTimeMs());
    }
  }
  DelMem(gather);
  return 1;
}

int CFlvRecord::SetAACData(const unsigned char* data, int length, std::uint32_t timestampMs) {
  if (m_audioHeaderPending) {
    std::lock_guard lock(m_fileLock);
    m_flv.WriteExtradata(10, kAacConfig, 2);
    m_audioHeaderPending = 0;
  }
  m_audioQueue.AddFrame(timestampMs, data, static_cast<std::uint32_t>(length), 0);
  return 1;
}

void CFlvRecord::PlayVideo(int run) { m_clock.PlayVideo(run); }

std::uint32_t CFlvRecord::GetVideoTime() { return m_clock.GetVideoTime(); }

void CFlvRecord::Close() {
  {
    std::lock_guard lock(m_videoLock);
    m_video.AddEndData();
    m_video.Close();
  }
  m_soundOpen.store(false);
  // The mux thread encodes the last sound before it ends. A thread still
  // busy after the wait finishes on its own and is collected by the next
  // Init or the destructor.
  if (m_mux.Stop(kStopWaitMs)) {
    std::lock_guard lock(m_audioLock);
    m_audio.Close();
  }
}

bool CFlvRecord::WriteTag(int tagType, const CMuxThread::Unit& u) {
  std::lock_guard lock(m_fileLock);
  if (tagType == 9) {
    m_flv.WritePacket(9, u.data, static_cast<int>(u.length), u.time, u.key, static_cast<std::int32_t>(u.pts - u.time));
  } else {
    m_flv.WritePacket(8, u.data, static_cast<int>(u.length), u.time, 0);
  }
  if (!m_flv.m_file) return false;
  // At every key picture what has been written goes to the system (a
  // killed recorder loses nothing before it), and to the disk itself every
  // few seconds (a power loss neither).
  if (tagType == 9 && u.key) {
    std::fflush(m_flv.m_file);
    const std::int64_t now = MonotonicUs();
    if (now - m_syncedUs >= kSyncUs) {
      fdatasync(fileno(m_flv.m_file));
      m_syncedUs = now;
    }
  }
  return std::ferror(m_flv.m_file) == 0;
}

void CFlvRecord::StartMux() {
  m_mux.Start(
      m_videoQueue, m_audioQueue, [this](const CMuxThread::Unit& u) { return WriteTag(9, u); },
      [this](const CMuxThread::Unit& u) { return WriteTag(8, u); },
      [this](bool last) {
        std::lock_guard lock(m_audioLock);
        if (!m_audio.IsOpen()) return;
        m_sound.Drain(
            m_clock,
            [this](const unsigned char* pcm, int samples, double ms) {
              m_audio.PCMtoAACData(pcm, samples * 2, static_cast<std::uint32_t>(std::floor(ms)));
            },
            last);
        if (last) m_audio.Flush();
      },
      [this](bool written) {
        bool ok = written;
        {
          std::lock_guard lock(m_fileLock);
          m_flv.FlvEnd();
          if (m_flv.m_file) ok = ok && std::fflush(m_flv.m_file) == 0 && std::ferror(m_flv.m_file) == 0;
          m_flv.CloseFlv();
        }
        if (!ok) m_failed.store(true);
        m_audioQueue.Release();
        m_videoQueue.Release();
        if (HWND owner = m_owner.load()) PostMessage(owner, WM_STOP_RECORD, 0, ok ? 1 : 0);
      });
}

int CFlvRecord::InitFirstPos(const unsigned char* stream, int length) {
  if (!stream) return -1;
  for (int i = 0; i + 2 < length; ++i) {
    if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) return i + 3;
  }
  return -1;
}

int CFlvRecord::GetNalFromBuffer(const unsigned char* stream, int length, int& position,
                                 const unsigned char*& nal, int& nalLength) {
  nal = nullptr;
  nalLength = 0;
  if (!stream || position < 0 || position > length) return 0;
  nal = stream + position;
  for (int i = position; i + 2 < length; ++i) {
    if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) {
      int end = i;
      if (end > position && stream[end - 1] == 0) --end;  // the zero of a 4-byte start code
      nalLength = end - position;
      position = i + 3;
      return 1;
    }
  }
  nalLength = length - position;
  position = length;
  return 0;
}

unsigned char* CFlvRecord::DisposeBuffer(const unsigned char* data, int length, int n) {
  if (length < 0 || n <= 0 || n > 4 || (length > 0 && !data)) return nullptr;
  unsigned char* out = NewMem(static_cast<std::size_t>(length) + n);
  if (!out) return nullptr;
  for (int i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(static_cast<std::uint32_t>(length) >> (8 * (n - 1 - i)));
  if (length > 0) std::memcpy(out + n, data, static_cast<std::size_t>(length));
  return out;
}

int CFlvRecord::AddBuffer(const unsigned char* data, int length, unsigned char*& buffer, int& bufferLength) {
  if (length <= 0 || !data) return 1;
  unsigned char* grown = NewMem(static_cast<std::size_t>(bufferLength) + length);
  if (!grown) {
    DelMem(buffer);
    buffer = nullptr;
    bufferLength = 0;
    return 0;
  }
  if (bufferLength > 0) std::memcpy(grown, buffer, static_cast<std::size_t>(bufferLength));
  std::memcpy(grown + bufferLength, data, static_cast<std::size_t>(length));
  DelMem(buffer);
  buffer = grown;
  bufferLength += length;
  return 1;
}

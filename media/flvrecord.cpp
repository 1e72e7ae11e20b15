#include "media/flvrecord.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "contracts/fundara/memory.h"

namespace {

constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
constexpr int kStopWaitMs = 5000;
// AudioSpecificConfig of the sound track: AAC-LC, 44100 Hz, one channel.
constexpr unsigned char kAacConfig[2] = {0x12, 0x08};

}  // namespace

CFlvRecord::~CFlvRecord() {
  StopThread(kStopWaitMs);
  if (m_thread.joinable()) m_thread.join();  // never leave a thread behind on a dead object
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
  if (m_thread.joinable()) m_thread.join();
  {
    std::lock_guard lock(m_clockLock);
    m_startTick = 0;
    m_audioTime = 0;
    m_videoTime = 0;
    m_pauseTick = 0;
    m_audioEndMs = 0;
  }
  m_audioQueue.Release();
  m_videoQueue.Release();
  {
    std::lock_guard lock(m_videoLock);
    m_videoHeaderPending = 1;
    m_video.SetH264DataHandler(this);
    m_video.Init(width, height, 25);
    m_captureTimes.clear();
  }
  {
    std::lock_guard lock(m_audioLock);
    m_audioHeaderPending = 1;
    m_audio.SetAACDataHandler(this);
    m_audio.Init();
  }
  {
    std::lock_guard lock(m_fileLock);
    if (!m_flv.CreateFlv(path, width, height, 7, 10)) return 0;
    m_flv.m_audioChannels = 1;
    m_flv.m_audioSampleRate = 44100;
    m_flv.FlvHeader();
  }
  m_exitEvent.Reset();
  m_stop.store(false);
  m_thread = std::thread([this] { MuxThread(); });
  return 1;
}

int CFlvRecord::WriteBmpData(const unsigned char* pixels, int length) {
  std::lock_guard video(m_videoLock);
  if (!m_video.IsOpen() || !pixels) return 0;
  // A short picture is refused before it takes a place in the queue.
  if (length < m_video.GetWidth() * m_video.GetHeight() * 3) return 0;
  std::uint32_t captured;
  {
    std::lock_guard lock(m_clockLock);
    if (m_pauseTick != 0) return 0;
    const std::uint32_t now = GetTickCount();
    if (m_startTick == 0) {
      m_startTick = now;
      m_videoTime = 0;
    } else {
      m_videoTime = now - m_startTick;
    }
    captured = m_videoTime;
  }
  // The placeholder carries the decoding time: the capture times in order,
  // behind by the pictures the encoder may hold back for reordering, so that
  // no picture is decoded after it is due to be shown.
  m_captureTimes.push_back(captured);
  const std::size_t keep = static_cast<std::size_t>(m_video.GetReorderDelay()) + 1;
  while (m_captureTimes.size() > keep) m_captureTimes.pop_front();
  if (m_videoQueue.AddFrame(m_captureTimes.front(), nullptr, 0, 0) < 0) return 0;
  return m_video.BmptoH264Data(pixels, length, captured);
}

int CFlvRecord::WritePCMData(const unsigned char* pcm, int length) {
  std::lock_guard audio(m_audioLock);
  if (!m_audio.IsOpen() || !pcm || length <= 0) return 0;
  double blockStart;
  {
    std::lock_guard lock(m_clockLock);
    if (m_pauseTick != 0) return 0;
    const std::uint32_t now = GetTickCount();
    // The block has just been filled: its first sample was taken one block earlier.
    const double duration = (length / 2) * 1000.0 / CPCMtoAAC::kSampleRate;
    if (m_startTick == 0) {
      m_startTick = now - static_cast<std::uint32_t>(std::lround(duration));
      if (m_startTick == 0) m_startTick = 1;
      blockStart = 0;
    } else {
      blockStart = static_cast<double>(now - m_startTick) - duration;
    }
    if (blockStart < m_audioEndMs) blockStart = m_audioEndMs;
    m_audioEndMs = blockStart + duration;
    m_audioTime = static_cast<std::uint32_t>(blockStart);
  }
  return m_audio.SetPCMData(pcm, length, static_cast<std::uint32_t>(std::floor(blockStart)));
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

void CFlvRecord::PlayVideo(int run) {
  std::lock_guard lock(m_clockLock);
  const std::uint32_t now = GetTickCount();
  if (run == 0) {
    if (m_pauseTick == 0) m_pauseTick = now ? now : 1;
  } else if (m_pauseTick != 0) {
    if (m_startTick != 0) m_startTick += now - m_pauseTick;
    m_pauseTick = 0;
  }
}

std::uint32_t CFlvRecord::GetVideoTime() {
  std::lock_guard lock(m_clockLock);
  return m_videoTime;
}

void CFlvRecord::Close() {
  {
    std::lock_guard lock(m_videoLock);
    m_video.AddEndData();
    m_video.Close();
  }
  {
    std::lock_guard lock(m_audioLock);
    m_audio.Close();
  }
  StopThread(kStopWaitMs);
}

void CFlvRecord::StopThread(int waitMs) {
  if (!m_thread.joinable()) return;
  m_stop.store(true);
  // Wait for this recorder's own thread; when it has ended, collect it. A
  // thread still busy after the wait finishes on its own and is collected by
  // the next Init or the destructor.
  if (m_exitEvent.Wait(waitMs)) m_thread.join();
}

void CFlvRecord::MuxThread() {
  unsigned char* data = nullptr;
  for (;;) {
    const std::uint32_t a = m_audioQueue.GetFirstTimeMs();
    const std::uint32_t v = m_videoQueue.GetFirstTimeMs();
    const bool stop = m_stop.load();
    if (v == kEmpty && stop) break;
    std::uint32_t time = 0, length = 0, pts = 0;
    int key = 0;
    if (v < a) {
      if (m_videoQueue.GetFirstFrame(&time, &data, &length, &key, &pts) == 0) {
        if (data) {
          std::lock_guard lock(m_fileLock);
          m_flv.WritePacket(9, data, static_cast<int>(length), time, key,
                            static_cast<std::int32_t>(pts - time));
        } else if (stop) {
          m_videoQueue.DelFirstFrame();  // the encoder will never fill it now
        }
      }
    } else if (m_audioQueue.GetFirstFrame(&time, &data, &length, &key) == 0 && data) {
      std::lock_guard lock(m_fileLock);
      m_flv.WritePacket(8, data, static_cast<int>(length), time, 0);
    }
    DelMem(data);
    data = nullptr;
    Sleep(1);
  }
  {
    std::lock_guard lock(m_fileLock);
    m_flv.FlvEnd();
    m_flv.CloseFlv();
  }
  m_audioQueue.Release();
  m_videoQueue.Release();
  m_exitEvent.Set();
  if (HWND owner = m_owner.load()) PostMessage(owner, WM_STOP_RECORD, 0, 1);
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

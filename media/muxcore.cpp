#include "media/muxcore.h"

#include <cmath>

#include "contracts/fundara/memory.h"

void CRecordClock::Reset() {
  std::lock_guard lock(m_lock);
  m_startTick = 0;
  m_pauseTick = 0;
  m_videoTime = 0;
  m_audioTime = 0;
  m_audioEndMs = 0;
}

bool CRecordClock::StampPicture(std::uint32_t* captured) {
  std::lock_guard lock(m_lock);
  if (m_pauseTick != 0) return false;
  const std::uint32_t now = GetTickCount();
  if (m_startTick == 0) {
    m_startTick = now ? now : 1;
    m_videoTime = 0;
  } else {
    m_videoTime = now - m_startTick;
  }
  *captured = m_videoTime;
  return true;
}

bool CRecordClock::StampSound(int samples, int rate, double* blockStart) {
  std::lock_guard lock(m_lock);
  if (m_pauseTick != 0) return false;
  const std::uint32_t now = GetTickCount();
  // The block has just been filled: its first sample was taken one block earlier.
  const double duration = samples * 1000.0 / rate;
  double start;
  if (m_startTick == 0) {
    m_startTick = now - static_cast<std::uint32_t>(std::lround(duration));
    if (m_startTick == 0) m_startTick = 1;
    start = 0;
  } else {
    start = static_cast<double>(now - m_startTick) - duration;
  }
  if (start < m_audioEndMs) start = m_audioEndMs;
  m_audioEndMs = start + duration;
  m_audioTime = static_cast<std::uint32_t>(start);
  *blockStart = start;
  return true;
}

void CRecordClock::PlayVideo(int run) {
  std::lock_guard lock(m_lock);
  const std::uint32_t now = GetTickCount();
  if (run == 0) {
    if (m_pauseTick == 0) m_pauseTick = now ? now : 1;
  } else if (m_pauseTick != 0) {
    if (m_startTick != 0) m_startTick += now - m_pauseTick;
    m_pauseTick = 0;
  }
}

std::uint32_t CRecordClock::GetVideoTime() {
  std::lock_guard lock(m_lock);
  return m_videoTime;
}

std::uint32_t CRecordClock::GetAudioTime() {
  std::lock_guard lock(m_lock);
  return m_audioTime;
}

std::uint32_t CDecodeTimes::Next(std::uint32_t captured, int reorderDelay) {
  m_times.push_back(captured);
  const std::size_t keep = static_cast<std::size_t>(reorderDelay > 0 ? reorderDelay : 0) + 1;
  while (m_times.size() > keep) m_times.pop_front();
  return m_times.front();
}

void CMuxThread::Start(CFrameQueue& video, CFrameQueue& audio, Writer writeVideo, Writer writeAudio,
                       std::function<void()> finish) {
  Join();
  m_exit.Reset();
  m_stop.store(false);
  m_thread = std::thread([this, &video, &audio, writeVideo = std::move(writeVideo),
                          writeAudio = std::move(writeAudio), finish = std::move(finish)] {
    Loop(video, audio, writeVideo, writeAudio);
    finish();
    m_exit.Set();
  });
}

void CMuxThread::Loop(CFrameQueue& video, CFrameQueue& audio, const Writer& writeVideo, const Writer& writeAudio) {
  constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  unsigned char* data = nullptr;
  for (;;) {
    const std::uint32_t a = audio.GetFirstTimeMs();
    const std::uint32_t v = video.GetFirstTimeMs();
    const bool stop = m_stop.load();
    if (v == kEmpty && stop) break;
    Unit unit{};
    if (v < a) {
      if (video.GetFirstFrame(&unit.time, &data, &unit.length, &unit.key, &unit.pts) == 0) {
        if (data) {
          unit.data = data;
          writeVideo(unit);
        } else if (stop) {
          video.DelFirstFrame();  // the encoder will never fill it now
        }
      }
    } else if (audio.GetFirstFrame(&unit.time, &data, &unit.length, &unit.key, &unit.pts) == 0 && data) {
      unit.data = data;
      writeAudio(unit);
    }
    DelMem(data);
    data = nullptr;
    Sleep(1);
  }
}

bool CMuxThread::Stop(int waitMs) {
  if (!m_thread.joinable()) return true;
  m_stop.store(true);
  if (!m_exit.Wait(waitMs)) return false;
  m_thread.join();
  return true;
}

void CMuxThread::Join() {
  if (!m_thread.joinable()) return;
  m_stop.store(true);
  m_thread.join();
}

double CSampleTimes::TimeOf(std::int64_t sample, int rate) {
  if (m_anchors.empty()) return 0;
  while (m_anchors.size() > 1 && m_anchors[1].first <= sample) m_anchors.pop_front();
  const auto& a = m_anchors.front();
  return a.second + static_cast<double>(sample - a.first) * 1000.0 / rate;
}

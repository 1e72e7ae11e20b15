#include "media/muxcore.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "contracts/fundara/memory.h"

void CRecordClock::Reset(bool soundStarts) {
  std::lock_guard lock(m_lock);
  m_soundStarts = soundStarts;
  m_originUs = -1;
  m_pauseUs = -1;
  m_pauses.clear();
  m_videoTime = 0;
  m_audioTime = 0;
  m_nextSample = -1;
}

std::int64_t CRecordClock::RecordingUs(std::int64_t monotonicUs, std::int64_t* pausedUs) const {
  std::int64_t t = monotonicUs - m_originUs;
  *pausedUs = 0;
  for (const auto& [from, to] : m_pauses) {
    if (monotonicUs >= to) {
      t -= to - from;
    } else if (monotonicUs >= from) {
      t -= monotonicUs - from;
      *pausedUs = to - monotonicUs;
    }
  }
  return t;
}

bool CRecordClock::StampPicture(std::uint32_t* captured) {
  std::lock_guard lock(m_lock);
  if (m_pauseUs >= 0) return false;
  const std::int64_t now = MonotonicUs();
  const bool first = m_originUs < 0;
  if (first) m_originUs = now;
  std::int64_t paused = 0;
  const auto time = static_cast<std::uint32_t>(RecordingUs(now, &paused) / 1000);
  // Pictures handed in within one millisecond still get times of their own:
  // a file cannot show two pictures at once.
  m_videoTime = first || time > m_videoTime ? time : m_videoTime + 1;
  *captured = m_videoTime;
  return true;
}

CRecordClock::Sound CRecordClock::PlaceSound(std::int64_t captureUs, int samples, int rate, std::int64_t lost,
                                             SoundPlace* place) {
  std::lock_guard lock(m_lock);
  if (m_pauseUs >= 0) return Sound::Drop;
  if (m_originUs < 0) {
    if (!m_soundStarts) return Sound::Wait;
    m_originUs = captureUs;
  }
  *place = SoundPlace{};
  // Samples captured during a pause are left out up to its end.
  std::int64_t pausedUs = 0;
  const std::int64_t t = RecordingUs(captureUs, &pausedUs);
  place->skip = pausedUs * rate / 1000000;
  const std::int64_t target =
      static_cast<std::int64_t>(std::floor(static_cast<double>(t) * rate / 1000000.0 + 0.5));
  if (m_nextSample < 0) {
    // The first block: what was captured before the start is left out.
    if (target < 0) place->skip = std::max(place->skip, -target);
    place->first = std::max<std::int64_t>(target, 0);
  } else {
    const std::int64_t expected = m_nextSample + lost;
    const std::int64_t d = target - expected;
    const std::int64_t tolerance = static_cast<std::int64_t>(rate) * kContiguousMs / 1000;
    place->silence = lost;
    place->first = expected;
    if (d > tolerance) {
      place->silence += d;  // sound the device never delivered
      place->first = target;
    } else if (d < -tolerance) {
      place->skip = std::max(place->skip, -d);  // lies over sound already placed
    }
  }
  if (place->skip >= samples) return Sound::Drop;
  m_nextSample = place->first + (samples - place->skip);
  m_audioTime = static_cast<std::uint32_t>((place->first - place->silence) * 1000 / rate);
  return Sound::Place;
}

void CRecordClock::PlayVideo(int run) {
  std::lock_guard lock(m_lock);
  const std::int64_t now = MonotonicUs();
  if (run == 0) {
    if (m_pauseUs < 0) m_pauseUs = now;
  } else if (m_pauseUs >= 0) {
    // A pause before the start takes nothing out of the recording.
    if (m_originUs >= 0) m_pauses.emplace_back(m_pauseUs, now);
    m_pauseUs = -1;
  }
}

bool CRecordClock::IsPaused() {
  std::lock_guard lock(m_lock);
  return m_pauseUs >= 0;
}

std::uint32_t CRecordClock::GetVideoTime() {
  std::lock_guard lock(m_lock);
  return m_videoTime;
}

std::uint32_t CRecordClock::GetAudioTime() {
  std::lock_guard lock(m_lock);
  return m_audioTime;
}

void CSoundFeed::Reset(int frameSamples, int rate) {
  {
    std::lock_guard lock(m_lock);
    m_blocks.clear();
    m_waitingSamples = 0;
  }
  m_frameSamples = frameSamples > 0 ? frameSamples : 1024;
  m_rate = rate;
  m_frame.assign(static_cast<std::size_t>(m_frameSamples) * 2, 0);
  m_fill = 0;
  m_frameFirst = -1;
}

bool CSoundFeed::Push(const unsigned char* pcm, int length, std::int64_t captureUs, std::int64_t lost) {
  if (!pcm || length < 2) return false;
  Block block{std::vector<unsigned char>(pcm, pcm + (length & ~1)), captureUs, std::max<std::int64_t>(0, lost)};
  std::lock_guard lock(m_lock);
  m_waitingSamples += length / 2;
  m_blocks.push_back(std::move(block));
  return true;
}

bool CSoundFeed::Empty() {
  std::lock_guard lock(m_lock);
  return m_blocks.empty();
}

void CSoundFeed::Drain(CRecordClock& clock, const FrameSink& sink, bool last) {
  for (;;) {
    Block block;
    {
      std::lock_guard lock(m_lock);
      if (m_blocks.empty()) break;
      block = std::move(m_blocks.front());
      m_blocks.pop_front();
      m_waitingSamples -= static_cast<std::int64_t>(block.pcm.size() / 2);
    }
    const int samples = static_cast<int>(block.pcm.size() / 2);
    CRecordClock::SoundPlace place;
    const CRecordClock::Sound action = clock.PlaceSound(block.captureUs, samples, m_rate, block.lost, &place);
    if (action == CRecordClock::Sound::Wait) {
      if (last) continue;  // the clock will never start now
      std::lock_guard lock(m_lock);
      // Kept for the start, but not without end (a camera that never delivers).
      const std::int64_t waiting = m_waitingSamples;
      if (waiting * 1000 / m_rate < kMaxWaitMs) {
        m_waitingSamples += samples;
        m_blocks.push_front(std::move(block));
      }
      break;
    }
    if (action == CRecordClock::Sound::Drop) continue;
    const std::int64_t start = place.first - place.silence;
    if (m_frameFirst >= 0 && start != m_frameFirst + m_fill) {
      // Not where the line goes on (cannot happen after the first block):
      // the frame so far is closed and the line starts anew.
      if (m_fill > 0) EmitFrame(sink);
      m_frameFirst = -1;
    }
    if (m_frameFirst < 0) m_frameFirst = start;
    static const std::vector<unsigned char> kSilence(4096, 0);
    for (std::int64_t left = place.silence; left > 0;) {
      const std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(kSilence.size() / 2));
      Append(kSilence.data(), n, sink);
      left -= n;
    }
    Append(block.pcm.data() + 2 * place.skip, samples - place.skip, sink);
  }
  if (last && m_fill > 0) EmitFrame(sink);
}

void CSoundFeed::Append(const unsigned char* pcm, std::int64_t samples, const FrameSink& sink) {
  while (samples > 0) {
    const int n = static_cast<int>(std::min<std::int64_t>(samples, m_frameSamples - m_fill));
    std::memcpy(m_frame.data() + 2 * static_cast<std::size_t>(m_fill), pcm, 2 * static_cast<std::size_t>(n));
    m_fill += n;
    pcm += 2 * n;
    samples -= n;
    if (m_fill == m_frameSamples) EmitFrame(sink);
  }
}

void CSoundFeed::EmitFrame(const FrameSink& sink) {
  std::fill(m_frame.begin() + 2 * static_cast<std::ptrdiff_t>(m_fill), m_frame.end(), 0);
  sink(m_frame.data(), m_frameSamples, static_cast<double>(m_frameFirst) * 1000.0 / m_rate);
  m_frameFirst += m_frameSamples;
  m_fill = 0;
}

std::uint32_t CDecodeTimes::Next(std::uint32_t captured, int reorderDelay) {
  m_times.push_back(captured);
  const std::size_t keep = static_cast<std::size_t>(reorderDelay > 0 ? reorderDelay : 0) + 1;
  while (m_times.size() > keep) m_times.pop_front();
  return m_times.front();
}

void CMuxThread::Start(CFrameQueue& video, CFrameQueue& audio, Writer writeVideo, Writer writeAudio, Prepare prepare,
                       std::function<void(bool)> finish) {
  Join();
  m_exit.Reset();
  m_stop.store(false);
  m_thread = std::thread([this, &video, &audio, writeVideo = std::move(writeVideo),
                          writeAudio = std::move(writeAudio), prepare = std::move(prepare),
                          finish = std::move(finish)] {
    const bool written = Loop(video, audio, writeVideo, writeAudio, prepare);
    finish(written);
    m_exit.Set();
  });
}

bool CMuxThread::Loop(CFrameQueue& video, CFrameQueue& audio, const Writer& writeVideo, const Writer& writeAudio,
                      const Prepare& prepare) {
  constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  unsigned char* data = nullptr;
  bool prepared = false;  // the last units of the producers are in
  bool ok = true;
  for (;;) {
    const bool stop = m_stop.load();
    const bool last = stop && !prepared;
    if (prepare) prepare(last);
    prepared = prepared || last;
    const std::uint32_t a = audio.GetFirstTimeMs();
    const std::uint32_t v = video.GetFirstTimeMs();
    // Sound captured before the stop belongs to the recording: the loop
    // ends only when both queues are empty.
    if (stop && v == kEmpty && a == kEmpty) break;
    Unit unit{};
    if (v < a) {
      if (video.GetFirstFrame(&unit.time, &data, &unit.length, &unit.key, &unit.pts) == 0) {
        if (data) {
          unit.data = data;
          ok = writeVideo(unit);
        } else if (stop) {
          video.DelFirstFrame();  // the encoder will never fill it now
        }
      }
    } else if (audio.GetFirstFrame(&unit.time, &data, &unit.length, &unit.key, &unit.pts) == 0 && data) {
      unit.data = data;
      ok = writeAudio(unit);
    }
    DelMem(data);
    data = nullptr;
    if (!ok) break;
    Sleep(1);
  }
  return ok;
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

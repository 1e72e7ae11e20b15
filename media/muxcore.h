#pragma once
// What the FLV recorder and the MP4 muxer share: the recording clock (start,
// pause, capture times of pictures and sound), the decoding times of the
// pictures, and the mux thread that writes the earliest unit of the two
// queues until the stop request has been made and the pictures are out.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "media/framequeue.h"
#include "platform/sync.h"

// Milliseconds since the recording began, on GetTickCount. Time spent
// paused is taken out of the clock so that it leaves no gap in the file.
class CRecordClock {
 public:
  void Reset();
  // Stamps a picture handed in now: its capture time in *captured; false
  // while paused. The first picture or sound block starts the clock.
  bool StampPicture(std::uint32_t* captured);
  // Stamps a block of `samples` samples at `rate` that has just been filled:
  // the capture time of its first sample in *blockStart (a block never
  // starts before the previous one ended); false while paused. A block that
  // starts the clock has its first sample at 0.
  bool StampSound(int samples, int rate, double* blockStart);
  // 0 pauses, non-zero resumes.
  void PlayVideo(int run);
  std::uint32_t GetVideoTime();
  std::uint32_t GetAudioTime();

 private:
  std::mutex m_lock;
  std::uint32_t m_startTick = 0;  // 0 = not started
  std::uint32_t m_pauseTick = 0;  // 0 = running
  std::uint32_t m_videoTime = 0;
  std::uint32_t m_audioTime = 0;
  double m_audioEndMs = 0;  // where the last sound block ended
};

// Decoding times of pictures: the capture times in order, held back by the
// number of pictures the encoder may reorder, so that no picture is decoded
// after it is due to be shown.
class CDecodeTimes {
 public:
  void Clear() { m_times.clear(); }
  // The decoding time of the picture captured at `captured`.
  std::uint32_t Next(std::uint32_t captured, int reorderDelay);

 private:
  std::deque<std::uint32_t> m_times;
};

// Capture times of encoder samples: the sample number of each frame handed
// to an encoder with the capture time (ms) of its first sample. An encoder
// hands its packets out later, with the number of their first sample.
class CSampleTimes {
 public:
  void Clear() { m_anchors.clear(); }
  void Add(std::int64_t firstSample, double timeMs) { m_anchors.emplace_back(firstSample, timeMs); }
  // The capture time of sample `sample` at `rate`, from the nearest frame
  // handed in at or before it (earlier samples lie before the first frame).
  double TimeOf(std::int64_t sample, int rate);

 private:
  std::deque<std::pair<std::int64_t, double>> m_anchors;
};

// One mux thread per recording with its own exit event.
class CMuxThread {
 public:
  // A unit taken from a queue: time is the decoding time (ms), pts the
  // presentation time (ms).
  struct Unit {
    std::uint32_t time;
    std::uint32_t pts;
    const unsigned char* data;
    std::uint32_t length;
    int key;
  };
  using Writer = std::function<void(const Unit&)>;

  CMuxThread() = default;
  CMuxThread(const CMuxThread&) = delete;
  CMuxThread& operator=(const CMuxThread&) = delete;
  ~CMuxThread() { Join(); }

  // Starts the loop over the two queues: the earlier head is written (sound
  // first at equal times); a picture placeholder at the head holds back
  // everything after it until the encoder fills it, or is dropped once the
  // stop has been requested. The loop ends when the stop has been requested
  // and no picture is left; `finish` then runs on the thread, after which
  // the exit event is set. A previous thread that has ended is collected first.
  void Start(CFrameQueue& video, CFrameQueue& audio, Writer writeVideo, Writer writeAudio,
             std::function<void()> finish);
  void RequestStop() { m_stop.store(true); }
  bool Running() const { return m_thread.joinable(); }
  // Requests the stop and waits up to waitMs for the end; a thread that has
  // ended is collected. True when it has ended.
  bool Stop(int waitMs);
  // Waits for the thread however long it takes.
  void Join();
  bool HasEnded() const { return m_exit.IsSet(); }

 private:
  void Loop(CFrameQueue& video, CFrameQueue& audio, const Writer& writeVideo, const Writer& writeAudio);

  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  CEvent m_exit;
};

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
#include <vector>

#include "media/framequeue.h"
#include "media/wavein.h"  // MonotonicUs
#include "platform/sync.h"

// Milliseconds since the recording began, on the monotonic clock. The first
// picture starts the clock; a recording without pictures starts at its first
// sound sample. Time spent paused is taken out of the clock so that it
// leaves no gap in the file.
//
// Sound is placed by the capture time of its first sample, never by the
// moment it is handed in: contiguous blocks stay exactly contiguous, samples
// the device lost become silence of the same length, samples captured
// before the start (or over sound already placed) are left out. The sound
// track is therefore one unbroken run of samples from its first one on.
class CRecordClock {
 public:
  // Where a block of sound goes on the recording's sample line.
  struct SoundPlace {
    std::int64_t silence = 0;  // samples of silence in front of the kept samples
    std::int64_t skip = 0;     // samples at the block's start that are left out
    std::int64_t first = 0;    // recording sample of the first kept sample
  };
  enum class Sound { Wait, Drop, Place };
  // Capture times of blocks within this much of where the previous block
  // ended count as contiguous (the device's clock jitters a little).
  static constexpr int kContiguousMs = 20;

  // With soundStarts the first sound sample starts the clock (a recording
  // that has no pictures).
  void Reset(bool soundStarts = false);
  // Stamps a picture handed in now: its capture time in *captured; false
  // while paused.
  bool StampPicture(std::uint32_t* captured);
  // Places a block of `samples` samples at `rate` whose first sample was
  // captured at captureUs (MonotonicUs), after `lost` samples the device
  // lost: Wait while the clock has not started, Drop while paused or when
  // nothing of it lies after the sound already placed.
  Sound PlaceSound(std::int64_t captureUs, int samples, int rate, std::int64_t lost, SoundPlace* place);
  // 0 pauses, non-zero resumes.
  void PlayVideo(int run);
  bool IsPaused();
  std::uint32_t GetVideoTime();
  std::uint32_t GetAudioTime();

 private:
  // Recording time (µs) of a monotonic moment; *pausedUs tells how long
  // after it the pause it falls in ended (0 outside pauses).
  std::int64_t RecordingUs(std::int64_t monotonicUs, std::int64_t* pausedUs) const;

  std::mutex m_lock;
  bool m_soundStarts = false;
  std::int64_t m_originUs = -1;  // monotonic start; -1 = not started
  std::int64_t m_pauseUs = -1;   // start of the current pause; -1 = running
  std::vector<std::pair<std::int64_t, std::int64_t>> m_pauses;  // ended pauses (from, to)
  std::uint32_t m_videoTime = 0;
  std::uint32_t m_audioTime = 0;
  std::int64_t m_nextSample = -1;  // where the next sound sample goes; -1 = none placed yet
};

// Sound blocks on their way from the caller to the recorder's own thread.
// The caller's Push copies a block and returns; the recorder's thread places
// the blocks on the recording clock and cuts the sample line into encoder
// frames, so that the caller never waits for an encoder.
class CSoundFeed {
 public:
  // One frame of `samples` 16-bit mono samples (silence-padded to the frame
  // size) whose first sample lies at timeMs.
  using FrameSink = std::function<void(const unsigned char* pcm, int samples, double timeMs)>;
  // Blocks waiting for the clock to start are kept for this long at most.
  static constexpr int kMaxWaitMs = 5000;

  void Reset(int frameSamples, int rate);
  // A block of 16-bit mono samples captured from captureUs on, after `lost`
  // lost samples. False for an empty block.
  bool Push(const unsigned char* pcm, int length, std::int64_t captureUs, std::int64_t lost);
  // Recorder's thread: places the blocks that can be placed and hands every
  // complete frame to sink. With `last`, the partial frame is padded and
  // handed over too and blocks still waiting for the clock are dropped.
  void Drain(CRecordClock& clock, const FrameSink& sink, bool last);
  bool Empty();

 private:
  struct Block {
    std::vector<unsigned char> pcm;
    std::int64_t captureUs;
    std::int64_t lost;
  };
  void Append(const unsigned char* pcm, std::int64_t samples, const FrameSink& sink);
  void EmitFrame(const FrameSink& sink);

  std::mutex m_lock;  // the blocks
  std::deque<Block> m_blocks;
  std::int64_t m_waitingSamples = 0;
  // The recorder's thread only:
  int m_frameSamples = 1024;
  int m_rate = 44100;
  std::vector<unsigned char> m_frame;
  int m_fill = 0;                // samples in m_frame
  std::int64_t m_frameFirst = -1;  // recording sample of m_frame's first sample
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
  // Writes a unit; false when the file cannot be written any more.
  using Writer = std::function<bool(const Unit&)>;
  // Runs at every pass before the queues are looked at; `last` once, when
  // the stop has been requested (the producers' final units go in then).
  using Prepare = std::function<void(bool last)>;

  CMuxThread() = default;
  CMuxThread(const CMuxThread&) = delete;
  CMuxThread& operator=(const CMuxThread&) = delete;
  ~CMuxThread() { Join(); }

  // Starts the loop over the two queues: the earlier head is written (sound
  // first at equal times); a picture placeholder at the head holds back
  // everything after it until the encoder fills it, or is dropped once the
  // stop has been requested. The loop ends when the stop has been requested
  // and both queues are empty, or at once when a write fails; `finish` then
  // runs on the thread (told whether every write succeeded), after which
  // the exit event is set. A previous thread that has ended is collected first.
  void Start(CFrameQueue& video, CFrameQueue& audio, Writer writeVideo, Writer writeAudio, Prepare prepare,
             std::function<void(bool written)> finish);
  void RequestStop() { m_stop.store(true); }
  bool Running() const { return m_thread.joinable(); }
  // Requests the stop and waits up to waitMs for the end; a thread that has
  // ended is collected. True when it has ended.
  bool Stop(int waitMs);
  // Waits for the thread however long it takes.
  void Join();
  bool HasEnded() const { return m_exit.IsSet(); }

 private:
  bool Loop(CFrameQueue& video, CFrameQueue& audio, const Writer& writeVideo, const Writer& writeAudio,
            const Prepare& prepare);

  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  CEvent m_exit;
};

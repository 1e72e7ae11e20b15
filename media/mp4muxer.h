#pragma once
// Records raw pictures and raw sound into an MP4 file (or whatever container
// libavformat chooses from the file name) with the encoders that container
// names as its defaults. Inputs are stamped with their capture times and
// queued in time order like the FLV recorder's; one mux thread writes the
// earliest unit of either queue. Pictures are encoded on the caller's
// thread; sound is only copied there and encoded on the mux thread.
//
// While recording, an MP4 is written fragmented (an empty index, then one
// fragment per key picture at least half a second apart and at most a second
// long, each synced to disk), so that a recording cut short by a kill, a
// crash or a power loss plays up to its last fragment. On a normal end the
// file is copied into an ordinary MP4 with its index in front; when that
// fails the fragmented file stays the recording.
//
// AddEndData ends the recording; when the file is complete the owner window
// gets WM_STOP_RECORD with lParam 1, or 0 when the file could not be
// written (a full disk), in which case what was written before stays
// playable.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "media/framequeue.h"
#include "media/muxcore.h"
#include "platform/messages.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct AVStream;
struct SwsContext;

class CMp4Muxer {
 public:
  CMp4Muxer() = default;
  CMp4Muxer(const CMp4Muxer&) = delete;
  CMp4Muxer& operator=(const CMp4Muxer&) = delete;
  ~CMp4Muxer();

  // Opens path (UTF-8), writes the container header and starts the mux
  // thread; 1 when the recording runs, else 0.
  int Init(const char* path, int width, int height);
  // A new video or audio stream of `context` with its encoder set up (not
  // yet opened); null when the stream cannot be made.
  AVStream* AddVideoStream(AVFormatContext* context, int width, int height, int codecId);
  AVStream* AddAudioStream(AVFormatContext* context, int codecId);
  int OpenVideo(AVStream* stream);
  int OpenAudio(AVStream* stream);

  // One picture: width × height packed BGR pixels, bottom row first.
  int BmptoH264Data(const unsigned char* pixels, int length);
  // One block of 16-bit mono samples at 44100 Hz that has just been filled.
  int SetPCMData(const unsigned char* pcm, int length);
  // One block whose first sample was captured at captureUs (MonotonicUs),
  // after `lostSamples` samples the device lost (WAVEHDR's captureUs and
  // lostSamples).
  int SetPCMData(const unsigned char* pcm, int length, std::int64_t captureUs, std::uint32_t lostSamples);
  // Encodes one frame of samples with `encoder` and queues what comes out at timestampMs.
  int PCMtoAACData(AVCodecContext* encoder, const unsigned char* pcm, int length, std::uint32_t timestampMs);
  // Drains the encoders and asks the mux thread to finish the file.
  int AddEndData();
  // Waits for the mux thread (the container is never freed under it) and frees everything.
  void Close();

  // Off: an MP4 stays as it was written while recording (fragmented).
  // Takes effect from the next Init.
  void SetFinishFaststart(bool on) { m_finishFaststart = on; }
  bool IsFragmented() const { return m_fragmented; }

  void PlayVideo(int run) { m_clock.PlayVideo(run); }
  std::uint32_t GetVideoTime() { return m_clock.GetVideoTime(); }
  void SetParentHwnd(HWND owner) { m_owner.store(owner); }

  double GetVideoTickFactor() const { return m_videoTickFactor; }
  double GetAudioTickFactor() const { return m_audioTickFactor; }
  bool HasVideoStream() const { return m_videoStream != nullptr; }
  bool HasAudioStream() const { return m_audioStream != nullptr; }

  // Packet times in stream ticks: trunc(ms × factor).
  static std::int64_t Ticks(std::uint32_t ms, double factor);

 private:
  void StartMux();
  bool OpenOutput(const char* path);
  bool WriteUnit(const CMuxThread::Unit& unit, AVStream* stream, double factor, std::int64_t& lastDts);
  void FinishFile(bool written);
  // The output file's writes (mux thread, and Init before it starts).
  static int WriteOut(void* opaque, std::uint8_t* data, int length);
  static std::int64_t SeekOut(void* opaque, std::int64_t offset, int whence);
  void ReceiveVideo();
  void ReceiveAudio();
  void EncodeAudio(const unsigned char* pcm, int samples, double timeMs);

  CFrameQueue m_videoQueue;
  CFrameQueue m_audioQueue;
  CRecordClock m_clock;  // start tick, video time, audio time, pause tick
  CMuxThread m_mux;      // this muxer's own thread and exit event
  double m_videoTickFactor = 1.0;
  double m_audioTickFactor = 1.0;
  std::atomic<HWND> m_owner{nullptr};
  std::atomic<bool> m_ended{false};  // AddEndData has run: no more input
  AVFrame* m_srcPicture = nullptr;  // describes the caller's picture
  AVFrame* m_yuvPicture = nullptr;
  AVFormatContext* m_output = nullptr;
  AVStream* m_audioStream = nullptr;
  AVStream* m_videoStream = nullptr;

  std::mutex m_videoLock;  // the video encoder, its picture and its stamps
  std::mutex m_audioLock;  // the audio encoder and its frame
  AVCodecContext* m_videoCtx = nullptr;
  AVCodecContext* m_audioCtx = nullptr;
  SwsContext* m_sws = nullptr;
  AVPacket* m_videoPacket = nullptr;
  AVPacket* m_audioPacket = nullptr;
  AVFrame* m_audioFrame = nullptr;
  std::int64_t m_pictureCounter = 0;
  std::map<std::int64_t, std::uint32_t> m_captureTimes;  // picture number → capture ms
  CDecodeTimes m_decodeTimes;
  std::int64_t m_audioSamples = 0;  // samples handed to the audio encoder
  CSampleTimes m_sampleTimes;
  std::int64_t m_lastVideoDts = -1;  // mux thread only
  std::int64_t m_lastAudioDts = -1;
  std::int64_t m_nextAudioDts = -1;  // where the sound track goes on without a break
  std::int64_t m_maxVideoPts = 0;
  CSoundFeed m_sound;  // sound blocks on their way to the mux thread
  std::atomic<bool> m_failed{false};  // a write failed: no more input

  std::string m_path;
  int m_fd = -1;  // the output file
  AVIOContext* m_io = nullptr;
  bool m_fragmented = false;
  bool m_finishFaststart = true;
  std::int64_t m_unsyncedBytes = 0;  // written since the last sync to disk
  std::int64_t m_syncedUs = 0;
};

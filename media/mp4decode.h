#pragma once
// The video player of the media library: plays MP4, FLV, AVI and other
// files that FFmpeg reads. A reader thread demultiplexes and decodes; every
// picture becomes 24-bit BGR (rows bottom-up) and every sound frame 16-bit
// stereo at 44100 Hz, both queued with their presentation times in ms. A
// picture thread hands each picture at its time to the owner window as a
// camera frame (WM_CAMERA_FRAME, wParam the second, lParam a _CAMERAFRAME
// with rows padded to 4 bytes); a sound thread plays the sound through the
// player's own SDL output device.
//
// Usage: Init, OpenVideoDecode, OpenAudioDecode (optional: without it the
// file plays silently), SetHwnd, Play (1); CloseDecode ends playing.
//
// Gates: -1 run, 0 paused, n > 0 show (play) n more units, then pause. The
// clock start is the monotonic millisecond count that corresponds to
// presentation time 0; 0 means "not set": the next unit shown sets it.
// While sound plays, the clock follows the sound device, so that the
// pictures keep to the sound even when the device runs off the clock.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "media/framequeue.h"
#include "platform/messages.h"
#include "platform/sync.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;
struct SwrContext;

class CMp4Decode {
 public:
  CMp4Decode();
  ~CMp4Decode();
  CMp4Decode(const CMp4Decode&) = delete;
  CMp4Decode& operator=(const CMp4Decode&) = delete;

  // Opens a file (UTF-8 path), prints its format description and takes its
  // first video and first audio stream. 1 when it has a decodable video
  // stream (sound is optional), else 0. An opened file is closed first.
  int Init(const char* path);
  // Opens the picture decoder and the BGR24 conversion. 1 on success.
  int OpenVideoDecode();
  // Opens the sound decoder, the resampler and the output device (44100 Hz,
  // stereo, signed 16-bit). 1 on success; 0 without a sound stream or
  // device, and the file then plays without sound.
  int OpenAudioDecode();
  // Starts playing, or, while playing, runs (run != 0) or pauses both gates.
  int Play(int run);
  int Pause(int paused);
  // Seeks to percent (0..100) of the duration. Paused, ten pictures of the
  // new place are shown. 0 without input, video or known duration.
  int SetVideoPos(int percent);
  // Seconds, rounded; -1 when not known.
  int GetVideoAllTime();
  int GetVideoWidth();
  int GetVideoHeight();
  // Volume in percent (0..100); the mix volume is percent × 128 / 100.
  int SetVolumePos(int percent);
  int GetVolumePos();
  // Reads on to the n-th next picture (from 0) and returns it converted
  // (owned by the player, valid until the next read), or null at the end.
  unsigned char* ReadFrame(int n);
  // The picture shown at `seconds` converted, or null past the end.
  unsigned char* ReadVideoFrame(int seconds);
  // Sends the picture at `seconds` to the owner window (wParam 0).
  int ReSet(int seconds);
  // Writes a top-down BGR24 picture (rows not padded) as a 24-bit image in
  // the format of the path's extension. 1 on success, 0 on failure.
  static int SaveAsImage(const unsigned char* pixels, int width, int height, const char* path);
  void SetHwnd(HWND window);
  // Stops the three threads and frees the picture and sound paths.
  void CloseDecode();

  // ---- Fields (the decoders and the input live until the destructor) ----
  AVFormatContext* m_input = nullptr;
  int m_videoIndex = -1;
  int m_audioIndex = -1;
  AVCodecContext* m_videoDecoder = nullptr;
  AVCodecContext* m_audioDecoder = nullptr;

  // Picture path: the decoded picture, the converted picture (BGR24 over
  // the converted buffer, rows bottom-up), the scaler and the buffer.
  AVFrame* m_decodedPicture = nullptr;
  AVFrame* m_convertedPicture = nullptr;
  SwsContext* m_scaler = nullptr;
  unsigned char* m_convertedBuffer = nullptr;
  // The presentation time (ms) of the picture in the converted buffer.
  std::uint32_t m_frameTime = 0;

  // Sound path: the decoded frame, the converted sound, the spare buffer
  // that takes the resampler's tail at the end of the file, their sizes in
  // bytes, and the resampler.
  AVFrame* m_audioFrame = nullptr;
  unsigned char* m_soundBuffer = nullptr;
  unsigned char* m_spareBuffer = nullptr;
  int m_convertedSize = 0;
  int m_spareSize = 0;
  SwrContext* m_resampler = nullptr;

  std::thread m_readerThread;
  CEvent m_readerExit{false};  // set when the reader has ended
  std::atomic<std::uint32_t> m_clockStart{0};
  std::atomic<int> m_pictureGate{-1};
  std::atomic<int> m_soundGate{-1};
  CEvent m_readGate{true};  // set: the reader may read

  CFrameQueue m_pictureQueue;
  std::thread m_pictureThread;
  CEvent m_pictureExit{false};
  CFrameQueue m_soundQueue;
  std::thread m_soundThread;
  CEvent m_soundExit{false};

  std::atomic<HWND> m_owner{nullptr};

  // Sound state shared with the device callback: the unit being played,
  // guarded by the device lock, and the mix volume (0..128).
  std::uint32_t m_device = 0;
  const unsigned char* m_unitData = nullptr;
  std::uint32_t m_unitLeft = 0;
  std::uint32_t m_unitTime = 0;    // presentation time (ms) of the unit's start
  std::uint32_t m_unitPlayed = 0;  // bytes of it mixed so far
  std::uint32_t m_latencyMs = 0;   // from mixing to hearing
  std::atomic<int> m_volume{128};

 private:
  enum class Unit { Picture, Sound, None, End };

  void CloseInput();
  int DurationSeconds() const;
  void FreePicturePath();
  void FreeSoundPath();
  void StopThreads();
  void WakeAll();

  void ReaderThread();
  void PictureThread();
  void SoundThread();
  bool QueuesFull();

  // Under m_demuxLock: the next decoded unit (in m_decodedPicture or
  // m_audioFrame), draining the decoders at the end of the file.
  Unit NextUnitLocked(AVPacket* packet, bool withSound);
  void SeekLocked(std::uint32_t ms);
  bool ConvertPictureLocked(const AVFrame* picture);
  int ConvertSoundLocked(const AVFrame* frame);
  bool EnsureResampler(const AVFrame* frame);
  std::uint32_t PictureMs(const AVFrame* picture);
  std::uint32_t SoundMs(const AVFrame* frame);
  bool Deliver(WPARAM wParam, const unsigned char* bottomUp, int width, int height);

  static void MixCallback(void* user, unsigned char* stream, int length);

  // One lock around the demuxer and the decoders: the reader holds it per
  // packet; seeking and the single-picture reads take it too.
  std::mutex m_demuxLock;
  AVPacket* m_packet = nullptr;         // the reader's packet (under the lock)
  bool m_inputEnded = false;            // read to the end (under the lock)
  bool m_drained[2] = {false, false};   // decoders drained at the end (video, audio)
  int m_pending = -1;                   // stream whose decoder may have output waiting
  std::uint32_t m_dropBefore = 0;       // units before this time (ms) are dropped after a seek
  std::int64_t m_startMs = 0;           // the container's start time
  std::int64_t m_nextPictureMs = 0, m_nextSoundMs = 0;  // for units without a time stamp
  std::atomic<std::int64_t> m_lastQueuedPicture{0}, m_lastQueuedSound{0};
  int m_totalSeconds = -1;  // the duration, fixed when the file is opened
  int m_resampleRate = 0, m_resampleFormat = -1;
  std::uint64_t m_resampleLayout = 0;
  int m_resampleChannels = 0;

  std::atomic<int> m_width{-1}, m_height{-1};
  std::atomic<int> m_generation{0};  // increases with every seek; queued units carry it in `key`
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_readerEnded{false};  // the reader has queued everything of the file
  bool m_sdlAcquired = false;
  CEvent m_readerWake, m_pictureWake, m_soundWake;

 public:
  // True once the reader has decoded the whole file and idles.
  bool ReaderAtEnd() const { return m_readerEnded.load(); }
};

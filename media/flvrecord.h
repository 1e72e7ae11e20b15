#pragma once
// Records raw pictures and raw sound into one FLV file: stamps each input
// with the milliseconds since the recording began, encodes it, queues the
// units in time order and lets one mux thread write them. Pictures are
// encoded on the caller's thread; sound is only copied there and encoded on
// the mux thread. When the file is complete the owner window gets
// WM_STOP_RECORD with lParam 1, or 0 when the file could not be written
// (a full disk); what was written before stays playable.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "media/encoders.h"
#include "media/flvfile.h"
#include "media/framequeue.h"
#include "media/muxcore.h"
#include "platform/messages.h"
#include "platform/sync.h"

constexpr UINT WM_STOP_RECORD = 2258;  // WM_USER + 1234

class CFlvRecord : public IH264DataHandler, public IAACDataHandler {
 public:
  CFlvRecord() = default;
  CFlvRecord(const CFlvRecord&) = delete;
  CFlvRecord& operator=(const CFlvRecord&) = delete;
  virtual ~CFlvRecord();

  // Opens path (UTF-8) and starts the mux thread; 0 when the file cannot be created.
  int Init(int width, int height, const char* path);
  // One picture: width × height packed BGR pixels, bottom row first.
  int WriteBmpData(const unsigned char* pixels, int length);
  // One block of 16-bit mono samples at 44100 Hz that has just been filled.
  int WritePCMData(const unsigned char* pcm, int length);
  // One block whose first sample was captured at captureUs (MonotonicUs),
  // after `lostSamples` samples the device lost (WAVEHDR's captureUs and
  // lostSamples).
  int WritePCMData(const unsigned char* pcm, int length, std::int64_t captureUs, std::uint32_t lostSamples);
  int SetH264Data(const unsigned char* data, int length) override;
  int SetAACData(const unsigned char* data, int length, std::uint32_t timestampMs) override;
  // 0 pauses, non-zero resumes; the time spent paused leaves no gap.
  void PlayVideo(int run);
  std::uint32_t GetVideoTime();
  void SetParentHwnd(HWND owner) { m_owner.store(owner); }
  // Drains the encoder, asks the mux thread to finish and waits up to 5 s for it.
  void Close();

  // Stream parsing helpers (Annex-B start codes 00 00 01).
  static int InitFirstPos(const unsigned char* stream, int length);
  static int GetNalFromBuffer(const unsigned char* stream, int length, int& position, const unsigned char*& nal,
                              int& nalLength);
  // A new buffer (NewMem) holding length as an n-byte big-endian number, then data.
  static unsigned char* DisposeBuffer(const unsigned char* data, int length, int n);
  // Appends data to a growing NewMem buffer; 0 on allocation failure (buffer emptied).
  static int AddBuffer(const unsigned char* data, int length, unsigned char*& buffer, int& bufferLength);

 private:
  void StartMux();
  void WriteAvcHeader(const unsigned char* gathered, int length);
  // Writes one tag (mux thread); false when the file cannot be written.
  bool WriteTag(int tagType, const CMuxThread::Unit& unit);

  CBmptoH264 m_video;
  CPCMtoAAC m_audio;
  CFlvFileEx m_flv;
  int m_videoHeaderPending = 1;
  int m_audioHeaderPending = 1;
  CRecordClock m_clock;  // start tick, pause tick, video and audio times
  CFrameQueue m_audioQueue;
  CFrameQueue m_videoQueue;
  CMuxThread m_mux;  // this recorder's own thread and exit event
  std::atomic<HWND> m_owner{nullptr};

  std::mutex m_fileLock;   // one complete tag write at a time
  std::mutex m_videoLock;  // the picture encoder, its stamps and the AVC header flag
  std::mutex m_audioLock;  // the sound encoder and the AAC header flag
  CDecodeTimes m_decodeTimes;
  CSoundFeed m_sound;                 // sound blocks on their way to the mux thread
  std::atomic<bool> m_soundOpen{false};
  std::atomic<bool> m_failed{false};  // a write failed: no more input
  std::int64_t m_syncedUs = 0;        // mux thread: when the file was last synced to disk
};

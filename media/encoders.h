#pragma once
// Encoder wrappers: 24-bit pictures to H.264 and 16-bit mono PCM at 44100 Hz
// to AAC through libavcodec. Each call encodes what it is given and hands
// every unit the encoder produces to the receiver during the call.

#include <cstdint>
#include <deque>
#include <map>
#include <string>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

#include "media/muxcore.h"

// Receives H.264 Annex-B byte streams (one access unit per call, owned by
// the caller and valid during the call only).
class IH264DataHandler {
 public:
  virtual int SetH264Data(const unsigned char* data, int length) = 0;

 protected:
  ~IH264DataHandler() = default;
};

// Receives one raw AAC frame (no ADTS header) and its time in ms.
class IAACDataHandler {
 public:
  virtual int SetAACData(const unsigned char* data, int length, std::uint32_t timestampMs) = 0;

 protected:
  ~IAACDataHandler() = default;
};

class CBmptoH264 {
 public:
  static constexpr int kCopyBufferSize = 1048576;

  CBmptoH264() = default;
  CBmptoH264(const CBmptoH264&) = delete;
  CBmptoH264& operator=(const CBmptoH264&) = delete;
  ~CBmptoH264();

  void SetH264DataHandler(IH264DataHandler* handler) { m_handler = handler; }
  // 1 when the encoder, the scaler and the buffers are ready.
  int Init(int width, int height, int framesPerSecond);
  // Encodes one picture of width × height packed BGR pixels, bottom row
  // first. The picture's presentation time is its number × 1000 / fps.
  int BmptoH264Data(const unsigned char* pixels, int length);
  // The same with the picture's capture time as its presentation time.
  int BmptoH264Data(const unsigned char* pixels, int length, std::uint32_t timestampMs);
  // Drains the pictures the encoder still holds, then hands 00 00 01 B7.
  int AddEndData();
  void Close();

  // During a SetH264Data call: the presentation time (ms) of the unit handed over.
  std::uint32_t GetPacketTimeMs() const { return m_packetTimeMs; }
  // Pictures by which decoding order may run ahead of presentation order.
  int GetReorderDelay() const;
  bool IsOpen() const;
  int GetWidth() const { return m_width; }
  int GetHeight() const { return m_height; }

 private:
  int ReceivePackets();
  void HandOut(const unsigned char* data, int length);

  AVCodecContext* m_ctx = nullptr;
  SwsContext* m_sws = nullptr;
  AVPacket* m_packet = nullptr;
  AVFrame* m_yuv = nullptr;
  unsigned char* m_copy = nullptr;
  IH264DataHandler* m_handler = nullptr;
  int m_width = 0;
  int m_height = 0;
  int m_fps = 25;
  std::int64_t m_counter = 0;                    // pictures handed to the encoder
  std::map<std::int64_t, std::uint32_t> m_times;  // picture number → presentation ms
  std::uint32_t m_packetTimeMs = 0;
};

class CPCMtoAAC {
 public:
  static constexpr int kSampleRate = 44100;

  CPCMtoAAC() = default;
  CPCMtoAAC(const CPCMtoAAC&) = delete;
  CPCMtoAAC& operator=(const CPCMtoAAC&) = delete;
  ~CPCMtoAAC();

  void SetAACDataHandler(IAACDataHandler* handler) { m_handler = handler; }
  int Init();
  // Encodes a block of 16-bit mono samples whose first sample was captured
  // at timestampMs; the last partial frame is padded with silence.
  int SetPCMData(const unsigned char* pcm, int length, std::uint32_t timestampMs);
  // Encodes exactly one frame of samples captured from timestampMs on.
  int PCMtoAACData(const unsigned char* pcm, int length, std::uint32_t timestampMs);
  // Hands out what the encoder still holds (its last frame); the encoder
  // takes no more sound afterwards.
  int Flush();
  static int WriteLog(const char* path, const unsigned char* data, int length);
  void Close();

  bool IsOpen() const { return m_ctx && m_frame && m_buffer && m_packet; }
  // Bytes of one encoder frame of 16-bit mono samples (2048 for 1024 samples).
  int GetFrameBytes() const { return m_frameBytes; }

 private:
  int EncodeChunk(const unsigned char* pcm, int bytes, double timeMs);
  void ReceivePackets();

  AVCodecContext* m_ctx = nullptr;
  AVPacket* m_packet = nullptr;
  AVFrame* m_frame = nullptr;
  unsigned char* m_buffer = nullptr;  // one frame of 16-bit samples
  int m_frameBytes = 0;
  IAACDataHandler* m_handler = nullptr;
  std::int64_t m_nextPts = 0;  // samples handed to the encoder
  CSampleTimes m_anchors;  // capture times of the samples handed in
};

#pragma once
// FLV (version 1) file writer: header, "onMetaData" script tag, AVC and AAC
// sequence headers, audio and video tags, and the final metadata rewrite.
// A plain single-threaded object over a stdio file; callers that write from
// several threads serialise whole calls themselves.

#include <cstdint>
#include <cstdio>

class CFlvFileEx {
 public:
  CFlvFileEx() = default;
  CFlvFileEx(const CFlvFileEx&) = delete;
  CFlvFileEx& operator=(const CFlvFileEx&) = delete;
  ~CFlvFileEx();

  // Opens path (UTF-8) for writing; 1 when it opened, 0 otherwise (and for a null path).
  int CreateFlv(const char* path, int width, int height, int videoCodecId, int audioCodecId);
  // Writes the 9-byte header and the first metadata tag.
  int FlvHeader();
  // Writes the "onMetaData" tag at the current position; -1 when out of memory.
  int WriteMetaData();
  // Builds an AVCDecoderConfigurationRecord from u16 SPS length, SPS,
  // u16 PPS length, PPS; returns its length or -1.
  static int MakeAVCc(const unsigned char* src, int srcLen, unsigned char* dst, int dstLen);
  // Writes the sequence-header tag of codec 7 (AVC) or 10 (AAC); -1 for others.
  int WriteExtradata(int codecId, const unsigned char* data, int len);
  // Writes one audio (8) or video (9) tag. compositionTime is the
  // presentation time minus timestampMs (the decoding time) of an AVC picture.
  int WritePacket(int tagType, const unsigned char* data, int len, std::uint32_t timestampMs, int keyFrame,
                  std::int32_t compositionTime = 0);
  // Writes the last previous-tag size and rewrites the metadata in place.
  int FlvEnd();
  void CloseFlv();

  std::FILE* m_file = nullptr;
  int m_width = 0;
  int m_height = 0;
  double m_frameRate = 25.0;
  int m_videoCodecId = -1;
  int m_audioCodecId = -1;
  int m_filePos = 0;
  int m_prevTagSize = 0;
  std::uint32_t m_videoFrames = 0;
  std::uint32_t m_videoBytes = 0;
  std::uint32_t m_duration = 0;
  std::uint32_t m_lastTimestamp = 0;
  int m_audioChannels = 1;
  int m_audioSampleRate = 44100;

 private:
  std::uint32_t m_firstPictureMs = 0;  // earliest presentation time of a picture written
  std::uint32_t m_lastPictureMs = 0;   // latest one

  void Put(const void* data, std::size_t len);
  void PutU32(std::uint32_t v);
  void PutTagHeader(int tagType, std::uint32_t dataSize, std::uint32_t timestampMs);
  int Tell() const;
  // The first byte of a sound tag: format, rate, 16-bit samples, channels.
  unsigned char AudioFlags() const;
};

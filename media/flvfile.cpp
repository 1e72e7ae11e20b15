#include "media/flvfile.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "media/amf.h"

using namespace Flash;

namespace {

void Be24(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 16);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v);
}
void Be32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  Be24(p + 1, v);
}

void AddEntry(AS_ECMA_Array& array, const char* name, AS_Value* value) {
  array.AddChild(new AS_Variable(name, value));
}

}  // namespace

CFlvFileEx::~CFlvFileEx() { CloseFlv(); }

void CFlvFileEx::Put(const void* data, std::size_t len) {
  if (m_file && len) std::fwrite(data, 1, len, m_file);
}

void CFlvFileEx::PutU32(std::uint32_t v) {
  unsigned char b[4];
  Be32(b, v);
  Put(b, 4);
}

void CFlvFileEx::PutTagHeader(int tagType, std::uint32_t dataSize, std::uint32_t timestampMs) {
  unsigned char h[11];
  h[0] = static_cast<unsigned char>(tagType);
  Be24(h + 1, dataSize);
  Be24(h + 4, timestampMs & 0xFFFFFF);
  h[7] = static_cast<unsigned char>(timestampMs >> 24);
  Be24(h + 8, 0);
  Put(h, 11);
}

unsigned char CFlvFileEx::AudioFlags() const {
  unsigned char flags;
  if (m_audioCodecId == 10) {
    flags = 0xA0 | 0x0C;
  } else {
    flags = 0x20;
    if (m_audioSampleRate >= 44100) flags |= 0x0C;
    else if (m_audioSampleRate >= 22050) flags |= 0x08;
    else if (m_audioSampleRate >= 11025) flags |= 0x04;
  }
  flags |= 0x02;
  if (m_audioChannels == 2) flags |= 0x01;
  return flags;
}

int CFlvFileEx::Tell() const { return m_file ? static_cast<int>(std::ftell(m_file)) : -1; }

int CFlvFileEx::CreateFlv(const char* path, int width, int height, int videoCodecId, int audioCodecId) {
  if (!path) return 0;
  CloseFlv();
  m_file = std::fopen(path, "wb");
  m_width = width;
  m_height = height;
  m_videoCodecId = videoCodecId;
  m_audioCodecId = audioCodecId;
  m_audioChannels = 1;
  m_audioSampleRate = 44100;
  m_videoFrames = 0;
  m_videoBytes = 0;
  m_firstPictureMs = 0;
  m_lastPictureMs = 0;
  return m_file ? 1 : 0;
}

int CFlvFileEx::FlvHeader() {
  if (m_file) std::fseek(m_file, 0, SEEK_SET);
  m_filePos = 0;
  unsigned char h[9] = {'F', 'L', 'V', 0x01, 0, 0, 0, 0, 9};
  if (m_videoCodecId != -1) h[4] |= 0x01;
  if (m_audioCodecId != -1) h[4] |= 0x04;
  Put(h, 9);
  WriteMetaData();
  m_filePos = Tell();
  return 0;
}

int CFlvFileEx::WriteMetaData() {
  AS_ECMA_Array array;
  AddEntry(array, "duration", new AS_Double(m_duration / 1000.0));
  AddEntry(array, "filesize", new AS_Double(static_cast<double>(static_cast<std::uint32_t>(m_filePos))));
  AddEntry(array, "metadatacreator", new AS_String("QUINTARO FLV Mux"));
  AddEntry(array, "hasCuePoints", new AS_UInt8(0));
  AddEntry(array, "canSeekToEnd", new AS_UInt8(0));
  AddEntry(array, "hasKeyframes", new AS_UInt8(0));
  AddEntry(array, "lasttimestamp", new AS_Double(m_lastTimestamp / 1000.0));
  AddEntry(array, "hasVideo", new AS_UInt8(m_videoCodecId == -1 ? 0 : 1));
  if (m_videoCodecId != -1) {
    AddEntry(array, "width", new AS_Double(m_width));
    AddEntry(array, "height", new AS_Double(m_height));
    AddEntry(array, "framerate", new AS_Double(m_frameRate));
    AddEntry(array, "videocodecid", new AS_Double(m_videoCodecId));
    const double rate = m_duration == 0 ? 0.0 : static_cast<double>(m_videoBytes) * 8.0 / m_duration;
    AddEntry(array, "videodatarate", new AS_Double(rate));
  }
  AddEntry(array, "hasAudio", new AS_UInt8(m_audioCodecId == -1 ? 0 : 1));
  if (m_audioCodecId != -1) {
    AddEntry(array, "audiocodecid", new AS_Double(m_audioCodecId));
    AddEntry(array, "audiosamplerate", new AS_Double(m_audioSampleRate));
    AddEntry(array, "audiosamplesize", new AS_Double(16));
    AddEntry(array, "stereo", new AS_UInt8(m_audioChannels >= 2 ? 1 : 0));
  }

  const unsigned n = 10 + 3 + array.GetSize();
  std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[n + 32]);
  if (!buf) return -1;
  unsigned char* p = buf.get();
  *p++ = 0x02;
  *p++ = 0;
  *p++ = 10;
  std::memcpy(p, "onMetaData", 10);
  p += 10;
  array.Write(p);

  PutU32(0);
  PutTagHeader(18, n, 0);
  Put(buf.get(), n);
  m_prevTagSize = static_cast<int>(n) + 11;
  return 0;
}

int CFlvFileEx::MakeAVCc(const unsigned char* src, int srcLen, unsigned char* dst, int dstLen) {
  if (!src || srcLen <= 0 || !dst) return -1;
  // The source must hold both length prefixes and the units they announce.
  if (srcLen < 2) return -1;
  const int a = (src[0] << 8) | src[1];
  if (a < 4 || 2 + a + 2 > srcLen) return -1;
  const unsigned char* pps = src + 2 + a;
  const int b = (pps[0] << 8) | pps[1];
  if (2 + a + 2 + b > srcLen) return -1;
  if (dstLen < a + b + 11) return -1;
  unsigned char* p = dst;
  *p++ = 0x01;
  *p++ = src[3];
  *p++ = src[4];
  *p++ = src[5];
  *p++ = 0xFF;
  *p++ = 0xE1;
  *p++ = static_cast<unsigned char>(a >> 8);
  *p++ = static_cast<unsigned char>(a);
  std::memcpy(p, src + 2, a);
  p += a;
  *p++ = 0x01;
  *p++ = static_cast<unsigned char>(b >> 8);
  *p++ = static_cast<unsigned char>(b);
  std::memcpy(p, pps + 2, b);
  return a + b + 11;
}

int CFlvFileEx::WriteExtradata(int codecId, const unsigned char* data, int len) {
  if (codecId != 7 && codecId != 10) return -1;
  if (codecId == 7) {
    unsigned char record[100];
    const int rlen = MakeAVCc(data, len, record, sizeof record);
    // A record that cannot be built is not written at all.
    if (rlen < 0) return -1;
    PutU32(static_cast<std::uint32_t>(m_prevTagSize));
    const std::uint32_t size = static_cast<std::uint32_t>(rlen) + 5;
    PutTagHeader(9, size, 0);
    const unsigned char head[5] = {0x17, 0x00, 0, 0, 0};
    Put(head, 5);
    Put(record, static_cast<std::size_t>(rlen));
    m_prevTagSize = static_cast<int>(size) + 11;
    return 0;
  }
  if (!data || len < 0) return -1;
  PutU32(static_cast<std::uint32_t>(m_prevTagSize));
  const std::uint32_t size = static_cast<std::uint32_t>(len) + 2;
  PutTagHeader(8, size, 0);
  // The flags byte is that of every later sound tag (0xAE for mono): a
  // header that claimed stereo for a mono stream makes decoders see a
  // parameter change at the first frame.
  const unsigned char head[2] = {AudioFlags(), 0x00};
  Put(head, 2);
  Put(data, static_cast<std::size_t>(len));
  m_prevTagSize = static_cast<int>(size) + 11;
  return 0;
}

int CFlvFileEx::WritePacket(int tagType, const unsigned char* data, int len, std::uint32_t timestampMs,
                            int keyFrame, std::int32_t compositionTime) {
  if (len < 0 || (len > 0 && !data)) return -1;
  std::uint32_t size = static_cast<std::uint32_t>(len);
  if (tagType == 9) {
    size += m_videoCodecId == 7 ? 5 : m_videoCodecId == 4 ? 2 : 1;
  } else if (tagType == 8) {
    size += m_audioCodecId == 10 ? 2 : 1;
  }
  m_duration = timestampMs;
  m_lastTimestamp = timestampMs;
  PutU32(static_cast<std::uint32_t>(m_prevTagSize));
  PutTagHeader(tagType, size, timestampMs);
  if (tagType == 9) {
    unsigned char head[5];
    int n = 1;
    head[0] = static_cast<unsigned char>(m_videoCodecId | (keyFrame ? 0x10 : 0x20));
    if (m_videoCodecId == 7) {
      head[1] = 0x01;
      // Presentation never precedes decoding; a negative offset is written as 0.
      Be24(head + 2, compositionTime < 0 ? 0u : static_cast<std::uint32_t>(compositionTime) & 0x7FFFFF);
      n = 5;
    } else if (m_videoCodecId == 4) {
      head[1] = 0x00;
      n = 2;
    }
    Put(head, static_cast<std::size_t>(n));
    m_videoBytes += static_cast<std::uint32_t>(len);
  } else if (tagType == 8) {
    unsigned char head[2];
    int n = 1;
    head[0] = AudioFlags();
    if (m_audioCodecId == 10) {
      head[1] = 0x01;
      n = 2;
    }
    Put(head, static_cast<std::size_t>(n));
  }
  Put(data, static_cast<std::size_t>(len));
  m_prevTagSize = static_cast<int>(size) + 11;
  m_filePos = Tell();
  if (tagType == 9) {
    const std::uint32_t shown = timestampMs + static_cast<std::uint32_t>(std::max(0, compositionTime));
    if (m_videoFrames == 0 || shown < m_firstPictureMs) m_firstPictureMs = shown;
    if (m_videoFrames == 0 || shown > m_lastPictureMs) m_lastPictureMs = shown;
    ++m_videoFrames;
  }
  return 0;
}

int CFlvFileEx::FlvEnd() {
  PutU32(static_cast<std::uint32_t>(m_prevTagSize));
  m_filePos = Tell();
  if (m_file) std::fseek(m_file, 9, SEEK_SET);
  if (m_videoFrames > 0) {
    // The last picture is shown for one picture time too: the file lasts
    // until then, and its pictures span that whole time.
    const double interval = m_videoFrames > 1
                                ? static_cast<double>(m_lastPictureMs - m_firstPictureMs) / (m_videoFrames - 1)
                                : 1000.0 / m_frameRate;
    const auto end = static_cast<std::uint32_t>(std::lround(m_lastPictureMs + interval));
    m_duration = std::max(m_duration, end);
    if (end > m_firstPictureMs) m_frameRate = m_videoFrames * 1000.0 / (end - m_firstPictureMs);
  } else if (m_lastTimestamp != 0) {
    m_frameRate = m_videoFrames * 1000.0 / m_lastTimestamp;
  }
  WriteMetaData();
  return 0;
}

void CFlvFileEx::CloseFlv() {
  if (m_file) {
    std::fclose(m_file);
    m_file = nullptr;
  }
}

#pragma once
// Test helpers: reads an FLV file back tag by tag, checking every
// previous-tag size on the way, and decodes its metadata.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "media/amf.h"

namespace flvtest {

struct Tag {
  std::size_t offset = 0;
  int type = 0;
  std::uint32_t time = 0;
  std::vector<unsigned char> data;

  bool IsVideo() const { return type == 9; }
  bool IsAudio() const { return type == 8; }
  bool IsSequenceHeader() const { return data.size() >= 2 && data[1] == 0; }
  bool Key() const { return !data.empty() && (data[0] >> 4) == 1; }
  std::int32_t Cts() const {
    return static_cast<std::int32_t>(((std::uint32_t(data[2]) << 16) | (data[3] << 8) | data[4]) << 8) >> 8;
  }
};

struct File {
  std::vector<unsigned char> bytes;
  std::vector<Tag> tags;
  bool sizesOk = true;  // every previous-tag size matched
  std::string error;
};

inline std::vector<unsigned char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::uint32_t Be(const unsigned char* p, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

inline File Parse(const std::string& path) {
  File f;
  f.bytes = ReadAll(path);
  const auto& b = f.bytes;
  if (b.size() < 13) {
    f.error = "too short";
    return f;
  }
  std::size_t pos = 9;
  std::uint32_t expected = 0;
  while (pos + 4 <= b.size()) {
    if (Be(&b[pos], 4) != expected) f.sizesOk = false;
    pos += 4;
    if (pos == b.size()) break;
    if (pos + 11 > b.size()) {
      f.error = "truncated header";
      break;
    }
    Tag t;
    t.offset = pos;
    t.type = b[pos];
    const std::uint32_t size = Be(&b[pos + 1], 3);
    t.time = Be(&b[pos + 4], 3) | (std::uint32_t(b[pos + 7]) << 24);
    if (pos + 11 + size > b.size()) {
      f.error = "truncated data";
      break;
    }
    t.data.assign(b.begin() + pos + 11, b.begin() + pos + 11 + size);
    expected = size + 11;
    pos += 11 + size;
    f.tags.push_back(std::move(t));
  }
  return f;
}

// The "onMetaData" array of a script tag, or null.
inline std::unique_ptr<Flash::AS_DataObject> Metadata(const Tag& tag) {
  auto object = std::make_unique<Flash::AS_DataObject>();
  const unsigned char* p = tag.data.data();
  if (object->Read(p, p + tag.data.size()) != 0) return nullptr;
  if (p != tag.data.data() + tag.data.size()) return nullptr;
  return object;
}

inline const Flash::AS_Value* Array(const Flash::AS_DataObject& meta) {
  return meta.GetChildren().empty() ? nullptr : meta.GetChildren().front();
}

}  // namespace flvtest

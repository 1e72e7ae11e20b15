// `brevio-media flv-dump`: lists the tags of an FLV file and its metadata.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/amf.h"
#include "tools/brevio-media/commands.h"

namespace {

std::uint32_t Be(const unsigned char* p, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}


void PrintMembers(const Flash::AS_Value& container, int indent) {
  for (const Flash::AS_Value* child : container.GetChildren()) {
    const auto* var = dynamic_cast<const Flash::AS_Variable*>(child);
    const Flash::AS_Value* value = var ? var->GetValue() : child;
    std::printf("%*s%s = ", indent, "", child->GetName().c_str());
    if (!value) {
      std::printf("(none)\n");
      continue;
    }
    switch (value->GetMarker()) {
      case 0x00: std::printf("%.17g\n", value->ToDouble()); break;
      case 0x01: std::printf("%s\n", value->ToBool() ? "true" : "false"); break;
      case 0x02:
      case 0x0C: std::printf("\"%s\"\n", value->ToString().c_str()); break;
      case 0x05: std::printf("null\n"); break;
      case 0x07: std::printf("reference %d\n", value->ToInt()); break;
      case 0x0B: std::printf("date\n"); break;
      default:
        std::printf("\n");
        PrintMembers(*value, indent + 2);
        break;
    }
  }
}

}  // namespace

int RunFlvDump(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return BadArguments("flv-dump needs exactly one FILE");
  const std::string& path = args[0];
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "brevio-media: cannot open \"%s\"\n", path.c_str());
    return 1;
  }
  const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < 13 || file[0] != 'F' || file[1] != 'L' || file[2] != 'V') {
    std::fprintf(stderr, "brevio-media: \"%s\" is not an FLV file\n", path.c_str());
    return 1;
  }
  const std::uint32_t headerLength = Be(&file[5], 4);
  std::printf("FLV version %d, video %s, audio %s\n", file[3], (file[4] & 0x01) ? "yes" : "no",
              (file[4] & 0x04) ? "yes" : "no");
  std::size_t pos = headerLength + 4;  // skip the first previous-tag size
  int index = 0;
  int status = 0;
  double metadataDuration = -1;  // from the first onMetaData tag
  std::uint32_t lastTime = 0;
  while (pos < file.size()) {
    if (file.size() - pos < 11) {
      std::fprintf(stderr, "brevio-media: the file is cut short inside the header of tag %d at offset %zu; "
                   "the %d tags before it are complete\n", index, pos, index);
      status = 1;
      break;
    }
    const unsigned char* h = &file[pos];
    const int type = h[0];
    const std::uint32_t size = Be(h + 1, 3);
    const std::uint32_t time = Be(h + 4, 3) | (std::uint32_t(h[7]) << 24);
    if (file.size() - pos - 11 < size) {
      std::fprintf(stderr, "brevio-media: the file is cut short inside tag %d at offset %zu; "
                   "the %d tags before it are complete\n", index, pos, index);
      status = 1;
      break;
    }
    if (type == 8 || type == 9) lastTime = std::max(lastTime, time);
    const unsigned char* d = h + 11;
    if (type == 9) {
      const bool key = (d[0] >> 4) == 1;
      std::printf("%5d video  size %7u  time %8u  key %d", index, size, time, key ? 1 : 0);
      if ((d[0] & 0x0F) == 7 && size >= 5) {
        std::int32_t cts = static_cast<std::int32_t>(Be(d + 2, 3) << 8) >> 8;
        std::printf("  %s  cts %d", d[1] == 0 ? "sequence-header" : d[1] == 1 ? "nalu" : "end", cts);
      }
      std::printf("\n");
    } else if (type == 8) {
      std::printf("%5d audio  size %7u  time %8u", index, size, time);
      if ((d[0] >> 4) == 10 && size >= 2) std::printf("  %s", d[1] == 0 ? "sequence-header" : "raw");
      std::printf("\n");
    } else if (type == 18) {
      std::printf("%5d script size %7u  time %8u\n", index, size, time);
      Flash::AS_DataObject object;
      const unsigned char* p = d;
      if (object.Read(p, d + size) == 0) {
        std::printf("      %s\n", object.GetName().c_str());
        if (!object.GetChildren().empty()) {
          PrintMembers(*object.GetChildren().front(), 8);
          if (metadataDuration < 0 && object.GetName() == "onMetaData") {
            metadataDuration = 0;
            for (const Flash::AS_Value* child : object.GetChildren().front()->GetChildren()) {
              if (child->GetName() == "duration") metadataDuration = child->ToDouble();
            }
          }
        }
      } else {
        std::printf("      (unreadable script data)\n");
      }
    } else {
      std::printf("%5d type %d size %u time %u\n", index, type, size, time);
    }
    pos += 11 + size + 4;
    ++index;
  }
  // A recording that was never finished (killed, or the power lost) still
  // has the duration of its first metadata: 0.
  std::printf("last tag at %u ms", lastTime);
  if (metadataDuration >= 0 && metadataDuration * 1000 < lastTime) {
    std::printf("; the metadata's duration (%.3f s) is stale: the file was not finished", metadataDuration);
  }
  std::printf("\n");
  return status;
}

// The listing behind `brevio-media flv-dump`: the tags of an FLV file and
// its metadata, read from bytes the program did not write.
#include "tools/brevio-media/flv_listing.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "media/amf.h"

namespace {

std::uint32_t Be(const unsigned char* p, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

void PrintMembers(std::FILE* out, const Flash::AS_Value& container, int indent) {
  for (const Flash::AS_Value* child : container.GetChildren()) {
    const auto* var = dynamic_cast<const Flash::AS_Variable*>(child);
    const Flash::AS_Value* value = var ? var->GetValue() : child;
    std::fprintf(out, "%*s%s = ", indent, "", child->GetName().c_str());
    if (!value) {
      std::fprintf(out, "(none)\n");
      continue;
    }
    switch (value->GetMarker()) {
      case 0x00: std::fprintf(out, "%.17g\n", value->ToDouble()); break;
      case 0x01: std::fprintf(out, "%s\n", value->ToBool() ? "true" : "false"); break;
      case 0x02:
      case 0x0C: std::fprintf(out, "\"%s\"\n", value->ToString().c_str()); break;
      case 0x05: std::fprintf(out, "null\n"); break;
      case 0x07: std::fprintf(out, "reference %d\n", value->ToInt()); break;
      case 0x0B: std::fprintf(out, "date\n"); break;
      default:
        std::fprintf(out, "\n");
        PrintMembers(out, *value, indent + 2);
        break;
    }
  }
}

}  // namespace

int ListFlv(const std::vector<unsigned char>& file, const std::string& path, std::FILE* out,
            std::FILE* err) {
  if (file.size() < 13 || file[0] != 'F' || file[1] != 'L' || file[2] != 'V') {
    std::fprintf(err, "brevio-media: \"%s\" is not an FLV file\n", path.c_str());
    return 1;
  }
  const std::uint32_t headerLength = Be(&file[5], 4);
  std::fprintf(out, "FLV version %d, video %s, audio %s\n", file[3], (file[4] & 0x01) ? "yes" : "no",
               (file[4] & 0x04) ? "yes" : "no");
  std::size_t pos = headerLength + 4;  // skip the first previous-tag size
  int index = 0;
  int status = 0;
  double metadataDuration = -1;  // from the first onMetaData tag
  std::uint32_t lastTime = 0;
  while (pos < file.size()) {
    if (file.size() - pos < 11) {
      std::fprintf(err, "brevio-media: the file is cut short inside the header of tag %d at offset %zu; "
                   "the %d tags before it are complete\n", index, pos, index);
      status = 1;
      break;
    }
    const unsigned char* h = &file[pos];
    const int type = h[0];
    const std::uint32_t size = Be(h + 1, 3);
    const std::uint32_t time = Be(h + 4, 3) | (std::uint32_t(h[7]) << 24);
    if (file.size() - pos - 11 < size) {
      std::fprintf(err, "brevio-media: the file is cut short inside tag %d at offset %zu; "
                   "the %d tags before it are complete\n", index, pos, index);
      status = 1;
      break;
    }
    if (type == 8 || type == 9) lastTime = std::max(lastTime, time);
    const unsigned char* d = h + 11;
    if (type == 9) {
      const bool key = size > 0 && (d[0] >> 4) == 1;  // an empty tag has no flags byte
      std::fprintf(out, "%5d video  size %7u  time %8u  key %d", index, size, time, key ? 1 : 0);
      if (size >= 5 && (d[0] & 0x0F) == 7) {
        std::int32_t cts = static_cast<std::int32_t>(Be(d + 2, 3) << 8) >> 8;
        std::fprintf(out, "  %s  cts %d", d[1] == 0 ? "sequence-header" : d[1] == 1 ? "nalu" : "end", cts);
      }
      std::fprintf(out, "\n");
    } else if (type == 8) {
      std::fprintf(out, "%5d audio  size %7u  time %8u", index, size, time);
      if (size >= 2 && (d[0] >> 4) == 10) std::fprintf(out, "  %s", d[1] == 0 ? "sequence-header" : "raw");
      std::fprintf(out, "\n");
    } else if (type == 18) {
      std::fprintf(out, "%5d script size %7u  time %8u\n", index, size, time);
      Flash::AS_DataObject object;
      const unsigned char* p = d;
      if (object.Read(p, d + size) == 0) {
        std::fprintf(out, "      %s\n", object.GetName().c_str());
        if (!object.GetChildren().empty()) {
          PrintMembers(out, *object.GetChildren().front(), 8);
          if (metadataDuration < 0 && object.GetName() == "onMetaData") {
            metadataDuration = 0;
            for (const Flash::AS_Value* child : object.GetChildren().front()->GetChildren()) {
              if (child->GetName() == "duration") metadataDuration = child->ToDouble();
            }
          }
        }
      } else {
        std::fprintf(out, "      (unreadable script data)\n");
      }
    } else {
      std::fprintf(out, "%5d type %d size %u time %u\n", index, type, size, time);
    }
    pos += 11 + size + 4;
    ++index;
  }
  // A recording that was never finished (killed, or the power lost) still
  // has the duration of its first metadata: 0.
  std::fprintf(out, "last tag at %u ms", lastTime);
  if (metadataDuration >= 0 && metadataDuration * 1000 < lastTime) {
    std::fprintf(out, "; the metadata's duration (%.3f s) is stale: the file was not finished", metadataDuration);
  }
  std::fprintf(out, "\n");
  return status;
}

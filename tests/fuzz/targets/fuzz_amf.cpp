// AMF values: the first byte picks what is read (a script tag's head, or a
// value of the class the next byte's marker names); whatever reads must
// write back exactly GetSize() bytes that read again to the same bytes.
#include <cstring>
#include <memory>
#include <vector>

#include "media/amf.h"
#include "tests/fuzz/targets/fuzz_common.h"

namespace {

void Visit(const Flash::AS_Value& value, int depth, void*) {
  FUZZ_CHECK(depth >= 0);
  (void)value.ToString();
  (void)value.ToDouble();
  (void)value.ToBool();
  (void)value.ToInt();
}

std::unique_ptr<Flash::AS_Value> Make(bool dataObject, int marker) {
  if (dataObject) return std::make_unique<Flash::AS_DataObject>();
  if (marker == 0x11) return std::make_unique<Flash::AS_AMF3Number>();
  return std::unique_ptr<Flash::AS_Value>(Flash::NewValueForMarker(marker));
}

// Writes the value into a block of exactly GetSize() bytes.
std::vector<unsigned char> Written(const Flash::AS_Value& value) {
  std::vector<unsigned char> out(value.GetSize());
  unsigned char* p = out.data();
  if (value.Write(p) != 0) return {};
  FUZZ_CHECK(p == out.data() + out.size());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const bool dataObject = data[0] & 1;
  const unsigned char* begin = data + 1;
  const unsigned char* end = data + size;
  auto value = Make(dataObject, begin[0]);
  if (!value) return 0;
  const unsigned char* p = begin;
  if (value->Read(p, end) != 0) return 0;
  FUZZ_CHECK(p > begin && p <= end);
  value->Traverse(Visit, nullptr);

  const std::vector<unsigned char> once = Written(*value);
  if (once.empty()) return 0;
  auto again = Make(dataObject, once[0]);
  FUZZ_CHECK(again);
  const unsigned char* q = once.data();
  FUZZ_CHECK(again->Read(q, once.data() + once.size()) == 0);
  FUZZ_CHECK(q == once.data() + once.size());
  FUZZ_CHECK(Written(*again) == once);
  return 0;
}

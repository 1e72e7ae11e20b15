// FLV files as `brevio-media flv-dump` lists them: any bytes are listed or
// refused with a message, never read past their end.
#include <cstdio>
#include <vector>

#include "tests/fuzz/targets/fuzz_common.h"
#include "tools/brevio-media/flv_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  const std::vector<unsigned char> file(data, data + size);
  const int status = ListFlv(file, "input.flv", sink, sink);
  FUZZ_CHECK(status == 0 || status == 1);
  return 0;
}

// Upgrade descriptors: look up the component names the descriptor holds and
// one it does not.
#include "config/text_codec.h"
#include "config/upgrade_mgr.h"
#include "tests/fuzz/targets/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CUpgradeMgr mgr;
  if (!mgr.Load(fuzz::InputFile(data, size))) return 0;
  std::u16string ver, zip, app;
  for (const char16_t* name : {u"Brevio", u"", u"Capturo"})
    if (mgr.ReadUpgrade(name, ver, zip, app) != 1) __builtin_trap();
  return 0;
}

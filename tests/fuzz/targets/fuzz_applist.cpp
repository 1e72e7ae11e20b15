// Application lists: read every entry and look each one up by its id.
#include "config/app_list.h"
#include "tests/fuzz/targets/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CAppMgr mgr;
  if (!mgr.Load(fuzz::InputFile(data, size))) __builtin_trap();
  AppList apps;
  if (mgr.ReadAppList(apps) != apps.size()) __builtin_trap();
  return 0;
}

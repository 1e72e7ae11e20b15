// Language files: read every window block the file names, then write each
// text back through the writer.
#include "config/description_files.h"
#include "tests/fuzz/targets/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CLanguageMgr mgr;
  if (!mgr.Load(fuzz::InputFile(data, size))) __builtin_trap();
  MyLanguageList all;
  for (int window : {0, 1, 2, 3}) mgr.ReadLanguage(all, window);
  for (const auto& text : all)
    if (mgr.WriteLanguage(text.get()) != 1) __builtin_trap();
  MyLanguageList again;
  mgr.ReadLanguage(again, 1);
  return 0;
}

// Font files: read every font, check the face name stays terminated, write
// each font back and read the result again.
#include "config/description_files.h"
#include "tests/fuzz/targets/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CLogfontMgr mgr;
  if (!mgr.Load(fuzz::InputFile(data, size))) __builtin_trap();
  MyFontList fonts;
  const std::uint32_t count = mgr.ReadLogfont(fonts);
  if (count != fonts.size()) __builtin_trap();
  for (const auto& font : fonts) {
    if (!font->logfont || font->logfont->lfFaceName[LF_FACESIZE - 1] != 0) __builtin_trap();
    if (mgr.WriteLogfont(font.get()) != 1) __builtin_trap();
  }
  MyFontList again;
  mgr.ReadLogfont(again);
  return 0;
}

// Control files: every window block the file names is read, its controls are
// written back (they exist, so nothing may change), and the rectangle parser
// also gets the raw input as UTF-16 text.
#include "config/description_files.h"
#include "config/text_codec.h"
#include "tests/fuzz/targets/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CControlMgr::SubRect(std::u16string_view(fuzz::Utf16Of(data, size)));

  CControlMgr mgr;
  if (!mgr.Load(fuzz::InputFile(data, size))) __builtin_trap();  // the fallback always loads
  CControlMgr copy(mgr);
  for (int window : {0, 1, 2, -1}) {
    MyControlList list;
    const std::uint32_t count = mgr.ReadControl(list, window);
    if (count != list.size()) __builtin_trap();
    for (const auto& control : list) {
      if (!control->textTable) __builtin_trap();
      if (copy.WriteControl(control.get(), window) != 1) __builtin_trap();
    }
    MyControlList again;
    if (copy.ReadControl(again, window) != count) __builtin_trap();
  }
  return 0;
}

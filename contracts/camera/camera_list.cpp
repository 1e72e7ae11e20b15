#include "contracts/camera/camera_list.h"

#include <QString>

int CAddStringSink::AddString(const std::string& text) {
  if (!IsMessageTarget(window_)) return -1;
  const QString wide = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  // SendMessage waits for the answer, so the text outlives its handling.
  return static_cast<int>(SendMessage(window_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.utf16())));
}

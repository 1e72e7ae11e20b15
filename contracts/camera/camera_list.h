#pragma once
// Where the combo-box fill calls of CUsbCamera write their rows: any list
// control that implements ICameraListSink, or any window that accepts the
// add-string message through CAddStringSink.

#include "platform/messages.h"

#include <string>
#include <vector>

// Add-string message of combo boxes and of list popups that imitate them.
// lParam points at the row text: NUL-terminated UTF-16 (char16_t). The
// answer is the new row's index, negative on failure.
constexpr UINT CB_ADDSTRING = 323;

class ICameraListSink {
 public:
  virtual ~ICameraListSink() = default;
  // Appends one row (UTF-8); returns its index, negative on failure.
  virtual int AddString(const std::string& text) = 0;
};

// Sends CB_ADDSTRING for every row to a window (on the window's thread).
class CAddStringSink : public ICameraListSink {
 public:
  explicit CAddStringSink(HWND window) : window_(window) {}
  int AddString(const std::string& text) override;

 private:
  HWND window_;
};

// Collects the rows; for tools and tests.
class CStringListSink : public ICameraListSink {
 public:
  int AddString(const std::string& text) override {
    rows.push_back(text);
    return static_cast<int>(rows.size()) - 1;
  }
  std::vector<std::string> rows;
};

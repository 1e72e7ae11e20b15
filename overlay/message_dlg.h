#pragma once
// The owner-drawn message box ("ui" window 7): a title and a message over a
// background picture, Cancel and OK; and the entry point through which a
// picture region is handed to text recognition.

#include "canvas/bufferdc.h"
#include "contracts/widgetta/gdi_btn.h"
#include "imaging/gdi_image.h"
#include "overlay/xml_list_mgr.h"
#include "platform/window.h"

#include <array>

// The controls of window 7.
constexpr int MSGDLG_BACKGROUND = 1;  // its rectangle is the box's size
constexpr int MSGDLG_TITLE_STRIP = 2;  // a press there drags the box
constexpr int MSGDLG_CANCEL = 3;
constexpr int MSGDLG_OK = 4;
constexpr int MSGDLG_MESSAGE = 5;
constexpr int MSGDLG_TITLE = 6;

class CMessageDlg : public CWnd {
 public:
  static constexpr COLORREF kFill = RGB(0xEC, 0xEF, 0xF3);    // 0xF3EFEC
  static constexpr COLORREF kBorder = RGB(0x6C, 0x71, 0x77);  // 0x77716C
  // The size of a box without its description files.
  static constexpr int kDefaultWidth = 360;
  static constexpr int kDefaultHeight = 180;

  // `first` is the title, `second` the message.
  CMessageDlg(const QString& first, const QString& second, CWnd* owner = nullptr);
  ~CMessageDlg() override;

  // Builds the box (once), then runs it modally: 1 for OK, 2 for Cancel.
  int DoModal();
  // Loads window 7, builds the pictures and buttons, sets the texts, sizes
  // the box and centres it in the work area.
  bool OnInitDialog();
  CGdiBtnEx* GetButton(int id);
  CRect GetTitleStripRect() const { return stripRect_; }

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool PreTranslateKeyDown(UINT vk) override;
  bool OnLButtonDown(UINT flags, CPoint p) override;
  bool OnEraseBkgnd(QPainter& painter) override;
  void OnPaint(QPainter& painter) override;

 private:
  // Places of the parts when window 7 gives none.
  void DefaultLayout();

  QString first_, second_;
  CWnd* owner_ = nullptr;
  bool initialised_ = false;
  CXmlListMgr layout_;
  CGdiImage background_, strip_;
  CRect backgroundRect_, stripRect_;
  std::array<CGdiBtnEx, 4> buttons_;  // controls 3 to 6
  std::array<CRect, 4> buttonRects_;
  CBufferDC surface_;
};

// Shows the box modally over `owner` (the whole program without one) and
// returns 0 whatever was chosen. A dialog script (platform/dialogs.h)
// records it as a box with caption `first` and text `second` instead.
int MsgBox(const QString& first, const QString& second, CWnd* owner = nullptr);

// Hands a picture region (pixels, width, height, bits per pixel) to text
// recognition. This system has no recognition engine behind it: nothing is
// done, and the caller keeps the pixels.
void OCRBox(const BYTE* data, int width, int height, int depth);

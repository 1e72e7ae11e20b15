#pragma once
// CQuickCapDlg: the quick capture window, a small window at the bottom
// right of the desktop that shows the main camera's live picture. It holds
// the title strip (CQCTitleDlg) and the picture area (CQCClientDlg), which
// owns the camera. The main frame shows it and opens the camera when the
// mode is switched on, and closes the camera when the mode is switched off.

#include "app/min_menu_dlg.h"
#include "app/qc_client_dlg.h"
#include "app/qc_title_dlg.h"
#include "platform/window.h"

#include <memory>

// Layout of the window.
constexpr int QC_WIDTH = 320;
constexpr int QC_HEIGHT = 240;
constexpr int QC_TITLE_HEIGHT = 18;
// Distance of the window from the work area's bottom-right corner.
constexpr int QC_OFFSET_LEFT = 50;
constexpr int QC_OFFSET_UP = 30;
// Child ids of the title strip and the picture area.
constexpr UINT IDC_QC_TITLE = 3000;
constexpr UINT IDC_QC_CLIENT = 3003;

class CQuickCapDlg : public CWnd {
 public:
  // Without a camera the picture area makes its own (the default providers).
  explicit CQuickCapDlg(std::unique_ptr<CUsbCamera> camera = nullptr);

  // Creates the window (caption "QucikCap", 320 × 240 at the bottom right
  // of the work area moved 50 left and 30 up; title strip 18 px; the
  // picture area below), hidden, owned by `owner`.
  bool Create(CWnd* owner);
  // Opens the main camera (with the status text and a retry every second
  // on failure). 1 when it is open.
  int OpenCamera() { return client_.OpenCamera(); }
  // Closes the camera, stops retrying and empties the picture.
  void CloseCamera() { client_.CloseCamera(); }

  CQCTitleDlg& GetTitle() { return title_; }
  CQCClientDlg& GetClient() { return client_; }
  // The in-mode menu (hidden until asked for).
  CMinMenuDlg& GetMinMenu() { return minMenu_; }

  // Where the window is placed in a work area.
  static CRect PlaceIn(const CRect& workArea);

 protected:
  // Closing the window (from the window manager) leaves the mode as the
  // title strip's back button does.
  void closeEvent(QCloseEvent* e) override;

 private:
  CQCTitleDlg title_;
  CQCClientDlg client_;
  CMinMenuDlg minMenu_;
};

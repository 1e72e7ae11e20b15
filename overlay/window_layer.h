#pragma once
// Small owner-drawn windows of the overlay library built from description
// files:
//
//   CWindowLayer     a panel of buttons over a background picture, laid out
//                    from a caller's list manager; a click becomes
//                    WM_LAYER_BUTTON to the owner, a press on the panel
//                    itself drags the owner's window.
//   CSplitScreenBtn  the bar of three buttons on an empty split-screen pane
//                    ("ui" window 3); a click becomes WM_SPLIT_BUTTON with
//                    the bar's page.

#include "canvas/bufferdc.h"
#include "canvas/gdidc.h"
#include "contracts/widgetta/gdi_btn.h"
#include "imaging/gdi_image.h"
#include "overlay/overlay_layer.h"
#include "overlay/xml_list_mgr.h"

#include <array>
#include <memory>
#include <vector>

class CWindowLayer : public COverlayLayer {
 public:
  CWindowLayer();
  ~CWindowLayer() override;

  // The manager the buttons are built from (not owned); set it before Create.
  void SetXmlListMgr(CXmlListMgr* mgr) { mgr_ = mgr; }
  // Creates the panel over `owner` at `screenRect` (hidden) and builds every
  // button added so far from the manager.
  bool Create(CWnd* owner, const CRect& screenRect, const QString& name = QStringLiteral("windowLayer"));
  // Adds a button for control `id` (built at once when the panel exists);
  // returns the number of buttons.
  int AddBtn(int id);
  void DelAllBtn();
  int GetBtnCount() const { return static_cast<int>(buttons_.size()); }
  // The background picture (owned by the caller; null for none), stretched
  // over the panel. The rectangle is not used.
  void SetBgImage(CGdiImage* image, const CRect& rect = {});
  // The rectangle of the first button with that id; empty for none.
  CRect GetBtnRect(int id) const;
  // Stores the rectangle of the first button with that id and moves it.
  void SetBtnRect(int id, const CRect& rect);
  CGdiBtnEx* GetBtn(int id);
  int ShowWindow(int cmd) override;
  int IsShowWindow() const { return GetShowState() == SW_SHOW ? 1 : 0; }

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool OnLButtonDown(UINT flags, CPoint p) override;
  bool OnEraseBkgnd(QPainter& painter) override;

 private:
  struct Button {
    std::unique_ptr<CGdiBtnEx> button;
    CRect rect;
    int id = 0;
  };
  void Build(Button& b);
  Button* Find(int id);
  const Button* Find(int id) const;

  CGdiDC dc_;
  CBufferDC surface_;
  bool surfaceStale_ = true;
  std::vector<Button> buttons_;
  CGdiImage* bgImage_ = nullptr;
  CXmlListMgr* mgr_ = nullptr;
};

class CSplitScreenBtn : public COverlayLayer {
 public:
  static constexpr int kWidth = 200;
  static constexpr int kHeight = 60;
  // The bar's controls in "ui" window 3: the background, then the buttons
  // take photo, open picture, open camera (WM_SPLIT_BUTTON wParam 0, 1, 2).
  static constexpr int kBackground = 1;
  static constexpr int kFirstButton = 2;
  static constexpr int kButtons = 3;

  CSplitScreenBtn();
  ~CSplitScreenBtn() override;

  // Creates bar `index` ("splitScreenBtn<index>") over `owner`: 200 × 60 at
  // the owner's origin, hidden.
  bool Create(CWnd* owner, int index);
  void SetParentHwnd(HWND target) { target_ = target; }
  void SetPage(int page) { page_ = page; }
  int GetPage() const { return page_; }
  // 0 when the bar was never created.
  int ShowWindow(int cmd) override;
  // Lays the buttons out in a row centred in the bar.
  void SetRect();
  void InitConfig();
  void LoadResources();
  // Draws the background picture stretched into the bar's surface.
  void DoDraw();
  // WM_LAYER_DRAW: redraw.
  LRESULT OnDraw(WPARAM wParam, LPARAM lParam);
  // Button `id` (2 to 4); null for any other id.
  CGdiBtnEx* GetButton(int id);

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool OnEraseBkgnd(QPainter& painter) override;
  void OnPaint(QPainter& painter) override;
  void OnSize(int cx, int cy) override;

 private:
  CGdiDC dc_;
  CBufferDC surface_;
  CXmlListMgr layout_;
  CGdiImage background_;
  std::array<CGdiBtnEx, kButtons> buttons_;
  std::array<CSize, kButtons> sizes_;
  HWND target_ = nullptr;
  int page_ = -1;
};

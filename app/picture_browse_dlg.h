#pragma once
// CPictureBrowseDlg: one picture of the library at a time, shown still in a
// preview (zoom with the wheel, drag), with previous and next as the
// preview's page buttons and the picture's name above it. The tool bar's
// commands act on the picture shown; a picture that bind or delete took
// away leaves the row, and the next one is shown. An editing tool may stand
// at the right edge (SetToolPanel). Laid out from window 14 of the
// "scanmgr" set.

#include <memory>

#include "app/library_commands.h"
#include "contracts/widgetta/ui_ctrl.h"
#include "overlay/xml_list_mgr.h"
#include "platform/window.h"
#include "preview/datapreview.h"

class CPictureBrowseDlg : public CWnd {
 public:
  static constexpr int kLayoutWindow = 14;
  static constexpr UINT kPreviewId = 1401;
  static constexpr int kPreviousCtrl = 1402;
  static constexpr int kNextCtrl = 1403;
  static constexpr int kNameCtrl = 1404;

  CPictureBrowseDlg();
  bool Create(CWnd* parent, const CRect& rect, UINT id);

  // The row of pictures and the one to show; 0 when it cannot be shown.
  int SetPictures(const QStringList& pictures, int index);
  int ShowPicture(int index);
  int GetIndex() const { return index_; }
  const QStringList& GetPictures() const { return pictures_; }
  QString GetCurrentPath() const;
  QString GetNameText() const { return name_.GetText(); }

  CDataPreview& GetPreview() { return preview_; }
  // A tool window given the right `width` pixels of the page (null: none).
  void SetToolPanel(CWnd* panel, int width);
  CPictureCommands& GetCommands() { return *commands_; }
  void SetCommands(std::unique_ptr<CPictureCommands> commands);
  void RunCommand(WPARAM code);

 protected:
  LRESULT OnPageTurn(WPARAM wParam, LPARAM lParam);
  LRESULT OnLibraryCommand(WPARAM wParam, LPARAM lParam);
  void OnSize(int cx, int cy) override;
  void OnPaint(QPainter& painter) override;
  bool OnEraseBkgnd(QPainter& painter) override;

 private:
  void Layout();
  // Drops the pictures that are no longer on disk and shows the nearest one
  // left; with none left the page goes back to the library.
  void AfterCommand();

  CXmlListMgr layout_;
  CDataPreview preview_;
  CUICaption name_;
  CWnd* tool_ = nullptr;
  int toolWidth_ = 0;
  int nameHeight_ = 36;
  QStringList pictures_;
  int index_ = -1;
  std::unique_ptr<CPictureCommands> commands_;
};

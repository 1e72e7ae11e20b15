#pragma once
// CPictureBindDlg: the pictures of one ".bind" archive, unpacked for viewing
// into a folder of their own below the binding folder (GetBindPath) and
// shown as thumbnails. Unbind acts on the archive; export, PDF, mail, print
// and compare act on the selected pictures and save their results beside
// the archive; bind and delete do nothing here. Leaving removes exactly the
// files that were unpacked (and the folders made for them once empty).
// Laid out from window 15 of the "scanmgr" set.

#include <memory>
#include <string>
#include <vector>

#include "app/library_commands.h"
#include "contracts/widgetta/list_view.h"
#include "contracts/widgetta/ui_ctrl.h"
#include "overlay/xml_list_mgr.h"
#include "platform/window.h"

class CPictureBindDlg : public CWnd {
 public:
  static constexpr int kLayoutWindow = 15;
  static constexpr UINT kListId = 1501;
  static constexpr int kNameCtrl = 1502;

  CPictureBindDlg();
  ~CPictureBindDlg() override;
  bool Create(CWnd* parent, const CRect& rect, UINT id);

  // Unpacks and shows the archive (the one shown before is closed first).
  // 0 when it cannot be unpacked: the teacher is told, nothing is left.
  int OpenArchive(const QString& archive);
  // Removes what OpenArchive unpacked.
  void CloseArchive();
  const QString& GetArchive() const { return archive_; }
  const QString& GetViewFolder() const { return viewFolder_; }
  const std::vector<std::string>& GetUnpacked() const { return unpacked_; }
  CListViewEx& GetList() { return list_; }
  CPictureCommands& GetCommands() { return *commands_; }
  void SetCommands(std::unique_ptr<CPictureCommands> commands);
  void RunCommand(WPARAM code);

 protected:
  LRESULT OnLibraryCommand(WPARAM wParam, LPARAM lParam);
  void OnSize(int cx, int cy) override;
  void OnPaint(QPainter& painter) override;
  bool OnEraseBkgnd(QPainter& painter) override;

 private:
  void Layout();

  CXmlListMgr layout_;
  CListViewEx list_;
  CUICaption name_;
  int nameHeight_ = 36;
  QString archive_;
  QString viewFolder_;
  std::vector<std::string> unpacked_;
  std::vector<std::string> madeFolders_;
  std::unique_ptr<CPictureCommands> commands_;
};

#pragma once
// CPictureLibDlg: the library page of picture management. The folder tree
// of the library (root GetDataLibPath, its folder menu on) on the left; on
// the right a path bar over the thumbnail list "fileListView" of the folder
// chosen in the tree. A double-click opens a picture in the browse window
// and a ".bind" archive in the bound-pictures window; the tool bar's
// commands act on the selected files. Laid out from window 12 of the
// "scanmgr" set.

#include <memory>

#include "app/library_commands.h"
#include "contracts/widgetta/list_view.h"
#include "contracts/widgetta/path_bar.h"
#include "overlay/tree_ctrl_ex.h"
#include "overlay/xml_list_mgr.h"
#include "platform/window.h"

// Who shows what the library opens (the picture management frame).
class IPictureViewer {
 public:
  virtual ~IPictureViewer() = default;
  // Shows pictures[index], with previous and next among `pictures`.
  virtual void OpenPicture(const QStringList& pictures, int index) = 0;
  // Shows the pictures of a ".bind" archive.
  virtual void OpenArchive(const QString& archive) = 0;
};

class CPictureLibDlg : public CWnd {
 public:
  static constexpr int kLayoutWindow = 12;
  static constexpr UINT kTreeId = 1201;
  static constexpr UINT kPathBarId = 1202;
  static constexpr UINT kListId = 1203;

  CPictureLibDlg();
  bool Create(CWnd* parent, const CRect& rect, UINT id, IPictureViewer* viewer);

  // The tree's root folder; the tree is filled again from disk.
  void SetRootPath(const QString& root);
  // Fills the tree again and selects the folder that was selected, or the
  // nearest one above it that still exists.
  void RefreshTree();
  // The page is shown: tree and list read from disk again.
  void Refresh();
  // Lists a folder (what a tree selection does).
  void ShowFolder(const QString& folder);

  CTreeCtrlEx& GetTree() { return tree_; }
  CPathBar& GetPathBar() { return pathBar_; }
  CListViewEx& GetList() { return list_; }
  CPictureCommands& GetCommands() { return *commands_; }
  // Tests put commands with their own seams here.
  void SetCommands(std::unique_ptr<CPictureCommands> commands);

  // What a tool-bar code does here.
  void RunCommand(WPARAM code);

 protected:
  LRESULT OnTreeSelect(WPARAM wParam, LPARAM lParam);
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnLibraryCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnRefreshLibrary(WPARAM wParam, LPARAM lParam);
  void OnSize(int cx, int cy) override;
  bool OnEraseBkgnd(QPainter& painter) override;

 private:
  void Layout();
  void OpenItem(int index);
  // Fills the tree from disk and selects `want` or the nearest folder above it.
  void FillAndSelect(QString want);

  CXmlListMgr layout_;
  CTreeCtrlEx tree_;
  CPathBar pathBar_;
  CListViewEx list_;
  IPictureViewer* viewer_ = nullptr;
  std::unique_ptr<CPictureCommands> commands_;
  int treeWidth_ = 280;
  int barHeight_ = 40;
};

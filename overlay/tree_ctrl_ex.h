#pragma once
// The folder tree of the picture library: an owner-drawn tree that mirrors
// a folder on disk (the root folder and every folder below it, in name
// order, hidden folders left out), reports the selected folder to its parent
// with WM_TREE_SELECT, and — once OpenRButtonMenu(1) has enabled its context
// menu — moves, copies, deletes, renames and creates folders; files and
// folders dropped onto an item move into its folder.
//
// Nothing done here can lose a file: moves and copies are literal
// (MovePath, CopyPath), a taken name becomes "name(1)" (FreePath) instead of
// replacing or merging, and a failure shows its language text and leaves
// the disk as it was. After every operation the tree is filled again from
// disk and the nearest folder that still exists is selected.
//
// An item's folder on disk is the root folder path followed by "/" and the
// item texts below the root item down to it.

#include <QString>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "contracts/tracmo/tracmo.h"
#include "imaging/gdi_image.h"
#include "overlay/overlay_messages.h"
#include "overlay/xml_list_mgr.h"
#include "platform/tree_ctrl.h"

class QLineEdit;

// The context-menu commands (their ids as the menu reports them).
constexpr UINT ID_TREE_MOVE = 1;
constexpr UINT ID_TREE_COPY = 2;
constexpr UINT ID_TREE_DELETE = 3;
constexpr UINT ID_TREE_RENAME = 4;
constexpr UINT ID_TREE_NEWFOLDER = 5;
// Child id of the in-place edit box.
constexpr UINT ID_TREE_EDIT = 1000;
// A folder shows at most this many subfolders.
constexpr int kTreeMaxFolders = 400;

class CTreeCtrlEx : public CTreeCtrl {
 public:
  CTreeCtrlEx();
  ~CTreeCtrlEx() override;

  // Creates the tree as a child of `parent` and loads its images.
  bool Create(const CRect& rect, CWnd* parent, UINT id);

  // Stores the root folder path (trailing separators removed). Returns 1.
  int SetRootPath(const QString& path);
  const QString& GetRootPath() const { return rootPath_; }
  // Fills the tree below `parent` from the folder `path` (the root folder
  // path when empty). TVI_ROOT empties the tree, makes `path` the root
  // folder and creates the root item first. 0 when the folder cannot be
  // listed, else 1.
  int SetPath(const QString& path, HTREEITEM parent);
  // The item texts from the root item down to the item, joined with "/".
  QString GetCurPath(HTREEITEM item) const;
  // The item's folder on disk (null: the selected item; empty when none).
  QString GetSelectPath(HTREEITEM item = nullptr) const;
  // Selects the item of that folder and posts WM_TREE_SELECT; 0 (nothing
  // changed) when the path is not the root folder or a folder shown below it.
  int SetCurPath(const QString& path);
  void OpenRButtonMenu(int enable) { menuEnabled_ = enable != 0; }

  // Ends an edit in progress as if Enter had been pressed.
  void EndEdit() { FinishEdit(true); }
  bool IsEditing() const { return editItem_ != nullptr; }
  QLineEdit* GetEditBox() const { return edit_; }
  HTREEITEM GetEditItem() const { return editItem_; }
  // Runs a context-menu command on the selected item.
  void OnCommand(UINT id);

 protected:
  // The popup menu at the screen point; returns the chosen command, 0 for
  // none. A test replaces it.
  virtual UINT TrackPopupMenu(const std::vector<std::pair<UINT, QString>>& entries, CPoint screenPoint);

  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  void OnRButtonDown(UINT flags, CPoint p) override;
  bool PreTranslateKeyDown(UINT vk) override;
  void DrawItem(QPainter& painter, HTREEITEM item, const CRect& row, UINT state) override;
  void OnDropFiles(const std::vector<std::string>& paths, CPoint p) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  // Hiding the tree ends an edit as Enter does.
  void hideEvent(QHideEvent* e) override;

 private:
  void InitConfig();
  void LoadResources();
  int Fill(const std::string& folder, HTREEITEM parent, std::vector<std::pair<dev_t, ino_t>>& path);
  // Fills the whole tree again from disk and selects the folder at `want`,
  // or the nearest one above it that still exists (else the root), posting
  // WM_TREE_SELECT.
  void Refill(const QString& want);
  void Message(const char* key, const char* defaultText, const QString& extra = {});
  void MoveOrCopy(bool move);
  void Delete();
  void NewFolder();
  void StartEdit(HTREEITEM item);
  // Ends the edit: with `commit` the typed name is applied.
  void FinishEdit(bool commit);
  void StopEditing();
  HTREEITEM ItemOfPath(const QString& path) const;

  CXmlListMgr xml_;
  CGdiImage expand_, expandSelect_, folder_, folderSelect_;
  QString rootPath_;
  QLineEdit* edit_ = nullptr;
  HTREEITEM editItem_ = nullptr;
  bool menuEnabled_ = false;
  bool limitShown_ = false;  // the too-many-folders message of this fill
  bool pressed_ = false;
  CTracmo hook_;
};

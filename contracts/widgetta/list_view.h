#pragma once
// The thumbnail list of a folder ("fileListView"): every file of the
// folder as a cell with its thumbnail (from the shared thumbnail cache,
// made when missing or stale) and its name; files that are not pictures
// show a page with their extension. Cells fill rows left to right; the
// wheel scrolls by rows.
//
// Selection: a click selects one file, Ctrl+click adds or removes one,
// Shift+click selects the run from the last clicked file; a click on empty
// space clears it. Each change posts WM_COMMAND to the parent with wParam =
// MAKEWPARAM(list id, LVN_SELCHANGE) and lParam = the list's handle; a
// double-click on a file posts LVN_DBLCLK (GetCurItem tells which).
// Dragging a selected file drags every selected file out as file URLs; a
// press on a selected file keeps the others selected until the button is
// released without a drag.
//
// Every item can carry a progress layer (UpdateLayer): below 100 percent
// the cell is veiled and shows a bar, e.g. while its file is being written.

#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

#include "contracts/widgetta/ui_ctrl.h"

// File names in the order people expect: runs of digits compare by value
// ("c9" before "c10"), everything else without regard to case.
bool NaturalLess(const QString& a, const QString& b);

// Drags the files out of `source` as file URLs (to the folder tree, a file
// manager, a mail program) and returns what the receiver did with them.
// Qt deletes the drag object when the drag has ended.
Qt::DropAction DragFilesOut(QWidget* source, const QStringList& paths);

constexpr UINT LVN_SELCHANGE = 1;
constexpr UINT LVN_DBLCLK = 2;

class CListViewEx : public CUICtrl {
 public:
  // Lists the folder (files sorted by name, numbers in names compared by
  // value; hidden files left out). 0 when the folder cannot be listed; the
  // list is then empty.
  int SetPath(const QString& folder);
  const QString& GetPath() const { return folder_; }
  // Lists the folder again; files still there keep their selection.
  void Refresh();

  // Appends a file (or finds it when it is already listed) and shows it.
  // Returns its index; -1 when the file does not exist.
  int AddFile(const QString& path);
  // Renews the picture of item `index` (thumbnail written again) and sets
  // its progress layer to `percent` (0–100; 100 = done). 0 for a bad index.
  int UpdateLayer(int percent, int index);

  // Full paths of the selected files whose extension equals `ext` (with or
  // without its dot, case ignored; empty = every file), in list order.
  QStringList GetSelectFile(const QString& ext = {}) const;
  // Deletes the selected files from disk (and their thumbnails) and from
  // the list. 1 when at least one was selected and all were deleted; 0
  // otherwise — files that could not be deleted stay listed and selected.
  int DelSelectFile();

  int GetItemCount() const { return static_cast<int>(items_.size()); }
  QString GetItemPath(int index) const;
  int FindItem(const QString& path) const;
  bool IsSelected(int index) const;
  void SetSelect(int index, bool select);
  void SelectAll(bool select);
  int GetSelectCount() const;
  // The item last clicked; -1 for none.
  int GetCurItem() const { return current_; }
  int GetItemLayer(int index) const;

  // Cell size (default 148 × 140: a 128-pixel thumbnail and a name line).
  void SetItemSize(int cx, int cy);
  // Cell of an item in client coordinates (scrolling applied).
  CRect GetItemRect(int index) const;
  int HitTest(CPoint p) const;
  int GetScrollPos() const { return scroll_; }
  int GetScrollMax() const;
  // Scrolls so that the item is fully visible.
  void EnsureVisible(int index);

 protected:
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;
  void OnLButtonDblClk(UINT flags, CPoint p) override;
  bool OnMouseWheel(UINT flags, short delta, CPoint screenPoint) override;
  void OnPaint(QPainter& painter) override;
  void OnSize(int cx, int cy) override;

 private:
  struct Item {
    explicit Item(QString p) : path(std::move(p)) {}
    QString path;
    bool selected = false;
    int percent = 100;
    bool loaded = false;
    QImage thumb;
  };
  int Columns() const;
  void LoadThumb(Item& item) const;
  void SortItems();
  void SetScroll(int pos);

  QString folder_;
  std::vector<Item> items_;
  int cellW_ = 148;
  int cellH_ = 140;
  int scroll_ = 0;
  int current_ = -1;
  int anchor_ = -1;
  bool dragArmed_ = false;  // the press was on a selected file
  CPoint pressPoint_;
  int pendingSelect_ = -1;  // selected alone on release unless a drag began
};

#pragma once
// The framework tree control, thin: a CWnd holding a tree of text items
// with what an owner-drawn tree needs of it — inserting and deleting items,
// walking them, one selected item, expanding, hit tests, item rectangles,
// vertical scrolling (wheel and a scroll bar at the right edge when the
// items do not fit), and dropped local files. Items are drawn by a virtual
// hook; the default draws their text.
//
// Layout: every visible item is one row of GetItemHeight() pixels across
// the client area (less the scroll bar). An item at depth d (0 for items at
// the top) has its expand button in [d·indent, (d+1)·indent) and its text
// rectangle from (d+1)·indent to the right edge.

#include "platform/window.h"

#include <QStringList>

#include <memory>
#include <vector>

class QScrollBar;

struct _TREEITEM;
using HTREEITEM = _TREEITEM*;
// Parents and insertion places with the framework's meaning.
inline HTREEITEM const TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x10000));
inline HTREEITEM const TVI_FIRST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFF));
inline HTREEITEM const TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFE));

// Expand codes.
constexpr UINT TVE_COLLAPSE = 0x0001;
constexpr UINT TVE_EXPAND = 0x0002;
constexpr UINT TVE_TOGGLE = 0x0003;
// Hit-test results.
constexpr UINT TVHT_NOWHERE = 0x0001;
constexpr UINT TVHT_ONITEMBUTTON = 0x0010;
constexpr UINT TVHT_ONITEM = 0x0046;  // on the text, its image or the rest of the row
// Item states.
constexpr UINT TVIS_SELECTED = 0x0002;
constexpr UINT TVIS_EXPANDED = 0x0020;

class CTreeCtrl : public CWnd {
 public:
  CTreeCtrl();
  ~CTreeCtrl() override;

  // Inserts an item under `parent` (TVI_ROOT: at the top) after `after`
  // (TVI_LAST, TVI_FIRST or a sibling). Null for a parent that is no item.
  HTREEITEM InsertItem(const QString& text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
  // Deletes the item with everything below it; TVI_ROOT deletes every item.
  bool DeleteItem(HTREEITEM item);
  bool DeleteAllItems() { return DeleteItem(TVI_ROOT); }
  // True for an item of this tree that has not been deleted.
  bool IsItem(HTREEITEM item) const;

  QString GetItemText(HTREEITEM item) const;
  bool SetItemText(HTREEITEM item, const QString& text);
  HTREEITEM GetRootItem() const;
  HTREEITEM GetParentItem(HTREEITEM item) const;
  HTREEITEM GetChildItem(HTREEITEM item) const;
  HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
  bool ItemHasChildren(HTREEITEM item) const;
  int GetCount() const;
  UINT GetItemState(HTREEITEM item) const;

  // Selects the item (null clears the selection), expanding its ancestors
  // and scrolling it into view.
  bool SelectItem(HTREEITEM item);
  HTREEITEM GetSelectedItem() const { return selected_; }
  bool Expand(HTREEITEM item, UINT code);
  bool EnsureVisible(HTREEITEM item);

  // The item whose row holds the point (client coordinates), or null;
  // `flags` receives where on it the point lies.
  HTREEITEM HitTest(CPoint p, UINT* flags = nullptr) const;
  // The item's row, or with `textOnly` its text rectangle; false when the
  // item is not visible (inside a collapsed parent).
  bool GetItemRect(HTREEITEM item, CRect& rect, bool textOnly) const;
  void SetItemHeight(int cy);
  int GetItemHeight() const { return itemHeight_; }
  void SetIndent(int cx);
  int GetIndent() const { return indent_; }
  int GetScrollPos() const { return scroll_; }
  int GetScrollMax() const;
  void SetScrollPos(int pos);
  // Accepts drops of local files (the accept-files style).
  void DragAcceptFiles(bool accept);

 protected:
  // Draws one visible item into its row; `state` holds TVIS_SELECTED and
  // TVIS_EXPANDED. The default draws the text on white, the selected item
  // on a light blue.
  virtual void DrawItem(QPainter& painter, HTREEITEM item, const CRect& row, UINT state);
  // Files dropped at the point (client coordinates), as local paths in the
  // bytes of the file system.
  virtual void OnDropFiles(const std::vector<std::string>& paths, CPoint p) { (void)paths; (void)p; }

  // The default: a press on an expand button toggles the item.
  bool OnLButtonDown(UINT flags, CPoint p) override;
  // The default: a double-click on an item toggles it.
  void OnLButtonDblClk(UINT flags, CPoint p) override;
  bool OnMouseWheel(UINT flags, short delta, CPoint screenPoint) override;
  void OnPaint(QPainter& painter) override;
  void OnSize(int cx, int cy) override;

  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  // The visible items in display order with their depths.
  struct Row {
    _TREEITEM* item;
    int depth;
  };
  std::vector<Row> VisibleRows() const;
  int RowIndex(HTREEITEM item) const;
  int RowWidth() const;
  void UpdateScrollBar();
  static bool LocalFiles(const class QMimeData* data, std::vector<std::string>* paths);

  std::unique_ptr<_TREEITEM> root_;  // holds the top-level items
  _TREEITEM* selected_ = nullptr;
  int itemHeight_ = 24;
  int indent_ = 20;
  int scroll_ = 0;  // in rows
  QScrollBar* scrollBar_ = nullptr;
};

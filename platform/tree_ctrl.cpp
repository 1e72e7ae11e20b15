#include "platform/tree_ctrl.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>

struct _TREEITEM {
  QString text;
  _TREEITEM* parent = nullptr;
  std::vector<std::unique_ptr<_TREEITEM>> children;
  bool expanded = false;
};

namespace {

_TREEITEM* Find(_TREEITEM* in, const _TREEITEM* wanted) {
  if (in == wanted) return in;
  for (auto& child : in->children)
    if (_TREEITEM* found = Find(child.get(), wanted)) return found;
  return nullptr;
}

}  // namespace

CTreeCtrl::CTreeCtrl() : root_(std::make_unique<_TREEITEM>()) {
  root_->expanded = true;
  scrollBar_ = new QScrollBar(Qt::Vertical, this);
  scrollBar_->hide();
  QObject::connect(scrollBar_, &QScrollBar::valueChanged, this, [this](int v) { SetScrollPos(v); });
}

CTreeCtrl::~CTreeCtrl() = default;

bool CTreeCtrl::IsItem(HTREEITEM item) const {
  return item && item != TVI_ROOT && item != TVI_FIRST && item != TVI_LAST && item != root_.get() &&
         Find(root_.get(), item) != nullptr;
}

HTREEITEM CTreeCtrl::InsertItem(const QString& text, HTREEITEM parent, HTREEITEM after) {
  _TREEITEM* p = parent == TVI_ROOT || !parent ? root_.get() : (IsItem(parent) ? parent : nullptr);
  if (!p) return nullptr;
  auto item = std::make_unique<_TREEITEM>();
  item->text = text;
  item->parent = p;
  _TREEITEM* raw = item.get();
  auto place = p->children.end();
  if (after == TVI_FIRST) {
    place = p->children.begin();
  } else if (after != TVI_LAST && after) {
    place = std::find_if(p->children.begin(), p->children.end(),
                         [after](const auto& c) { return c.get() == after; });
    if (place != p->children.end()) ++place;
  }
  p->children.insert(place, std::move(item));
  UpdateScrollBar();
  update();
  return raw;
}

bool CTreeCtrl::DeleteItem(HTREEITEM item) {
  if (item == TVI_ROOT) {
    root_->children.clear();
    selected_ = nullptr;
  } else {
    if (!IsItem(item)) return false;
    if (selected_ && Find(item, selected_)) selected_ = nullptr;
    auto& siblings = item->parent->children;
    siblings.erase(std::find_if(siblings.begin(), siblings.end(),
                                [item](const auto& c) { return c.get() == item; }));
  }
  UpdateScrollBar();
  update();
  return true;
}

QString CTreeCtrl::GetItemText(HTREEITEM item) const { return IsItem(item) ? item->text : QString(); }

bool CTreeCtrl::SetItemText(HTREEITEM item, const QString& text) {
  if (!IsItem(item)) return false;
  item->text = text;
  update();
  return true;
}

HTREEITEM CTreeCtrl::GetRootItem() const {
  return root_->children.empty() ? nullptr : root_->children.front().get();
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const {
  return IsItem(item) && item->parent != root_.get() ? item->parent : nullptr;
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const {
  const _TREEITEM* p = item == TVI_ROOT || !item ? root_.get() : (IsItem(item) ? item : nullptr);
  return p && !p->children.empty() ? p->children.front().get() : nullptr;
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
  if (!IsItem(item)) return nullptr;
  const auto& siblings = item->parent->children;
  for (std::size_t i = 0; i + 1 < siblings.size(); ++i)
    if (siblings[i].get() == item) return siblings[i + 1].get();
  return nullptr;
}

bool CTreeCtrl::ItemHasChildren(HTREEITEM item) const { return IsItem(item) && !item->children.empty(); }

int CTreeCtrl::GetCount() const {
  int n = 0;
  std::vector<const _TREEITEM*> todo{root_.get()};
  while (!todo.empty()) {
    const _TREEITEM* t = todo.back();
    todo.pop_back();
    for (const auto& c : t->children) {
      ++n;
      todo.push_back(c.get());
    }
  }
  return n;
}

UINT CTreeCtrl::GetItemState(HTREEITEM item) const {
  if (!IsItem(item)) return 0;
  return (item == selected_ ? TVIS_SELECTED : 0u) | (item->expanded ? TVIS_EXPANDED : 0u);
}

bool CTreeCtrl::SelectItem(HTREEITEM item) {
  if (item && !IsItem(item)) return false;
  selected_ = item;
  if (item) EnsureVisible(item);
  update();
  return true;
}

bool CTreeCtrl::Expand(HTREEITEM item, UINT code) {
  if (!IsItem(item)) return false;
  const bool was = item->expanded;
  item->expanded = code == TVE_EXPAND ? true : code == TVE_COLLAPSE ? false : !item->expanded;
  // A selection hidden inside a collapsed item moves up to that item.
  if (!item->expanded && selected_ && selected_ != item && Find(item, selected_)) selected_ = item;
  if (was != item->expanded) {
    UpdateScrollBar();
    update();
  }
  return true;
}

bool CTreeCtrl::EnsureVisible(HTREEITEM item) {
  if (!IsItem(item)) return false;
  for (_TREEITEM* p = item->parent; p && p != root_.get(); p = p->parent) p->expanded = true;
  UpdateScrollBar();
  const int row = RowIndex(item);
  const int rows = std::max(1, height() / itemHeight_);
  if (row < scroll_) SetScrollPos(row);
  else if (row >= scroll_ + rows) SetScrollPos(row - rows + 1);
  update();
  return true;
}

std::vector<CTreeCtrl::Row> CTreeCtrl::VisibleRows() const {
  std::vector<Row> rows;
  struct Frame {
    const _TREEITEM* item;
    int depth;
  };
  std::vector<Frame> todo;
  for (auto it = root_->children.rbegin(); it != root_->children.rend(); ++it) todo.push_back({it->get(), 0});
  while (!todo.empty()) {
    const Frame f = todo.back();
    todo.pop_back();
    rows.push_back({const_cast<_TREEITEM*>(f.item), f.depth});
    if (f.item->expanded)
      for (auto it = f.item->children.rbegin(); it != f.item->children.rend(); ++it)
        todo.push_back({it->get(), f.depth + 1});
  }
  return rows;
}

int CTreeCtrl::RowIndex(HTREEITEM item) const {
  const auto rows = VisibleRows();
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i].item == item) return static_cast<int>(i);
  return -1;
}

int CTreeCtrl::RowWidth() const {
  return width() - (scrollBar_->isVisible() ? scrollBar_->width() : 0);
}

HTREEITEM CTreeCtrl::HitTest(CPoint p, UINT* flags) const {
  if (flags) *flags = TVHT_NOWHERE;
  if (p.x < 0 || p.y < 0 || p.x >= RowWidth()) return nullptr;
  const auto rows = VisibleRows();
  const int index = scroll_ + p.y / itemHeight_;
  if (index >= static_cast<int>(rows.size())) return nullptr;
  const Row& row = rows[static_cast<std::size_t>(index)];
  if (flags) {
    const int buttonLeft = row.depth * indent_;
    const bool onButton = !row.item->children.empty() && p.x >= buttonLeft && p.x < buttonLeft + indent_;
    *flags = onButton ? TVHT_ONITEMBUTTON : TVHT_ONITEM;
  }
  return row.item;
}

bool CTreeCtrl::GetItemRect(HTREEITEM item, CRect& rect, bool textOnly) const {
  const auto rows = VisibleRows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].item != item) continue;
    const int top = (static_cast<int>(i) - scroll_) * itemHeight_;
    rect = CRect(textOnly ? (rows[i].depth + 1) * indent_ : 0, top, RowWidth(), top + itemHeight_);
    return true;
  }
  return false;
}

void CTreeCtrl::SetItemHeight(int cy) {
  itemHeight_ = std::max(1, cy);
  UpdateScrollBar();
  update();
}

void CTreeCtrl::SetIndent(int cx) {
  indent_ = std::max(0, cx);
  update();
}

int CTreeCtrl::GetScrollMax() const {
  const int rows = static_cast<int>(VisibleRows().size());
  return std::max(0, rows - std::max(1, height() / itemHeight_));
}

void CTreeCtrl::SetScrollPos(int pos) {
  const int clamped = std::clamp(pos, 0, GetScrollMax());
  if (clamped == scroll_) return;
  scroll_ = clamped;
  scrollBar_->setValue(scroll_);
  update();
}

void CTreeCtrl::UpdateScrollBar() {
  const int max = GetScrollMax();
  scrollBar_->setRange(0, max);
  scrollBar_->setPageStep(std::max(1, height() / itemHeight_));
  scrollBar_->setVisible(max > 0);
  scrollBar_->setGeometry(width() - scrollBar_->sizeHint().width(), 0, scrollBar_->sizeHint().width(), height());
  if (scroll_ > max) SetScrollPos(max);
}

void CTreeCtrl::DragAcceptFiles(bool accept) { setAcceptDrops(accept); }

void CTreeCtrl::DrawItem(QPainter& painter, HTREEITEM item, const CRect& row, UINT state) {
  const QRect r(row.left, row.top, row.Width(), row.Height());
  painter.fillRect(r, (state & TVIS_SELECTED) ? QColor(0xCC, 0xE4, 0xF7) : QColor(Qt::white));
  CRect text;
  GetItemRect(item, text, true);
  painter.setPen(Qt::black);
  painter.drawText(QRect(text.left, text.top, text.Width(), text.Height()),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, item->text);
}

void CTreeCtrl::OnPaint(QPainter& painter) {
  painter.fillRect(rect(), Qt::white);
  const auto rows = VisibleRows();
  const int visible = height() / itemHeight_ + 1;
  for (int i = scroll_; i < static_cast<int>(rows.size()) && i < scroll_ + visible; ++i) {
    const int top = (i - scroll_) * itemHeight_;
    DrawItem(painter, rows[static_cast<std::size_t>(i)].item, CRect(0, top, RowWidth(), top + itemHeight_),
             GetItemState(rows[static_cast<std::size_t>(i)].item));
  }
}

void CTreeCtrl::OnSize(int cx, int cy) {
  (void)cx;
  (void)cy;
  UpdateScrollBar();
}

bool CTreeCtrl::OnLButtonDown(UINT flags, CPoint p) {
  (void)flags;
  UINT where = 0;
  if (HTREEITEM item = HitTest(p, &where); item && where == TVHT_ONITEMBUTTON) Expand(item, TVE_TOGGLE);
  return true;
}

void CTreeCtrl::OnLButtonDblClk(UINT flags, CPoint p) {
  (void)flags;
  UINT where = 0;
  if (HTREEITEM item = HitTest(p, &where); item && where == TVHT_ONITEM) Expand(item, TVE_TOGGLE);
}

bool CTreeCtrl::OnMouseWheel(UINT flags, short delta, CPoint screenPoint) {
  (void)flags;
  (void)screenPoint;
  SetScrollPos(scroll_ - delta / 40);  // three rows a notch
  return true;
}

bool CTreeCtrl::LocalFiles(const QMimeData* data, std::vector<std::string>* paths) {
  if (!data || !data->hasUrls() || data->urls().isEmpty()) return false;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) return false;
    // The path's own bytes, undecoded: a name need not be valid text.
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (paths) paths->push_back(bytes.toStdString());
  }
  return true;
}

void CTreeCtrl::dragEnterEvent(QDragEnterEvent* e) {
  if (LocalFiles(e->mimeData(), nullptr)) e->acceptProposedAction();
}

void CTreeCtrl::dragMoveEvent(QDragMoveEvent* e) {
  const QPoint p = e->position().toPoint();
  if (LocalFiles(e->mimeData(), nullptr) && HitTest(CPoint(p.x(), p.y())))
    e->acceptProposedAction();
  else
    e->ignore();
}

void CTreeCtrl::dropEvent(QDropEvent* e) {
  std::vector<std::string> paths;
  if (!LocalFiles(e->mimeData(), &paths)) return;
  e->setDropAction(Qt::MoveAction);
  e->accept();
  // Handled once the drop has ended: the program the files came from is
  // not kept waiting while messages are shown.
  const QPoint p = e->position().toPoint();
  QMetaObject::invokeMethod(
      this, [this, paths, p] { OnDropFiles(paths, CPoint(p.x(), p.y())); }, Qt::QueuedConnection);
}

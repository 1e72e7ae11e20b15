#include "contracts/widgetta/list_view.h"

#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QMimeData>
#include <QPointer>
#include <QUrl>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include <set>

#include "contracts/fundara/files.h"
#include "contracts/fundara/thumbs.h"

namespace {

constexpr int kGap = 10;     // space around the cells
constexpr int kNameLine = 22;  // height of the name under the thumbnail

std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

QString NormalisedExt(const QString& ext) {
  QString e = ext.trimmed().toLower();
  if (e.startsWith(QLatin1Char('.'))) e.remove(0, 1);
  return e;
}

}  // namespace

bool NaturalLess(const QString& a, const QString& b) {
  int i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      int ei = i, ej = j;
      while (ei < a.size() && a[ei].isDigit()) ++ei;
      while (ej < b.size() && b[ej].isDigit()) ++ej;
      int si = i, sj = j;
      while (si < ei - 1 && a[si] == QLatin1Char('0')) ++si;
      while (sj < ej - 1 && b[sj] == QLatin1Char('0')) ++sj;
      if (ei - si != ej - sj) return ei - si < ej - sj;
      const int c = QStringView(a).mid(si, ei - si).compare(QStringView(b).mid(sj, ej - sj));
      if (c != 0) return c < 0;
      i = ei;
      j = ej;
      continue;
    }
    const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
    if (ca != cb) return ca < cb;
    ++i;
    ++j;
  }
  if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
  return a < b;
}


int CListViewEx::SetPath(const QString& folder) {
  folder_ = folder;
  items_.clear();
  current_ = anchor_ = -1;
  scroll_ = 0;
  QDir dir(folder);
  if (folder.isEmpty() || !dir.exists()) {
    update();
    return 0;
  }
  const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
  for (const QFileInfo& info : entries) items_.push_back(Item{info.absoluteFilePath()});
  SortItems();
  update();
  return 1;
}

void CListViewEx::SortItems() {
  std::stable_sort(items_.begin(), items_.end(), [](const Item& a, const Item& b) {
    return NaturalLess(QFileInfo(a.path).fileName(), QFileInfo(b.path).fileName());
  });
}

void CListViewEx::Refresh() {
  std::set<QString> selected;
  for (const Item& item : items_)
    if (item.selected) selected.insert(item.path);
  const QString current = GetItemPath(current_);
  const int scroll = scroll_;
  if (!folder_.isEmpty()) {
    SetPath(folder_);
  } else {
    // A list filled only by AddFile keeps the files that still exist.
    std::vector<Item> kept;
    for (Item& item : items_)
      if (QFileInfo::exists(item.path)) kept.push_back(Item{item.path});
    items_ = std::move(kept);
  }
  for (Item& item : items_) item.selected = selected.count(item.path) != 0;
  current_ = anchor_ = FindItem(current);
  SetScroll(scroll);
  update();
}

int CListViewEx::AddFile(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile()) return -1;
  const QString full = info.absoluteFilePath();
  int index = FindItem(full);
  if (index < 0) {
    items_.push_back(Item{full});
    index = GetItemCount() - 1;
  }
  EnsureVisible(index);
  update();
  return index;
}

int CListViewEx::UpdateLayer(int percent, int index) {
  if (index < 0 || index >= GetItemCount()) return 0;
  Item& item = items_[static_cast<std::size_t>(index)];
  item.percent = std::clamp(percent, 0, 100);
  item.loaded = false;  // read the picture again when next drawn
  item.thumb = QImage();
  if (item.percent == 100 && CThumbs::IsPictureFile(Utf8(item.path)))
    CThumbs().WriteThumb(Utf8(item.path));
  update();
  return 1;
}

QStringList CListViewEx::GetSelectFile(const QString& ext) const {
  const QString wanted = NormalisedExt(ext);
  QStringList out;
  for (const Item& item : items_) {
    if (!item.selected) continue;
    if (!wanted.isEmpty() && QFileInfo(item.path).suffix().toLower() != wanted) continue;
    out << item.path;
  }
  return out;
}

int CListViewEx::DelSelectFile() {
  if (GetSelectCount() == 0) return 0;
  bool all = true;
  std::vector<Item> kept;
  for (Item& item : items_) {
    if (!item.selected) {
      kept.push_back(std::move(item));
      continue;
    }
    const std::string path = Utf8(item.path);
    const std::string thumb = CThumbs::GetThumbPath(path);
    if (DelFile(path)) {
      QFile::remove(QString::fromStdString(thumb));
    } else if (QFileInfo::exists(item.path)) {
      all = false;
      kept.push_back(std::move(item));
    }
    // A file that vanished meanwhile simply leaves the list.
  }
  items_ = std::move(kept);
  current_ = anchor_ = -1;
  SetScroll(scroll_);
  update();
  NotifyParent(LVN_SELCHANGE);
  return all ? 1 : 0;
}

QString CListViewEx::GetItemPath(int index) const {
  if (index < 0 || index >= GetItemCount()) return {};
  return items_[static_cast<std::size_t>(index)].path;
}

int CListViewEx::FindItem(const QString& path) const {
  if (path.isEmpty()) return -1;
  const QString full = QFileInfo(path).absoluteFilePath();
  for (int i = 0; i < GetItemCount(); ++i)
    if (items_[static_cast<std::size_t>(i)].path == full) return i;
  return -1;
}

bool CListViewEx::IsSelected(int index) const {
  return index >= 0 && index < GetItemCount() && items_[static_cast<std::size_t>(index)].selected;
}

void CListViewEx::SetSelect(int index, bool select) {
  if (index < 0 || index >= GetItemCount()) return;
  items_[static_cast<std::size_t>(index)].selected = select;
  update();
}

void CListViewEx::SelectAll(bool select) {
  for (Item& item : items_) item.selected = select;
  update();
}

int CListViewEx::GetSelectCount() const {
  return static_cast<int>(std::count_if(items_.begin(), items_.end(),
                                        [](const Item& i) { return i.selected; }));
}

int CListViewEx::GetItemLayer(int index) const {
  if (index < 0 || index >= GetItemCount()) return 0;
  return items_[static_cast<std::size_t>(index)].percent;
}

void CListViewEx::SetItemSize(int cx, int cy) {
  cellW_ = std::max(32, cx);
  cellH_ = std::max(32, cy);
  for (Item& item : items_) item.loaded = false;
  SetScroll(scroll_);
  update();
}

int CListViewEx::Columns() const { return std::max(1, (width() - kGap) / (cellW_ + kGap)); }

CRect CListViewEx::GetItemRect(int index) const {
  if (index < 0 || index >= GetItemCount()) return {};
  const int cols = Columns();
  const int x = kGap + (index % cols) * (cellW_ + kGap);
  const int y = kGap + (index / cols) * (cellH_ + kGap) - scroll_;
  return CRect(x, y, x + cellW_, y + cellH_);
}

int CListViewEx::GetScrollMax() const {
  const int rows = (GetItemCount() + Columns() - 1) / Columns();
  const int content = kGap + rows * (cellH_ + kGap);
  return std::max(0, content - height());
}

void CListViewEx::SetScroll(int pos) {
  scroll_ = std::clamp(pos, 0, GetScrollMax());
  update();
}

void CListViewEx::EnsureVisible(int index) {
  const CRect r = GetItemRect(index);
  if (r.IsRectNull()) return;
  if (r.top < 0)
    SetScroll(scroll_ + r.top - kGap);
  else if (r.bottom > height())
    SetScroll(scroll_ + r.bottom - height() + kGap);
}

void CListViewEx::OnSize(int, int) { SetScroll(scroll_); }

int CListViewEx::HitTest(CPoint p) const {
  const int cols = Columns();
  const int col = (p.x - kGap) / (cellW_ + kGap);
  const int row = (p.y + scroll_ - kGap) / (cellH_ + kGap);
  if (p.x < kGap || p.y + scroll_ < kGap || col >= cols) return -1;
  const int index = row * cols + col;
  if (index >= GetItemCount()) return -1;
  return GetItemRect(index).PtInRect(p) ? index : -1;
}

bool CListViewEx::OnLButtonDown(UINT flags, CPoint p) {
  const int hit = HitTest(p);
  if (hit < 0) {
    if (!(flags & (MK_CONTROL | MK_SHIFT))) SelectAll(false);
    current_ = -1;
  } else if (flags & MK_SHIFT) {
    const int from = anchor_ >= 0 ? anchor_ : hit;
    if (!(flags & MK_CONTROL)) SelectAll(false);
    for (int i = std::min(from, hit); i <= std::max(from, hit); ++i) SetSelect(i, true);
    current_ = hit;
  } else if (flags & MK_CONTROL) {
    SetSelect(hit, !IsSelected(hit));
    current_ = anchor_ = hit;
  } else if (IsSelected(hit)) {
    // Perhaps the start of a drag of every selected file.
    pendingSelect_ = hit;
    current_ = anchor_ = hit;
  } else {
    SelectAll(false);
    SetSelect(hit, true);
    current_ = anchor_ = hit;
  }
  dragArmed_ = hit >= 0 && IsSelected(hit);
  pressPoint_ = p;
  update();
  NotifyParent(LVN_SELCHANGE);
  return true;
}

void CListViewEx::OnLButtonUp(UINT, CPoint) {
  dragArmed_ = false;
  if (pendingSelect_ < 0) return;
  const int only = pendingSelect_;
  pendingSelect_ = -1;
  SelectAll(false);
  SetSelect(only, true);
  update();
  NotifyParent(LVN_SELCHANGE);
}

void CListViewEx::OnMouseMove(UINT flags, CPoint p) {
  if (!dragArmed_ || !(flags & MK_LBUTTON)) return;
  if (std::abs(p.x - pressPoint_.x) + std::abs(p.y - pressPoint_.y) < QApplication::startDragDistance()) return;
  dragArmed_ = false;
  pendingSelect_ = -1;
  const QStringList files = GetSelectFile();
  if (files.isEmpty()) return;
  QPointer<CListViewEx> self(this);
  DragFilesOut(this, files);
  // The receiver may have moved the files away.
  if (self) Refresh();
}

Qt::DropAction DragFilesOut(QWidget* source, const QStringList& paths) {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  data->setUrls(urls);
  auto* drag = new QDrag(source);
  drag->setMimeData(data);
  return drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void CListViewEx::OnLButtonDblClk(UINT, CPoint p) {
  const int hit = HitTest(p);
  if (hit < 0) return;
  current_ = hit;
  NotifyParent(LVN_DBLCLK);
}

bool CListViewEx::OnMouseWheel(UINT, short delta, CPoint) {
  // One notch (120) scrolls by one row.
  SetScroll(scroll_ - delta * (cellH_ + kGap) / 120);
  return true;
}

void CListViewEx::LoadThumb(Item& item) const {
  item.loaded = true;
  item.thumb = QImage();
  const std::string path = Utf8(item.path);
  if (!CThumbs::IsPictureFile(path)) return;
  if (!CThumbs::IsThumbFresh(path)) CThumbs().WriteThumb(path);
  QImage thumb(QString::fromStdString(CThumbs::GetThumbPath(path)));
  if (thumb.isNull()) {
    // No cache to write to: read the picture itself at the cell's size.
    QImageReader reader(item.path);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid())
      reader.setScaledSize(full.scaled(cellW_, cellH_ - kNameLine, Qt::KeepAspectRatio)
                               .expandedTo(QSize(1, 1)));
    thumb = reader.read();
  }
  if (!thumb.isNull()) item.thumb = thumb.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void CListViewEx::OnPaint(QPainter& painter) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  QFont font = caption_.GetFont();
  painter.setFont(font);
  for (int i = 0; i < GetItemCount(); ++i) {
    const CRect r = GetItemRect(i);
    if (r.bottom <= 0 || r.top >= height()) continue;
    Item& item = items_[static_cast<std::size_t>(i)];
    if (!item.loaded) LoadThumb(item);
    const QRect cell(r.left, r.top, r.Width(), r.Height());
    const QRect picture(cell.left() + 4, cell.top() + 4, cell.width() - 8,
                        cell.height() - kNameLine - 8);
    if (item.selected) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(QColor(ui_style::kSelect.red(), ui_style::kSelect.green(),
                              ui_style::kSelect.blue(), 48));
      painter.drawRoundedRect(QRectF(cell), 6, 6);
    }
    if (!item.thumb.isNull()) {
      DrawImage(painter, item.thumb, picture);
    } else {
      // A page with a folded corner and the file's extension.
      const int h = picture.height();
      const int w = h * 3 / 4;
      const QRectF page(picture.center().x() - w / 2.0, picture.top(), w, h);
      const qreal fold = w / 4.0;
      QPolygonF shape({page.topLeft(), QPointF(page.right() - fold, page.top()),
                       QPointF(page.right(), page.top() + fold), page.bottomRight(),
                       page.bottomLeft()});
      painter.setPen(QPen(ui_style::kInk, 2));
      painter.setBrush(ui_style::kPaper);
      painter.drawPolygon(shape);
      painter.setBrush(ui_style::kTile);
      painter.setPen(Qt::NoPen);
      const QRectF band(page.left(), page.center().y() - 12, page.width(), 24);
      painter.drawRect(band);
      painter.setPen(ui_style::kGlyph);
      QFont bold = font;
      bold.setBold(true);
      painter.setFont(bold);
      painter.drawText(band, Qt::AlignCenter, QFileInfo(item.path).suffix().toUpper());
      painter.setFont(font);
    }
    if (item.percent < 100) {
      // The progress layer: a veil over the picture and a bar along its foot.
      painter.setPen(Qt::NoPen);
      painter.setBrush(QColor(255, 255, 255, 150));
      painter.drawRect(picture);
      const QRectF bar(picture.left() + 8, picture.bottom() - 14, picture.width() - 16, 8);
      painter.setBrush(ui_style::kTrack);
      painter.drawRoundedRect(bar, 4, 4);
      painter.setBrush(ui_style::kOver);
      painter.drawRoundedRect(QRectF(bar.left(), bar.top(), bar.width() * item.percent / 100.0, bar.height()), 4, 4);
    }
    if (item.selected) {
      painter.setPen(QPen(ui_style::kSelect, 3));
      painter.setBrush(Qt::NoBrush);
      painter.drawRoundedRect(QRectF(cell).adjusted(1.5, 1.5, -1.5, -1.5), 6, 6);
    }
    painter.setPen(isEnabled() ? caption_.GetColor() : ui_style::kMuted);
    CUICaption::DrawText(painter, QFileInfo(item.path).fileName(),
                         QRect(cell.left() + 4, cell.bottom() - kNameLine - 2, cell.width() - 8, kNameLine),
                         DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
  }
  // A thin scroll indicator on the right when the files do not all fit.
  const int maxScroll = GetScrollMax();
  if (maxScroll > 0) {
    const qreal total = maxScroll + height();
    const qreal h = std::max<qreal>(24, height() * height() / total);
    const qreal y = (height() - h) * scroll_ / maxScroll;
    painter.setPen(Qt::NoPen);
    painter.setBrush(ui_style::kMuted);
    painter.drawRoundedRect(QRectF(width() - 6, y, 4, h), 2, 2);
  }
  painter.restore();
}

#include "contracts/widgetta/path_bar.h"

#include <QDir>
#include <QFontMetrics>
#include <QPainter>

namespace {

constexpr int kPad = 8;
constexpr int kArrow = 16;

QString Clean(const QString& path) {
  QString p = QDir::cleanPath(QString(path).replace(QLatin1Char('\\'), QLatin1Char('/')));
  while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) p.chop(1);
  return p;
}

}  // namespace

void CPathBar::SetRootPath(const QString& root) {
  root_ = Clean(root);
  segments_.clear();
  hot_ = -1;
  update();
}

int CPathBar::SetPath(const QString& path) {
  if (root_.isEmpty()) return 0;
  const QString p = Clean(path);
  if (p == root_) {
    segments_.clear();
  } else {
    const QString prefix = root_.endsWith(QLatin1Char('/')) ? root_ : root_ + QLatin1Char('/');
    if (!p.startsWith(prefix)) return 0;
    segments_ = p.mid(prefix.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
  }
  hot_ = -1;
  update();
  return 1;
}

QString CPathBar::GetPath() const { return GetSegmentPath(GetSegmentCount() - 1); }

QString CPathBar::GetSegmentText(int index) const {
  if (index == 0) {
    const int slash = root_.lastIndexOf(QLatin1Char('/'));
    const QString name = root_.mid(slash + 1);
    return name.isEmpty() ? root_ : name;
  }
  if (index < 0 || index > segments_.size()) return {};
  return segments_[index - 1];
}

QString CPathBar::GetSegmentPath(int index) const {
  if (index < 0 || index >= GetSegmentCount() || root_.isEmpty()) return {};
  QString p = root_;
  for (int i = 0; i < index; ++i) {
    if (!p.endsWith(QLatin1Char('/'))) p += QLatin1Char('/');
    p += segments_[i];
  }
  return p;
}

std::vector<CPathBar::Slot> CPathBar::Layout() const {
  const QFontMetrics metrics(caption_.GetFont());
  const int count = GetSegmentCount();
  std::vector<int> widths(static_cast<std::size_t>(count));
  int total = 0;
  for (int i = 0; i < count; ++i) {
    widths[static_cast<std::size_t>(i)] = metrics.horizontalAdvance(GetSegmentText(i)) + 2 * kPad;
    total += widths[static_cast<std::size_t>(i)] + (i ? kArrow : 0);
  }
  // Fold segments 1, 2, … into the mark until the rest fits.
  const int markWidth = metrics.horizontalAdvance(QStringLiteral("…")) + 2 * kPad + kArrow;
  int firstShown = 1;
  while (total > width() && firstShown < count - 1) {
    total -= widths[static_cast<std::size_t>(firstShown)] + kArrow;
    if (firstShown == 1) total += markWidth;
    ++firstShown;
  }
  std::vector<Slot> cells;
  int x = 0;
  auto add = [&](int index, int w) {
    cells.push_back({index, QRect(x, 0, w, height())});
    x += w + kArrow;
  };
  add(0, widths[0]);
  if (firstShown > 1) add(-1, markWidth - kArrow);
  for (int i = firstShown; i < count; ++i) add(i, widths[static_cast<std::size_t>(i)]);
  return cells;
}

int CPathBar::HitTest(CPoint p) const {
  for (const Slot& s : Layout())
    if (s.index >= 0 && s.box.contains(p.x, p.y)) return s.index;
  return -1;
}

bool CPathBar::OnLButtonDown(UINT, CPoint p) {
  const int hit = HitTest(p);
  if (hit < 0) return false;
  segments_ = segments_.mid(0, hit);
  hot_ = -1;
  update();
  NotifyParent(PBN_SELCHANGE);
  return true;
}

void CPathBar::OnMouseMove(UINT, CPoint p) {
  const int hit = HitTest(p);
  if (hit != hot_) {
    hot_ = hit;
    update();
  }
}

void CPathBar::OnMouseLeave() {
  if (hot_ != -1) {
    hot_ = -1;
    update();
  }
}

void CPathBar::OnPaint(QPainter& painter) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setFont(caption_.GetFont());
  const int last = GetSegmentCount() - 1;
  const QColor text = caption_.GetColor();
  bool first = true;
  for (const Slot& s : Layout()) {
    if (!first) {
      // The arrow between two segments.
      const qreal cx = s.box.left() - kArrow / 2.0;
      const qreal cy = height() / 2.0;
      painter.setPen(QPen(ui_style::kMuted, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      painter.drawPolyline(QPolygonF({QPointF(cx - 3, cy - 5), QPointF(cx + 2, cy), QPointF(cx - 3, cy + 5)}));
    }
    first = false;
    if (s.index == hot_) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(ui_style::kOver);
      painter.drawRoundedRect(QRectF(s.box).adjusted(1, 3, -1, -3), 5, 5);
    }
    QFont font = caption_.GetFont();
    font.setBold(s.index == last);
    painter.setFont(font);
    painter.setPen(s.index == hot_ ? ui_style::kGlyph : (isEnabled() ? text : ui_style::kMuted));
    const QString label = s.index < 0 ? QStringLiteral("…") : GetSegmentText(s.index);
    CUICaption::DrawText(painter, label, s.box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  painter.restore();
}

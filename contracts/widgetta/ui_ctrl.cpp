#include "contracts/widgetta/ui_ctrl.h"

#include <QFontMetrics>
#include <QPainter>

#include "contracts/fundara/font.h"

void CUICaption::Set(const _MYCONTROL* control, const _MYLANGUAGE* language, const _MYFONT* font) {
  text_.clear();
  color_ = Qt::black;
  format_ = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  rect_ = CRect();
  if (language) {
    text_ = QString::fromStdU16String(language->value);
    color_ = ColorFromRef(language->color);
    format_ = language->format;
  }
  font_ = FontOf(font ? font->logfont.get() : nullptr);
  if (control && control->textTable && (*control->textTable)[0].languageId != -1)
    rect_ = (*control->textTable)[0].rect;
}

QFont CUICaption::FontOf(const LOGFONTW* logfont) {
  if (logfont) return CSetFont(*logfont).GetFont();
  CSetFont fallback;
  fallback.SetFont("Microsoft YaHei", -14);
  return fallback.GetFont();
}

void CUICaption::DrawText(QPainter& painter, const QString& text, const QRect& box, UINT format) {
  if (text.isEmpty() || box.isEmpty()) return;
  int flags = 0;
  if (format & DT_CENTER)
    flags |= Qt::AlignHCenter;
  else if (format & DT_RIGHT)
    flags |= Qt::AlignRight;
  else
    flags |= Qt::AlignLeft;
  // Vertical placement is honoured for every text, not only single lines:
  // a centred caption of two lines is what a reader of the layout expects.
  if (format & DT_VCENTER)
    flags |= Qt::AlignVCenter;
  else if (format & DT_BOTTOM)
    flags |= Qt::AlignBottom;
  else
    flags |= Qt::AlignTop;
  QString shown = text;
  if (format & DT_SINGLELINE) {
    shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
    flags |= Qt::TextSingleLine;
  } else if (format & DT_WORDBREAK) {
    flags |= Qt::TextWordWrap;
  }
  if (!(format & DT_NOPREFIX)) flags |= Qt::TextShowMnemonic;
  if ((format & DT_END_ELLIPSIS) && (format & DT_SINGLELINE))
    shown = QFontMetrics(painter.font()).elidedText(shown, Qt::ElideRight, box.width());
  painter.drawText(box, flags, shown);
}

void CUICaption::Draw(QPainter& painter, const QRect& client, bool enabled) const {
  if (text_.isEmpty()) return;
  QRect box = client;
  if (!rect_.IsRectEmpty()) box = QRect(rect_.left, rect_.top, rect_.Width(), rect_.Height());
  painter.save();
  painter.setFont(font_);
  painter.setPen(enabled ? color_ : ui_style::kMuted);
  DrawText(painter, text_, box, format_);
  painter.restore();
}

CUICtrl::CUICtrl() {
  // Controls leave the keyboard with their window, so that Enter and
  // Escape reach the owner's key filter.
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_Hover, true);
}

bool CUICtrl::Create(const QString& windowName, UINT style, const CRect& rect, CWnd* parent,
                     UINT id) {
  if (!CWnd::Create(Kind::Child, windowName, rect, parent, id)) return false;
  caption_.SetText(windowName);
  ShowWindow((style & WS_VISIBLE) ? SW_SHOW : SW_HIDE);
  return true;
}

bool CUICtrl::Build(CWnd* parent, int id, const _MYCONTROL* control, const _MYLANGUAGE* language,
                    const _MYFONT* font) {
  const CRect rect = control ? control->rect : CRect();
  if (!CWnd::Create(Kind::Child, QString(), rect, parent, static_cast<UINT>(id))) return false;
  caption_.Set(control, language, font);
  type_.clear();
  imgRect_ = clickRect_ = CRect();
  mask_ = 0;
  normalPath_ = overPath_ = selectPath_ = bgPath_ = QString();
  setToolTip(QString());
  if (control) {
    type_ = QString::fromStdU16String(control->type).trimmed().toLower();
    imgRect_ = control->imgRect;
    clickRect_ = control->clickRect;
    mask_ = control->maskColor;
    setToolTip(QString::fromStdU16String(control->tip));
    normalPath_ = UIImagePath(control->normalImg);
    overPath_ = UIImagePath(control->overImg);
    selectPath_ = UIImagePath(control->selectImg);
    bgPath_ = UIImagePath(control->bgImg);
  }
  ReloadImages();
  ShowWindow(control ? SW_SHOW : SW_HIDE);
  update();
  return true;
}

void CUICtrl::ReloadImages() {
  auto load = [this](const QString& path, QSize size, bool stretch) {
    QImage image = LoadUIPicture(path, size, stretch);
    ApplyMaskColour(image, mask_);
    return image;
  };
  normalImg_ = load(normalPath_, ImageSize(), false);
  overImg_ = load(overPath_, ImageSize(), false);
  selectImg_ = load(selectPath_, ImageSize(), false);
  bgImg_ = load(bgPath_, size(), true);
  loadedSize_ = size();
  update();
}

bool CUICtrl::SetImages(const QString& normal, const QString& over, const QString& select) {
  normalPath_ = normal;
  overPath_ = over;
  selectPath_ = select;
  ReloadImages();
  return !normalImg_.isNull();
}

void CUICtrl::resizeEvent(QResizeEvent* e) {
  // SVG artwork is drawn anew at the new size so that it stays sharp.
  auto isSvg = [](const QString& p) { return p.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive); };
  if (size() != loadedSize_ &&
      (isSvg(normalPath_) || isSvg(overPath_) || isSvg(selectPath_) || isSvg(bgPath_)))
    ReloadImages();
  CWnd::resizeEvent(e);
}

void CUICtrl::SetBackground(const QImage& surface, const CRect& rect) {
  if (surface.isNull() || rect.IsRectEmpty()) {
    background_ = QImage();
  } else {
    background_ = surface.copy(rect.left, rect.top, rect.Width(), rect.Height());
  }
  update();
}

CRect CUICtrl::GetClickRect() const {
  return clickRect_.IsRectEmpty() ? GetClientRect() : clickRect_;
}

QSize CUICtrl::ImageSize() const {
  if (!imgRect_.IsRectEmpty()) return QSize(imgRect_.Width(), imgRect_.Height());
  return size();
}

QRect CUICtrl::ImageRect() const {
  if (!imgRect_.IsRectEmpty())
    return QRect(imgRect_.left, imgRect_.top, imgRect_.Width(), imgRect_.Height());
  return rect();
}

bool CUICtrl::OnEraseBkgnd(QPainter& painter) {
  if (!background_.isNull()) painter.drawImage(rect(), background_);
  if (!bgImg_.isNull()) painter.drawImage(rect(), bgImg_);
  return true;
}

void CUICtrl::DrawImage(QPainter& painter, const QImage& image, const QRect& box) const {
  if (image.isNull() || box.isEmpty()) return;
  QSize fitted = image.size();
  if (fitted.width() > box.width() || fitted.height() > box.height() || fitted != box.size())
    fitted = image.size().scaled(box.size(), Qt::KeepAspectRatio);
  const QRect target(box.x() + (box.width() - fitted.width()) / 2,
                     box.y() + (box.height() - fitted.height()) / 2, fitted.width(),
                     fitted.height());
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  if (isEnabled()) {
    painter.drawImage(target, image);
  } else {
    // Disabled: the picture's grey values at less than half its opacity.
    QImage grey = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(grey.scanLine(y));
      for (int x = 0; x < grey.width(); ++x) {
        const int g = qGray(row[x]);
        row[x] = qRgba(g, g, g, qAlpha(row[x]) * 45 / 100);
      }
    }
    painter.drawImage(target, grey);
  }
  painter.restore();
}

void CUICtrl::NotifyParent(UINT code) {
  QObject* parent = parentWidget();
  if (!parent) return;
  PostMessage(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), code),
              reinterpret_cast<LPARAM>(static_cast<HWND>(this)));
}

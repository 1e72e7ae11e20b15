#include "app/paint_layers.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

#include "app/app_messages.h"
#include "app/paint_canvas.h"
#include "overlay/overlay_messages.h"

namespace {
constexpr int kBackgroundCtrl = 1;
constexpr int kChartCtrl = 2;
constexpr int kSwatchCtrl = 3;
constexpr int kTextCtrl = 4;
constexpr int kSliderCtrl = 5;
constexpr int kRowsCtrl = 2;
constexpr int kEditFontId = 80;  // the text window's font in "paint_logfont.xml"
constexpr int kLabelFontId = 81;
const QColor kPopupBack(0x22, 0x31, 0x3F);
const QColor kPopupEdge(0x4A, 0x5A, 0x6A);

QColor FromRef(COLORREF c, int alpha = 255) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, alpha); }

QFont LabelFont(const CXmlListMgr& layout) {
  const _MYFONT* f = layout.GetMyFont(kLabelFontId);
  return CUICaption::FontOf(f ? f->logfont.get() : nullptr);
}

// A chequered square under translucent colours.
void DrawChequer(QPainter& p, const QRect& r) {
  p.fillRect(r, Qt::white);
  for (int y = r.top(); y <= r.bottom(); y += 6)
    for (int x = r.left() + ((y - r.top()) / 6 % 2) * 6; x <= r.right(); x += 12)
      p.fillRect(QRect(x, y, 6, 6).intersected(r), QColor(0xC8, 0xC8, 0xC8));
}
}  // namespace

void SetPaintTips(const CXmlListMgr& layout, const std::vector<CWnd*>& controls) {
  for (CWnd* c : controls)
    if (const _MYLANGUAGE* text = layout.GetLanguage(static_cast<int>(c->GetDlgCtrlID())))
      c->setToolTip(QString::fromStdU16String(text->value));
}

// ---- Pop-ups ------------------------------------------------------------------------------------

CPaintPopup::CPaintPopup() { OnMessage(WM_LAYER_DRAW, &CPaintPopup::OnLayerDraw); }

bool CPaintPopup::Create(CWnd* owner, int setWindow) {
  owner_ = owner;
  layout_.LoadSet(u"paint", setWindow);
  CRect rect = layout_.GetBgRect(kBackgroundCtrl);
  if (rect.IsRectEmpty()) rect = CRect(0, 0, 120, 120);
  CWnd::Create(Kind::Tool, QString(), rect, nullptr, static_cast<UINT>(setWindow));
  SetTopMost(true);
  Build();
  ShowWindow(SW_HIDE);
  return true;
}

void CPaintPopup::ShowAt(CPoint topRight) {
  const CRect work = GetWorkArea();
  int x = std::clamp(topRight.x - width(), work.left, std::max(work.left, work.right - width()));
  int y = std::clamp(topRight.y, work.top, std::max(work.top, work.bottom - height()));
  move(x, y);
  ShowWindow(SW_SHOW);
  raise();
}

void CPaintPopup::Choose(LPARAM value) {
  if (owner_) PostMessage(owner_, WM_POPUP_CHOICE, reinterpret_cast<WPARAM>(static_cast<QObject*>(this)), value);
}

LRESULT CPaintPopup::OnLayerDraw(WPARAM, LPARAM) {
  update();
  return 1;
}

bool CPaintPopup::OnEraseBkgnd(QPainter& painter) {
  painter.fillRect(rect(), kPopupBack);
  painter.setPen(kPopupEdge);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  return true;
}

// ---- Button choosers ----------------------------------------------------------------------------

CChoiceLayer::CChoiceLayer(std::vector<Entry> entries) : entries_(std::move(entries)) {
  OnMessage(WM_COMMAND, &CChoiceLayer::OnCommand);
}

void CChoiceLayer::Build() {
  std::vector<CWnd*> controls;
  for (const Entry& e : entries_) {
    auto button = std::make_unique<CGdiBtnEx>();
    CRect rect;
    layout_.LoadGdiBtn(*button, rect, this, e.ctrlId);
    controls.push_back(button.get());
    buttons_.push_back(std::move(button));
  }
  SetPaintTips(layout_, controls);
}

CGdiBtnEx* CChoiceLayer::Button(int value) const {
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].value == value) return buttons_[i].get();
  return nullptr;
}

LRESULT CChoiceLayer::OnCommand(WPARAM wParam, LPARAM) {
  if (HIWORD(wParam) != BN_CLICKED) return 0;
  for (const Entry& e : entries_)
    if (e.ctrlId == static_cast<int>(LOWORD(wParam))) {
      ShowWindow(SW_HIDE);
      Choose(e.value);
      return 1;
    }
  return 0;
}

CLineTypeLayer::CLineTypeLayer()
    : CChoiceLayer({{11, LINE_ARROW}, {12, LINE_FREE}, {13, LINE_DASH}, {14, LINE_STRAIGHT}}) {}

CToolLayer::CToolLayer()
    : CChoiceLayer({{11, PAINT_TEXT},
                    {12, PAINT_TRIANGLE},
                    {13, PAINT_ELLIPSE},
                    {14, PAINT_CIRCLE},
                    {15, PAINT_RECT},
                    {16, PAINT_SELECT}}) {}

// ---- Widths -------------------------------------------------------------------------------------

CRect CLineWidthLayer::RowRect(int row) const {
  const CRect area = layout_.GetBgRect(kRowsCtrl).IsRectEmpty() ? CRect(4, 4, width() - 4, height() - 4)
                                                                 : layout_.GetBgRect(kRowsCtrl);
  const int n = static_cast<int>(std::size(kWidths));
  const int h = area.Height() / n;
  return CRect(area.left, area.top + row * h, area.right, area.top + (row + 1) * h);
}

int CLineWidthLayer::RowAt(CPoint p) const {
  for (int i = 0; i < static_cast<int>(std::size(kWidths)); ++i)
    if (RowRect(i).PtInRect(p)) return i;
  return -1;
}

void CLineWidthLayer::OnPaint(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < static_cast<int>(std::size(kWidths)); ++i) {
    const CRect r = RowRect(i);
    if (i == hover_) painter.fillRect(ToQRect(r), ui_style::kOver);
    QPen pen(ui_style::kGlyph);
    pen.setWidth(kWidths[i]);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    const int y = (r.top + r.bottom) / 2;
    painter.drawLine(r.left + 8 + kWidths[i] / 2, y, r.right - 8 - kWidths[i] / 2, y);
  }
}

bool CLineWidthLayer::OnLButtonDown(UINT, CPoint p) {
  pressed_ = RowAt(p);
  return true;
}

void CLineWidthLayer::OnLButtonUp(UINT, CPoint p) {
  const int row = RowAt(p);
  if (row >= 0 && row == pressed_) {
    ShowWindow(SW_HIDE);
    Choose(kWidths[row]);
  }
  pressed_ = -1;
}

void CLineWidthLayer::OnMouseMove(UINT, CPoint p) {
  const int row = RowAt(p);
  if (row != hover_) {
    hover_ = row;
    update();
  }
}

void CLineWidthLayer::OnMouseLeave() {
  hover_ = -1;
  update();
}

// ---- Colour chart -------------------------------------------------------------------------------

COLORREF CColorLayer::CellColour(int column, int row) {
  const int block = column / 6 + 3 * (row / 6);
  const BYTE red = static_cast<BYTE>(block * 51);
  const BYTE green = static_cast<BYTE>((row % 6) * 51);
  const BYTE blue = static_cast<BYTE>((column % 6) * 51);
  return RGB(red, green, blue);
}

QString CColorLayer::ColourText(COLORREF c) {
  const unsigned rgb = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
  return QString::asprintf("0x%.6x", rgb).toUpper();
}

CRect CColorLayer::ChartRect() const {
  CRect r = layout_.GetBgRect(kChartCtrl);
  if (r.IsRectEmpty()) r = CRect(8, 8, 8, 8);
  return CRect(r.left, r.top, r.left + kColumns * kCell, r.top + kRows * kCell);
}

bool CColorLayer::CellAt(CPoint p, int& column, int& row) const {
  const CRect chart = ChartRect();
  if (!chart.PtInRect(p)) return false;
  column = (p.x - chart.left) / kCell;
  row = (p.y - chart.top) / kCell;
  return true;
}

QImage CColorLayer::RenderChart() const {
  QImage chart(kColumns * kCell + 1, kRows * kCell + 1, QImage::Format_RGB32);
  chart.fill(Qt::black);
  QPainter p(&chart);
  for (int row = 0; row < kRows; ++row)
    for (int column = 0; column < kColumns; ++column)
      p.fillRect(column * kCell + 1, row * kCell + 1, kCell - 1, kCell - 1, FromRef(CellColour(column, row)));
  if (hoverColumn_ >= 0) {
    // A white frame two pixels wide inside the hovered cell's grid lines.
    const QRect cell(hoverColumn_ * kCell + 1, hoverRow_ * kCell + 1, kCell - 1, kCell - 1);
    p.fillRect(cell, Qt::white);
    p.fillRect(cell.adjusted(2, 2, -2, -2), FromRef(CellColour(hoverColumn_, hoverRow_)));
  }
  return chart;
}

long long CColorLayer::PickAt(CPoint p) const {
  int column = 0, row = 0;
  if (!CellAt(p, column, row)) return -1;
  const QRgb px = RenderChart().pixel(column * kCell + kCell / 2, row * kCell + kCell / 2);
  return RGB(static_cast<BYTE>(qRed(px)), static_cast<BYTE>(qGreen(px)), static_cast<BYTE>(qBlue(px)));
}

void CColorLayer::OnPaint(QPainter& painter) {
  const CRect chart = ChartRect();
  painter.drawImage(chart.left, chart.top, RenderChart());
  if (hoverColumn_ < 0) return;
  const COLORREF colour = CellColour(hoverColumn_, hoverRow_);
  const CRect swatch = layout_.GetBgRect(kSwatchCtrl);
  painter.fillRect(ToQRect(swatch), FromRef(colour));
  painter.setPen(Qt::white);
  painter.setFont(LabelFont(layout_));
  painter.drawText(ToQRect(layout_.GetBgRect(kTextCtrl)), Qt::AlignLeft | Qt::AlignVCenter, ColourText(colour));
}

bool CColorLayer::OnLButtonDown(UINT, CPoint p) {
  pressed_ = PickAt(p);
  return true;
}

void CColorLayer::OnLButtonUp(UINT, CPoint p) {
  const long long released = PickAt(p);
  if (released >= 0 && released == pressed_) {
    ShowWindow(SW_HIDE);
    Choose(static_cast<LPARAM>(released));
  }
  pressed_ = -1;
}

void CColorLayer::OnMouseMove(UINT, CPoint p) {
  int column = -1, row = -1;
  if (!CellAt(p, column, row)) column = row = -1;
  if (column == hoverColumn_ && row == hoverRow_) return;
  hoverColumn_ = column;
  hoverRow_ = row;
  update();
}

void CColorLayer::OnMouseLeave() {
  hoverColumn_ = hoverRow_ = -1;
  update();
}

// ---- Alpha ----------------------------------------------------------------------------------------

CAlphaLayer::CAlphaLayer() {
  OnMessage(WM_HSCROLL, &CAlphaLayer::OnScroll);
  OnMessage(WM_VSCROLL, &CAlphaLayer::OnScroll);
}

void CAlphaLayer::Build() {
  CRect rect;
  layout_.LoadGdiSlider(slider_, rect, this, kSliderCtrl);
  slider_.SetRange(0, 100);
  slider_.SetPageSize(10);
}

void CAlphaLayer::SetSlot(COLORREF colour, int alpha) {
  colour_ = colour;
  slider_.SetPos((alpha * 100 + 127) / 255);
  update();
}

LRESULT CAlphaLayer::OnScroll(WPARAM wParam, LPARAM) {
  update();
  const UINT code = LOWORD(wParam);
  if (code == TB_THUMBTRACK) return 0;  // only shown while the thumb is dragged
  Choose(AlphaOfPercent(slider_.GetPos()));
  if (code == TB_ENDTRACK) ShowWindow(SW_HIDE);
  return 1;
}

void CAlphaLayer::OnPaint(QPainter& painter) {
  const QRect swatch = ToQRect(layout_.GetBgRect(kSwatchCtrl));
  DrawChequer(painter, swatch);
  painter.fillRect(swatch, FromRef(colour_, AlphaOfPercent(slider_.GetPos())));
  painter.setPen(Qt::white);
  painter.setFont(LabelFont(layout_));
  painter.drawText(ToQRect(layout_.GetBgRect(kTextCtrl)), Qt::AlignCenter, PercentText());
}

// ---- Text window ----------------------------------------------------------------------------------

CEditLayer::CEditLayer() = default;

bool CEditLayer::Create(CWnd* target) {
  target_ = target;
  layout_.LoadSet(u"paint", PAINT_SET_EDIT);
  CWnd::Create(Kind::Tool, QString(), CRect(0, 0, 120, 40), nullptr, PAINT_SET_EDIT);
  SetTopMost(true);
  edit_ = new QPlainTextEdit(this);
  edit_->setFrameShape(QFrame::NoFrame);
  edit_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  edit_->document()->setDocumentMargin(1);
  if (const _MYFONT* f = layout_.GetMyFont(kEditFontId); f && f->logfont) font_ = *f->logfont;
  else {
    font_.lfHeight = -24;
    font_.lfWeight = 700;
  }
  edit_->setFont(CUICaption::FontOf(&font_));
  ShowWindow(SW_HIDE);
  return true;
}

CRect CEditLayer::BoxFor(CPoint press, CPoint release) const {
  CRect r(press.x, press.y, release.x, release.y);
  r.NormalizeRect();
  const int line = QFontMetrics(CUICaption::FontOf(&font_)).height() + 6;
  r.right = std::max(r.right, r.left + 120);
  r.bottom = std::max(r.bottom, r.top + line);
  return r;
}

void CEditLayer::Open(const CRect& screenRect, QColor colour) {
  edit_->clear();
  edit_->setStyleSheet(QStringLiteral("QPlainTextEdit { background: #FFFFF4; color: %1; border: 1px dashed #555; }")
                           .arg(colour.name()));
  MoveWindow(screenRect);
  ShowWindow(SW_SHOW);
  raise();
  activateWindow();
  edit_->setFocus();
}

void CEditLayer::Confirm() {
  if (!isVisible()) return;
  ShowWindow(SW_HIDE);
  const QString text = edit_->toPlainText();
  if (target_) SendMessage(target_, WM_PAINT_TEXT, reinterpret_cast<WPARAM>(&text), reinterpret_cast<LPARAM>(&font_));
  edit_->clear();
}

void CEditLayer::OnSize(int cx, int cy) {
  if (edit_) edit_->setGeometry(0, 0, cx, cy);
}

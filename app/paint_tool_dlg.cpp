#include "app/paint_tool_dlg.h"

#include <QPainter>

#include <algorithm>

#include "app/app_messages.h"
#include "app/main_frame.h"
#include "app/paint_dlg.h"
#include "app/settings.h"
#include "canvas/gdisurface.h"
#include "contracts/fundara/language.h"
#include "contracts/fundara/names.h"
#include "contracts/fundara/thumbs.h"
#include "contracts/widgetta/ui_image.h"
#include "imaging/picture_codec.h"
#include "platform/dialogs.h"
#include "platform/hotkey.h"

namespace {

constexpr UINT IDD_PAINT_TOOL = 146;
constexpr int kPopupGap = 4;
constexpr int kSwatchHeight = 4;
constexpr int kFadingSlot = 4;
constexpr int kShapeSlot = 0;

constexpr CPenSlot kDefaultSlots[5] = {
    {LINE_SHAPE, 255, RGB(0, 255, 0), 7},   {LINE_ARROW, 255, RGB(0, 0, 0), 5},
    {LINE_FREE, 255, RGB(255, 0, 0), 10},   {LINE_FREE, 128, RGB(0, 255, 0), 20},
    {LINE_FREE, 255, RGB(255, 0, 0), 5},
};

// The buttons of the full palette, top to bottom, and of the short one.
constexpr int kFullCommands[] = {
    CPaintToolDlg::CMD_FOLD,  CPaintToolDlg::CMD_MOUSE,  CPaintToolDlg::CMD_PEN1,     CPaintToolDlg::CMD_PEN2,
    CPaintToolDlg::CMD_PEN3,  CPaintToolDlg::CMD_PEN4,   CPaintToolDlg::CMD_ERASER,   CPaintToolDlg::CMD_CLEAR,
    CPaintToolDlg::CMD_COLOR, CPaintToolDlg::CMD_WIDTH,  CPaintToolDlg::CMD_ALPHA,    CPaintToolDlg::CMD_LINETYPE,
    CPaintToolDlg::CMD_SHAPE, CPaintToolDlg::CMD_SAVE,   CPaintToolDlg::CMD_EXIT,
};
// The buttons of which one shows as selected: what the mouse does now.
constexpr int kModeCommands[] = {CPaintToolDlg::CMD_MOUSE, CPaintToolDlg::CMD_PEN1,   CPaintToolDlg::CMD_PEN2,
                                 CPaintToolDlg::CMD_PEN3,  CPaintToolDlg::CMD_PEN4,   CPaintToolDlg::CMD_ERASER,
                                 CPaintToolDlg::CMD_SHAPE};

const QColor kPaletteBack(0x14, 0x20, 0x2B);

QColor SlotColour(const CPenSlot& s) {
  return QColor(s.colour & 0xFF, (s.colour >> 8) & 0xFF, (s.colour >> 16) & 0xFF, s.alpha);
}

}  // namespace

bool FilterPaintKey(UINT vk) {
  if (vk == VK_ESCAPE) {
    if (auto* frame = dynamic_cast<CMainFrame*>(GetMainWnd())) frame->FilterKeyDown(vk);
    return true;
  }
  return vk == VK_RETURN;
}

void CPenButton::OnPaint(QPainter& painter) {
  CGdiBtnEx::OnPaint(painter);
  if (!swatch_) return;
  const QRect strip(4, height() - kSwatchHeight - 2, width() - 8, kSwatchHeight);
  painter.fillRect(strip, Qt::white);
  painter.fillRect(strip, *swatch_);
}

CPaintToolDlg::CPaintToolDlg() {
  std::copy(std::begin(kDefaultSlots), std::end(kDefaultSlots), slots_.begin());
  OnMessage(WM_COMMAND, &CPaintToolDlg::OnCommand);
  OnMessage(WM_POPUP_CHOICE, &CPaintToolDlg::OnPopupChoice);
  OnMessage(WM_HOTKEY, &CPaintToolDlg::OnHotKey);
}

CPaintToolDlg::~CPaintToolDlg() { SetHotKey(false); }

bool CPaintToolDlg::Create(CPaintDlg* paint) {
  paint_ = paint;
  full_.LoadSet(u"paint", PAINT_SET_PALETTE);
  short_.LoadSet(u"paint", PAINT_SET_SHORT);
  const CSize screen = GetScreenSize();
  CWnd::Create(Kind::Tool, QString(), CRect(screen.cx - 70, 30, screen.cx - 70 + kWidth, 30 + kCreateHeight), nullptr,
               IDD_PAINT_TOOL);
  SetTopMost(true);
  SetDragByBackground(true);
  std::vector<CWnd*> fullControls, shortControls;
  for (int command : kFullCommands) {
    auto button = std::make_unique<CPenButton>();
    CRect rect;
    full_.LoadGdiBtn(*button, rect, this, command);
    fullControls.push_back(button.get());
    buttons_.push_back(std::move(button));
  }
  auto unfold = std::make_unique<CPenButton>();
  CRect rect;
  short_.LoadGdiBtn(*unfold, rect, this, CMD_UNFOLD);
  unfold->ShowWindow(SW_HIDE);
  shortControls.push_back(unfold.get());
  buttons_.push_back(std::move(unfold));
  SetPaintTips(full_, fullControls);
  SetPaintTips(short_, shortControls);

  color_.Create(this, PAINT_SET_COLOR);
  alpha_.Create(this, PAINT_SET_ALPHA);
  width_.Create(this, PAINT_SET_WIDTH);
  lineType_.Create(this, PAINT_SET_LINETYPE);
  tool_.Create(this, PAINT_SET_TOOL);
  SelectButton(CMD_MOUSE);
  UpdateButtons();
  ShowWindow(SW_HIDE);
  return true;
}

CGdiBtnEx* CPaintToolDlg::Button(int command) const {
  for (const auto& b : buttons_)
    if (static_cast<int>(b->GetDlgCtrlID()) == command) return b.get();
  return nullptr;
}

// ---- Commands -----------------------------------------------------------------------------------

LRESULT CPaintToolDlg::OnCommand(WPARAM wParam, LPARAM) {
  if (HIWORD(wParam) != BN_CLICKED) return 0;
  Command(static_cast<int>(LOWORD(wParam)));
  return 1;
}

void CPaintToolDlg::Command(int command) {
  if (!paint_) return;
  CPaintCanvas& canvas = paint_->Canvas();
  // A text being typed is kept before anything else happens.
  paint_->EditLayer().Confirm();
  const bool popupCommand = command == CMD_COLOR || command == CMD_WIDTH || command == CMD_ALPHA ||
                            command == CMD_LINETYPE || command == CMD_SHAPE;
  if (!popupCommand) HidePopups();
  switch (command) {
    case CMD_FOLD: Fold(); break;
    case CMD_UNFOLD: Unfold(); break;
    case CMD_MOUSE:
      slot_ = kNoSlot;
      canvas.SetTool(PAINT_NONE);
      SelectButton(CMD_MOUSE);
      break;
    case CMD_PEN1:
    case CMD_PEN2:
    case CMD_PEN3:
    case CMD_PEN4:
      slot_ = command - CMD_PEN1 + 1;
      ApplySlot();
      SelectButton(command);
      break;
    case CMD_ERASER:
      slot_ = kNoSlot;
      canvas.SetTool(PAINT_ERASER);
      SelectButton(CMD_ERASER);
      break;
    case CMD_CLEAR: canvas.ClearAll(); break;
    // Colour, width and alpha change the current pen, the line type only
    // that of pens 1-4: without such a pen (mouse, eraser) they do nothing
    // (their buttons are greyed out then).
    case CMD_COLOR:
      if (slot_ != kNoSlot) ShowPopup(color_, command);
      break;
    case CMD_WIDTH:
      if (slot_ != kNoSlot) ShowPopup(width_, command);
      break;
    case CMD_ALPHA:
      if (slot_ != kNoSlot) {
        alpha_.SetSlot(slots_[static_cast<std::size_t>(slot_)].colour, slots_[static_cast<std::size_t>(slot_)].alpha);
        ShowPopup(alpha_, command);
      }
      break;
    case CMD_LINETYPE:
      if (slot_ > kShapeSlot) ShowPopup(lineType_, command);
      break;
    case CMD_SHAPE: ShowPopup(tool_, command); break;
    case CMD_SAVE: Save(); break;
    case CMD_EXIT:
      canvas.SetTool(PAINT_NONE);
      slot_ = kNoSlot;
      SelectButton(CMD_MOUSE);
      if (CWnd* main = GetMainWnd()) PostMessage(main, WM_SWITCH_MODE, SWITCH_FROM_MODE_MENU, MODE_BACK);
      break;
    default: return;
  }
  UpdateButtons();
}

void CPaintToolDlg::ApplySlot() {
  if (!paint_ || slot_ == kNoSlot) return;
  const CPenSlot& s = slots_[static_cast<std::size_t>(slot_)];
  paint_->Canvas().ApplySettings(s.lineType, s.Argb(), s.width, slot_ == kFadingSlot ? 1 : 0);
}

LRESULT CPaintToolDlg::OnPopupChoice(WPARAM wParam, LPARAM lParam) {
  Choice(dynamic_cast<CWnd*>(reinterpret_cast<QObject*>(wParam)), lParam);
  return 1;
}

void CPaintToolDlg::Choice(CWnd* popup, LPARAM value) {
  if (!paint_ || !popup) return;
  if (popup == &tool_) {
    slot_ = kShapeSlot;
    paint_->Canvas().SetTool(static_cast<int>(value));
    SelectButton(CMD_SHAPE);
  } else if (slot_ == kNoSlot) {
    return;
  } else {
    CPenSlot& s = slots_[static_cast<std::size_t>(slot_)];
    if (popup == &lineType_ && slot_ > kShapeSlot)
      s.lineType = static_cast<int>(value);
    else if (popup == &color_)
      s.colour = static_cast<COLORREF>(value) & 0xFFFFFF;
    else if (popup == &width_)
      s.width = static_cast<int>(value);
    else if (popup == &alpha_)
      s.alpha = static_cast<BYTE>(std::clamp<LPARAM>(value, 0, 255));
    else
      return;
  }
  ApplySlot();
  UpdateButtons();
}

void CPaintToolDlg::SelectButton(int command) {
  for (int c : kModeCommands)
    if (CGdiBtnEx* b = Button(c)) b->SetCheck(c == command ? 1 : 0);
}

QString CPaintToolDlg::PenIcon(int slot) const {
  switch (slots_[static_cast<std::size_t>(slot)].lineType) {
    case LINE_STRAIGHT: return QStringLiteral("paint_line");
    case LINE_DASH: return QStringLiteral("paint_dash");
    case LINE_ARROW: return QStringLiteral("paint_arrow");
    default: break;
  }
  if (slot == 3) return QStringLiteral("paint_highlighter");
  if (slot == kFadingSlot) return QStringLiteral("paint_fade");
  return QStringLiteral("paint_pen");
}

void CPaintToolDlg::UpdateButtons() {
  for (int slot = 1; slot <= 4; ++slot) {
    auto* b = static_cast<CPenButton*>(Button(CMD_PEN1 + slot - 1));
    if (!b) continue;
    const QString icon = PenIcon(slot);
    b->SetImages(UIImagePath(icon + QStringLiteral("_normal.svg")), UIImagePath(icon + QStringLiteral("_over.svg")),
                 UIImagePath(icon + QStringLiteral("_select.svg")));
    b->SetSwatch(SlotColour(slots_[static_cast<std::size_t>(slot)]));
  }
  if (auto* b = static_cast<CPenButton*>(Button(CMD_SHAPE))) b->SetSwatch(SlotColour(slots_[kShapeSlot]));
  const bool pen = slot_ != kNoSlot;
  for (int c : {CMD_COLOR, CMD_WIDTH, CMD_ALPHA})
    if (CGdiBtnEx* b = Button(c)) b->EnableWindow(pen);
  if (CGdiBtnEx* b = Button(CMD_LINETYPE)) b->EnableWindow(slot_ > kShapeSlot);
  if (auto* b = static_cast<CPenButton*>(Button(CMD_COLOR)))
    b->SetSwatch(pen ? std::optional<QColor>(SlotColour(slots_[static_cast<std::size_t>(slot_)])) : std::nullopt);
}

// ---- Pop-ups ------------------------------------------------------------------------------------

void CPaintToolDlg::ShowPopup(CPaintPopup& popup, int command) {
  const bool wasShown = popup.isVisible();
  HidePopups();
  if (wasShown) return;  // a second click on the button closes it
  int top = GetWindowRect().top;
  if (CGdiBtnEx* b = Button(command)) top = b->GetWindowRect().top;
  popup.ShowAt(CPoint(GetWindowRect().left - kPopupGap, top));
}

void CPaintToolDlg::HidePopups() {
  for (CWnd* p : std::initializer_list<CWnd*>{&color_, &alpha_, &width_, &lineType_, &tool_}) p->ShowWindow(SW_HIDE);
}

// ---- Folding and moving -------------------------------------------------------------------------

void CPaintToolDlg::Fold() {
  const CRect work = GetWorkArea();
  const CRect now = GetWindowRect();
  const int bottom = std::min(now.bottom, work.bottom);
  for (int c : kFullCommands)
    if (CGdiBtnEx* b = Button(c)) b->ShowWindow(SW_HIDE);
  if (CGdiBtnEx* b = Button(CMD_UNFOLD)) b->ShowWindow(SW_SHOW);
  MoveWindow(CRect(now.left, bottom - kShortHeight, now.left + kWidth, bottom));
  folded_ = true;
  PaletteMoved();
}

void CPaintToolDlg::Unfold() {
  const CRect work = GetWorkArea();
  const CRect now = GetWindowRect();
  CRect r(now.left, now.bottom - kFullHeight, now.left + kWidth, now.bottom);
  if (r.top < work.top) r = CRect(now.left, work.top, now.left + kWidth, work.top + kClippedHeight);
  if (CGdiBtnEx* b = Button(CMD_UNFOLD)) b->ShowWindow(SW_HIDE);
  for (int c : kFullCommands)
    if (CGdiBtnEx* b = Button(c)) b->ShowWindow(SW_SHOW);
  MoveWindow(r);
  folded_ = false;
  PaletteMoved();
}

void CPaintToolDlg::PaletteMoved() {
  // Without a compositing manager the canvas shows a picture of the screen
  // taken earlier, with the palette where it was then.
  if (paint_) paint_->RefreshBackdrop();
}

bool CPaintToolDlg::OnLButtonDown(UINT, CPoint) {
  pressPos_ = pos();
  HidePopups();
  return false;  // the background drags the palette
}

void CPaintToolDlg::OnLButtonUp(UINT, CPoint) {
  if (pos() != pressPos_) PaletteMoved();
}

bool CPaintToolDlg::OnEraseBkgnd(QPainter& painter) {
  painter.fillRect(rect(), kPaletteBack);
  // A grip along the foot: the palette is dragged by its background.
  painter.setPen(QColor(0x7A, 0x85, 0x91));
  for (int y = height() - 14; y < height() - 4; y += 3) painter.drawLine(10, y, width() - 10, y);
  return true;
}

bool CPaintToolDlg::OnMouseWheel(UINT, short delta, CPoint) {
  if (paint_) paint_->Canvas().Wheel(delta);
  return true;
}

bool CPaintToolDlg::PreTranslateKeyDown(UINT vk) { return FilterPaintKey(vk); }

// ---- Hot key ------------------------------------------------------------------------------------

void CPaintToolDlg::SetHotKey(bool on) {
  if (on && !hotKey_)
    hotKey_ = RegisterHotKey(this, PAINT_HOTKEY_ESCAPE, 0, VK_ESCAPE);
  else if (!on && hotKey_) {
    UnregisterHotKey(this, PAINT_HOTKEY_ESCAPE);
    hotKey_ = false;
  }
}

LRESULT CPaintToolDlg::OnHotKey(WPARAM id, LPARAM) {
  if (static_cast<int>(id) != PAINT_HOTKEY_ESCAPE || !paint_) return 0;
  if (paint_->Canvas().GetTool() != PAINT_NONE)
    Command(CMD_MOUSE);
  else
    FilterPaintKey(VK_ESCAPE);
  return 1;
}

// ---- Saving -------------------------------------------------------------------------------------

int CPaintToolDlg::Save() {
  HidePopups();
  QImage picture;
  bool captured = false;
  if (screen_) {
    captured = screen_(picture);
  } else {
    CGDISurface surface;
    captured = surface.Init() && surface.GetSurfaceImage(GetWorkArea(), picture);
  }
  const int type = camcfg::ReadInt(camcfg::kOutput, camcfg::kImageType, camcfg::kDefaultImageType);
  const std::string path = captured && !picture.isNull() ? GetJpgNamePath("", PictureTypeExtension(type)) : "";
  if (path.empty() || !WritePicture(path, picture)) {
    if (!path.empty()) ReleaseFileName(path);
    const QString failed = QString::fromStdString(GetLanguageText("baocunshibai", "保存失败！"));
    MessageBox(this, failed, failed, MB_OK | MB_ICONERROR);
    return 0;
  }
  CThumbs().WriteThumb(path);
  MessageBox(this, QString::fromStdString(path), QString::fromStdString(GetLanguageText("baocunchenggong", "保存成功！")),
             MB_OK | MB_ICONINFORMATION);
  return 1;
}

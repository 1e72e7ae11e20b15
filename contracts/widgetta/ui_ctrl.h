#pragma once
// The base of every owner-drawn control: a child window built from the
// layout records. It keeps the control's images (normal, over, selected,
// background), its caption (text, colour, layout flags, font), its tip and
// type, and draws its background either from a copy of the parent's
// surface or not at all, so that what the parent painted shows through.

#include <QFont>
#include <QImage>
#include <QString>

#include <cstdint>

#include "contracts/widgetta/ui_image.h"
#include "contracts/widgetta/ui_records.h"
#include "platform/window.h"

// Text-layout flags of a caption ("format" of a text).
constexpr UINT DT_TOP = 0x0000;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_NOPREFIX = 0x0800;
constexpr UINT DT_END_ELLIPSIS = 0x8000;

// Window styles understood by CUICtrl::Create.
constexpr UINT WS_CHILD = 0x40000000;
constexpr UINT WS_VISIBLE = 0x10000000;
constexpr UINT WS_TABSTOP = 0x00010000;

// The colours of the drawn parts, matching the artwork in data/images:
// dark slate tiles, blue for the pointer, orange for the selection, white
// glyphs — readable on a projector.
namespace ui_style {
inline const QColor kTile(0x22, 0x31, 0x3F);
inline const QColor kOver(0x17, 0x69, 0xD1);
inline const QColor kSelect(0xC2, 0x41, 0x0C);
inline const QColor kGlyph(0xFF, 0xFF, 0xFF);
inline const QColor kInk(0x14, 0x20, 0x2B);
inline const QColor kPaper(0xF4, 0xF6, 0xF8);
inline const QColor kMuted(0x7A, 0x85, 0x91);
inline const QColor kTrack(0x4A, 0x5A, 0x6A);
}  // namespace ui_style

// A caption: the text of a _MYLANGUAGE drawn with a _MYFONT.
class CUICaption {
 public:
  // Takes text, colour and flags from `language` and the font from `font`;
  // `control`'s first text entry gives the rectangle (relative to the
  // control) when it has one. Null records leave the caption empty, black,
  // centred on one line, in the default interface font.
  void Set(const _MYCONTROL* control, const _MYLANGUAGE* language, const _MYFONT* font);

  void SetText(const QString& text) { text_ = text; }
  const QString& GetText() const { return text_; }
  QColor GetColor() const { return color_; }
  void SetColor(const QColor& c) { color_ = c; }
  UINT GetFormat() const { return format_; }
  const QFont& GetFont() const { return font_; }
  const CRect& GetRect() const { return rect_; }

  // Draws the caption into `client` (or its own rectangle inside it).
  // A disabled caption is drawn in the muted colour.
  void Draw(QPainter& painter, const QRect& client, bool enabled = true) const;
  // Draws `text` with the flags of the text-drawing call.
  static void DrawText(QPainter& painter, const QString& text, const QRect& box, UINT format);

  // The font of a LOGFONTW (CJK face names substituted); the interface
  // font (14 pixels) for null.
  static QFont FontOf(const LOGFONTW* logfont);

 private:
  QString text_;
  QColor color_{Qt::black};
  UINT format_ = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  QFont font_ = FontOf(nullptr);
  CRect rect_;
};

class CUICtrl : public CWnd {
 public:
  CUICtrl();

  // Creates the control as a child of `parent` with child id `id`. The
  // window name becomes its caption; WS_VISIBLE in `style` shows it.
  bool Create(const QString& windowName, UINT style, const CRect& rect, CWnd* parent, UINT id);

  // Builds the control from its records (any of them may be null): child
  // of `parent` with id `id`, at the control's rectangle, with its images,
  // tip, type, mask colour and caption. Shown when the control record
  // exists; hidden otherwise, until the owner moves and shows it.
  virtual bool Build(CWnd* parent, int id, const _MYCONTROL* control,
                     const _MYLANGUAGE* language, const _MYFONT* font);

  // The part of the parent's surface that lies under the control: the
  // rectangle `rect` of `surface` is copied and drawn as background. Without
  // one, what the parent painted shows through.
  void SetBackground(const QImage& surface, const CRect& rect);
  const QImage& GetBackground() const { return background_; }

  CUICaption& Caption() { return caption_; }
  const CUICaption& Caption() const { return caption_; }
  void SetCaptionText(const QString& text) { caption_.SetText(text); update(); }
  const QString& GetType() const { return type_; }
  std::uint32_t GetMaskColor() const { return mask_; }
  // Area reacting to clicks: the control's "clickRect", else the whole control.
  CRect GetClickRect() const;

  // The images of the states; null when the record named none.
  const QImage& GetNormalImage() const { return normalImg_; }
  const QImage& GetOverImage() const { return overImg_; }
  const QImage& GetSelectImage() const { return selectImg_; }
  const QImage& GetBgImage() const { return bgImg_; }
  // Replaces a state image from a file (e.g. for a button made by code).
  bool SetImages(const QString& normal, const QString& over = {}, const QString& select = {});

 protected:
  bool OnEraseBkgnd(QPainter& painter) override;
  // Size the state images are drawn at: the "imgRect" size, else the control's.
  virtual QSize ImageSize() const;
  // Where the state images are drawn (client coordinates).
  QRect ImageRect() const;
  // Draws `image` fitted into `box` (kept aspect, centred); disabled
  // pictures are drawn grey and faded.
  void DrawImage(QPainter& painter, const QImage& image, const QRect& box) const;
  // Reads the state and background pictures again at the current sizes.
  void ReloadImages();
  void resizeEvent(QResizeEvent* e) override;
  // Posts WM_COMMAND with `code` to the parent, lParam the control's handle.
  void NotifyParent(UINT code);

  CUICaption caption_;
  QString type_;
  QImage normalImg_, overImg_, selectImg_, bgImg_;
  QString normalPath_, overPath_, selectPath_, bgPath_;  // full paths
  QSize loadedSize_;
  CRect imgRect_, clickRect_;
  std::uint32_t mask_ = 0;
  QImage background_;
};

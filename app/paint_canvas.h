#pragma once
// CPaintCanvas: the drawing of the annotation window. It keeps two layers
// of the window's client size — the committed layer (everything drawn and
// kept) and the working layer (the committed layer plus what is being
// drawn) — and a list of placed objects (shapes and text boxes that can be
// moved and resized later), and presents the result on its layered window.
//
// Alpha rules of the layers: with no tool (tool 9) the background is fully
// transparent and the window lets the mouse through; while a drawing tool
// is chosen the background has alpha 1, so that the whole screen receives
// the mouse while the desktop still shows. Going to tool 9 clears the lowest
// alpha bit of every pixel (AND 0xFEFFFFFF: 1 becomes 0, 255 becomes 254),
// coming back sets it again (XOR 0x01000000: 0 becomes 1, 254 becomes 255).
//
// A drag runs as press, moves and release; the tool that started it (the
// drag kind) decides what each step does, so a tool change in between
// cannot mix two kinds of drawing.

#include <QImage>
#include <QString>

#include <memory>
#include <vector>

#include "canvas/bufferdc.h"
#include "canvas/gdidc.h"
#include "platform/window.h"

// The text window's report: a text box was dragged; wParam points to the
// press and release points (CPoint[2], valid during the call).
constexpr UINT WM_PAINT_TEXTBOX = 3029;
// Text window → paint window: the text was confirmed; wParam points to the
// text (const QString*), lParam to the text window's LOGFONTW, both valid
// during the call.
constexpr UINT WM_PAINT_TEXT = 3024;

// Line types of the pen settings.
constexpr int LINE_FREE = 8192;
constexpr int LINE_STRAIGHT = 8193;
constexpr int LINE_DASH = 8194;
constexpr int LINE_ARROW = 8195;
constexpr int LINE_SHAPE = 8196;
constexpr int LINE_NONE = 8197;

// Tools.
constexpr int PAINT_FREE = 0;
constexpr int PAINT_LINE = 1;
constexpr int PAINT_ERASER = 2;
constexpr int PAINT_RECT = 3;
constexpr int PAINT_CIRCLE = 4;
constexpr int PAINT_ELLIPSE = 5;
constexpr int PAINT_TRIANGLE = 6;
constexpr int PAINT_SELECT = 7;
constexpr int PAINT_TEXT = 8;
constexpr int PAINT_NONE = 9;

// Grips of the selected object.
constexpr int GRIP_NONE = 0;
constexpr int GRIP_TOPLEFT = 1;
constexpr int GRIP_TOPRIGHT = 3;
constexpr int GRIP_BOTTOMRIGHT = 5;
constexpr int GRIP_BOTTOMLEFT = 7;
constexpr int GRIP_BODY = 10;

// The fading pen's timer.
constexpr UINT PAINT_FADE_TIMER = 1;
constexpr int PAINT_FADE_MS = 300;

class CPaintCanvas {
 public:
  // A placed object: its image drawn scaled into its rectangle.
  struct Object {
    std::unique_ptr<QImage> image;
    CRect rect;
  };

  CPaintCanvas() = default;
  ~CPaintCanvas() = default;
  CPaintCanvas(const CPaintCanvas&) = delete;
  CPaintCanvas& operator=(const CPaintCanvas&) = delete;

  // Makes the window a layered window without a task-bar entry, creates
  // both layers at its client size cleared to 0 and creates the pen.
  int Attach(CWnd* window);
  // The client size changed: new layers of the new size with the old
  // committed content at the same place, then everything redrawn.
  void Resize();
  // Pen settings: line type (which chooses the tool), ARGB colour, width and
  // the fade flag. While a stroke fades they wait for its end.
  void ApplySettings(int lineType, Gdiplus::ARGB colour, int width, int fade);
  void SetTool(int tool);

  // The mouse, in client coordinates.
  void Press(CPoint p);
  void Move(CPoint p);
  void Release(CPoint p);
  // A wheel turn of `delta` (120 a notch).
  void Wheel(short delta);
  // A tick of the fade timer.
  void Timer(UINT id);
  void EndFade();

  // Removes every object and everything drawn.
  void ClearAll();
  // A text object from the confirmed text of the text window placed at
  // `editRect` (client coordinates); 0 for an empty text or an image that
  // cannot be made.
  int AddText(const QString& text, const LOGFONTW* font, const CRect& editRect);
  // Committed layer plus objects (and, with the select tool, the top
  // object's frame) presented on the window.
  void Redraw();

  // State, for the windows around the canvas and for tests.
  int GetTool() const { return tool_; }
  int GetLineType() const { return lineType_; }
  int GetDragKind() const { return dragKind_; }
  int GetGrip() const { return grip_; }
  float GetEraserScale() const { return eraserScale_; }
  bool IsFading() const { return fadeTimer_ != 0; }
  Gdiplus::ARGB GetPenColor() const { return pen_.GetPenColor(); }
  float GetPenWidth() const { return pen_.GetPenWidth(); }
  const std::vector<Object>& Objects() const { return objects_; }
  const QImage* Committed() const { return DCImage(committed_.GetBufferDC()); }
  const QImage* Working() const { return DCImage(working_.GetBufferDC()); }
  std::size_t StrokePoints() const { return points_.size(); }
  CWnd* Window() const { return window_; }

  // Smallest side of an object while a corner is dragged: two grip squares.
  static constexpr int kMinObjectSide = 16;

 private:
  bool Ready() const { return window_ && committed_.GetBufferDC() && working_.GetBufferDC(); }
  // The background value of the current tool: 0 in tool 9, alpha 1 otherwise.
  Gdiplus::ARGB Background() const;
  // Applies the stored settings to the pen (the faded pen gets its colour back).
  void ApplyPen();
  // Working layer = committed layer.
  void RefreshWorking();
  // The objects drawn in list order over `dc`.
  void DrawObjects(HDC dc);
  // What lies above the layers on the window: the objects and, with the
  // select tool, the top object's frame.
  void DrawAbove(HDC dc);
  void Present(const CBufferDC& buffer);
  // The base (committed or working layer) plus the objects presented.
  void RedrawOver(const CBufferDC& base);
  // Combines every pixel of the layer with a constant value by a raster operation.
  void Combine(CBufferDC& layer, Gdiplus::ARGB value, DWORD rop);
  // Working layer = committed layer plus the stroke of a drag of that kind
  // (freehand through the points, else the line from press to last point).
  void DrawStroke(int kind);
  // The stroke's pixels on the working layer, over what is there; a
  // freehand stroke from its point `from` on.
  void InkStroke(int kind, std::size_t from = 0);
  // A move of a stroke that is shown whole: only the part of the window
  // that the move changes is drawn again (with the same pixels a whole
  // redraw gives) and presented. False when that cannot be done; the
  // caller then draws everything.
  bool MoveShownStroke(CPoint p);
  void ShowEraser(CPoint p, int angle);
  void PressSelect(CPoint p);
  void MoveSelect(CPoint p);
  void ReleaseShape(CPoint p);
  void UpdateCursor();

  CWnd* window_ = nullptr;
  CGdiDC pen_;
  CBufferDC committed_;
  CBufferDC working_;
  CBufferDC scratch_;
  std::vector<Object> objects_;
  int lineType_ = LINE_NONE;
  Gdiplus::ARGB colour_ = 0;
  int width_ = 1;
  int fade_ = 0;
  UINT fadeTimer_ = 0;
  int fadeKind_ = PAINT_FREE;  // the kind of the stroke that fades
  int tool_ = PAINT_NONE;
  std::vector<CPoint> points_;
  CPoint press_;
  CPoint last_;
  int grip_ = GRIP_NONE;
  float eraserScale_ = 1.0f;
  int dragKind_ = PAINT_NONE;
  // The window shows scratch_, which is the working layer (the committed
  // layer plus the stroke in progress as the points, press and last point
  // give it) with what lies above: set by drawing a stroke whole, cleared
  // by anything else that draws on a layer or presents.
  bool strokeShown_ = false;
};

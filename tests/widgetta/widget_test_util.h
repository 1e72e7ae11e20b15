#pragma once
// Helpers of the control tests: a parent window that records what its
// controls report, and layout records made in code.

#include <QApplication>
#include <QTest>

#include <memory>
#include <vector>

#include "contracts/widgetta/widgetta.h"
#include "tests/support/test_app.h"

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace widgetta_test {

struct Report {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

// A top-level window on a light background that records WM_COMMAND,
// WM_HSCROLL and WM_VSCROLL.
class ParentWnd : public CWnd {
 public:
  explicit ParentWnd(const CRect& rect = CRect(0, 0, 640, 480)) {
    Create(Kind::Popup, "parent", rect);
    for (UINT m : {WM_COMMAND, WM_HSCROLL, WM_VSCROLL})
      OnMessage(m, [this, m](WPARAM w, LPARAM l) -> LRESULT {
        reports.push_back({m, w, l});
        return 0;
      });
  }
  // Lets posted reports arrive.
  void Pump() { QCoreApplication::processEvents(); QCoreApplication::processEvents(); }
  std::vector<Report> Take() {
    Pump();
    auto out = std::move(reports);
    reports.clear();
    return out;
  }
  std::vector<Report> reports;

 protected:
  bool OnEraseBkgnd(QPainter& p) override {
    p.fillRect(rect(), ui_style::kPaper);
    return true;
  }
};

inline LPARAM HandleOf(CWnd& w) { return reinterpret_cast<LPARAM>(static_cast<HWND>(&w)); }

inline std::unique_ptr<_MYCONTROL> Control(int id, CRect rect, std::u16string normal = {},
                                           std::u16string over = {}, std::u16string select = {},
                                           int languageId = -1) {
  auto c = std::make_unique<_MYCONTROL>();
  c->id = id;
  c->rect = rect;
  c->normalImg = std::move(normal);
  c->overImg = std::move(over);
  c->selectImg = std::move(select);
  c->textTable = std::make_unique<MyCtrlTextTable>();
  (*c->textTable)[0].languageId = languageId;
  return c;
}

inline std::unique_ptr<_MYLANGUAGE> Language(int id, std::u16string text, std::uint32_t color,
                                             std::uint32_t format, int logfontId = 1) {
  auto l = std::make_unique<_MYLANGUAGE>();
  l->id = id;
  l->value = std::move(text);
  l->color = color;
  l->format = format;
  l->logfontId = logfontId;
  return l;
}

inline std::unique_ptr<_MYFONT> Font(int id, int height, const char16_t* face, int weight = 400) {
  auto f = std::make_unique<_MYFONT>();
  f->id = id;
  f->logfont = std::make_unique<LOGFONTW>();
  f->logfont->lfHeight = height;
  f->logfont->lfWeight = weight;
  for (int i = 0; face[i] && i < LF_FACESIZE - 1; ++i) f->logfont->lfFaceName[i] = face[i];
  return f;
}

// The control as it is drawn now.
inline QImage Shot(QWidget& w) {
  QImage image(w.size(), QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

}  // namespace widgetta_test

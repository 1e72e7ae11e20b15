#pragma once
// Driving the real program on an X server from the outside, for the
// end-to-end tests and the start-up benchmark: clicks through XTEST,
// screen grabs, and the places of the windows on the screen.

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QImage>
#include <QProcess>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "canvas/screengrabber.h"
#include "tests/support/wait.h"

namespace x_session {

// One step of the pointer: move to the point, then press or release the
// left button there (or neither).
struct MouseStep {
  int x;
  int y;
  enum Button { None, Press, Release } button = None;
};

// Plays the steps through XTEST, `pauseMs` after each. False without a display.
inline bool PlayMouse(const std::vector<MouseStep>& steps, int pauseMs = 0) {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return false;
  }
  xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  for (const MouseStep& s : steps) {
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, static_cast<int16_t>(s.x),
                        static_cast<int16_t>(s.y), 0);
    if (s.button == MouseStep::Press) xcb_test_fake_input(c, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    if (s.button == MouseStep::Release)
      xcb_test_fake_input(c, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    // A round trip makes sure the server has taken the events.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    if (pauseMs > 0) WaitUntil([] { return false; }, pauseMs);  // events of this process run meanwhile
  }
  xcb_disconnect(c);
  return true;
}

// The key code that types `keysym` without modifiers, 0 when none does.
inline xcb_keycode_t KeyCodeOf(xcb_connection_t* c, xcb_keysym_t keysym) {
  const xcb_setup_t* setup = xcb_get_setup(c);
  const int count = setup->max_keycode - setup->min_keycode + 1;
  xcb_get_keyboard_mapping_reply_t* map =
      xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr);
  if (!map) return 0;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
  xcb_keycode_t code = 0;
  for (int k = 0; k < count && !code; ++k)
    if (syms[k * map->keysyms_per_keycode] == keysym) code = static_cast<xcb_keycode_t>(setup->min_keycode + k);
  std::free(map);
  return code;
}

// Presses and releases the key of `keysym` (X11/keysym.h) on the window
// that has the focus. False without a display or without such a key.
inline bool TapKey(xcb_keysym_t keysym) {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  const xcb_keycode_t code = xcb_connection_has_error(c) ? 0 : KeyCodeOf(c, keysym);
  if (code) {
    xcb_test_fake_input(c, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(c, XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  }
  xcb_disconnect(c);
  return code != 0;
}

// Moves the pointer to a screen point and returns the top-level window that
// takes input there (input shapes count), or XCB_NONE.
inline xcb_window_t InputWindowAt(int x, int y) {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  xcb_window_t found = XCB_NONE;
  if (!xcb_connection_has_error(c)) {
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, static_cast<int16_t>(x),
                        static_cast<int16_t>(y), 0);
    if (xcb_query_pointer_reply_t* r = xcb_query_pointer_reply(c, xcb_query_pointer(c, root), nullptr)) {
      found = r->child;
      std::free(r);
    }
  }
  xcb_disconnect(c);
  return found;
}

// Clicks the left button at a screen point. False without a display.
inline bool ClickAt(int x, int y) {
  return PlayMouse({{x, y, MouseStep::Press}, {x, y, MouseStep::Release}});
}

// Presses at the first point, moves through the others in `steps` moves per
// segment and releases at the last one.
inline bool DragThrough(const std::vector<CPoint>& points, int steps = 8, int pauseMs = 15) {
  std::vector<MouseStep> play{{points.front().x, points.front().y, MouseStep::Press}};
  for (std::size_t i = 1; i < points.size(); ++i)
    for (int k = 1; k <= steps; ++k)
      play.push_back({points[i - 1].x + (points[i].x - points[i - 1].x) * k / steps,
                      points[i - 1].y + (points[i].y - points[i - 1].y) * k / steps});
  play.push_back({points.back().x, points.back().y, MouseStep::Release});
  return PlayMouse(play, pauseMs);
}

// An area of the screen as blue, green, red bytes; empty when it cannot be grabbed.
inline std::vector<unsigned char> GrabArea(CScreenGrabber& grabber, const CRect& area) {
  CScreenGrabber::Frame frame;
  std::vector<unsigned char> bytes;
  if (!grabber.Grab(area, frame, nullptr, false)) return bytes;
  bytes.reserve(static_cast<std::size_t>(frame.width) * frame.height * 3);
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x)
      for (int k = 0; k < 3; ++k) bytes.push_back(frame.pixels[y * frame.stride + x * 4 + k]);
  return bytes;
}

// The screen as a picture (for people to look at), null without a display.
inline QImage GrabScreen(CScreenGrabber& grabber) {
  const CSize size = grabber.ScreenSize();
  CScreenGrabber::Frame frame;
  if (!grabber.Grab(CRect(0, 0, size.cx, size.cy), frame, nullptr, false)) return {};
  return QImage(frame.pixels, frame.width, frame.height, frame.stride, QImage::Format_RGB32).copy();
}

// Keeps the screen as <name>.png in the test output folder of the build
// tree (BREVIO_TEST_OUTPUT), for people to look at; nothing when unset.
inline void SaveScreenshot(CScreenGrabber& grabber, const QString& name) {
  const QString output = QString::fromLocal8Bit(qgetenv("BREVIO_TEST_OUTPUT"));
  if (!output.isEmpty()) GrabScreen(grabber).save(output + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// The largest difference of one byte between two grabs of the same area;
// 256 when their sizes differ.
inline int LargestDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
  if (a.size() != b.size()) return 256;
  int largest = 0;
  for (std::size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
  return largest;
}

// How many different grey levels the grabbed bytes hold: a flat window has
// a handful, a camera picture many.
inline int DistinctGreys(const std::vector<unsigned char>& bytes) {
  std::vector<bool> seen(256, false);
  int n = 0;
  for (std::size_t i = 0; i + 2 < bytes.size(); i += 3) {
    const int grey = (bytes[i] + bytes[i + 1] + bytes[i + 2]) / 3;
    if (!seen[grey]) ++n;
    seen[grey] = true;
  }
  return n;
}

// A camera picture rather than a window waiting for one: most of the area
// is not white (the empty frame model is white, with a few animated dots or
// a line of text) and it has many grey levels.
inline bool LooksLikePicture(const std::vector<unsigned char>& bytes) {
  std::size_t coloured = 0;
  for (std::size_t i = 0; i + 2 < bytes.size(); i += 3)
    if (bytes[i] < 247 || bytes[i + 1] < 247 || bytes[i + 2] < 247) ++coloured;
  return !bytes.empty() && coloured * 2 >= bytes.size() / 3 && DistinctGreys(bytes) > 20;
}

// Where things are on a screen without a window manager (the work area is
// the whole screen): the start menu's 960 × 600 panel is centred, its
// quick capture tile is the third; the quick capture window is 320 × 240 at
// the bottom right, 50 pixels left and 30 up, its picture below an
// 18-pixel title strip. The part of the picture looked at is its middle,
// away from the hint text at the bottom and the selection's handles.
inline CPoint QuickCaptureTile(const CSize& screen) {
  return CPoint((screen.cx - 960) / 2 + 396 + 84, (screen.cy - 600) / 2 + 160 + 84);
}
inline CRect QuickCapturePicture(const CSize& screen) {
  const CPoint client(screen.cx - 370, screen.cy - 270 + 18);
  return CRect(client.x + 60, client.y + 40, client.x + 260, client.y + 150);
}
// The start menu has painted its background when the top middle of the
// screen shows the top colour of its shade (#F4F6F8).
inline bool StartMenuPainted(CScreenGrabber& grabber) {
  const CSize screen = grabber.ScreenSize();
  const std::vector<unsigned char> px = GrabArea(grabber, CRect(screen.cx / 2, 2, screen.cx / 2 + 1, 3));
  auto near = [](int a, int b) { return std::abs(a - b) <= 6; };
  return px.size() == 3 && near(px[0], 0xF8) && near(px[1], 0xF6) && near(px[2], 0xF4);
}

// A compositing manager (xcompmgr) for the life of the object; Stop() ends
// it earlier. Started() is false when the program could not be run.
class CompositingManager {
 public:
  CompositingManager() {
    process_.start(QStringLiteral("xcompmgr"), {});
    started_ = process_.waitForStarted(3000);
  }
  ~CompositingManager() { Stop(); }
  CompositingManager(const CompositingManager&) = delete;
  CompositingManager& operator=(const CompositingManager&) = delete;
  bool Started() const { return started_; }
  void Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) process_.kill(), process_.waitForFinished(1000);
  }

 private:
  QProcess process_;
  bool started_ = false;
};

}  // namespace x_session

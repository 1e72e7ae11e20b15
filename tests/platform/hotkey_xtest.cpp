// Global hot keys on a real X server (run under xvfb-run). Key presses are
// synthesised with XTest from a second X connection, which also plays the
// other client that competes for a key.
#include "platform/hotkey.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "tests/support/test_app.h"

namespace {

class HotKeyWnd : public CWnd {
 public:
  HotKeyWnd() {
    OnMessage(WM_HOTKEY, [this](WPARAM w, LPARAM l) -> LRESULT {
      hits.push_back({w, l});
      return 0;
    });
  }
  std::vector<std::pair<WPARAM, LPARAM>> hits;
};

// Pumps the UI thread for `ms`, or until `window` has `count` hits.
bool WaitForHits(HotKeyWnd& window, std::size_t count, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (window.hits.size() < count && t.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return window.hits.size() >= count;
}

// Another X client: types keys through XTest and grabs keys of its own.
class OtherClient {
 public:
  OtherClient() : c_(xcb_connect(nullptr, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    syms_ = xcb_key_symbols_alloc(c_);
  }
  ~OtherClient() {
    xcb_key_symbols_free(syms_);
    xcb_disconnect(c_);
  }
  bool Ok() const { return xcb_connection_has_error(c_) == 0; }

  xcb_keycode_t Code(xcb_keysym_t sym) {
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(syms_, sym);
    const xcb_keycode_t k = codes ? codes[0] : 0;
    std::free(codes);
    return k;
  }
  void Press(xcb_keysym_t sym) { Fake(XCB_KEY_PRESS, sym); }
  void Release(xcb_keysym_t sym) { Fake(XCB_KEY_RELEASE, sym); }
  void Tap(xcb_keysym_t sym) {
    Press(sym);
    Release(sym);
  }
  // Sends a key press event to `window` the way any client can (XSendEvent).
  void SendPress(xcb_window_t window, xcb_keysym_t sym) {
    xcb_key_press_event_t ev{};
    ev.response_type = XCB_KEY_PRESS;
    ev.detail = Code(sym);
    ev.root = root_;
    ev.event = window;
    ev.same_screen = 1;
    xcb_send_event(c_, 0, window, XCB_EVENT_MASK_KEY_PRESS, reinterpret_cast<const char*>(&ev));
    Sync();
  }
  // True when this client could grab the key (no modifiers); it lets go again.
  bool CanGrab(xcb_keysym_t sym) {
    if (!Hold(sym)) return false;
    Drop(sym);
    return true;
  }
  bool Hold(xcb_keysym_t sym) {
    xcb_generic_error_t* e = xcb_request_check(
        c_, xcb_grab_key_checked(c_, 0, root_, 0, Code(sym), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::free(e);
    return e == nullptr;
  }
  void Drop(xcb_keysym_t sym) {
    xcb_ungrab_key(c_, Code(sym), root_, 0);
    Sync();
  }

 private:
  void Fake(uint8_t type, xcb_keysym_t sym) {
    xcb_test_fake_input(c_, type, Code(sym), XCB_CURRENT_TIME, root_, 0, 0, 0);
    Sync();
  }
  void Sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

  xcb_connection_t* c_;
  xcb_window_t root_ = 0;
  xcb_key_symbols_t* syms_ = nullptr;
};

class HotKeyX : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    ASSERT_TRUE(other.Ok());
  }
  OtherClient other;
};

}  // namespace

TEST_F(HotKeyX, KeyPressedAnywhereArrivesAsHotKeyMessage) {
  HotKeyWnd window;  // never shown: the key needs no focus
  ASSERT_TRUE(RegisterHotKey(&window, 2024, 0, VK_F9));
  ASSERT_TRUE(RegisterHotKey(&window, 2025, 0, VK_F10));
  other.Tap(XK_F9);
  ASSERT_TRUE(WaitForHits(window, 1));
  EXPECT_EQ(window.hits[0].first, 2024u);
  EXPECT_EQ(window.hits[0].second, MAKELPARAM(0, VK_F9));
  other.Tap(XK_F10);
  ASSERT_TRUE(WaitForHits(window, 2));
  EXPECT_EQ(window.hits[1].first, 2025u);

  // With CapsLock lit the key still works.
  other.Tap(XK_Caps_Lock);
  other.Tap(XK_F9);
  EXPECT_TRUE(WaitForHits(window, 3));
  other.Tap(XK_Caps_Lock);

  // After unregistering, the key is free for others and no longer delivered.
  EXPECT_TRUE(UnregisterHotKey(&window, 2024));
  EXPECT_FALSE(UnregisterHotKey(&window, 2024));
  other.Tap(XK_F9);
  other.Tap(XK_F10);
  ASSERT_TRUE(WaitForHits(window, 4));
  EXPECT_EQ(window.hits.back().first, 2025u);
  EXPECT_EQ(window.hits.size(), 4u);
  EXPECT_TRUE(other.CanGrab(XK_F9));
}

TEST_F(HotKeyX, ModifiersMustMatch) {
  HotKeyWnd window;
  ASSERT_TRUE(RegisterHotKey(&window, 7, MOD_CONTROL | MOD_SHIFT, VK_F12));
  other.Tap(XK_F12);  // without the modifiers: not the hot key
  other.Press(XK_Control_L);
  other.Tap(XK_F12);  // only one of them: not the hot key either
  other.Press(XK_Shift_L);
  other.Tap(XK_F12);
  other.Release(XK_Shift_L);
  other.Release(XK_Control_L);
  ASSERT_TRUE(WaitForHits(window, 1));
  WaitForHits(window, 2, 300);
  ASSERT_EQ(window.hits.size(), 1u);
  EXPECT_EQ(window.hits[0].first, 7u);
  EXPECT_EQ(window.hits[0].second, MAKELPARAM(MOD_CONTROL | MOD_SHIFT, VK_F12));
  EXPECT_TRUE(other.CanGrab(XK_F12));  // a plain F12 is not taken
}

TEST_F(HotKeyX, AKeyHasOneOwner) {
  HotKeyWnd a, b;
  ASSERT_TRUE(RegisterHotKey(&a, 1, 0, VK_F9));
  EXPECT_FALSE(other.CanGrab(XK_F9));            // another client cannot take it
  EXPECT_FALSE(RegisterHotKey(&b, 1, 0, VK_F9));  // nor another registration here
  EXPECT_FALSE(UnregisterHotKey(&b, 1));
  EXPECT_TRUE(RegisterHotKey(&b, 1, 0, VK_ESCAPE));  // ids belong to their window
  other.Tap(XK_Escape);
  ASSERT_TRUE(WaitForHits(b, 1));
  EXPECT_TRUE(a.hits.empty());

  // A key another client holds cannot be registered, and nothing is left behind.
  ASSERT_TRUE(other.Hold(XK_F10));
  EXPECT_FALSE(RegisterHotKey(&b, 2, 0, VK_F10));
  EXPECT_FALSE(UnregisterHotKey(&b, 2));
  other.Drop(XK_F10);
  EXPECT_TRUE(RegisterHotKey(&b, 2, 0, VK_F10));

  EXPECT_FALSE(RegisterHotKey(&b, 3, 0, 0xE8));  // no such key
  EXPECT_FALSE(RegisterHotKey(&b, 3, 0x0100, VK_F1));  // no such modifier
}

TEST_F(HotKeyX, ReRegisteringAnIdReplacesItsKey) {
  HotKeyWnd window;
  ASSERT_TRUE(RegisterHotKey(&window, 1, 0, VK_F9));
  ASSERT_TRUE(RegisterHotKey(&window, 1, 0, VK_F9));  // same key again keeps working
  EXPECT_FALSE(other.CanGrab(XK_F9));
  ASSERT_TRUE(RegisterHotKey(&window, 1, 0, VK_F1 + 10));
  EXPECT_TRUE(other.CanGrab(XK_F9));  // the old key was let go
  other.Tap(XK_F11);
  ASSERT_TRUE(WaitForHits(window, 1));
  EXPECT_EQ(window.hits[0].second, MAKELPARAM(0, VK_F1 + 10));

  // A replacement that cannot be had keeps the old key.
  ASSERT_TRUE(other.Hold(XK_F10));
  EXPECT_FALSE(RegisterHotKey(&window, 1, 0, VK_F10));
  other.Drop(XK_F10);
  other.Tap(XK_F11);
  EXPECT_TRUE(WaitForHits(window, 2));
}

TEST_F(HotKeyX, DestroyedWindowLetsGoOfItsKeys) {
  auto window = std::make_unique<HotKeyWnd>();
  ASSERT_TRUE(RegisterHotKey(window.get(), 2024, 0, VK_ESCAPE));
  ASSERT_TRUE(RegisterHotKey(window.get(), 2025, MOD_ALT, 'Q'));
  EXPECT_FALSE(other.CanGrab(XK_Escape));
  window.reset();
  EXPECT_TRUE(other.CanGrab(XK_Escape));
  other.Tap(XK_Escape);  // nothing to deliver to: must not crash
  QCoreApplication::processEvents();
  HotKeyWnd next;
  EXPECT_TRUE(RegisterHotKey(&next, 2025, MOD_ALT, 'Q'));
}

TEST_F(HotKeyX, KeyEventsSentByAnotherClientDoNotFire) {
  HotKeyWnd window;
  window.Create(CWnd::Kind::TopLevel, "target", CRect(0, 0, 100, 100));
  ASSERT_TRUE(RegisterHotKey(&window, 2024, 0, VK_F9));
  other.SendPress(static_cast<xcb_window_t>(window.winId()), XK_F9);
  WaitForHits(window, 1, 300);
  EXPECT_TRUE(window.hits.empty());
  other.Tap(XK_F9);
  EXPECT_TRUE(WaitForHits(window, 1));
}

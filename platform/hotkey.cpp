#include "platform/hotkey.h"
#include "platform/xconnection.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace {

constexpr UINT kKnownModifiers = MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN;
// The modifiers a hot key is told apart by; the lock modifiers are ignored.
constexpr uint16_t kMatchedMask =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

xcb_keysym_t KeysymOf(UINT vk) {
  if (vk >= 'A' && vk <= 'Z') return XK_a + (vk - 'A');
  if (vk >= '0' && vk <= '9') return XK_0 + (vk - '0');
  if (vk >= VK_F1 && vk < VK_F1 + 24) return XK_F1 + (vk - VK_F1);
  switch (vk) {
    case VK_BACK: return XK_BackSpace;
    case VK_TAB: return XK_Tab;
    case VK_RETURN: return XK_Return;
    case 0x13: return XK_Pause;  // VK_PAUSE
    case VK_ESCAPE: return XK_Escape;
    case VK_SPACE: return XK_space;
    case VK_PRIOR: return XK_Prior;
    case VK_NEXT: return XK_Next;
    case VK_END: return XK_End;
    case VK_HOME: return XK_Home;
    case VK_LEFT: return XK_Left;
    case VK_UP: return XK_Up;
    case VK_RIGHT: return XK_Right;
    case VK_DOWN: return XK_Down;
    case 0x2D: return XK_Insert;  // VK_INSERT
    case VK_DELETE: return XK_Delete;
    default: return XCB_NO_SYMBOL;
  }
}

uint16_t XModifiers(UINT modifiers) {
  uint16_t m = 0;
  if (modifiers & MOD_ALT) m |= XCB_MOD_MASK_1;
  if (modifiers & MOD_CONTROL) m |= XCB_MOD_MASK_CONTROL;
  if (modifiers & MOD_SHIFT) m |= XCB_MOD_MASK_SHIFT;
  if (modifiers & MOD_WIN) m |= XCB_MOD_MASK_4;
  return m;
}


std::vector<xcb_keycode_t> KeycodesOf(xcb_connection_t* c, xcb_keysym_t sym) {
  std::vector<xcb_keycode_t> out;
  xcb_key_symbols_t* syms = xcb_key_symbols_alloc(c);
  if (!syms) return out;
  if (xcb_keycode_t* codes = xcb_key_symbols_get_keycode(syms, sym)) {
    for (xcb_keycode_t* k = codes; *k != XCB_NO_SYMBOL; ++k)
      if (std::find(out.begin(), out.end(), *k) == out.end()) out.push_back(*k);
    std::free(codes);
  }
  xcb_key_symbols_free(syms);
  return out;
}

// The modifier bit that NumLock sets on this server (0 when none).
uint16_t NumLockMask(xcb_connection_t* c) {
  const std::vector<xcb_keycode_t> numLock = KeycodesOf(c, XK_Num_Lock);
  xcb_get_modifier_mapping_reply_t* reply =
      xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
  if (!reply) return 0;
  uint16_t mask = 0;
  const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
  const int perModifier = reply->keycodes_per_modifier;
  for (int mod = 0; mod < 8 && !mask; ++mod)
    for (int j = 0; j < perModifier; ++j) {
      const xcb_keycode_t k = codes[mod * perModifier + j];
      if (k && std::find(numLock.begin(), numLock.end(), k) != numLock.end()) {
        mask = static_cast<uint16_t>(1u << mod);
        break;
      }
    }
  std::free(reply);
  return mask;
}

// Waits until the server has carried out every request sent so far, so a
// released key is free for other clients when the call returns.
void Sync(xcb_connection_t* c) {
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

std::vector<xcb_window_t> RootWindows(xcb_connection_t* c) {
  std::vector<xcb_window_t> roots;
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it))
    roots.push_back(it.data->root);
  return roots;
}

// The grabs that make one key combination work with any lock lit.
std::vector<uint16_t> LockVariants(uint16_t mods, uint16_t numLock) {
  std::vector<uint16_t> v{mods, static_cast<uint16_t>(mods | XCB_MOD_MASK_LOCK)};
  if (numLock) {
    v.push_back(static_cast<uint16_t>(mods | numLock));
    v.push_back(static_cast<uint16_t>(mods | numLock | XCB_MOD_MASK_LOCK));
  }
  return v;
}

// What the filter needs of an event.
struct KeyEvent {
  uint8_t kind;
  bool sent;  // sent by another client (XSendEvent), not typed
  xcb_keycode_t detail;
  uint16_t state;
};

// Qt's reader thread allocates each event and hands it to the UI thread
// through Qt's own queue, a hand-over ThreadSanitizer cannot see; reading
// the event here is ordered by that queue, so this read is not checked.
__attribute__((no_sanitize("thread"))) KeyEvent ReadKeyEvent(const xcb_generic_event_t* ev) {
  KeyEvent key{static_cast<uint8_t>(ev->response_type & 0x7F), (ev->response_type & 0x80) != 0, 0, 0};
  if (key.kind == XCB_KEY_PRESS || key.kind == XCB_KEY_RELEASE) {
    const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(ev);
    key.detail = press->detail;
    key.state = press->state;
  }
  return key;
}

struct HotKey {
  CWnd* window;
  int id;
  UINT modifiers;
  UINT vk;
  uint16_t xmods;
  std::vector<xcb_keycode_t> keycodes;
  uint16_t numLock;

  bool Holds(xcb_keycode_t k, uint16_t mods) const {
    return xmods == mods && std::find(keycodes.begin(), keycodes.end(), k) != keycodes.end();
  }
};

// Every registration of the process, and the filter that turns the grabbed
// key presses into messages. Lives on the UI thread; the mutex only guards
// against a stray call from elsewhere.
class HotKeyTable : public QAbstractNativeEventFilter {
 public:
  static HotKeyTable& Get() {
    static auto* table = new HotKeyTable;  // outlives every window
    return *table;
  }

  bool Register(CWnd* window, int id, UINT modifiers, UINT vk) {
    xcb_connection_t* c = QtXConnection();
    if (!window || !c || (modifiers & ~kKnownModifiers)) return false;
    const xcb_keysym_t sym = KeysymOf(vk);
    if (sym == XCB_NO_SYMBOL) return false;
    HotKey key{window, id, modifiers, vk, XModifiers(modifiers), KeycodesOf(c, sym), NumLockMask(c)};
    if (key.keycodes.empty()) return false;

    std::lock_guard lock(mutex_);
    for (const HotKey& k : keys_) {
      if (k.window == window && k.id == id) continue;  // the one being replaced
      for (xcb_keycode_t code : key.keycodes)
        if (k.Holds(code, key.xmods)) return false;
    }
    if (!Grab(c, key)) return false;

    auto old = std::find_if(keys_.begin(), keys_.end(),
                            [&](const HotKey& k) { return k.window == window && k.id == id; });
    if (old != keys_.end()) {
      HotKey previous = std::move(*old);
      *old = std::move(key);
      Ungrab(c, previous);
    } else {
      keys_.push_back(std::move(key));
    }
    Watch(window);
    InstallFilter();
    return true;
  }

  bool Unregister(CWnd* window, int id) {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(keys_.begin(), keys_.end(),
                           [&](const HotKey& k) { return k.window == window && k.id == id; });
    if (it == keys_.end()) return false;
    HotKey gone = std::move(*it);
    keys_.erase(it);
    if (xcb_connection_t* c = QtXConnection()) Ungrab(c, gone);
    return true;
  }

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const KeyEvent key = ReadKeyEvent(static_cast<const xcb_generic_event_t*>(message));
    // Only real key presses count: an event another client sent must not be
    // able to fire a hot key.
    if (key.sent || (key.kind != XCB_KEY_PRESS && key.kind != XCB_KEY_RELEASE)) return false;
    const uint16_t mods = key.state & kMatchedMask;
    std::lock_guard lock(mutex_);
    for (const HotKey& k : keys_) {
      if (!k.Holds(key.detail, mods)) continue;
      if (key.kind == XCB_KEY_PRESS)
        PostMessage(k.window, WM_HOTKEY, static_cast<WPARAM>(k.id), MAKELPARAM(k.modifiers, k.vk));
      return true;  // the release of a hot key is swallowed as well
    }
    return false;
  }

 private:
  // Grabs every keycode with every lock variant on every root; all or nothing.
  bool Grab(xcb_connection_t* c, const HotKey& key) {
    struct Spot {
      xcb_window_t root;
      xcb_keycode_t code;
      uint16_t mods;
      xcb_void_cookie_t cookie;
      bool taken = false;
    };
    std::vector<Spot> spots;
    for (xcb_window_t root : RootWindows(c))
      for (xcb_keycode_t code : key.keycodes)
        for (uint16_t mods : LockVariants(key.xmods, key.numLock))
          spots.push_back({root, code, mods,
                           xcb_grab_key_checked(c, 0, root, mods, code, XCB_GRAB_MODE_ASYNC,
                                                XCB_GRAB_MODE_ASYNC)});
    // Replies come back in order; a failed grab answers BadAccess.
    bool ok = true;
    for (Spot& s : spots) {
      xcb_generic_error_t* error = xcb_request_check(c, s.cookie);
      s.taken = error == nullptr;
      ok = ok && s.taken;
      std::free(error);
    }
    if (!ok) {
      // Give back what was taken, except grabs that an existing registration
      // (the one being replaced) already held.
      for (const Spot& s : spots)
        if (s.taken && !HeldByAny(s.code, key.xmods)) xcb_ungrab_key(c, s.code, s.root, s.mods);
      Sync(c);
    }
    return ok;
  }

  // Releases the grabs of `key` that no remaining registration holds.
  void Ungrab(xcb_connection_t* c, const HotKey& key) {
    for (xcb_window_t root : RootWindows(c))
      for (xcb_keycode_t code : key.keycodes) {
        if (HeldByAny(code, key.xmods)) continue;
        for (uint16_t mods : LockVariants(key.xmods, key.numLock)) xcb_ungrab_key(c, code, root, mods);
      }
    Sync(c);
  }

  bool HeldByAny(xcb_keycode_t code, uint16_t xmods) const {
    return std::any_of(keys_.begin(), keys_.end(), [&](const HotKey& k) { return k.Holds(code, xmods); });
  }

  // Drops a window's registrations when it is destroyed.
  void Watch(CWnd* window) {
    if (!watched_.insert(window).second) return;
    QObject::connect(window, &QObject::destroyed, [this, window] {
      std::lock_guard lock(mutex_);
      watched_.erase(window);
      std::vector<HotKey> gone;
      for (auto it = keys_.begin(); it != keys_.end();) {
        if (it->window == window) {
          gone.push_back(std::move(*it));
          it = keys_.erase(it);
        } else {
          ++it;
        }
      }
      if (xcb_connection_t* c = QtXConnection())
        for (const HotKey& k : gone) Ungrab(c, k);
    });
  }

  void InstallFilter() {
    QCoreApplication* app = QCoreApplication::instance();
    if (installedOn_ == app) return;
    app->installNativeEventFilter(this);
    installedOn_ = app;
  }

  std::mutex mutex_;
  std::vector<HotKey> keys_;
  std::set<CWnd*> watched_;
  QPointer<QCoreApplication> installedOn_;
};

}  // namespace

bool RegisterHotKey(CWnd* window, int id, UINT modifiers, UINT vk) {
  return HotKeyTable::Get().Register(window, id, modifiers, vk);
}

bool UnregisterHotKey(CWnd* window, int id) { return HotKeyTable::Get().Unregister(window, id); }

#pragma once
// Global hot keys: a key combination that reaches one window wherever the
// keyboard focus is, through X key grabs on the root window.

#include "platform/window.h"

constexpr UINT WM_HOTKEY = 0x0312;
constexpr UINT MOD_ALT = 0x0001, MOD_CONTROL = 0x0002, MOD_SHIFT = 0x0004, MOD_WIN = 0x0008;

constexpr LPARAM MAKELPARAM(UINT low, UINT high) {
  return static_cast<LPARAM>(static_cast<std::uint32_t>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16)));
}

// Grabs the key on the X root window (with every combination of the lock
// modifiers CapsLock and NumLock, so a lit lock does not disable the key) and
// posts WM_HOTKEY (wParam = id, lParam = MAKELPARAM(modifiers, vk)) to
// `window`'s message table on the UI thread whenever the key is pressed
// anywhere. `modifiers` is a combination of the MOD_ values, `vk` a virtual
// key of platform/window.h (letters, digits, F1..F24, Escape, Enter, Tab,
// Backspace, Space, the cursor block, Insert, Delete, Pause).
//
// Re-registering an id on the same window replaces its key; when the new key
// cannot be had, the old registration stays. False when the key cannot be
// grabbed: another client holds it, another registration of this process
// has it, there is no X display (e.g. the offscreen platform), the key or a
// modifier is unknown. Then nothing new is registered. Registrations are
// dropped when the window is destroyed. Call from the UI thread.
bool RegisterHotKey(CWnd* window, int id, UINT modifiers, UINT vk);
// Releases the key registered under `id` on `window`. False when there is none.
bool UnregisterHotKey(CWnd* window, int id);

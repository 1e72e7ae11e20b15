#pragma once
// Windows found by caption across the processes of one user. A published
// window listens on a local socket in the user's runtime folder whose name
// is derived from the caption (a hash, so any caption text is safe); other
// processes find the window by connecting to it and post messages through
// it. The folder is private to the user, so no other user can reach it.

#include "platform/window.h"

#include <QString>

// Makes `window` findable by `caption` (also sets its window title) by every
// process of the same user, until the window is destroyed or published
// again under another caption. One caption names one window at a time: the
// newest publisher wins, also over a window of another process (which then
// keeps its title but is no longer found under it). Call on the window's
// (UI) thread.
void PublishWindowCaption(CWnd* window, const QString& caption);

// A window with that caption exists, in this process or another one. A
// socket left behind by a process that ended without cleaning up does not
// count (and is removed).
bool FindWindowByCaption(const QString& caption);

// Posts a message to the window with that caption, wherever it lives; it
// arrives through the window's message table like PostMessage. Registered
// message numbers (RegisterWindowMessage, 0xC000..0xFFFF) travel by their
// name, so each process receives its own number for the name; other numbers
// travel as they are. wParam and lParam must be plain numbers (never
// pointers across processes). False when there is no such window.
bool PostMessageToCaption(const QString& caption, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

// The names of the two registered messages between the main program and the
// screen recorder (RegisterWindowMessage turns them into numbers): the
// recorder's window is captioned "Capturo", the main program's start menu
// "RozIdez", and each posts these to the other's caption.
inline constexpr char kStartRecordMessage[] = "StartRecord";
inline constexpr char kStopRecordMessage[] = "StopRecord";

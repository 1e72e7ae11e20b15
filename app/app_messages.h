#pragma once
// Messages, window numbers and the main window of the main program: what its
// windows use to talk to the main frame and to each other.

#include "platform/messages.h"

class CWnd;

// Mode switch to the main frame: wParam the sender, lParam the command.
// From the picture browser (sender SWITCH_FROM_PICTURE_BROWSER) it is a text
// message (see SendTextMessage): sent, never posted, lParam the joined paths
// of the pictures to compare as a `const QString*` valid during the call.
constexpr UINT WM_SWITCH_MODE = 4024;
// Full screen: wParam 0/1 sets it, -1 only registers lParam as the window
// to tell about later changes; the answer is the full-screen flag.
constexpr UINT WM_FULL_SCREEN = 2241;
// The screen recorder started / stopped (record-button pairs follow).
constexpr UINT WM_RECORD_STARTED = 2246;
constexpr UINT WM_RECORD_STOPPED = 2260;
// The data root changed: the picture library re-reads its folder tree.
constexpr UINT WM_REFRESH_LIBRARY = 2229;
// Refresh notices that the main frame passes on to picture management and
// its pages (lists and tabs read again); 2231 and 2264 with wParam 0 are
// answered with 1 and ignored.
constexpr UINT WM_REFRESH_LIST = 2231;
constexpr UINT WM_REFRESH_TAB = 2264;
constexpr UINT WM_REFRESH_PAGE = 2265;
// Manager tool bar → picture library window: wParam the command code,
// lParam 0.
constexpr UINT WM_LIBRARY_COMMAND = 2237;
// Library windows → picture management frame: wParam the page to show (162
// leaves the library page, 179 goes back), lParam 1 from the library's own
// buttons, 0 from the collection page's status bar.
constexpr UINT WM_PAGE_SWITCH = 2242;
// Status bar → its frame: close the tool window (no parameters).
constexpr UINT WM_CLOSE_TOOL = 2243;
// A choice pop-up (the tone panel, the resolution list, the annotation
// palette's pop-ups) → its owner: a choice was made; wParam the pop-up (its
// window or control id), lParam the chosen value or row.
constexpr UINT WM_POPUP_CHOICE = 3025;

// System command to the main frame: wParam SC_MINIMIZE minimises the
// program (the windows of the mode on screen).
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr WPARAM SC_MINIMIZE = 0xF020;

// Senders of WM_SWITCH_MODE (the numbers of the sending windows).
constexpr WPARAM SWITCH_FROM_START_MENU = 131;
constexpr WPARAM SWITCH_FROM_MODE_MENU = 130;  // in-mode menus and title bars
constexpr WPARAM SWITCH_FROM_PICTURE_BROWSER = 154;

// Commands of the start menu (sender 131).
constexpr LPARAM START_MINIMIZE = 5;
constexpr LPARAM START_CLOSE = 6;
constexpr LPARAM START_OBJECTSHOW = 7;
constexpr LPARAM START_PAINT = 8;
constexpr LPARAM START_QUICKCAP = 9;
constexpr LPARAM START_RECORD = 10;
constexpr LPARAM START_STOPRECORD = 11;
constexpr LPARAM START_OCR = 12;
constexpr LPARAM START_SCANMGR = 13;
// Commands of the in-mode menus and title bars (sender 130); any other
// command (title bars send 0) goes back to the start menu.
constexpr LPARAM MODE_BACK = 0;
constexpr LPARAM MODE_OBJECTSHOW = 2;
constexpr LPARAM MODE_PAINT = 3;
constexpr LPARAM MODE_QUICKCAP = 4;
constexpr LPARAM MODE_RECORD = 5;
constexpr LPARAM MODE_STOPRECORD = 6;
constexpr LPARAM MODE_OCR = 7;
constexpr LPARAM MODE_SCANMGR = 8;

// Window numbers of the working windows.
constexpr UINT IDD_MINMENU = 130;
constexpr UINT IDD_ROZIDEZ = 131;
constexpr UINT IDD_QUICKCAP = 132;
constexpr UINT IDD_SCANMGR = 144;
constexpr UINT IDD_PAINT = 145;
constexpr UINT IDD_OBJECTSHOW = 154;
constexpr UINT IDD_UPGRADE = 180;
constexpr UINT IDD_OCR = 185;

// The application's main window (the main frame); null before it exists.
// Windows post their notices to it.
CWnd* GetMainWnd();
void SetMainWnd(CWnd* window);

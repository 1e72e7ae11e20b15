#pragma once
// Messages of the preview and capture engine: what the frame model and its
// history tell the preview, and what the preview tells its parent.

#include "platform/messages.h"

// Preview → parent (posted): a page button was pressed; wParam 0, lParam -1
// for the previous page, 1 for the next one.
constexpr UINT WM_PAGE_TURN = 2238;
// Frame model → preview (posted): wParam the zoom percent, lParam the page.
constexpr UINT WM_UPDATE_ZOOM = 2239;
// History → preview → history window (posted): wParam the position, lParam
// the number of snapshots.
constexpr UINT WM_HISTORY_RECORD = 2244;
// Preview, status bar, continuous photographing → picture collection window:
// a photograph was written. A text message (see SendTextMessage): sent, never
// posted; wParam 0, lParam the photograph's full path as a `const QString*`
// valid during the call.
constexpr UINT WM_PHOTOGRAPHED = 2253;

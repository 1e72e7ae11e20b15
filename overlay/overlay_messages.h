#pragma once
// Messages between the overlay library's layers and the windows they lie
// over: what a layer reports to its host or target, and what a host asks of
// a layer. All are posted unless said otherwise.

#include "platform/messages.h"

// Host → overlay window: redraw yourself. The indicator layer takes wParam 1
// as "the mouse has left": clear the hover flag and hide the close button.
constexpr UINT WM_LAYER_DRAW = 2225;
// Folder tree → parent: the selection may have changed (wParam 0, lParam 0);
// the parent reads the selected path from the tree.
constexpr UINT WM_TREE_SELECT = 2228;
// Split-screen buttons → object show window: wParam 0 photograph into the
// pane, 1 picture file into the pane, 2 camera into the pane; lParam the
// pane's page number.
constexpr UINT WM_SPLIT_BUTTON = 2240;
// Crop layer → preview: wParam the command of the crop button bar, lParam 0.
constexpr UINT WM_UPDATE_CUTAREA = 2247;
// Preview or gesture layer → parent: take a photograph now. The preview
// sends wParam 0, the gesture layer wParam 1; lParam 0 (the object show
// window's own double-click puts its picture-in-picture flag there).
constexpr UINT WM_AUTO_PHOTOGRAPH = 2251;
// Any layer → its owner: Escape was pressed while the layer had the
// keyboard; wParam the key (VK_ESCAPE), lParam the repeat count.
constexpr UINT WM_LAYER_ESCAPE = 0x001B;
// Rotate dial → owner: wParam the angle in degrees (signed), lParam 0.
constexpr UINT WM_ROTATE_ANGLE = 2261;
// Window layer → parent: wParam the button's control id, lParam the
// button's window handle.
constexpr UINT WM_LAYER_BUTTON = 2262;

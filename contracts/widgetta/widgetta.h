#pragma once
// The owner-drawn control library in one include.

#include "contracts/widgetta/gdi_btn.h"
#include "contracts/widgetta/gdi_slider.h"
#include "contracts/widgetta/list_bar.h"
#include "contracts/widgetta/list_tab.h"
#include "contracts/widgetta/list_view.h"
#include "contracts/widgetta/path_bar.h"
#include "contracts/widgetta/picture_ex.h"
#include "contracts/widgetta/ui_ctrl.h"
#include "contracts/widgetta/ui_ctrl_mgr.h"
#include "contracts/widgetta/ui_image.h"
#include "contracts/widgetta/ui_records.h"

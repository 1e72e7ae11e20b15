#pragma once
// CUICtrlMgr builds controls from the layout records of the description
// files. Every call accepts null records: the control is still created (as
// a hidden child at an empty rectangle when the control record is missing)
// so that the owner can move and show it later. The rectangle argument
// receives the control's "rect", or an empty rectangle.

#include "contracts/widgetta/gdi_btn.h"
#include "contracts/widgetta/gdi_slider.h"
#include "contracts/widgetta/list_tab.h"
#include "contracts/widgetta/ui_image.h"
#include "contracts/widgetta/ui_records.h"

class CUICtrlMgr {
 public:
  // Loads the control's picture into `image`: "normalImg", or "bgImg" when
  // it names none; SVG drawn at the size of "rect" (its own size when the
  // rectangle is empty). 1 on success; 0 for a null record or an unreadable
  // file (the image is then left as it was).
  int LoadGdiImage(IUIImage& image, const _MYCONTROL* control);
  // The same for the selected variant, "selectImg".
  int LoadSelectImage(IUIImage& image, const _MYCONTROL* control);

  int LoadGdiBtn(CGdiBtnEx& button, CRect& rect, CWnd* parent, int id,
                 const _MYCONTROL* control, const _MYLANGUAGE* language, const _MYFONT* font);
  int LoadHdcBtn(CHdcBtn& button, CRect& rect, CWnd* parent, int id, const _MYCONTROL* control,
                 const _MYLANGUAGE* language, const _MYFONT* font);
  int LoadGdiSlider(CGdiSlider& slider, CRect& rect, CWnd* parent, int id,
                    const _MYCONTROL* control, const _MYLANGUAGE* language, const _MYFONT* font);
  int LoadListTab(CListTab& tab, CRect& rect, CWnd* parent, int id, const _MYCONTROL* control);
  // Adds the tab button `id` to a tab built before.
  int LoadTabBtn(CListTab& tab, int id, const _MYCONTROL* control, const _MYLANGUAGE* language,
                 const _MYFONT* font);

 private:
  int LoadPicture(IUIImage& image, const _MYCONTROL* control, const std::u16string& name);
  int Build(CUICtrl& ctrl, CRect& rect, CWnd* parent, int id, const _MYCONTROL* control,
            const _MYLANGUAGE* language, const _MYFONT* font);
};

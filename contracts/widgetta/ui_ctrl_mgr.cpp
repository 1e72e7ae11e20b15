#include "contracts/widgetta/ui_ctrl_mgr.h"

int CUICtrlMgr::LoadPicture(IUIImage& image, const _MYCONTROL* control,
                            const std::u16string& name) {
  if (!control || name.empty()) return 0;
  const QString path = UIImagePath(name);
  const CRect& r = control->rect;
  QImage picture = LoadUIPicture(path, r.IsRectEmpty() ? QSize() : QSize(r.Width(), r.Height()));
  if (picture.isNull()) return 0;
  ApplyMaskColour(picture, control->maskColor);
  return image.SetUIImage(picture, path);
}

int CUICtrlMgr::LoadGdiImage(IUIImage& image, const _MYCONTROL* control) {
  if (!control) return 0;
  return LoadPicture(image, control, control->normalImg.empty() ? control->bgImg : control->normalImg);
}

int CUICtrlMgr::LoadSelectImage(IUIImage& image, const _MYCONTROL* control) {
  if (!control) return 0;
  return LoadPicture(image, control, control->selectImg);
}

int CUICtrlMgr::Build(CUICtrl& ctrl, CRect& rect, CWnd* parent, int id, const _MYCONTROL* control,
                      const _MYLANGUAGE* language, const _MYFONT* font) {
  rect = control ? control->rect : CRect();
  return ctrl.Build(parent, id, control, language, font) ? 1 : 0;
}

int CUICtrlMgr::LoadGdiBtn(CGdiBtnEx& button, CRect& rect, CWnd* parent, int id,
                           const _MYCONTROL* control, const _MYLANGUAGE* language,
                           const _MYFONT* font) {
  return Build(button, rect, parent, id, control, language, font);
}

int CUICtrlMgr::LoadHdcBtn(CHdcBtn& button, CRect& rect, CWnd* parent, int id,
                           const _MYCONTROL* control, const _MYLANGUAGE* language,
                           const _MYFONT* font) {
  return Build(button, rect, parent, id, control, language, font);
}

int CUICtrlMgr::LoadGdiSlider(CGdiSlider& slider, CRect& rect, CWnd* parent, int id,
                              const _MYCONTROL* control, const _MYLANGUAGE* language,
                              const _MYFONT* font) {
  return Build(slider, rect, parent, id, control, language, font);
}

int CUICtrlMgr::LoadListTab(CListTab& tab, CRect& rect, CWnd* parent, int id,
                            const _MYCONTROL* control) {
  return Build(tab, rect, parent, id, control, nullptr, nullptr);
}

int CUICtrlMgr::LoadTabBtn(CListTab& tab, int id, const _MYCONTROL* control,
                           const _MYLANGUAGE* language, const _MYFONT* font) {
  return tab.AddTabBtn(id, control, language, font);
}

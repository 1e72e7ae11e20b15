#pragma once
// The list manager of one owner-drawn window: it loads the window's block of
// a description-file set into three lists (controls, texts, fonts), answers
// lookups by id (the first record in list order wins; ids need not be
// unique), and builds the window's controls through CUICtrlMgr with each
// control's caption chain resolved: control → its first text entry →
// _MYLANGUAGE → _MYFONT. Records belong to the manager; pointers handed out
// stay valid until that list is loaded again or released.
//
// Image names of the records are files of the image folder: a full path is
// the folder, "/" and the name.

#include <string>

#include "config/description_files.h"
#include "contracts/widgetta/list_bar.h"
#include "contracts/widgetta/picture_ex.h"
#include "contracts/widgetta/ui_ctrl_mgr.h"
#include "platform/geometry.h"

class CWnd;

class CXmlListMgr {
 public:
  CXmlListMgr() = default;
  ~CXmlListMgr();
  CXmlListMgr(const CXmlListMgr&) = delete;
  CXmlListMgr& operator=(const CXmlListMgr&) = delete;

  // Replace the list with the records of the file (resolved with
  // GetConfigPath) for window block `window`; return how many were read. A
  // missing file or block gives an empty list.
  std::uint32_t LoadCtrlList(const std::u16string& fileName, int window);
  std::uint32_t LoadLanguageList(const std::u16string& fileName, int window);
  std::uint32_t LoadLogfontList(const std::u16string& fileName);

  // The three lists of window block `window` of a description-file set:
  // "<set>_control.xml", "<set>_language.xml" and "<set>_logfont.xml".
  void LoadSet(const std::u16string& set, int window);

  void CtrlRelease();
  void LanguageRelease();
  void LogfontRelease();
  void Release();

  _MYCONTROL* GetCtrl(int id) const;
  _MYLANGUAGE* GetLanguage(int id) const;
  _MYFONT* GetMyFont(int id) const;
  // The control's "rect"; empty when there is no such control.
  CRect GetBgRect(int id) const;
  // The image folder, "/" and the control's "bgImg"; only the folder and
  // "/" when there is no such control.
  std::u16string GetBgImgPath(int id) const;

  const MyControlList& GetCtrlList() const { return ctrls_; }
  const MyLanguageList& GetLanguageList() const { return langs_; }
  const MyFontList& GetFontList() const { return fonts_; }

  // Builders. `rect` receives the control's "rect" (empty without one).
  // The image builder takes any IUIImage (the picture holder of the image
  // library is one).
  int LoadGdiImage(IUIImage& image, CRect& rect, int id);
  int LoadGdiBtn(CGdiBtnEx& button, CRect& rect, CWnd* parent, int id);
  int LoadHdcBtn(CHdcBtn& button, CRect& rect, CWnd* parent, int id);
  int LoadGdiSlider(CGdiSlider& slider, CRect& rect, CWnd* parent, int id);
  // Only when the control exists; otherwise nothing is created (0).
  int LoadListTab(CListTab& tab, CRect& rect, CWnd* parent, int id);
  int AddListTabBtn(CListTab& tab, int id);
  // The bar is always created (hidden, empty rectangle); with its control
  // it gets the forward ("overImg") and backward ("selectImg") buttons, the
  // control's rectangle and is shown. 1 when the control exists.
  int LoadListBar(CListBar& bar, CRect& rect, CWnd* parent, int id);
  // The picture control is always created (hidden); with its control it
  // loads "bgImg", takes the rectangle and is shown. 1 when it loaded.
  int LoadGifStatic(CPictureEx& picture, CRect& rect, CWnd* parent, int id);

  // Gives the control the tip of text `id` in the current language, when
  // the texts have one (the control's own "tip" is the original's).
  void SetLanguageTip(CUICtrl& control, int id) const;

  // The caption chain of a control; unresolved links stay null.
  struct Caption {
    _MYCONTROL* control = nullptr;
    _MYLANGUAGE* language = nullptr;
    _MYFONT* font = nullptr;
  };
  Caption ResolveCaption(int id) const;

 private:
  static std::string ConfigFile(const std::u16string& fileName);

  MyControlList ctrls_;
  MyLanguageList langs_;
  MyFontList fonts_;
  CControlMgr controlMgr_;
  CLanguageMgr languageMgr_;
  CLogfontMgr logfontMgr_;
};

#include "overlay/xml_list_mgr.h"

#include "config/text_codec.h"
#include "contracts/fundara/paths.h"
#include "platform/window.h"

namespace {

// The image folder followed by the separator.
std::u16string ImageFolder() { return Utf8ToUtf16(GetImagePath() + "/"); }

template <class List>
auto FirstWithId(const List& list, int id) -> decltype(list.front().get()) {
  for (const auto& record : list)
    if (record->id == id) return record.get();
  return nullptr;
}

}  // namespace

CXmlListMgr::~CXmlListMgr() { Release(); }

std::string CXmlListMgr::ConfigFile(const std::u16string& fileName) {
  return GetConfigPath(Utf16ToUtf8(fileName));
}

std::uint32_t CXmlListMgr::LoadCtrlList(const std::u16string& fileName, int window) {
  CtrlRelease();
  controlMgr_.Load(ConfigFile(fileName));
  return controlMgr_.ReadControl(ctrls_, window);
}

std::uint32_t CXmlListMgr::LoadLanguageList(const std::u16string& fileName, int window) {
  LanguageRelease();
  languageMgr_.Load(ConfigFile(fileName));
  return languageMgr_.ReadLanguage(langs_, window);
}

std::uint32_t CXmlListMgr::LoadLogfontList(const std::u16string& fileName) {
  LogfontRelease();
  logfontMgr_.Load(ConfigFile(fileName));
  return logfontMgr_.ReadLogfont(fonts_);
}

void CXmlListMgr::LoadSet(const std::u16string& set, int window) {
  LoadCtrlList(set + u"_control.xml", window);
  LoadLanguageList(set + u"_language.xml", window);
  LoadLogfontList(set + u"_logfont.xml");
}

void CXmlListMgr::CtrlRelease() { ctrls_.clear(); }
void CXmlListMgr::LanguageRelease() { langs_.clear(); }
void CXmlListMgr::LogfontRelease() { fonts_.clear(); }

void CXmlListMgr::Release() {
  CtrlRelease();
  LanguageRelease();
  LogfontRelease();
}

_MYCONTROL* CXmlListMgr::GetCtrl(int id) const { return FirstWithId(ctrls_, id); }
_MYLANGUAGE* CXmlListMgr::GetLanguage(int id) const { return FirstWithId(langs_, id); }
_MYFONT* CXmlListMgr::GetMyFont(int id) const { return FirstWithId(fonts_, id); }

CRect CXmlListMgr::GetBgRect(int id) const {
  const _MYCONTROL* c = GetCtrl(id);
  return c ? c->rect : CRect();
}

std::u16string CXmlListMgr::GetBgImgPath(int id) const {
  const _MYCONTROL* c = GetCtrl(id);
  return ImageFolder() + (c ? c->bgImg : std::u16string());
}

CXmlListMgr::Caption CXmlListMgr::ResolveCaption(int id) const {
  Caption chain;
  chain.control = GetCtrl(id);
  if (!chain.control || !chain.control->textTable) return chain;
  chain.language = GetLanguage((*chain.control->textTable)[0].languageId);
  // A languageId of -1 marks an unused entry: it names no text even when a
  // text happens to carry that id.
  if ((*chain.control->textTable)[0].languageId == -1) chain.language = nullptr;
  if (chain.language) chain.font = GetMyFont(chain.language->logfontId);
  return chain;
}

int CXmlListMgr::LoadGdiImage(IUIImage& image, CRect& rect, int id) {
  const _MYCONTROL* c = GetCtrl(id);
  rect = c ? c->rect : CRect();
  CUICtrlMgr mgr;
  return mgr.LoadGdiImage(image, c);
}

int CXmlListMgr::LoadGdiBtn(CGdiBtnEx& button, CRect& rect, CWnd* parent, int id) {
  const Caption chain = ResolveCaption(id);
  CUICtrlMgr mgr;
  return mgr.LoadGdiBtn(button, rect, parent, id, chain.control, chain.language, chain.font);
}

int CXmlListMgr::LoadHdcBtn(CHdcBtn& button, CRect& rect, CWnd* parent, int id) {
  const Caption chain = ResolveCaption(id);
  CUICtrlMgr mgr;
  return mgr.LoadHdcBtn(button, rect, parent, id, chain.control, chain.language, chain.font);
}

int CXmlListMgr::LoadGdiSlider(CGdiSlider& slider, CRect& rect, CWnd* parent, int id) {
  const Caption chain = ResolveCaption(id);
  CUICtrlMgr mgr;
  return mgr.LoadGdiSlider(slider, rect, parent, id, chain.control, chain.language, chain.font);
}

int CXmlListMgr::LoadListTab(CListTab& tab, CRect& rect, CWnd* parent, int id) {
  const _MYCONTROL* c = GetCtrl(id);
  if (!c) return 0;
  CUICtrlMgr mgr;
  return mgr.LoadListTab(tab, rect, parent, id, c);
}

int CXmlListMgr::AddListTabBtn(CListTab& tab, int id) {
  const Caption chain = ResolveCaption(id);
  CUICtrlMgr mgr;
  return mgr.LoadTabBtn(tab, id, chain.control, chain.language, chain.font);
}

int CXmlListMgr::LoadListBar(CListBar& bar, CRect& rect, CWnd* parent, int id) {
  rect = CRect();
  bar.Create(QStringLiteral("listBar"), WS_CHILD | WS_TABSTOP, rect, parent,
             static_cast<UINT>(id));
  const _MYCONTROL* c = GetCtrl(id);
  if (!c) return 0;
  const std::u16string folder = ImageFolder();
  bar.CreateForwardBtn(QString::fromStdU16String(folder + c->overImg));
  bar.CreateBackwardBtn(QString::fromStdU16String(folder + c->selectImg));
  rect = c->rect;
  // The bar is placed at its rectangle so that the buttons and items have
  // room; the caller may move it again.
  bar.MoveWindow(rect);
  bar.ShowWindow(SW_SHOW);
  return 1;
}

int CXmlListMgr::LoadGifStatic(CPictureEx& picture, CRect& rect, CWnd* parent, int id) {
  rect = CRect();
  picture.Create(QStringLiteral("gif"), 4, rect, parent, static_cast<UINT>(id));
  const _MYCONTROL* c = GetCtrl(id);
  if (!c) return 0;
  const int loaded = picture.Load(QString::fromStdU16String(ImageFolder() + c->bgImg));
  rect = c->rect;
  picture.MoveWindow(rect);
  picture.ShowWindow(SW_SHOW);
  return loaded;
}

void CXmlListMgr::SetLanguageTip(CUICtrl& control, int id) const {
  if (const _MYLANGUAGE* tip = GetLanguage(id)) control.setToolTip(QString::fromStdU16String(tip->value));
}

#include "config/description_files.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "config/text_codec.h"

const char kEmptyDescriptionXml[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Root/>";

namespace {

// The first child of the root whose "id" reads as `window`.
CXmlNodeWrapper FindWindowBlock(const CXmlNodeWrapper& root, int window) {
  const CXmlNodeListWrapper blocks = root.GetChildNodes();
  for (int i = 0; i < blocks.Count(); ++i) {
    CXmlNodeWrapper block = blocks.GetNode(i);
    if (ParseDecimal(block.GetValue("id")) == window) return block;
  }
  return {};
}

// The first element of `children` whose "id" reads as `id`.
CXmlNodeWrapper FindById(const CXmlNodeListWrapper& children, int id) {
  for (int i = 0; i < children.Count(); ++i) {
    CXmlNodeWrapper child = children.GetNode(i);
    if (ParseDecimal(child.GetValue("id")) == id) return child;
  }
  return {};
}

CRect RectAttribute(const CXmlNodeWrapper& node, const char* name) {
  return CControlMgr::SubRect(std::u16string_view(Utf8ToUtf16(node.GetValue(name))));
}

std::u16string TextAttribute(const CXmlNodeWrapper& node, const char* name) {
  return Utf8ToUtf16(node.GetValue(name));
}

std::string FormatRect(const CRect& r) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d,%d,%d,%d", r.left, r.top, r.right, r.bottom);
  return buffer;
}

// CString::Right: the last `count` characters; none for a count below 1.
std::u16string_view Right(std::u16string_view text, std::ptrdiff_t count) {
  if (count <= 0) return {};
  if (static_cast<std::size_t>(count) >= text.size()) return text;
  return text.substr(text.size() - static_cast<std::size_t>(count));
}

// The face name of a LOGFONTW up to its terminator (or the whole field).
std::u16string_view FaceName(const LOGFONTW& font) {
  std::size_t length = 0;
  while (length < LF_FACESIZE && font.lfFaceName[length] != 0) ++length;
  return {font.lfFaceName, length};
}

// Copies at most 31 UTF-16 units and the terminator, never ending on the
// first half of a surrogate pair.
void SetFaceName(LOGFONTW& font, std::u16string_view name) {
  std::size_t length = std::min<std::size_t>(name.size(), LF_FACESIZE - 1);
  if (length > 0 && length < name.size() && name[length - 1] >= 0xD800 &&
      name[length - 1] <= 0xDBFF)
    --length;
  for (std::size_t i = 0; i < length; ++i) font.lfFaceName[i] = name[i];
  for (std::size_t i = length; i < LF_FACESIZE; ++i) font.lfFaceName[i] = 0;
}

BYTE LowByte(std::int32_t value) { return static_cast<BYTE>(static_cast<std::uint32_t>(value)); }

void WriteFontAttributes(CXmlNodeWrapper& node, const LOGFONTW& f) {
  node.SetValue("lfHeight", f.lfHeight);
  node.SetValue("lfWidth", f.lfWidth);
  node.SetValue("lfEscapement", f.lfEscapement);
  node.SetValue("lfOrientation", f.lfOrientation);
  node.SetValue("lfWeight", f.lfWeight);
  node.SetValue("lfItalic", f.lfItalic);
  node.SetValue("lfUnderline", f.lfUnderline);
  node.SetValue("lfStrikeOut", f.lfStrikeOut);
  node.SetValue("lfCharSet", f.lfCharSet);
  node.SetValue("lfOutPrecision", f.lfOutPrecision);
  node.SetValue("lfClipPrecision", f.lfClipPrecision);
  node.SetValue("lfQuality", f.lfQuality);
  node.SetValue("lfPitchAndFamily", f.lfPitchAndFamily);
  node.SetValue("lfFaceName", Utf16ToUtf8(FaceName(f)));
}

void WriteLanguageAttributes(CXmlNodeWrapper& node, const _MYLANGUAGE& l) {
  node.SetValue("value", Utf16ToUtf8(l.value));
  node.SetValue("logfontId", l.logfontId);
  node.SetValue("color", FormatHex(l.color));
  node.SetValue("format", FormatHex(l.format));
}

}  // namespace

// ---------------------------------------------------------------------------
// CControlMgr

int CControlMgr::Load(const std::string& path) { return LoadOr(path, kEmptyDescriptionXml); }

std::uint32_t CControlMgr::ReadControl(MyControlList& out, int window) {
  const CXmlNodeWrapper block = FindWindowBlock(Root(), window);
  if (!block.IsValid()) return 0;
  const CXmlNodeListWrapper controls = block.GetChildNodes();
  std::uint32_t appended = 0;
  for (int i = 0; i < controls.Count(); ++i) {
    const CXmlNodeWrapper node = controls.GetNode(i);
    try {
      auto control = std::make_unique<_MYCONTROL>();
      control->id = ParseDecimal(node.GetValue("id"));
      control->type = TextAttribute(node, "type");
      control->bgImg = TextAttribute(node, "bgImg");
      control->tip = TextAttribute(node, "tip");
      control->rect = RectAttribute(node, "rect");
      control->normalImg = TextAttribute(node, "normalImg");
      control->overImg = TextAttribute(node, "overImg");
      control->selectImg = TextAttribute(node, "selectImg");
      control->imgRect = RectAttribute(node, "imgRect");
      control->clickRect = RectAttribute(node, "clickRect");
      control->maskColor = ParseHex(node.GetValue("maskColor"));
      control->textTable = std::make_unique<MyCtrlTextTable>();
      const int texts = node.NumNodes();
      for (int k = 0; k < 4 && k < texts; ++k) {
        const CXmlNodeWrapper text = node.GetNode(k);
        (*control->textTable)[k].languageId = ParseDecimal(text.GetValue("languageId"));
        (*control->textTable)[k].rect = RectAttribute(text, "rect");
      }
      out.push_back(std::move(control));
      ++appended;
    } catch (const std::bad_alloc&) {
      break;  // out of memory: the records so far stay with the caller
    }
  }
  return appended;
}

int CControlMgr::WriteControl(const _MYCONTROL* control, int window) {
  if (!control || !control->textTable) return 0;
  CXmlNodeWrapper block = FindWindowBlock(Root(), window);
  if (!block.IsValid()) return 0;
  const CXmlNodeListWrapper existing = block.GetChildNodes();
  if (FindById(existing, control->id).IsValid()) return 1;

  CXmlNodeWrapper node = block.InsertNode(existing.Count(), "Ctrl");
  if (!node.IsValid()) return 0;
  node.SetValue("id", control->id);
  node.SetValue("type", Utf16ToUtf8(control->type));
  node.SetValue("bgImg", Utf16ToUtf8(control->bgImg));
  node.SetValue("tip", Utf16ToUtf8(control->tip));
  node.SetValue("rect", FormatRect(control->rect));
  // The images, their rectangles and the mask colour go along too, so that a
  // written control reads back whole.
  node.SetValue("normalImg", Utf16ToUtf8(control->normalImg));
  node.SetValue("overImg", Utf16ToUtf8(control->overImg));
  node.SetValue("selectImg", Utf16ToUtf8(control->selectImg));
  node.SetValue("imgRect", FormatRect(control->imgRect));
  node.SetValue("clickRect", FormatRect(control->clickRect));
  node.SetValue("maskColor", FormatHex(control->maskColor));
  for (int j = 0; j < 4 && (*control->textTable)[j].languageId != -1; ++j) {
    CXmlNodeWrapper text = node.InsertNode(j, "Text");
    if (!text.IsValid()) return 0;
    text.SetValue("languageId", (*control->textTable)[j].languageId);
    text.SetValue("rect", FormatRect((*control->textTable)[j].rect));
  }
  return 1;
}

CRect CControlMgr::SubRect(const char16_t* text) {
  if (!text) return {};
  return SubRect(std::u16string_view(text));
}

CRect CControlMgr::SubRect(std::u16string_view text) {
  std::int32_t fields[4] = {};
  std::u16string_view rest = text;
  for (int i = 0; i < 3; ++i) {
    const std::size_t comma = rest.find(u',');
    const std::u16string_view field =
        comma == std::u16string_view::npos ? std::u16string_view() : rest.substr(0, comma);
    fields[i] = ParseDecimal(field);
    rest = Right(rest, static_cast<std::ptrdiff_t>(rest.size()) -
                           static_cast<std::ptrdiff_t>(field.size()) - 1);
  }
  fields[3] = ParseDecimal(rest);
  return {fields[0], fields[1], fields[2], fields[3]};
}

// ---------------------------------------------------------------------------
// CLanguageMgr

int CLanguageMgr::Load(const std::string& path) { return LoadOr(path, kEmptyDescriptionXml); }

std::uint32_t CLanguageMgr::ReadLanguage(MyLanguageList& out, int window) {
  const CXmlNodeWrapper block = FindWindowBlock(Root(), window);
  if (!block.IsValid()) return 0;
  const CXmlNodeListWrapper texts = block.GetChildNodes();
  std::uint32_t appended = 0;
  for (int i = 0; i < texts.Count(); ++i) {
    const CXmlNodeWrapper node = texts.GetNode(i);
    try {
      auto language = std::make_unique<_MYLANGUAGE>();
      language->id = ParseDecimal(node.GetValue("id"));
      language->value = TextAttribute(node, "value");
      language->logfontId = ParseDecimal(node.GetValue("logfontId"));
      language->color = ParseHex(node.GetValue("color"));
      language->format = ParseHex(node.GetValue("format"));
      out.push_back(std::move(language));
      ++appended;
    } catch (const std::bad_alloc&) {
      break;
    }
  }
  return appended;
}

int CLanguageMgr::WriteLanguage(const _MYLANGUAGE* language) {
  if (!language) return 0;
  CXmlNodeWrapper root = Root();
  if (!root.IsValid()) return 0;
  const CXmlNodeListWrapper children = root.GetChildNodes();
  CXmlNodeWrapper node = FindById(children, language->id);
  if (!node.IsValid()) {
    node = root.InsertNode(children.Count(), "Text");
    if (!node.IsValid()) return 0;
    node.SetValue("id", language->id);
  }
  WriteLanguageAttributes(node, *language);
  return 1;
}

// ---------------------------------------------------------------------------
// CLogfontMgr

int CLogfontMgr::Load(const std::string& path) { return LoadOr(path, kEmptyDescriptionXml); }

std::uint32_t CLogfontMgr::ReadLogfont(MyFontList& out) {
  const CXmlNodeListWrapper fonts = Root().GetChildNodes();
  std::uint32_t appended = 0;
  for (int i = 0; i < fonts.Count(); ++i) {
    const CXmlNodeWrapper node = fonts.GetNode(i);
    try {
      auto font = std::make_unique<_MYFONT>();
      font->id = ParseDecimal(node.GetValue("id"));
      font->logfont = std::make_unique<LOGFONTW>();
      LOGFONTW& f = *font->logfont;
      f.lfHeight = ParseDecimal(node.GetValue("lfHeight"));
      f.lfWidth = ParseDecimal(node.GetValue("lfWidth"));
      f.lfEscapement = ParseDecimal(node.GetValue("lfEscapement"));
      f.lfOrientation = ParseDecimal(node.GetValue("lfOrientation"));
      f.lfWeight = ParseDecimal(node.GetValue("lfWeight"));
      f.lfItalic = LowByte(ParseDecimal(node.GetValue("lfItalic")));
      f.lfUnderline = LowByte(ParseDecimal(node.GetValue("lfUnderline")));
      f.lfStrikeOut = LowByte(ParseDecimal(node.GetValue("lfStrikeOut")));
      f.lfCharSet = LowByte(ParseDecimal(node.GetValue("lfCharSet")));
      f.lfOutPrecision = LowByte(ParseDecimal(node.GetValue("lfOutPrecision")));
      f.lfClipPrecision = LowByte(ParseDecimal(node.GetValue("lfClipPrecision")));
      f.lfQuality = LowByte(ParseDecimal(node.GetValue("lfQuality")));
      f.lfPitchAndFamily = LowByte(ParseDecimal(node.GetValue("lfPitchAndFamily")));
      SetFaceName(f, TextAttribute(node, "lfFaceName"));
      out.push_back(std::move(font));
      ++appended;
    } catch (const std::bad_alloc&) {
      break;
    }
  }
  return appended;
}

int CLogfontMgr::WriteLogfont(const _MYFONT* font) {
  if (!font || !font->logfont) return 0;
  CXmlNodeWrapper root = Root();
  if (!root.IsValid()) return 0;
  const CXmlNodeListWrapper children = root.GetChildNodes();
  CXmlNodeWrapper node = FindById(children, font->id);
  if (!node.IsValid()) {
    node = root.InsertNode(children.Count(), "LogFont");
    if (!node.IsValid()) return 0;
    node.SetValue("id", font->id);
  }
  WriteFontAttributes(node, *font->logfont);
  return 1;
}

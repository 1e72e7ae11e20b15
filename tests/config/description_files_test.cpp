#include "config/description_files.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "config/text_codec.h"
#include "tests/config/test_files.h"

using config_test::Read;
using config_test::Write;

namespace {

const char kControlFile[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Root>
  <Window id="1">
    <Ctrl id="3" type="button" bgImg="bg.png" rect="12,34,56,78" tip="保存图片"
          normalImg="n.png" overImg="o.png" selectImg="s.png"
          imgRect="1, 2, 3, 4" clickRect="" maskColor="ff00ff">
      <Text languageId="7" rect="0,0,10,20"/>
      <!-- comments are not children -->
      <Text languageId="8" rect="5,5,6,6"/>
    </Ctrl>
    <Ctrl id="4"/>
    <Ctrl id="5">
      <Text languageId="1"/><Text languageId="2"/><Text languageId="3"/>
      <Text languageId="4"/><Text languageId="5"/><Text languageId="6"/>
    </Ctrl>
  </Window>
  <Other id="2"><Ctrl id="20"/></Other>
  <Window id="2"><Ctrl id="99"/><Ctrl id="98"/></Window>
</Root>
)";

class DescriptionFiles : public ::testing::Test {
 protected:
  std::filesystem::path dir = config_test::Scratch("description");
};

std::unique_ptr<MyCtrlTextTable> Table(std::initializer_list<_MYCTRLTEXT> used) {
  auto table = std::make_unique<MyCtrlTextTable>();
  int k = 0;
  for (const _MYCTRLTEXT& entry : used) (*table)[k++] = entry;
  return table;
}

}  // namespace

TEST(SubRect, FieldsWithAndWithoutBlanks) {
  EXPECT_EQ(CControlMgr::SubRect(u"12,34,56,78"), CRect(12, 34, 56, 78));
  EXPECT_EQ(CControlMgr::SubRect(u"12, 34, 56, 78"), CRect(12, 34, 56, 78));
  EXPECT_EQ(CControlMgr::SubRect(u"-5,+6,7px,8 9"), CRect(-5, 6, 7, 8));
  EXPECT_EQ(CControlMgr::SubRect(u""), CRect());
  EXPECT_EQ(CControlMgr::SubRect(static_cast<const char16_t*>(nullptr)), CRect());
  EXPECT_EQ(CControlMgr::SubRect(u",,,"), CRect());
  EXPECT_EQ(CControlMgr::SubRect(u"1,2,3,4,5"), CRect(1, 2, 3, 4));  // "4,5" reads as 4
  EXPECT_EQ(CControlMgr::SubRect(u"99999999999,0,0,-99999999999"),
            CRect(INT32_MAX, 0, 0, INT32_MIN));
  // Fewer than three commas: whatever comes, no crash and nothing read past the text.
  EXPECT_EQ(CControlMgr::SubRect(u"1,2").left, 1);
  EXPECT_EQ(CControlMgr::SubRect(u"7").left, 0);
}

TEST_F(DescriptionFiles, ReadControlBuildsRecordsOfTheFirstMatchingWindow) {
  CControlMgr mgr;
  ASSERT_EQ(mgr.Load(Write(dir / "c.xml", kControlFile)), 1);
  MyControlList list;
  ASSERT_EQ(mgr.ReadControl(list, 1), 3u);
  ASSERT_EQ(list.size(), 3u);

  const _MYCONTROL& c = *list.front();
  EXPECT_EQ(c.id, 3);
  EXPECT_EQ(c.type, u"button");
  EXPECT_EQ(c.bgImg, u"bg.png");
  EXPECT_EQ(c.tip, u"保存图片");
  EXPECT_EQ(c.rect, CRect(12, 34, 56, 78));
  EXPECT_EQ(c.normalImg, u"n.png");
  EXPECT_EQ(c.overImg, u"o.png");
  EXPECT_EQ(c.selectImg, u"s.png");
  EXPECT_EQ(c.imgRect, CRect(1, 2, 3, 4));
  EXPECT_EQ(c.clickRect, CRect());
  EXPECT_EQ(c.maskColor, 0xFF00FFu);
  ASSERT_TRUE(c.textTable);
  EXPECT_EQ((*c.textTable)[0].languageId, 7);
  EXPECT_EQ((*c.textTable)[0].rect, CRect(0, 0, 10, 20));
  EXPECT_EQ((*c.textTable)[1].languageId, 8);
  EXPECT_EQ((*c.textTable)[2].languageId, -1);
  EXPECT_EQ((*c.textTable)[3].languageId, -1);
  EXPECT_EQ((*c.textTable)[3].rect, CRect());

  // No Text children: all four unused; absent attributes read empty.
  const _MYCONTROL& bare = **std::next(list.begin());
  EXPECT_EQ(bare.id, 4);
  EXPECT_TRUE(bare.type.empty());
  EXPECT_EQ(bare.rect, CRect());
  EXPECT_EQ(bare.maskColor, 0u);
  for (const _MYCTRLTEXT& entry : *bare.textTable) EXPECT_EQ(entry.languageId, -1);

  // Six Text children: the first four are kept.
  const _MYCONTROL& six = *list.back();
  for (int k = 0; k < 4; ++k) EXPECT_EQ((*six.textTable)[k].languageId, k + 1);

  // Window 2 exists twice: the first block (named differently) wins. Reads
  // append to what the list holds.
  EXPECT_EQ(mgr.ReadControl(list, 2), 1u);
  EXPECT_EQ(list.back()->id, 20);
  EXPECT_EQ(mgr.ReadControl(list, 77), 0u);
  EXPECT_EQ(list.size(), 4u);
}

TEST_F(DescriptionFiles, MissingOrBrokenFilesReadAsTheEmptyDescription) {
  for (const std::string& path :
       {(dir / "absent.xml").string(), Write(dir / "broken.xml", "<Root><Window id='1'>"),
        Write(dir / "binary.xml", std::string("\0\xff\xfe<", 4))}) {
    CControlMgr controls;
    CLanguageMgr languages;
    CLogfontMgr fonts;
    EXPECT_EQ(controls.Load(path), 1) << path;
    EXPECT_EQ(languages.Load(path), 1);
    EXPECT_EQ(fonts.Load(path), 1);
    MyControlList c;
    MyLanguageList l;
    MyFontList f;
    EXPECT_EQ(controls.ReadControl(c, 1), 0u);
    EXPECT_EQ(languages.ReadLanguage(l, 1), 0u);
    EXPECT_EQ(fonts.ReadLogfont(f), 0u);
  }
  // Saving the fallback writes a fresh, loadable document.
  CLogfontMgr fonts;
  fonts.Load((dir / "absent.xml").string());
  ASSERT_EQ(fonts.Save((dir / "fresh.xml").string()), 1);
  CXmlDocumentWrapper doc;
  ASSERT_EQ(doc.Load((dir / "fresh.xml").string()), 1);
  EXPECT_EQ(doc.AsNode().GetName(), "Root");
  EXPECT_EQ(doc.AsNode().NumNodes(), 0);
}

TEST_F(DescriptionFiles, ReadLanguageParsesHexColourAndFormat) {
  CLanguageMgr mgr;
  ASSERT_EQ(mgr.Load(Write(dir / "l.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<Root>
  <Window id="4">
    <Text id="1" value="拍照" logfontId="2" color="ff0000" format="25"/>
    <Text id="2" value="a &amp; b" color="0x10" format="zz"/>
  </Window>
</Root>)")), 1);
  MyLanguageList list;
  ASSERT_EQ(mgr.ReadLanguage(list, 4), 2u);
  const _MYLANGUAGE& a = *list.front();
  EXPECT_EQ(a.id, 1);
  EXPECT_EQ(a.value, u"拍照");
  EXPECT_EQ(a.logfontId, 2);
  EXPECT_EQ(a.color, 0xFF0000u);
  EXPECT_EQ(a.format, 0x25u);
  const _MYLANGUAGE& b = *list.back();
  EXPECT_EQ(b.value, u"a & b");
  EXPECT_EQ(b.logfontId, 0);
  EXPECT_EQ(b.color, 0x10u);
  EXPECT_EQ(b.format, 0u);
}

TEST_F(DescriptionFiles, ReadLogfontKeepsByteFieldsAndCutsLongFaceNames) {
  const std::string longName(40, 'F');
  CLogfontMgr mgr;
  ASSERT_EQ(mgr.Load(Write(dir / "f.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<Root>
  <LogFont id="1" lfHeight="-16" lfWidth="0" lfEscapement="900" lfOrientation="-900"
           lfWeight="700" lfItalic="1" lfUnderline="0" lfStrikeOut="1" lfCharSet="134"
           lfOutPrecision="3" lfClipPrecision="2" lfQuality="300" lfPitchAndFamily="-1"
           lfFaceName="宋体"/>
  <AnyName id="2" lfFaceName=")" + longName + R"("/>
  <LogFont id="3" lfFaceName="123456789012345678901234567890😀"/>
</Root>)")), 1);
  MyFontList list;
  ASSERT_EQ(mgr.ReadLogfont(list), 3u);
  const _MYFONT& a = *list.front();
  ASSERT_TRUE(a.logfont);
  const LOGFONTW& f = *a.logfont;
  EXPECT_EQ(a.id, 1);
  EXPECT_EQ(f.lfHeight, -16);
  EXPECT_EQ(f.lfEscapement, 900);
  EXPECT_EQ(f.lfOrientation, -900);
  EXPECT_EQ(f.lfWeight, 700);
  EXPECT_EQ(f.lfItalic, 1);
  EXPECT_EQ(f.lfStrikeOut, 1);
  EXPECT_EQ(f.lfCharSet, 134);
  EXPECT_EQ(f.lfOutPrecision, 3);
  EXPECT_EQ(f.lfClipPrecision, 2);
  EXPECT_EQ(f.lfQuality, 300 & 0xFF);
  EXPECT_EQ(f.lfPitchAndFamily, 0xFF);
  EXPECT_EQ(std::u16string(f.lfFaceName), u"宋体");

  const LOGFONTW& cut = *(*std::next(list.begin()))->logfont;
  EXPECT_EQ(std::u16string(cut.lfFaceName), std::u16string(31, u'F'));
  EXPECT_EQ(cut.lfFaceName[31], 0);
  // 30 digits and a character outside the BMP: the pair does not fit, and
  // half of it is not kept.
  EXPECT_EQ(std::u16string(list.back()->logfont->lfFaceName), u"123456789012345678901234567890");
}

TEST_F(DescriptionFiles, WriteControlAddsOnceAndReadsBackWhole) {
  CControlMgr mgr;
  const std::string path = Write(dir / "w.xml", kControlFile);
  ASSERT_EQ(mgr.Load(path), 1);

  _MYCONTROL c;
  c.id = 42;
  c.type = u"slider";
  c.bgImg = u"背景.png";
  c.tip = u"tip \"quoted\" <&>";
  c.rect = {-1, 2, 300, 400};
  c.normalImg = u"n.png";
  c.overImg = u"o.png";
  c.selectImg = u"s.png";
  c.imgRect = {1, 1, 2, 2};
  c.clickRect = {3, 3, 4, 4};
  c.maskColor = 0xFFFFFFFF;
  EXPECT_EQ(mgr.WriteControl(&c, 1), 0);  // no text table
  EXPECT_EQ(mgr.WriteControl(nullptr, 1), 0);
  c.textTable = Table({{9, {0, 0, 5, 5}}, {10, {1, 2, 3, 4}}});
  EXPECT_EQ(mgr.WriteControl(&c, 77), 0);  // no such window
  ASSERT_EQ(mgr.WriteControl(&c, 1), 1);
  ASSERT_EQ(mgr.Save(path), 1);
  const std::string once = Read(path);

  // Writing it again, or any control whose id the window already has,
  // changes nothing.
  EXPECT_EQ(mgr.WriteControl(&c, 1), 1);
  _MYCONTROL clash;
  clash.id = 3;
  clash.textTable = Table({});
  EXPECT_EQ(mgr.WriteControl(&clash, 1), 1);
  ASSERT_EQ(mgr.Save(path), 1);
  EXPECT_EQ(Read(path), once);

  CControlMgr reader;
  ASSERT_EQ(reader.Load(path), 1);
  MyControlList list;
  ASSERT_EQ(reader.ReadControl(list, 1), 4u);
  const _MYCONTROL& r = *list.back();
  EXPECT_EQ(r.id, 42);
  EXPECT_EQ(r.type, c.type);
  EXPECT_EQ(r.bgImg, c.bgImg);
  EXPECT_EQ(r.tip, c.tip);
  EXPECT_EQ(r.rect, c.rect);
  EXPECT_EQ(r.normalImg, c.normalImg);
  EXPECT_EQ(r.overImg, c.overImg);
  EXPECT_EQ(r.selectImg, c.selectImg);
  EXPECT_EQ(r.imgRect, c.imgRect);
  EXPECT_EQ(r.clickRect, c.clickRect);
  EXPECT_EQ(r.maskColor, c.maskColor);
  EXPECT_EQ((*r.textTable)[0].languageId, 9);
  EXPECT_EQ((*r.textTable)[1].rect, CRect(1, 2, 3, 4));
  EXPECT_EQ((*r.textTable)[2].languageId, -1);
}

TEST_F(DescriptionFiles, WriteLanguageRewritesInPlaceOrAppendsUnderTheRoot) {
  const std::string path = Write(dir / "wl.xml", R"(<Root><Text id="5" value="old" color="1"/><Window id="1"/></Root>)");
  CLanguageMgr mgr;
  ASSERT_EQ(mgr.Load(path), 1);
  EXPECT_EQ(mgr.WriteLanguage(nullptr), 0);

  _MYLANGUAGE updated{5, u"新", 3, 0xFF0000, 0x25};
  _MYLANGUAGE added{6, u"added", 1, 0xABCDEF, 0};
  ASSERT_EQ(mgr.WriteLanguage(&updated), 1);
  ASSERT_EQ(mgr.WriteLanguage(&added), 1);
  ASSERT_EQ(mgr.Save(path), 1);
  const std::string once = Read(path);
  ASSERT_EQ(mgr.WriteLanguage(&updated), 1);
  ASSERT_EQ(mgr.WriteLanguage(&added), 1);
  ASSERT_EQ(mgr.Save(path), 1);
  EXPECT_EQ(Read(path), once);  // idempotent

  CXmlDocumentWrapper doc;
  ASSERT_EQ(doc.Load(path), 1);
  const CXmlNodeWrapper root = doc.AsNode();
  ASSERT_EQ(root.NumNodes(), 3);
  const CXmlNodeWrapper first = root.GetNode(0);
  EXPECT_EQ(first.GetValue("value"), "\xE6\x96\xB0");
  EXPECT_EQ(first.GetValue("logfontId"), "3");
  const CXmlNodeWrapper last = root.GetNode(2);
  EXPECT_EQ(last.GetName(), "Text");
  EXPECT_EQ(last.GetValue("id"), "6");
  // Colour and format are spelled so that the reader's "%x" gets them back.
  EXPECT_EQ(ParseHex(first.GetValue("color")), 0xFF0000u);
  EXPECT_EQ(ParseHex(first.GetValue("format")), 0x25u);
  EXPECT_EQ(ParseHex(last.GetValue("color")), 0xABCDEFu);
}

TEST_F(DescriptionFiles, WriteLogfontRoundTripsAndUpdatesInPlace) {
  const std::string path = (dir / "wf.xml").string();
  CLogfontMgr mgr;
  ASSERT_EQ(mgr.Load(path), 1);  // absent: starts from the empty description
  _MYFONT empty;
  EXPECT_EQ(mgr.WriteLogfont(&empty), 0);  // no LOGFONTW
  EXPECT_EQ(mgr.WriteLogfont(nullptr), 0);

  _MYFONT font;
  font.id = 2;
  font.logfont = std::make_unique<LOGFONTW>();
  LOGFONTW& f = *font.logfont;
  f.lfHeight = -24;
  f.lfWeight = 400;
  f.lfCharSet = 134;
  f.lfQuality = 255;
  f.lfItalic = 1;
  const std::u16string face = u"黑体";
  std::copy(face.begin(), face.end(), f.lfFaceName);
  ASSERT_EQ(mgr.WriteLogfont(&font), 1);
  f.lfHeight = -30;  // the same id again rewrites the element
  ASSERT_EQ(mgr.WriteLogfont(&font), 1);
  _MYFONT other;
  other.id = 3;
  other.logfont = std::make_unique<LOGFONTW>();
  std::fill(std::begin(other.logfont->lfFaceName), std::end(other.logfont->lfFaceName), u'x');
  ASSERT_EQ(mgr.WriteLogfont(&other), 1);  // an unterminated face name stops at the field's end
  ASSERT_EQ(mgr.Save(path), 1);

  CLogfontMgr reader;
  ASSERT_EQ(reader.Load(path), 1);
  MyFontList list;
  ASSERT_EQ(reader.ReadLogfont(list), 2u);
  const LOGFONTW& r = *list.front()->logfont;
  EXPECT_EQ(list.front()->id, 2);
  EXPECT_EQ(r.lfHeight, -30);
  EXPECT_EQ(r.lfWeight, 400);
  EXPECT_EQ(r.lfCharSet, 134);
  EXPECT_EQ(r.lfQuality, 255);
  EXPECT_EQ(r.lfItalic, 1);
  EXPECT_EQ(std::u16string(r.lfFaceName), face);
  EXPECT_EQ(std::u16string(list.back()->logfont->lfFaceName), std::u16string(31, u'x'));
}

TEST_F(DescriptionFiles, CopiesShareOneDocument) {
  CControlMgr a;
  ASSERT_EQ(a.Load(Write(dir / "share.xml", kControlFile)), 1);
  CControlMgr b(a);
  _MYCONTROL c;
  c.id = 100;
  c.textTable = Table({});
  ASSERT_EQ(b.WriteControl(&c, 2), 1);
  MyControlList list;
  EXPECT_EQ(a.ReadControl(list, 2), 2u);
  EXPECT_EQ(list.back()->id, 100);

  CControlMgr unloaded;  // no document yet: nothing to read or write into
  EXPECT_EQ(unloaded.ReadControl(list, 1), 0u);
  EXPECT_EQ(unloaded.WriteControl(&c, 1), 0);
  CLanguageMgr noLanguage;
  _MYLANGUAGE l;
  EXPECT_EQ(noLanguage.WriteLanguage(&l), 0);
}

TEST_F(DescriptionFiles, OddContentReadsWhatCanBeRead) {
  std::string huge(1 << 20, 'a');
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<n>";
  for (int i = 0; i < 5000; ++i) deep += "</n>";
  CControlMgr mgr;
  ASSERT_EQ(mgr.Load(Write(dir / "odd.xml", "<Root>text<Window id=' 1x'>" + deep +
                                                 "<Ctrl id='-2147483649' rect='" + huge +
                                                 "' tip='" + huge + "'>" + deep +
                                                 "</Ctrl>stray</Window></Root>")),
            1);
  MyControlList list;
  ASSERT_EQ(mgr.ReadControl(list, 1), 2u);
  EXPECT_EQ(list.front()->id, 0);
  EXPECT_EQ((*list.front()->textTable)[0].languageId, 0);  // <n> counts as a text entry
  EXPECT_EQ(list.back()->id, INT32_MIN);
  EXPECT_EQ(list.back()->tip.size(), huge.size());
  EXPECT_EQ(list.back()->rect, CRect());
}

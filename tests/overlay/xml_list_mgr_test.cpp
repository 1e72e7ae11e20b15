#include "overlay/xml_list_mgr.h"

#include <QTest>
#include <gtest/gtest.h>

#include "config/text_codec.h"
#include "contracts/fundara/paths.h"
#include "imaging/gdi_image.h"
#include "tests/fundara/scratch_env.h"
#include "tests/support/test_app.h"

namespace fs = std::filesystem;

namespace {

// The "demo" set: window 2 has controls 1 (twice), 2 (text -1), 3 (text 7,
// whose font is missing), 4 (full chain), 5 (list bar), 6 (gif), 8 (gif
// with a missing file), 9 (tab).
constexpr char kControls[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Root>
  <Window id="1"><Ctrl id="1" rect="0,0,1,1"/></Window>
  <Window id="2">
    <Ctrl id="1" rect="10,20,58,68" bgImg="photo_normal.svg" normalImg="photo_normal.svg" overImg="photo_over.svg" selectImg="photo_select.svg" tip="Photograph"><Text languageId="4" rect="0,0,48,48"/></Ctrl>
    <Ctrl id="1" rect="100,100,200,200" bgImg="second.png"/>
    <Ctrl id="2" rect="0,0,40,40"><Text languageId="-1"/></Ctrl>
    <Ctrl id="3" rect="0,0,40,40"><Text languageId="7"/></Ctrl>
    <Ctrl id="4" rect="60,0,160,40"><Text languageId="4"/></Ctrl>
    <Ctrl id="5" rect="0,300,400,380" overImg="arrow_right_normal.svg" selectImg="arrow_left_normal.svg"/>
    <Ctrl id="6" rect="420,300,468,348" bgImg="busy.gif"/>
    <Ctrl id="8" rect="500,300,548,348" bgImg="gone.gif"/>
    <Ctrl id="9" rect="0,400,300,440" bgImg="tab_normal.svg"/>
  </Window>
</Root>
)";
constexpr char kTexts[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Root>
  <Window id="2">
    <Text id="-1" value="never shown" logfontId="1"/>
    <Text id="4" value="拍照" logfontId="1" color="ff" format="25"/>
    <Text id="4" value="second" logfontId="1"/>
    <Text id="7" value="no font" logfontId="99"/>
  </Window>
</Root>
)";
constexpr char kFonts[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Root>
  <LogFont id="1" lfHeight="-18" lfWeight="700" lfCharSet="134" lfFaceName="黑体"/>
</Root>
)";

class XmlListMgrTest : public fundara_test::ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    const fs::path settings = GetSettingsPath();
    fundara_test::WriteFile(settings / "demo_control.xml", kControls);
    fundara_test::WriteFile(settings / "demo_language.xml", kTexts);
    fundara_test::WriteFile(settings / "demo_logfont.xml", kFonts);
    ASSERT_EQ(mgr.LoadCtrlList(u"demo_control.xml", 2), 9u);
    ASSERT_EQ(mgr.LoadLanguageList(u"demo_language.xml", 2), 4u);
    ASSERT_EQ(mgr.LoadLogfontList(u"demo_logfont.xml"), 1u);
    parent.Create(CWnd::Kind::Popup, "parent", CRect(0, 0, 640, 480));
    parent.ShowWindow(SW_SHOW);
  }
  std::u16string Folder() const { return Utf8ToUtf16(GetImagePath() + "/"); }

  QApplication& app = TestApp();  // before any window
  CXmlListMgr mgr;
  CWnd parent;
};

}  // namespace

TEST_F(XmlListMgrTest, FirstRecordWinsAndPathsFallBack) {
  ASSERT_NE(mgr.GetCtrl(1), nullptr);
  EXPECT_EQ(mgr.GetCtrl(1)->rect, CRect(10, 20, 58, 68));
  EXPECT_EQ(mgr.GetBgRect(1), CRect(10, 20, 58, 68));
  EXPECT_EQ(mgr.GetBgRect(42), CRect());
  EXPECT_EQ(mgr.GetBgImgPath(1), Folder() + u"photo_normal.svg");
  EXPECT_EQ(mgr.GetBgImgPath(42), Folder());
  EXPECT_EQ(mgr.GetLanguage(4)->value, u"拍照");
  EXPECT_EQ(mgr.GetMyFont(1)->logfont->lfCharSet, 134);
  EXPECT_EQ(mgr.GetMyFont(2), nullptr);

  // Every building call takes the first of the two controls with id 1.
  CGdiBtnEx btn;
  CRect rect;
  ASSERT_EQ(mgr.LoadGdiBtn(btn, rect, &parent, 1), 1);
  EXPECT_EQ(rect, CRect(10, 20, 58, 68));
  EXPECT_EQ(btn.geometry(), QRect(10, 20, 48, 48));
  EXPECT_EQ(btn.toolTip(), "Photograph");
  EXPECT_FALSE(btn.GetOverImage().isNull());
  CUIImage image;
  ASSERT_EQ(mgr.LoadGdiImage(image, rect, 1), 1);
  EXPECT_EQ(image.GetImage().size(), QSize(48, 48));
  rect = CRect(1, 2, 3, 4);
  EXPECT_EQ(mgr.LoadGdiImage(image, rect, 42), 0);
  EXPECT_TRUE(rect.IsRectNull());
}

TEST_F(XmlListMgrTest, TheImageLibrarysHolderTakesInterfacePictures) {
  CUIImage ui;
  CGdiImage holder;
  CRect rect;
  ASSERT_EQ(mgr.LoadGdiImage(ui, rect, 1), 1);
  ASSERT_EQ(mgr.LoadGdiImage(holder, rect, 1), 1);
  EXPECT_EQ(rect, CRect(10, 20, 58, 68));
  ASSERT_NE(holder.GetImage(), nullptr);
  // The holder keeps plain ARGB: the same colours as the premultiplied original.
  EXPECT_EQ(holder.GetImage()->format(), QImage::Format_ARGB32);
  EXPECT_EQ(holder.GetImageWidth(), 48u);
  EXPECT_EQ(holder.GetImageHeight(), 48u);
  const QImage expected = ui.GetImage().convertToFormat(QImage::Format_ARGB32);
  int opaque = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 48; ++x) {
      ASSERT_EQ(holder.GetImage()->pixel(x, y), expected.pixel(x, y)) << x << "," << y;
      opaque += qAlpha(expected.pixel(x, y)) == 255;
    }
  EXPECT_GT(opaque, 0);
  // A picture that cannot be had leaves the holder empty.
  EXPECT_EQ(holder.SetUIImage(QImage(), "none.png"), 0);
  EXPECT_EQ(holder.GetImage(), nullptr);
}

TEST_F(XmlListMgrTest, CaptionChain) {
  // Full chain: control 4 → text 4 (the first of two) → font 1.
  auto chain = mgr.ResolveCaption(4);
  ASSERT_NE(chain.language, nullptr);
  EXPECT_EQ(chain.language->value, u"拍照");
  ASSERT_NE(chain.font, nullptr);
  CGdiBtnEx full;
  CRect rect;
  mgr.LoadGdiBtn(full, rect, &parent, 4);
  EXPECT_EQ(full.Caption().GetText(), QString::fromUtf8("拍照"));
  EXPECT_EQ(full.Caption().GetColor(), QColor(255, 0, 0));
  EXPECT_EQ(full.Caption().GetFormat(), 0x25u);
  EXPECT_EQ(full.Caption().GetFont().pixelSize(), 18);

  // languageId -1: neither text nor font, even though a text has id -1.
  chain = mgr.ResolveCaption(2);
  EXPECT_NE(chain.control, nullptr);
  EXPECT_EQ(chain.language, nullptr);
  EXPECT_EQ(chain.font, nullptr);
  CHdcBtn none;
  mgr.LoadHdcBtn(none, rect, &parent, 2);
  EXPECT_TRUE(none.Caption().GetText().isEmpty());

  // A text whose font is missing: text, no font.
  chain = mgr.ResolveCaption(3);
  ASSERT_NE(chain.language, nullptr);
  EXPECT_EQ(chain.font, nullptr);
  CGdiSlider slider;
  mgr.LoadGdiSlider(slider, rect, &parent, 3);
  EXPECT_EQ(slider.Caption().GetText(), "no font");
  EXPECT_EQ(rect, CRect(0, 0, 40, 40));

  // A control that is not there: the call is still made, with nulls.
  CGdiBtnEx missing;
  rect = CRect(1, 1, 2, 2);
  EXPECT_EQ(mgr.LoadGdiBtn(missing, rect, &parent, 77), 1);
  EXPECT_TRUE(rect.IsRectNull());
  EXPECT_EQ(missing.GetParentWnd(), &parent);
  EXPECT_EQ(missing.GetDlgCtrlID(), 77u);
  EXPECT_FALSE(missing.IsWindowVisible());
}

TEST_F(XmlListMgrTest, ReleaseAndReloadReplaceTheLists) {
  mgr.CtrlRelease();
  for (int id = -1; id <= 10; ++id) EXPECT_EQ(mgr.GetCtrl(id), nullptr);
  EXPECT_NE(mgr.GetLanguage(4), nullptr);  // the other lists stay
  EXPECT_EQ(mgr.LoadCtrlList(u"demo_control.xml", 1), 1u);
  EXPECT_EQ(mgr.GetCtrl(1)->rect, CRect(0, 0, 1, 1));
  EXPECT_EQ(mgr.GetCtrlList().size(), 1u);  // replaced, not appended
  EXPECT_EQ(mgr.LoadCtrlList(u"demo_control.xml", 2), 9u);
  EXPECT_EQ(mgr.GetCtrlList().size(), 9u);

  // A missing file or window gives empty lists, never an error.
  EXPECT_EQ(mgr.LoadLanguageList(u"nothing_language.xml", 2), 0u);
  EXPECT_EQ(mgr.GetLanguage(4), nullptr);
  EXPECT_EQ(mgr.LoadCtrlList(u"demo_control.xml", 3), 0u);
  EXPECT_EQ(mgr.LoadCtrlList(u"../escape.xml", 2), 0u);
  mgr.Release();
  EXPECT_TRUE(mgr.GetCtrlList().empty());
  EXPECT_TRUE(mgr.GetLanguageList().empty());
  EXPECT_TRUE(mgr.GetFontList().empty());

  // A whole set's window block at once.
  mgr.LoadSet(u"demo", 2);
  EXPECT_EQ(mgr.GetCtrlList().size(), 9u);
  EXPECT_EQ(mgr.GetLanguageList().size(), 4u);
  EXPECT_EQ(mgr.GetFontList().size(), 1u);
  mgr.LoadSet(u"demo", 1);
  EXPECT_EQ(mgr.GetCtrlList().size(), 1u);
}

TEST_F(XmlListMgrTest, ListTabOnlyWithItsControl) {
  CListTab tab;
  CRect rect(1, 1, 2, 2);
  EXPECT_EQ(mgr.LoadListTab(tab, rect, &parent, 42), 0);
  EXPECT_EQ(tab.parentWidget(), nullptr);  // nothing created
  ASSERT_EQ(mgr.LoadListTab(tab, rect, &parent, 9), 1);
  EXPECT_EQ(rect, CRect(0, 400, 300, 440));
  EXPECT_EQ(tab.GetParentWnd(), &parent);
  EXPECT_FALSE(tab.GetBgImage().isNull());
  EXPECT_EQ(mgr.AddListTabBtn(tab, 4), 1);
  ASSERT_NE(tab.GetTabBtn(4), nullptr);
  EXPECT_EQ(tab.GetTabBtn(4)->Caption().GetText(), QString::fromUtf8("拍照"));
  EXPECT_EQ(tab.GetTabBtn(4)->geometry(), QRect(60, 0, 100, 40));
}

TEST_F(XmlListMgrTest, ListBarIsAlwaysCreated) {
  CListBar empty;
  CRect rect(1, 1, 2, 2);
  EXPECT_EQ(mgr.LoadListBar(empty, rect, &parent, 42), 0);
  EXPECT_TRUE(rect.IsRectNull());
  EXPECT_EQ(empty.GetParentWnd(), &parent);
  EXPECT_EQ(empty.GetDlgCtrlID(), 42u);
  EXPECT_EQ(empty.GetWindowText(), "listBar");
  EXPECT_FALSE(empty.IsWindowVisible());

  CListBar bar;
  ASSERT_EQ(mgr.LoadListBar(bar, rect, &parent, 5), 1);
  EXPECT_EQ(rect, CRect(0, 300, 400, 380));
  EXPECT_TRUE(bar.IsWindowVisible());
  EXPECT_FALSE(bar.GetForwardBtn().GetNormalImage().isNull());   // "overImg"
  EXPECT_FALSE(bar.GetBackwardBtn().GetNormalImage().isNull());  // "selectImg"
  EXPECT_EQ(bar.GetForwardBtn().GetParentWnd(), &bar);
}

TEST_F(XmlListMgrTest, GifStatic) {
  CPictureEx missing;
  CRect rect(1, 1, 2, 2);
  EXPECT_EQ(mgr.LoadGifStatic(missing, rect, &parent, 42), 0);
  EXPECT_TRUE(rect.IsRectNull());
  EXPECT_EQ(missing.GetParentWnd(), &parent);
  EXPECT_FALSE(missing.IsWindowVisible());

  CPictureEx gif;
  ASSERT_EQ(mgr.LoadGifStatic(gif, rect, &parent, 6), 1);
  EXPECT_EQ(rect, CRect(420, 300, 468, 348));
  EXPECT_TRUE(gif.IsWindowVisible());
  EXPECT_EQ(gif.GetFrameCount(), 8);
  EXPECT_TRUE(gif.IsPlaying());

  // The picture file is missing: the control still takes its place.
  CPictureEx gone;
  EXPECT_EQ(mgr.LoadGifStatic(gone, rect, &parent, 8), 0);
  EXPECT_EQ(rect, CRect(500, 300, 548, 348));
  EXPECT_TRUE(gone.IsWindowVisible());
  EXPECT_FALSE(gone.IsLoaded());
}

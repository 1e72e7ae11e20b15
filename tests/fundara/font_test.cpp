#include "contracts/fundara/font.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>

#include <gtest/gtest.h>

// fontconfig keeps caches for the life of the process; they are not leaks
// of ours (the same list as tests/lsan.supp, built in so it also holds when
// the suite runs without its ctest environment).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libQt6Gui.so\nleak:libQt6Core.so\n";
}

namespace {

QGuiApplication* App() {
  static int argc = 1;
  static char name[] = "test_fundara";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  return app;
}

}  // namespace

TEST(SetFont, DescribesAndMakesTheFont) {
  App();
  CSetFont font;
  ASSERT_EQ(font.SetFont("宋体", -20, 700, true), 1);
  EXPECT_EQ(font.GetFaceName(), "宋体");
  EXPECT_EQ(font.GetLogFont().lfHeight, -20);
  const QFont q = font.GetFont();
  EXPECT_EQ(q.pixelSize(), 20);
  EXPECT_EQ(q.weight(), QFont::Bold);
  EXPECT_TRUE(q.italic());
  // The Windows face name reaches a font that can draw Chinese text.
  EXPECT_TRUE(QFontInfo(q).family().contains("CJK")) << QFontInfo(q).family().toStdString();
  EXPECT_TRUE(QFontMetrics(q).inFont(QChar(0x4FDD)));  // 保

  // A positive height is the cell height; the face name holds 31 units at most.
  const std::string longName(40, 'x');
  ASSERT_EQ(font.SetFont(longName, 16), 1);
  EXPECT_EQ(font.GetFaceName(), std::string(31, 'x'));
  EXPECT_EQ(font.GetLogFont().lfFaceName[31], 0);
  EXPECT_EQ(font.GetFont().pixelSize(), 14);
  EXPECT_EQ(font.GetFont().weight(), QFont::Normal);
  EXPECT_EQ(font.SetFont("", 16), 0);
  EXPECT_EQ(font.GetFaceName(), std::string(31, 'x'));  // unchanged by a refusal
}

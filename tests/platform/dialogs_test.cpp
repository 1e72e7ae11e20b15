#include "platform/dialogs.h"

#include "platform/display.h"
#include "platform/window.h"

#include <QAbstractButton>
#include <QDir>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>

#include "tests/support/test_app.h"

namespace {

constexpr char kPictureFilter[] =
    "jpg  file(*.jpg)|*.jpg|bmp  file(*.bmp)|*.bmp|png  file(*.png)|*.png|gif  file(*.gif)|*.gif|tif  "
    "file(*.tif)|*.tif||";

}  // namespace

TEST(Dialogs, FilterStringsBecomeNameFilters) {
  const struct {
    const char* filter;
    QStringList expected;
  } cases[] = {
      {kPictureFilter,
       {"jpg  file(*.jpg) (*.jpg)", "bmp  file(*.bmp) (*.bmp)", "png  file(*.png) (*.png)",
        "gif  file(*.gif) (*.gif)", "tif  file(*.tif) (*.tif)"}},
      {"Pictures|*.jpg;*.png; *.bmp|All|*.*||", {"Pictures (*.jpg *.png *.bmp)", "All (*.*)"}},
      {"jpg文件(*.jpg)|*.jpg", {"jpg文件(*.jpg) (*.jpg)"}},  // no terminator
      {"empty||bmp|*.bmp||", {"bmp (*.bmp)"}},             // a description without patterns
      {"a|*.a|dangling", {"a (*.a)"}},
      {"||a|*.a", {}},  // the terminator first
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(NameFiltersFromFilter(QString::fromUtf8(c.filter)), c.expected) << c.filter;
}

TEST(Dialogs, AScriptRecordsEveryBoxAndAnswersIt) {
  TestApp();
  CDialogScript script;
  CWnd owner;
  const struct {
    UINT type;
    int scripted;  // 0: nothing queued
    int answer;
  } cases[] = {
      {MB_OK | MB_ICONINFORMATION, 0, IDOK},   {MB_OKCANCEL | MB_ICONWARNING, 0, IDOK},
      {MB_YESNO | MB_ICONQUESTION, 0, IDYES},  {MB_YESNO, IDNO, IDNO},
      {MB_OKCANCEL, IDCANCEL, IDCANCEL},
  };
  int n = 0;
  for (const auto& c : cases) {
    if (c.scripted) script.AnswerBox(c.scripted);
    const QString text = QStringLiteral("text %1").arg(n++);
    EXPECT_EQ(MessageBox(&owner, text, QStringLiteral("保存成功！"), c.type), c.answer) << c.type;
    const CMessageBoxCall last = script.Boxes().back();
    EXPECT_EQ(last.text, text);
    EXPECT_EQ(last.caption, QStringLiteral("保存成功！"));
    EXPECT_EQ(last.type, c.type);
    EXPECT_EQ(last.owner, &owner);
  }
  EXPECT_EQ(script.Boxes().size(), std::size(cases));
  script.Clear();
  EXPECT_TRUE(script.Boxes().empty());
}

TEST(Dialogs, ChoosersAreRecordedAndAnsweredWithTheirFilter) {
  TestApp();
  CDialogScript script;
  const QString filter = QString::fromUtf8(kPictureFilter);

  // A save chooser starts on the filter asked for and reports the one chosen.
  int index = 3;
  script.AnswerChooser("/tmp/lesson", 2);
  EXPECT_EQ(ChooseSaveFile(nullptr, "Save", filter, "/tmp/a.png", &index), "/tmp/lesson");
  EXPECT_EQ(index, 2);
  // Cancelled: nothing chosen, the index stays.
  EXPECT_EQ(ChooseSaveFile(nullptr, "Save", filter, {}, &index), QString());
  EXPECT_EQ(index, 2);
  // Several files at once; a missing or impossible index starts on the first filter.
  script.AnswerChooser(CChooserAnswer{{"/a.jpg", "/b.jpg"}, 1});
  int none = 0;
  EXPECT_EQ(ChooseOpenFiles(nullptr, "Open", filter, {}, &none), QStringList({"/a.jpg", "/b.jpg"}));
  script.AnswerChooser("/c.bmp");
  EXPECT_EQ(ChooseOpenFile(nullptr, "Open one", filter), "/c.bmp");
  script.AnswerChooser("/data/");
  EXPECT_EQ(ChooseFolder(nullptr, "Folder", "/home"), "/data/");

  const auto calls = script.Choosers();
  ASSERT_EQ(calls.size(), 5u);
  const struct {
    ChooserKind kind;
    const char* title;
    const char* start;
    int filterIndex;
    bool hasFilter;
  } expected[] = {
      {ChooserKind::SaveFile, "Save", "/tmp/a.png", 3, true}, {ChooserKind::SaveFile, "Save", "", 2, true},
      {ChooserKind::OpenFiles, "Open", "", 1, true},         {ChooserKind::OpenFile, "Open one", "", 1, true},
      {ChooserKind::Folder, "Folder", "/home", 1, false},
  };
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].kind, expected[i].kind) << i;
    EXPECT_EQ(calls[i].title, expected[i].title) << i;
    EXPECT_EQ(calls[i].start, expected[i].start) << i;
    EXPECT_EQ(calls[i].filterIndex, expected[i].filterIndex) << i;
    EXPECT_EQ(calls[i].filter, expected[i].hasFilter ? filter : QString()) << i;
  }
}

TEST(Dialogs, TheNewestScriptAnswersUntilItGoes) {
  TestApp();
  CDialogScript outer;
  outer.AnswerBox(IDNO);
  {
    CDialogScript inner;
    inner.AnswerBox(IDCANCEL);
    EXPECT_EQ(MessageBox(nullptr, "inner", "", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(inner.Boxes().size(), 1u);
  }
  EXPECT_EQ(MessageBox(nullptr, "outer", "", MB_YESNO), IDNO);
  ASSERT_EQ(outer.Boxes().size(), 1u);
  EXPECT_EQ(outer.Boxes()[0].text, "outer");
}

using DialogsDeathTest = ::testing::Test;

TEST_F(DialogsDeathTest, WithoutAScriptTheHeadlessPlatformEndsWithTheText) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        TestApp();
        MessageBox(nullptr, "Nobody would ever press OK here", "Caption", MB_OK);
      },
      "Nobody would ever press OK here");
  EXPECT_DEATH(
      {
        TestApp();
        ChooseFolder(nullptr, "Choose the output folder", "/tmp");
      },
      "Choose the output folder");
}

TEST(Dialogs, TheSystemBoxHasTheTypesButtonsIconAndAnswers) {
  TestApp();
  CWnd owner;
  owner.Create(CWnd::Kind::TopLevel, "owner", CRect(10, 10, 210, 110));
  QWidget child(&owner);
  const struct {
    UINT type;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon;
    QMessageBox::StandardButton press;
    int pressed;
    int escaped;
  } cases[] = {
      {MB_OK, QMessageBox::Ok, QMessageBox::NoIcon, QMessageBox::Ok, IDOK, IDOK},
      {MB_OKCANCEL | MB_ICONWARNING, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Warning, QMessageBox::Ok,
       IDOK, IDCANCEL},
      {MB_OKCANCEL | MB_ICONERROR, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Critical,
       QMessageBox::Cancel, IDCANCEL, IDCANCEL},
      {MB_YESNO | MB_ICONQUESTION, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question, QMessageBox::Yes,
       IDYES, IDNO},
      {MB_YESNO | MB_ICONINFORMATION, QMessageBox::Yes | QMessageBox::No, QMessageBox::Information,
       QMessageBox::No, IDNO, IDNO},
      {0x0000000E, QMessageBox::Ok, QMessageBox::NoIcon, QMessageBox::Ok, IDOK, IDOK},  // unknown set
  };
  for (const auto& c : cases) {
    for (const bool escape : {false, true}) {
      // Owned through a child window: the box belongs to its top-level window.
      CSystemMessageBox box(&child, "text", "caption", c.type);
      EXPECT_EQ(box.standardButtons(), c.buttons) << c.type;
      EXPECT_EQ(box.icon(), c.icon) << c.type;
      EXPECT_EQ(box.parentWidget(), &owner);
      EXPECT_EQ(box.windowModality(), Qt::WindowModal);
      EXPECT_EQ(box.windowTitle(), "caption");
      box.show();
      // Centred on the owner's screen.
      const QPoint centre = owner.screen()->availableGeometry().center();
      EXPECT_LE((box.frameGeometry().center() - centre).manhattanLength(), 2) << c.type;
      if (escape)
        QTest::keyClick(&box, Qt::Key_Escape);
      else
        box.button(c.press)->click();
      EXPECT_EQ(box.Answer(), escape ? c.escaped : c.pressed) << c.type << " escape " << escape;
    }
  }
  CSystemMessageBox unowned(nullptr, "text", "caption", MB_OK);
  EXPECT_EQ(unowned.parentWidget(), nullptr);
  EXPECT_EQ(unowned.windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(unowned.Answer(), IDOK);  // closed before any button
}

TEST(Dialogs, TheFileDialogOfEachChooser) {
  TestApp();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString folder = QDir(dir.path()).canonicalPath();
  const QString filter = QString::fromUtf8(kPictureFilter);
  const struct {
    ChooserKind kind;
    QString start;
    int filterIndex;
    QFileDialog::FileMode mode;
    QFileDialog::AcceptMode accept;
    int shownIndex;        // the filter shown first (0: no filters)
    QString selectedFile;  // empty: none
  } cases[] = {
      {ChooserKind::OpenFile, folder, 2, QFileDialog::ExistingFile, QFileDialog::AcceptOpen, 2, {}},
      {ChooserKind::OpenFiles, folder, 9, QFileDialog::ExistingFiles, QFileDialog::AcceptOpen, 1, {}},
      {ChooserKind::SaveFile, folder + "/page.png", 3, QFileDialog::AnyFile, QFileDialog::AcceptSave, 3,
       folder + "/page.png"},
      {ChooserKind::Folder, folder, 1, QFileDialog::Directory, QFileDialog::AcceptOpen, 0, {}},
  };
  const QStringList nameFilters = NameFiltersFromFilter(filter);
  for (const auto& c : cases) {
    CChooserCall call;
    call.kind = c.kind;
    call.title = "title";
    call.filter = c.kind == ChooserKind::Folder ? QString() : filter;
    call.start = c.start;
    call.filterIndex = c.filterIndex;
    QFileDialog dialog;
    PrepareFileDialog(dialog, call);
    const int kind = static_cast<int>(c.kind);
    EXPECT_EQ(dialog.windowTitle(), "title") << kind;
    EXPECT_EQ(dialog.fileMode(), c.mode) << kind;
    EXPECT_EQ(dialog.acceptMode(), c.accept) << kind;
    EXPECT_EQ(dialog.windowModality(), Qt::ApplicationModal) << kind;
    EXPECT_EQ(dialog.directory().canonicalPath(), folder) << kind;
    EXPECT_EQ(dialog.testOption(QFileDialog::ShowDirsOnly), c.kind == ChooserKind::Folder) << kind;
    if (!c.selectedFile.isEmpty()) {
      EXPECT_EQ(dialog.selectedFiles(), QStringList{c.selectedFile}) << kind;
    }
    EXPECT_TRUE(ReadFileDialog(dialog, false).paths.isEmpty()) << kind;
    if (c.shownIndex == 0) continue;
    // The dialog folds runs of blanks and shows the descriptions only.
    ASSERT_EQ(dialog.nameFilters().size(), nameFilters.size()) << kind;
    EXPECT_TRUE(nameFilters[c.shownIndex - 1].simplified().startsWith(dialog.selectedNameFilter())) << kind;
    EXPECT_EQ(ReadFileDialog(dialog, true).filterIndex, c.shownIndex) << kind;
  }
}

TEST(TextMessages, TheReceiverReadsTheTextDuringTheCallFromAnyThread) {
  TestApp();
  CMessageRecorder receiver;
  std::vector<QString> seen;
  receiver.answer = [&](UINT msg, WPARAM, LPARAM l) -> LRESULT {
    seen.push_back(TextFromLParam(l));
    return msg;
  };
  const QString path = QString::fromUtf8("/home/老师/图片/1.jpg");
  EXPECT_EQ(SendTextMessage(&receiver, 2253, 0, path), 2253);
  std::thread worker([&] { SendTextMessage(&receiver, 2253, 0, QStringLiteral("/from/a/worker.png")); });
  ASSERT_TRUE(receiver.WaitFor(2253, 2));
  worker.join();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], path);
  EXPECT_EQ(seen[1], "/from/a/worker.png");
  EXPECT_EQ(TextFromLParam(0), QString());
}

TEST(QtPlatform, WaylandSessionsRunOnXWhenTheUserChoseNothing) {
  const struct {
    const char* qpa;
    const char* wayland;
    const char* session;
    const char* display;
    const char* platform;
    bool notice;
  } cases[] = {
      {nullptr, "wayland-0", "wayland", ":0", "xcb", false},
      {"", "wayland-0", nullptr, ":1", "xcb", false},       // an empty choice is no choice
      {nullptr, nullptr, "wayland", ":0", "xcb", false},   // the session type alone
      {"wayland", "wayland-0", "wayland", ":0", "", false},  // the user's choice stands
      {"offscreen", nullptr, nullptr, nullptr, "", false},
      {nullptr, nullptr, "x11", ":0", "", false},           // X already
      {nullptr, nullptr, nullptr, ":0", "", false},
      {nullptr, "wayland-0", "wayland", nullptr, "", true},  // no XWayland: said, left to Qt
      {nullptr, "wayland-0", "wayland", "", "", true},
  };
  for (const auto& c : cases) {
    const CQtPlatformChoice choice = ChooseQtPlatform(c.qpa, c.wayland, c.session, c.display);
    EXPECT_EQ(choice.platform, c.platform) << (c.display ? c.display : "no display");
    EXPECT_EQ(!choice.notice.empty(), c.notice);
  }
}

// The picture library's commands: which files each takes, how results are
// named, what the teacher is told, and that no failure loses a photograph
// (every failing file call, a full disk met by a killed child, hostile
// archives).

#include "app/app_messages.h"
#include "app/library_commands.h"
#include "contracts/fundara/files.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/zip.h"
#include "imaging/pixalto.h"
#include "platform/dialogs.h"
#include "platform/window.h"
#include "tests/fundara/disk_state.h"
#include "tests/fundara/scratch_env.h"
#include "tests/support/test_app.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QPdfWriter>
#include <QPrinter>

#include <csignal>
#include <functional>
#include <map>
#include <set>

// Readable QString values in failure messages.
static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

namespace fs = std::filesystem;
using fundara_test::ReadFile;
using fundara_test::ScratchEnv;
using fundara_test::Snapshot;
using fundara_test::WriteFile;

// Commands whose outside world is scripted: the trash can be refused,
// printing goes to a PDF file, mail is recorded (or refused).
class CScriptedCommands : public CPictureCommands {
 public:
  bool trash = true;
  bool mailWorks = true;
  bool printWorks = true;
  std::list<std::string> mailed, printed;
  fs::path printFile;

 protected:
  bool MoveToTrash(const QString& path) override { return trash && CPictureCommands::MoveToTrash(path); }
  int SendMail(const std::list<std::string>& files) override {
    mailed = files;
    return mailWorks ? 1 : 0;
  }
  int PrintPictures(const std::list<std::string>& pictures) override {
    printed = pictures;
    if (!printWorks) return 0;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(printFile.string()));
    CPixalto pixalto;
    return pixalto.PrintImage(pictures, 0, printer);
  }
};

// The main window as the comparison sees it: records the text of 4024.
class CMainSink : public CWnd {
 public:
  CMainSink() {
    OnMessage(WM_SWITCH_MODE, [this](WPARAM w, LPARAM l) -> LRESULT {
      sender = w;
      texts.append(TextFromLParam(l));
      return 1;
    });
  }
  WPARAM sender = 0;
  QStringList texts;
};

class LibraryCommands : public ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    folder = root / "lib";
    fs::create_directories(folder);
    // The trash is the home one only where the home folder exists.
    fs::create_directories(root / "home");
    fs::create_directories(root / "share");
    commands.printFile = root / "printed.pdf";
  }
  void TearDown() override {
    file_fault::Disarm();
    ScratchEnv::TearDown();
  }
  // A real picture (readable by the PDF writer and the printer).
  QString Picture(const std::string& name, QColor colour = Qt::darkCyan) {
    const fs::path p = folder / name;
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(colour);
    const std::string ext = p.extension().string();
    if (ext == ".gif" || ext == ".GIF") {
      WriteFile(p, "GIF89a not really");  // Qt writes no GIF; bind does not care
    } else {
      EXPECT_TRUE(image.save(QString::fromStdString(p.string()))) << p;
    }
    return QString::fromStdString(p.string());
  }
  // A file with given bytes.
  QString File(const std::string& name, const std::string& bytes) {
    WriteFile(folder / name, bytes);
    return QString::fromStdString((folder / name).string());
  }
  QStringList Texts() const {
    QStringList out;
    for (const auto& b : script.Boxes()) out.append(b.caption + "|" + b.text);
    return out;
  }
  static QString P(const fs::path& p) { return QString::fromStdString(p.string()); }
  // What an archive holds: name → bytes.
  static std::map<std::string, std::string> Unpacked(const fs::path& archive, const fs::path& where) {
    fs::remove_all(where);
    CUnZipFile unzip;
    EXPECT_EQ(unzip.UnZip(archive.string(), where.string()), 1) << unzip.GetError();
    std::map<std::string, std::string> out;
    for (const auto& f : unzip.GetFiles()) out[fs::path(f).filename().string()] = ReadFile(f);
    return out;
  }

  fs::path folder;
  CDialogScript script;
  CScriptedCommands commands;
};

TEST(LibraryPaths, CollectJoinAndSplit) {
  const QStringList selection{"/l/c.PNG", "/l/a.bind", "/l/b.jpg", "/l/d.tif", "/l/e.Jpg", "/l/f.txt", "/l/g.bmp"};
  EXPECT_EQ(CollectPictures(selection), QStringList({"/l/b.jpg", "/l/e.Jpg", "/l/g.bmp", "/l/c.PNG", "/l/d.tif"}));
  EXPECT_EQ(CollectArchives(selection), QStringList({"/l/a.bind"}));
  EXPECT_EQ(FilesWithExtension(selection, "txt"), QStringList({"/l/f.txt"}));
  EXPECT_TRUE(FilesWithExtension(selection, ".tiff").isEmpty());

  struct Case {
    QStringList pictures;
    QString joined;
  };
  const Case cases[] = {
      {{"/a/1.jpg"}, "/a/1.jpg"},
      {{"/a/1.jpg", "/a/2.png", "/b/3.bmp", "/c/4.gif", "/c/5.tif"}, "/a/1.jpg;/a/2.png;/b/3.bmp;/c/4.gif"},
      // A ";" inside names, also right before a slash, and before ".jpg".
      {{"/a;b/x;y.jpg", "/c/d;e.png", "/f/g;.jpg"}, "/a;b/x;y.jpg;/c/d;e.png;/f/g;.jpg"},
      {{"/a/name.jpg", "/b;/c.png"}, "/a/name.jpg;/b;/c.png"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JoinComparePaths(c.pictures), c.joined);
    EXPECT_EQ(SplitComparePaths(c.joined), c.pictures.mid(0, kMaxComparePictures)) << c.joined.toStdString();
  }
  // A folder named like "x.jpg;" is the one thing the join cannot carry:
  // its ";" before "/" counts as a separator.
  EXPECT_EQ(SplitComparePaths("/x.jpg;/y.png"), QStringList({"/x.jpg", "/y.png"}));
  EXPECT_TRUE(SplitComparePaths("").isEmpty());
}

TEST_F(LibraryCommands, BindNamesAfterTheFirstPictureAndNeverReplaces) {
  const QString a = File("a.jpg", "picture a"), b = File("b.png", "picture b");
  ASSERT_EQ(commands.Bind({b, a}), 1);  // ".JPG" first: named after a.jpg
  EXPECT_EQ(commands.GetLastResult(), P(folder / "a.bind"));
  EXPECT_EQ(Texts(), QStringList({"装订成功！|" + P(folder / "a.bind")}));
  EXPECT_FALSE(fs::exists(folder / "a.jpg"));
  EXPECT_FALSE(fs::exists(folder / "b.png"));

  // With prefix naming the first name comes back: the new archive takes
  // a free name and the first one keeps its pictures.
  File("a.jpg", "picture a, second");
  ASSERT_EQ(commands.Bind({a}), 1);
  EXPECT_EQ(commands.GetLastResult(), P(folder / "a(1).bind"));
  EXPECT_EQ(Unpacked(folder / "a.bind", root / "u1"),
            (std::map<std::string, std::string>{{"a.jpg", "picture a"}, {"b.png", "picture b"}}));
  EXPECT_EQ(Unpacked(folder / "a(1).bind", root / "u2"),
            (std::map<std::string, std::string>{{"a.jpg", "picture a, second"}}));
}

TEST_F(LibraryCommands, BindThenUnbindGivesTheSameBytes) {
  std::map<std::string, std::string> before;
  QStringList selection;
  for (const char* name : {"p1.jpg", "p2.bmp", "p3.png", "p4.gif", "p5.tif"}) {
    std::string bytes = std::string("bytes of ") + name;
    bytes += std::string(3000, static_cast<char>(name[1]));
    bytes.push_back('\0');
    before[name] = bytes;
    selection.append(File(name, bytes));
  }
  ASSERT_EQ(commands.Bind(selection), 1);
  script.Clear();
  ASSERT_EQ(commands.Unbind({P(folder / "p1.bind")}), 1);
  EXPECT_EQ(Texts(), QStringList({QCoreApplication::applicationName() + "|解订成功！"}));
  std::map<std::string, std::string> after;
  for (const auto& [name, entry] : Snapshot(folder)) after[name] = ReadFile(folder / name);
  EXPECT_EQ(after, before);
}

TEST_F(LibraryCommands, UnbindNamesTheArchivesItKept) {
  const QString good = File("good.jpg", "good");
  ASSERT_EQ(commands.Bind({good}), 1);
  // A text file named ".bind" and an archive cut off halfway.
  const QString text = File("notes.bind", "not an archive at all");
  File("whole.jpg", std::string(5000, 'w'));
  ASSERT_EQ(commands.Bind({P(folder / "whole.jpg")}), 1);
  const std::string whole = ReadFile(folder / "whole.bind");
  const QString cut = File("cut.bind", whole.substr(0, whole.size() / 2));
  fs::remove(folder / "whole.bind");
  script.Clear();

  const auto before = Snapshot(folder);
  EXPECT_EQ(commands.Unbind({text, P(folder / "good.bind"), cut}), 0);
  ASSERT_EQ(script.Boxes().size(), 1u);
  EXPECT_EQ(script.Boxes()[0].text, "以下文件未能解订：\nnotes.bind\ncut.bind");
  // The good one was unpacked; the refused ones stay as they were, and
  // nothing of theirs was written.
  auto after = Snapshot(folder);
  EXPECT_EQ(after.count("good.jpg"), 1u);
  EXPECT_EQ(after.count("good.bind"), 0u);
  EXPECT_EQ(after.at("notes.bind"), before.at("notes.bind"));
  EXPECT_EQ(after.at("cut.bind"), before.at("cut.bind"));
  EXPECT_EQ(after.size(), before.size());
  EXPECT_EQ(fundara_test::Leftovers(folder), "");
}

TEST_F(LibraryCommands, ComparisonTakesTheFirstFourJpgFirst) {
  CMainSink sink;
  SetMainWnd(&sink);
  QStringList six;
  for (const char* name : {"1.png", "2.png", "3.jpg", "4.bmp", "5.jpg", "6.png"}) six.append(File(name, "x"));
  six.append(File("7.bind", "archive"));
  EXPECT_EQ(commands.Compare(six), 1);
  SetMainWnd(nullptr);
  ASSERT_EQ(sink.texts.size(), 1);
  EXPECT_EQ(sink.sender, SWITCH_FROM_PICTURE_BROWSER);
  EXPECT_EQ(SplitComparePaths(sink.texts[0]),
            QStringList({P(folder / "3.jpg"), P(folder / "5.jpg"), P(folder / "4.bmp"), P(folder / "1.png")}));
  EXPECT_EQ(Texts(), QStringList({"对比图片超过四张！|对比图片超过四张，系统为您选择了四张做对比"}));
}

TEST_F(LibraryCommands, AnArchiveNeverReachesThePictureCommands) {
  CMainSink sink;
  SetMainWnd(&sink);
  const QString archive = File("only.bind", "archive bytes");
  const auto before = Snapshot(folder);
  EXPECT_EQ(commands.Bind({archive}), 0);
  EXPECT_EQ(commands.Pdf({archive}), 0);
  EXPECT_EQ(commands.Print({archive}), 0);
  EXPECT_EQ(commands.Compare({archive}), 0);
  SetMainWnd(nullptr);
  EXPECT_TRUE(commands.printed.empty());
  EXPECT_TRUE(sink.texts.isEmpty());
  EXPECT_EQ(Texts(), QStringList({QCoreApplication::applicationName() + "|请选择图片！"}));
  EXPECT_EQ(Snapshot(folder), before);
  // An empty selection does nothing at all, except compare asking for pictures.
  script.Clear();
  for (auto run : {&CPictureCommands::Unbind, &CPictureCommands::Delete, &CPictureCommands::Export,
                   &CPictureCommands::Mail})
    EXPECT_EQ((commands.*run)({}), 0);
  EXPECT_TRUE(script.Boxes().empty());
  EXPECT_TRUE(script.Choosers().empty());
}

TEST_F(LibraryCommands, ExportCopiesOntoFreeNamesAndListsFailures) {
  const QString a = File("a.jpg", "new a"), b = File("b.bind", "new archive");
  const fs::path stick = root / "stick";
  WriteFile(stick / "a.jpg", "old a on the stick");
  script.AnswerChooser(P(stick));
  ASSERT_EQ(commands.Export({a, b}), 1);
  ASSERT_EQ(script.Choosers().size(), 1u);
  EXPECT_EQ(script.Choosers()[0].title, "请选择导出路径：");
  EXPECT_EQ(ReadFile(stick / "a.jpg"), "old a on the stick");
  EXPECT_EQ(ReadFile(stick / "a(1).jpg"), "new a");
  EXPECT_EQ(ReadFile(stick / "b.bind"), "new archive");
  EXPECT_EQ(ReadFile(folder / "a.jpg"), "new a");
  EXPECT_EQ(Texts().back(), "导出成功！|" + P(stick));

  // Cancelled: nothing. A folder that is gone: every file listed.
  script.Clear();
  EXPECT_EQ(commands.Export({a}), 0);
  EXPECT_TRUE(script.Boxes().empty());
  script.AnswerChooser(P(root / "unplugged"));
  EXPECT_EQ(commands.Export({a, b}), 0);
  EXPECT_EQ(script.Boxes().back().text, "以下文件未能导出：\na.jpg\nb.bind");
}

TEST_F(LibraryCommands, PdfMailAndPrintTellTheirOutcome) {
  const QString a = Picture("a.jpg"), b = Picture("b.png", Qt::darkRed);
  ASSERT_EQ(commands.Pdf({b, a}), 1);
  EXPECT_EQ(Texts().back(), "转换成功！|" + P(folder / "a.pdf"));
  ASSERT_EQ(commands.Pdf({a}), 1);  // the first PDF stays
  EXPECT_EQ(commands.GetLastResult(), P(folder / "a(1).pdf"));
  EXPECT_EQ(std::system(("qpdf --check '" + (folder / "a.pdf").string() + "' >/dev/null").c_str()), 0);
  // Unreadable pictures give no PDF and say so.
  const QString broken = File("broken.jpg", "no picture");
  EXPECT_EQ(commands.Pdf({broken}), 0);
  EXPECT_EQ(Texts().back(), QCoreApplication::applicationName() + "|转换失败！");
  EXPECT_FALSE(fs::exists(folder / "broken.pdf"));

  EXPECT_EQ(commands.Mail({a, P(folder / "a.pdf")}), 1);
  EXPECT_EQ(commands.mailed, (std::list<std::string>{a.toStdString(), (folder / "a.pdf").string()}));
  commands.mailWorks = false;
  EXPECT_EQ(commands.Mail({a}), 0);
  EXPECT_EQ(Texts().back(), QCoreApplication::applicationName() + "|无法启动邮件程序！");

  EXPECT_EQ(commands.Print({P(folder / "a.pdf"), b, a}), 1);
  EXPECT_EQ(commands.printed, (std::list<std::string>{a.toStdString(), b.toStdString()}));
  EXPECT_GT(fs::file_size(commands.printFile), 0u);
  commands.printWorks = false;
  EXPECT_EQ(commands.Print({a}), 0);
  EXPECT_EQ(Texts().back(), QCoreApplication::applicationName() + "|打印失败！");
}

TEST_F(LibraryCommands, DeleteUsesTheTrashElseAsksFirst) {
  const QString a = File("a.jpg", "a"), b = File("b.png", "b");
  ASSERT_EQ(commands.Delete({a}), 1);
  EXPECT_FALSE(fs::exists(folder / "a.jpg"));
  const fs::path trash = root / "share" / "Trash";
  EXPECT_EQ(ReadFile(trash / "files" / "a.jpg"), "a");
  EXPECT_TRUE(fs::exists(trash / "info" / "a.jpg.trashinfo"));
  EXPECT_TRUE(script.Boxes().empty());

  commands.trash = false;
  script.AnswerBox(IDNO);
  EXPECT_EQ(commands.Delete({b}), 0);
  EXPECT_EQ(ReadFile(folder / "b.png"), "b");
  ASSERT_EQ(script.Boxes().size(), 1u);
  EXPECT_EQ(script.Boxes()[0].text, "您确定要删除选中的文件吗？");
  EXPECT_EQ(script.Boxes()[0].type & MB_TYPEMASK, MB_YESNO);
  script.AnswerBox(IDYES);
  EXPECT_EQ(commands.Delete({b}), 1);
  EXPECT_FALSE(fs::exists(folder / "b.png"));
}

// Every command once for every file call it makes, that call failing: the
// photographs are all still there (as files or inside an archive), and a
// failure was told.
TEST_F(LibraryCommands, EveryFailingFileCallLosesNothingAndIsTold) {
  commands.trash = false;
  struct Step {
    const char* name;
    std::function<int(CScriptedCommands&, const fs::path&)> run;
  };
  const fs::path stick = root / "stick";
  const Step steps[] = {
      {"bind", [](CScriptedCommands& c, const fs::path& f) {
         return c.Bind({P(f / "a.jpg"), P(f / "b.png")});
       }},
      {"unbind", [](CScriptedCommands& c, const fs::path& f) { return c.Unbind({P(f / "s.bind")}); }},
      {"export", [&](CScriptedCommands& c, const fs::path& f) { return c.Export({P(f / "a.jpg"), P(f / "s.bind")}); }},
      {"delete", [](CScriptedCommands& c, const fs::path& f) { return c.Delete({P(f / "a.jpg"), P(f / "b.png")}); }},
      {"pdf", [](CScriptedCommands& c, const fs::path& f) { return c.Pdf({P(f / "a.jpg")}); }},
  };
  // The pictures a.jpg, b.png, and s.bind holding s.jpg.
  auto prepare = [&] {
    fs::remove_all(folder);
    fs::remove_all(stick);
    fs::create_directories(stick);
    fs::create_directories(folder);
    Picture("a.jpg");
    Picture("b.png", Qt::yellow);
    File("s.jpg", "inside the archive");
    CPixalto pixalto;
    std::list<std::string> one{(folder / "s.jpg").string()};
    ASSERT_EQ(pixalto.BindJpg(one, (folder / "s.bind").string()), 1);
  };
  // Every photograph's bytes, wherever they lie (archives unpacked).
  auto photographs = [&](const fs::path& where) {
    std::multiset<std::string> out;
    for (const auto& [rel, entry] : Snapshot(where)) {
      const fs::path p = where / rel;
      if (p.extension() == ".bind") {
        for (const auto& [name, bytes] : Unpacked(p, root / "peek")) out.insert(bytes);
        fs::remove_all(root / "peek");
      } else if (p.extension() == ".jpg" || p.extension() == ".png") {
        out.insert(ReadFile(p));
      }
    }
    return out;
  };
  for (const Step& step : steps) {
    prepare();
    const auto all = photographs(folder);
    file_fault::Arm(0, 0);
    script.AnswerChooser(P(stick));
    script.AnswerBox(IDYES);
    step.run(commands, folder);
    const int calls = file_fault::Calls();
    file_fault::Disarm();
    ASSERT_GT(calls, 0) << step.name;
    for (int n = 1; n <= calls; ++n) {
      for (int error : {ENOSPC, EIO}) {
        prepare();
        script.Clear();
        script.AnswerChooser(P(stick));
        script.AnswerBox(IDYES);
        file_fault::Arm(n, error);
        const int result = step.run(commands, folder);
        const bool hit = file_fault::Hit();
        file_fault::Disarm();
        SCOPED_TRACE(std::string(step.name) + " call " + std::to_string(n));
        // Deleting is asked for: only there may photographs go.
        if (std::string(step.name) != "delete") {
          auto now = photographs(folder);
          for (const auto& b : all) {
            auto it = now.find(b);
            ASSERT_NE(it, now.end()) << "a photograph was lost";
            now.erase(it);
          }
        }
        if (hit && result == 0) {
          EXPECT_FALSE(script.Boxes().empty()) << "a failure nobody was told of";
        }
        EXPECT_EQ(fundara_test::Leftovers(folder), "");
      }
    }
  }
}

// Bind in a child process whose file size limit (as prlimit --fsize sets
// it) is every value from 0 up to the archive's size: the child dies on
// the write that exceeds it, and the pictures are all still there.
TEST_F(LibraryCommands, BindUnderEveryFileSizeLimitLosesNothing) {
  auto prepare = [&] {
    fs::remove_all(folder);
    File("a.jpg", "first picture");
    File("b.png", "second one");
  };
  prepare();
  ASSERT_EQ(commands.Bind({P(folder / "a.jpg"), P(folder / "b.png")}), 1);
  const auto size = static_cast<rlim_t>(fs::file_size(folder / "a.bind"));
  const auto whole = Unpacked(folder / "a.bind", root / "whole");
  for (rlim_t limit = 0; limit <= size; ++limit) {
    prepare();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const rlimit r{limit, limit};
      ::setrlimit(RLIMIT_FSIZE, &r);
      CDialogScript quiet;
      CPictureCommands c;
      ::_exit(c.Bind({P(folder / "a.jpg"), P(folder / "b.png")}) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    SCOPED_TRACE("limit " + std::to_string(limit));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      // Bound: the archive holds both.
      EXPECT_EQ(Unpacked(folder / "a.bind", root / "check"), whole);
    } else {
      EXPECT_EQ(ReadFile(folder / "a.jpg"), "first picture");
      EXPECT_EQ(ReadFile(folder / "b.png"), "second one");
      EXPECT_TRUE(!WIFSIGNALED(status) || WTERMSIG(status) == SIGXFSZ) << WTERMSIG(status);
    }
  }
}

TEST_F(LibraryCommands, BindFailuresAreTold) {
  const QString a = File("a.jpg", "a");
  // Every free name taken is as much a failure as an unwritable folder.
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  const bool root_user = ::geteuid() == 0;
  const int result = commands.Bind({a});
  fs::permissions(folder, fs::perms::owner_all);
  if (!root_user) {
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Texts().back(), QCoreApplication::applicationName() + "|装订失败！");
  }
  // A picture that vanished before binding: no archive, and told.
  script.Clear();
  EXPECT_EQ(commands.Bind({P(folder / "gone.jpg")}), 0);
  EXPECT_EQ(Texts(), QStringList({QCoreApplication::applicationName() + "|装订失败！"}));
  EXPECT_FALSE(fs::exists(folder / "gone.bind"));
}

}  // namespace

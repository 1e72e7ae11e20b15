// The Debian package, unpacked into a scratch root: every part lies in its
// place and nothing else is shipped, the binaries find the project's
// libraries relative to themselves, the control fields are filled in, every
// program answers --help and --version, and the unpacked brevio-image and
// Brevio work from there without the build tree.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QImage>
#include <QProcess>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/caption.h"
#include "tests/fundara/scratch_env.h"
#include "tests/support/running_program.h"
#include "tests/support/test_app.h"
#include "tests/support/x_session.h"

namespace {

using fundara_test::ReadFile;
using fundara_test::ScratchEnv;
namespace fs = std::filesystem;

const fs::path kRoot = fs::path(BREVIO_PACKAGE_DIR) / "root";
const fs::path kUsr = kRoot / "usr";
const fs::path kPrivateLibs = kUsr / "lib/brevio";
constexpr char kAppId[] = "org.brevio.Brevio";

const char* const kLibraries[] = {"Platform", "Fundara",  "Camera",  "Widgetta", "Tracmo", "Pixalto",
                                  "Settora",  "Sketchon", "Kinora",  "Panelia",  "Lumiview"};
const char* const kPrograms[] = {"Brevio", "Capturo", "brevio-image", "brevio-media", "brevio-camera"};
const int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The folders below usr/ the package may fill; anything else is a stray file.
const char* const kAllowedFolders[] = {"bin",          "lib/brevio",      "share/brevio",  "share/applications",
                                       "share/metainfo", "share/icons/hicolor", "share/doc/brevio"};

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs a program to its end with the current environment, minus a library
// path that could hide a wrong run path.
Result RunProgram(const fs::path& program, const QStringList& args, QProcessEnvironment env = {}) {
  if (env.isEmpty()) env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("LD_LIBRARY_PATH"));
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(QString::fromStdString(program.string()), args);
  Result r;
  if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) {
    p.kill();
    p.waitForFinished(5000);
    return r;
  }
  r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput().toStdString();
  r.err = p.readAllStandardError().toStdString();
  return r;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// Relative paths of every regular file and link below `dir`.
std::set<std::string> FilesBelow(const fs::path& dir) {
  std::set<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (!e.is_directory()) files.insert(fs::relative(e.path(), dir).string());
  return files;
}

// Every file below `dir` with its size and time of change, to see that a
// run wrote nothing there.
std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> Snapshot(const fs::path& dir) {
  std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    files[e.path().string()] = {e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
  return files;
}

// The ELF files the package ships: its programs and libraries.
std::vector<fs::path> Binaries() {
  std::vector<fs::path> binaries;
  for (const fs::path& dir : {kUsr / "bin", kPrivateLibs})
    for (const auto& e : fs::directory_iterator(dir))
      if (ReadFile(e.path()).substr(0, 4) == "\x7f" "ELF") binaries.push_back(e.path());
  std::sort(binaries.begin(), binaries.end());
  return binaries;
}

class Package : public ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    ASSERT_TRUE(fs::is_directory(kUsr)) << "the package was not unpacked to " << kRoot;
  }
};

}  // namespace

TEST_F(Package, ShipsEveryPartInItsPlaceAndNothingElse) {
  std::vector<std::string> expected = {
      "share/applications/" + std::string(kAppId) + ".desktop",
      "share/metainfo/" + std::string(kAppId) + ".metainfo.xml",
      "share/icons/hicolor/scalable/apps/" + std::string(kAppId) + ".svg",
      "share/doc/brevio/README.md",
  };
  for (const char* program : kPrograms) expected.push_back(std::string("bin/") + program);
  for (const char* lib : kLibraries) expected.push_back(std::string("lib/brevio/lib") + lib + ".so");
  for (const std::string& path : expected) EXPECT_TRUE(fs::is_regular_file(kUsr / path)) << path;
  for (const char* program : kPrograms) {
    struct stat st {};
    ASSERT_EQ(::stat((kUsr / "bin" / program).c_str(), &st), 0) << program;
    EXPECT_EQ(st.st_mode & 0755, 0755u) << program;
  }

  // The shipped data is the source tree's data/ folder, byte for byte,
  // without the scripts that make it.
  const fs::path source = fs::path(BREVIO_SOURCE_DIR) / "data";
  std::set<std::string> data;
  for (const std::string& rel : FilesBelow(source))
    if (fs::path(rel).extension() != ".py") data.insert(rel);
  ASSERT_FALSE(data.empty());
  EXPECT_EQ(FilesBelow(kUsr / "share/brevio"), data);
  for (const std::string& rel : data)
    EXPECT_EQ(ReadFile(kUsr / "share/brevio" / rel), ReadFile(source / rel)) << rel;

  for (const std::string& rel : FilesBelow(kRoot)) {
    bool allowed = false;
    for (const char* folder : kAllowedFolders)
      allowed = allowed || StartsWith(rel, std::string("usr/") + folder + "/");
    EXPECT_TRUE(allowed) << "stray file in the package: " << rel;
    EXPECT_NE(fs::path(rel).extension(), ".a") << rel;
  }
}

TEST_F(Package, IconsAreRenderedAtEveryMenuSize) {
  for (const int size : kIconSizes) {
    const fs::path png = kUsr / "share/icons/hicolor" / (std::to_string(size) + "x" + std::to_string(size)) /
                         "apps" / (std::string(kAppId) + ".png");
    const QImage icon(QString::fromStdString(png.string()));
    ASSERT_FALSE(icon.isNull()) << png;
    EXPECT_EQ(icon.size(), QSize(size, size)) << png;
    // Transparent corners around the rounded tile, an opaque middle.
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << size;
    EXPECT_EQ(qAlpha(icon.pixel(size / 2, size / 2)), 255) << size;
  }
}

TEST_F(Package, TheMenuEntryStartsAShippedProgramWithAShippedIcon) {
  std::map<std::string, std::string> entry;
  for (const std::string& line : Lines(ReadFile(kUsr / "share/applications" / (std::string(kAppId) + ".desktop")))) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) entry[line.substr(0, eq)] = line.substr(eq + 1);
  }
  EXPECT_TRUE(fs::is_regular_file(kUsr / "bin" / entry["Exec"])) << entry["Exec"];
  EXPECT_EQ(entry["Icon"], kAppId);
  EXPECT_FALSE(entry["Name[zh_CN]"].empty());
  EXPECT_FALSE(entry["Comment[zh_CN]"].empty());
  EXPECT_FALSE(entry["Comment"].empty());
  EXPECT_NE(entry["Categories"].find("Education;"), std::string::npos);
  EXPECT_NE(entry["Categories"].find("Video;"), std::string::npos);

  const std::string metainfo = ReadFile(kUsr / "share/metainfo" / (std::string(kAppId) + ".metainfo.xml"));
  EXPECT_NE(metainfo.find("<launchable type=\"desktop-id\">" + std::string(kAppId) + ".desktop</launchable>"),
            std::string::npos);
  // The newest release named is this one.
  EXPECT_NE(metainfo.find("<releases>\n    <release version=\"" BREVIO_VERSION_TEXT "\""), std::string::npos);
}

TEST_F(Package, BinariesFindTheProjectsLibrariesBesideThemselves) {
  const std::vector<fs::path> binaries = Binaries();
  ASSERT_EQ(binaries.size(), std::size(kPrograms) + std::size(kLibraries));
  for (const fs::path& binary : binaries) {
    SCOPED_TRACE(binary.string());
    const Result dynamic = RunProgram(READELF, {QStringLiteral("-d"), QString::fromStdString(binary.string())});
    ASSERT_EQ(dynamic.status, 0) << dynamic.err;
    std::vector<std::string> paths;
    for (const std::string& line : Lines(dynamic.out))
      if (line.find("(RUNPATH)") != std::string::npos || line.find("(RPATH)") != std::string::npos)
        paths.push_back(line.substr(line.find('[') + 1, line.rfind(']') - line.find('[') - 1));
    const bool isLibrary = binary.parent_path() == kPrivateLibs;
    EXPECT_EQ(paths, std::vector<std::string>{isLibrary ? "$ORIGIN" : "$ORIGIN/../lib/brevio"});

    // Every library of the project resolves inside the unpacked root.
    const Result linked = RunProgram("/usr/bin/ldd", {QString::fromStdString(binary.string())});
    ASSERT_EQ(linked.status, 0) << linked.err;
    EXPECT_EQ(linked.out.find("not found"), std::string::npos) << linked.out;
    for (const char* lib : kLibraries) {
      const std::string name = std::string("lib") + lib + ".so =>";
      const auto at = linked.out.find(name);
      if (at == std::string::npos) continue;
      const auto from = at + name.size() + 1;
      const fs::path target = linked.out.substr(from, linked.out.find(" (", from) - from);
      EXPECT_EQ(fs::weakly_canonical(target).parent_path(), fs::weakly_canonical(kPrivateLibs)) << name;
    }
  }
}

TEST_F(Package, ControlFieldsNameTheMaintainerAndTheComputedDependencies) {
  std::vector<fs::path> debs;
  for (const auto& e : fs::directory_iterator(BREVIO_PACKAGE_DIR))
    if (e.path().extension() == ".deb") debs.push_back(e.path());
  ASSERT_EQ(debs.size(), 1u);
  EXPECT_EQ(debs[0].filename().string().rfind("brevio_" BREVIO_VERSION_TEXT "_", 0), 0u) << debs[0];

  const Result control = RunProgram(DPKG_DEB, {QStringLiteral("-f"), QString::fromStdString(debs[0].string())});
  ASSERT_EQ(control.status, 0) << control.err;
  std::map<std::string, std::string> field;
  for (const std::string& line : Lines(control.out)) {
    const auto colon = line.find(": ");
    if (colon != std::string::npos && line[0] != ' ') field[line.substr(0, colon)] = line.substr(colon + 2);
  }
  EXPECT_EQ(field["Package"], "brevio");
  EXPECT_EQ(field["Version"], BREVIO_VERSION_TEXT);
  EXPECT_EQ(debs[0].filename().string(), "brevio_" BREVIO_VERSION_TEXT "_" + field["Architecture"] + ".deb");
  EXPECT_EQ(field["Section"], "education");
  EXPECT_NE(field["Maintainer"].find('<'), std::string::npos) << field["Maintainer"];
  EXPECT_NE(field["Maintainer"].find('@'), std::string::npos) << field["Maintainer"];
  EXPECT_FALSE(field["Description"].empty());
  // Computed from the binaries, plus what is loaded only at run time.
  const std::string depends = field["Depends"];
  for (const char* dependency : {"libc6", "libqt6widgets6", "libqt6svg6", "libavcodec59", "libpugixml1v5",
                                 "libzip4", "libturbojpeg0", "libgif7", "qt6-image-formats-plugins"})
    EXPECT_NE(depends.find(dependency), std::string::npos) << dependency << " missing from " << depends;
  // The private libraries travel inside the package.
  for (const char* lib : kLibraries) EXPECT_EQ(depends.find(lib), std::string::npos) << lib;
}

TEST_F(Package, EveryProgramAnswersHelpAndVersionWithoutADisplay) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("QT_QPA_PLATFORM"));
  std::vector<std::string> programs;
  for (const auto& e : fs::directory_iterator(kUsr / "bin")) programs.push_back(e.path().filename().string());
  ASSERT_GE(programs.size(), std::size(kPrograms));
  for (const std::string& name : programs) {
    SCOPED_TRACE(name);
    const fs::path program = kUsr / "bin" / name;
    const Result help = RunProgram(program, {QStringLiteral("--help")}, env);
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_TRUE(StartsWith(help.out, "usage: " + name)) << help.out;
    EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;

    const Result version = RunProgram(program, {QStringLiteral("--version")}, env);
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, name + " " BREVIO_VERSION_TEXT "\n");

    for (const char* option : {"--no-such-option", "-q"}) {
      const Result unknown = RunProgram(program, {QString::fromLatin1(option)}, env);
      EXPECT_EQ(unknown.status, 2) << option;
      EXPECT_EQ(unknown.out, "") << option;
      const std::vector<std::string> lines = Lines(unknown.err);
      ASSERT_EQ(lines.size(), 1u) << unknown.err;
      EXPECT_NE(lines[0].find(option), std::string::npos) << lines[0];
    }
  }
}

TEST_F(Package, TheUnpackedImageToolTurnsAPictureGrey) {
  QImage picture(64, 48, QImage::Format_RGB888);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(x * 4, y * 5, 255 - x * 2));
  const QString in = QString::fromStdString((root / "colour.png").string());
  const QString out = QString::fromStdString((root / "grey.png").string());
  ASSERT_TRUE(picture.save(in));

  const Result r = RunProgram(kUsr / "bin/brevio-image", {QStringLiteral("grey"), in, out});
  ASSERT_EQ(r.status, 0) << r.err;
  const QImage grey(out);
  ASSERT_EQ(grey.size(), picture.size());
  std::set<int> levels;
  for (int y = 0; y < grey.height(); ++y)
    for (int x = 0; x < grey.width(); ++x) {
      const QRgb px = grey.pixel(x, y);
      ASSERT_TRUE(qRed(px) == qGreen(px) && qGreen(px) == qBlue(px)) << x << "," << y;
      levels.insert(qRed(px));
    }
  EXPECT_GT(levels.size(), 20u);
}

TEST_F(Package, TheUnpackedProgramStartsToItsStartMenuAndWritesNothingShipped) {
  using namespace x_session;
  const auto before = Snapshot(kUsr / "share");
  RunningProgram brevio;
  ASSERT_TRUE(brevio.Start(QString::fromStdString((kUsr / "bin/Brevio").string()), 1, {},
                           [](QProcessEnvironment& env) { env.remove(QStringLiteral("LD_LIBRARY_PATH")); }));
  const bool menu = WaitUntil([] { return FindWindowByCaption(QStringLiteral("RozIdez")); }, 30000);
  CScreenGrabber grabber;
  const bool painted = menu && grabber.Open() && brevio.WaitForStartMenu(grabber);
  // The running program's libraries are the unpacked ones.
  const std::string maps = ReadFile("/proc/" + std::to_string(brevio.Process().processId()) + "/maps");
  if (painted) SaveScreenshot(grabber, QStringLiteral("package_start_menu"));
  brevio.Stop();
  ASSERT_TRUE(menu) << "the start menu never appeared";
  EXPECT_TRUE(painted) << "the start menu was not painted";
  for (const char* lib : {"Lumiview", "Panelia", "Fundara"})
    EXPECT_NE(maps.find((kPrivateLibs / (std::string("lib") + lib + ".so")).string()), std::string::npos) << lib;
  EXPECT_EQ(Snapshot(kUsr / "share"), before);
}

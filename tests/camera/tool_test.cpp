#include "tests/camera/test_app.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

struct CRun {
  int code;
  QString out, err;
};

// `settings`: a folder for the tool's settings and thumbnails instead of the user's.
CRun Tool(const QStringList& args, const QString& settings = {}) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("BREVIO_DEMO_CAMERA");
  if (!settings.isEmpty()) {
    env.insert("XDG_CONFIG_HOME", settings + "/config");
    env.insert("XDG_CACHE_HOME", settings + "/cache");
  }
  p.setProcessEnvironment(env);
  p.start(BREVIO_CAMERA_TOOL, args);
  p.waitForFinished(120000);
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

// A scratch folder of this suite, below BREVIO_TEST_TMP when it is set.
std::unique_ptr<QTemporaryDir> Scratch() {
  const QString base = QString::fromUtf8(qgetenv("BREVIO_TEST_TMP"));
  if (base.isEmpty()) return std::make_unique<QTemporaryDir>();
  QDir().mkpath(base + "/camera");
  return std::make_unique<QTemporaryDir>(base + "/camera/toolXXXXXX");
}

}  // namespace

TEST(CameraTool, ListsTheDemoCameraAndGrabsInEveryWritableFormat) {
  CameraTestApp();
  const CRun list = Tool({"--demo", "list"});
  ASSERT_EQ(list.code, 0) << list.err.toStdString();
  EXPECT_TRUE(list.out.contains("Demo document camera  capability 7990272 (3264*2448)")) << list.out.toStdString();
  EXPECT_TRUE(list.out.contains("YUY2: 640*480 800*600")) << list.out.toStdString();

  const auto dir = Scratch();
  const QString folder = dir->path();
  for (const char* ext : {"png", "jpg", "bmp", "tif"}) {
    const QString path = folder + "/grab." + ext;
    const CRun grab = Tool({"--demo", "grab", "0", path, "--frames", "2", "--format", ext[0] == 'b' ? "YUY2" : "MJPG"});
    ASSERT_EQ(grab.code, 0) << ext << ": " << grab.err.toStdString();
    const QImage picture(path);
    ASSERT_FALSE(picture.isNull()) << ext;
    EXPECT_EQ(picture.size(), QSize(640, 480));
    EXPECT_LT(qGray(picture.pixel(2, 2)), 90) << ext;        // desk
    EXPECT_GT(qGray(picture.pixel(320, 100)), 150) << ext;   // page
  }
  const CRun big = Tool({"--demo", "grab", "0", folder + "/big.png", "--dpi", "-2"});
  ASSERT_EQ(big.code, 0) << big.err.toStdString();
  EXPECT_EQ(QImage(folder + "/big.png").size(), QSize(3264, 2448));
}

TEST(CameraTool, AutoPhotoTakesOnePhotographPerPageTurn) {
  CameraTestApp();
  const auto dir = Scratch();
  const QString folder = dir->path() + "/photos";
  // Page turns every 1.5 s: at 1.5, 3.0 and 4.5 s, each resting 1.2 s.
  const CRun run = Tool({"--demo", "--period", "1500", "--noise", "4", "autophoto", folder, "--seconds", "5.6"},
                        dir->path());
  ASSERT_EQ(run.code, 0) << run.err.toStdString();
  const QStringList paths = run.out.split('\n', Qt::SkipEmptyParts);
  const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
  EXPECT_GE(paths.size(), 2) << run.err.toStdString();
  EXPECT_LE(paths.size(), 3) << run.err.toStdString();
  ASSERT_EQ(files.size(), paths.size());
  for (const QString& path : paths) {
    EXPECT_TRUE(path.startsWith(folder)) << path.toStdString();
    EXPECT_EQ(QImage(path).size(), QSize(640, 480)) << path.toStdString();
  }
  EXPECT_TRUE(run.err.contains(QString("%1 photographs").arg(paths.size()))) << run.err.toStdString();
  // Without a time there is nothing to do.
  EXPECT_EQ(Tool({"--demo", "autophoto", folder}).code, 2);
}

TEST(CameraTool, RefusesWhatItCannotDo) {
  CameraTestApp();
  const auto dir = Scratch();
  const QString folder = dir->path();
  const CRun gif = Tool({"--demo", "grab", "0", folder + "/x.gif"});
  EXPECT_EQ(gif.code, 1);
  EXPECT_TRUE(gif.err.contains("GIF")) << gif.err.toStdString();
  const CRun noCamera = Tool({"grab", "3", folder + "/x.png"});
  EXPECT_EQ(noCamera.code, 1);
  EXPECT_TRUE(noCamera.err.contains("there is no camera 3")) << noCamera.err.toStdString();
  EXPECT_EQ(Tool({"--demo", "rate", "0"}).code, 2);  // --seconds is required
  EXPECT_EQ(Tool({"frobnicate"}).code, 2);
  EXPECT_FALSE(QFile::exists(folder + "/x.gif"));
}

TEST(CameraTool, MeasuresTheRate) {
  CameraTestApp();
  const CRun rate = Tool({"--demo", "rate", "0", "--seconds", "1"});
  ASSERT_EQ(rate.code, 0) << rate.err.toStdString();
  EXPECT_TRUE(rate.out.contains("frames per second")) << rate.out.toStdString();
}

TEST(CameraTool, ListsSeveralDemoCamerasAndSaysAClampedCount) {
  CameraTestApp();
  const struct {
    QStringList args;
    int cameras;
    const char* notice;
  } cases[] = {
      {{"--demo", "3", "list"}, 3, nullptr},
      {{"--demo", "8", "list"}, 6, "outside 1 to 6; 6 demo cameras are listed"},
  };
  for (const auto& c : cases) {
    const CRun run = Tool(c.args);
    ASSERT_EQ(run.code, 0) << c.args.join(' ').toStdString() << ": " << run.err.toStdString();
    EXPECT_EQ(run.out.count("  Demo document camera"), c.cameras) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QString("Demo document camera (%1)").arg(c.cameras))) << run.out.toStdString();
    if (c.notice) EXPECT_EQ(run.err.count(c.notice), 1) << run.err.toStdString();
    else EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
  }
}

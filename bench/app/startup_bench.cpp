// Start-up of the real program with the demo document camera, measured from
// outside on the X server it runs on:
//   to_start_menu   from starting the process until the start menu has painted;
//   to_first_picture from the click on the quick capture tile until a camera
//                    picture shows in the quick capture window.
// Each iteration starts the program in a fresh settings folder and kills it.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/support/x_session.h"

namespace {

using namespace x_session;

QProcessEnvironment FreshEnvironment(const QString& root) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("BREVIO_DEMO_CAMERA"), QStringLiteral("1"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_PICTURES_DIR"})
    env.insert(QString::fromLatin1(name), root + QLatin1Char('/') + QString::fromLatin1(name));
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root);
  return env;
}

enum class Until { StartMenu, FirstPicture };

// One connection for the whole run: an X server started by xvfb-run resets
// when its last client leaves, which would fail the next connection.
CScreenGrabber grabber;

void Measure(benchmark::State& state, Until until) {
  if (!grabber.IsOpen()) {
    state.SkipWithError("no X display");
    return;
  }
  const CSize screen = grabber.ScreenSize();
  for (auto _ : state) {
    QTemporaryDir root;
    QProcess program;
    program.setProcessEnvironment(FreshEnvironment(root.path()));
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    program.start(QStringLiteral(BREVIO_PROGRAM), {});
    if (!WaitUntil([&] { return StartMenuPainted(grabber); }, 30000, 2)) {
      state.SkipWithError("the start menu did not appear");
      break;
    }
    double seconds = clock.nsecsElapsed() / 1e9;
    if (until == Until::FirstPicture) {
      const CPoint tile = QuickCaptureTile(screen);
      const CRect picture = QuickCapturePicture(screen);
      clock.restart();
      ClickAt(tile.x, tile.y);
      if (!WaitUntil([&] { return LooksLikePicture(GrabArea(grabber, picture)); }, 30000, 2)) {
        state.SkipWithError("no camera picture appeared");
        break;
      }
      seconds = clock.nsecsElapsed() / 1e9;
    }
    state.SetIterationTime(seconds);
    program.kill();
    program.waitForFinished(5000);
    // The screen goes back to the empty root window before the next start.
    WaitUntil([&] { return !StartMenuPainted(grabber); }, 5000, 5);
  }
}

void BM_ToStartMenu(benchmark::State& state) { Measure(state, Until::StartMenu); }
void BM_ToFirstPicture(benchmark::State& state) { Measure(state, Until::FirstPicture); }

}  // namespace

BENCHMARK(BM_ToStartMenu)->UseManualTime()->Iterations(1)->Repetitions(7)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToFirstPicture)->UseManualTime()->Iterations(1)->Repetitions(7)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  grabber.Open();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

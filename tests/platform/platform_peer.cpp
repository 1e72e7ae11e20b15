// A second process for the platform tests. Commands:
//   platform_peer lock <name>
//     takes CSingleInstance(name), prints "first" or "second" and holds it
//     until its standard input closes.
//   platform_peer publish <caption> <reply caption>
//     publishes a window under <caption> and prints "ready <its number for
//     StartRecord>". On "StartRecord" it posts "StopRecord" to <reply
//     caption> with wParam = the number it received and the same lParam;
//     on message 0x0401 it posts 0x0402 back with the same parameters. It
//     ends when its standard input closes.
#include "platform/caption.h"
#include "platform/instance.h"
#include "platform/window.h"

#include <QApplication>
#include <QSocketNotifier>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// Runs `loop` until standard input reaches its end.
int RunUntilStdinCloses(QCoreApplication& app) {
  QSocketNotifier stdinWatch(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&stdinWatch, &QSocketNotifier::activated, [&] {
    char buf[256];
    if (::read(STDIN_FILENO, buf, sizeof buf) <= 0) app.quit();
  });
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "lock") == 0) {
    QCoreApplication app(argc, argv);
    CSingleInstance instance(argv[2]);
    Say(instance.IsFirst() ? "first" : "second");
    return RunUntilStdinCloses(app);
  }
  if (argc == 4 && std::strcmp(argv[1], "publish") == 0) {
    QApplication app(argc, argv);
    // Names this process registers first, so that its numbers differ from
    // the test's numbers for the same names.
    for (int i = 0; i < 16; ++i) RegisterWindowMessage("PeerPadding" + std::to_string(i));
    const UINT start = RegisterWindowMessage("StartRecord");
    const UINT stop = RegisterWindowMessage("StopRecord");
    const QString reply = QString::fromUtf8(argv[3]);
    CWnd window;
    window.OnMessage(start, [&](WPARAM, LPARAM l) -> LRESULT {
      Say(PostMessageToCaption(reply, stop, start, l) ? "answered" : "no reply window");
      return 0;
    });
    window.OnMessage(0x0401, [&](WPARAM w, LPARAM l) -> LRESULT {
      PostMessageToCaption(reply, 0x0402, w, l);
      return 0;
    });
    PublishWindowCaption(&window, QString::fromUtf8(argv[2]));
    Say("ready " + std::to_string(start));
    return RunUntilStdinCloses(app);
  }
  std::fprintf(stderr, "usage: platform_peer lock <name> | publish <caption> <reply caption>\n");
  return 2;
}

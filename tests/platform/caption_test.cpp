#include "platform/caption.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <vector>

#include "tests/platform/peer_support.h"
#include "tests/support/test_app.h"

namespace {

// A window that records the messages its table receives.
class InboxWnd : public CWnd {
 public:
  struct Got {
    UINT msg;
    WPARAM w;
    LPARAM l;
  };
  std::vector<Got> got;
  void Expect(UINT msg) {
    OnMessage(msg, [this, msg](WPARAM w, LPARAM l) -> LRESULT {
      got.push_back({msg, w, l});
      return 0;
    });
  }
  bool WaitFor(UINT msg, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
      for (const Got& g : got)
        if (g.msg == msg) return true;
      if (timer.elapsed() > timeoutMs) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      QThread::msleep(1);
    }
  }
};

std::vector<std::filesystem::path> Sockets(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> out;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.is_socket()) out.push_back(e.path());
  return out;
}

}  // namespace

TEST(Caption, PublishedWindowIsFoundAndReceivesPostsUntilDestroyed) {
  TestApp();
  const PrivateRuntimeFolder dir;
  auto window = std::make_unique<InboxWnd>();
  window->Expect(0x0401);
  const UINT start = RegisterWindowMessage("StartRecord");
  window->Expect(start);

  EXPECT_FALSE(FindWindowByCaption("RozIdez"));
  EXPECT_FALSE(PostMessageToCaption("RozIdez", 0x0401));
  PublishWindowCaption(window.get(), "RozIdez");
  EXPECT_EQ(window->GetWindowText(), "RozIdez");
  EXPECT_TRUE(FindWindowByCaption("RozIdez"));
  EXPECT_FALSE(FindWindowByCaption("rozidez"));  // captions are compared exactly
  EXPECT_TRUE(PostMessageToCaption("RozIdez", 0x0401, 7, -8));
  EXPECT_TRUE(PostMessageToCaption("RozIdez", start, 1, 2));
  ASSERT_TRUE(window->WaitFor(start));
  ASSERT_EQ(window->got.size(), 2u);
  EXPECT_EQ(window->got[0].w, 7u);
  EXPECT_EQ(window->got[0].l, -8);
  EXPECT_EQ(Sockets(dir).size(), 1u);

  window.reset();
  EXPECT_FALSE(FindWindowByCaption("RozIdez"));
  EXPECT_FALSE(PostMessageToCaption("RozIdez", 0x0401));
  EXPECT_TRUE(Sockets(dir).empty());
}

TEST(Caption, RepublishingMovesTheWindowAndTheNewestPublisherWins) {
  TestApp();
  const PrivateRuntimeFolder dir;
  InboxWnd a, b;
  a.Expect(0x0401);
  b.Expect(0x0401);
  PublishWindowCaption(&a, "Old");
  PublishWindowCaption(&a, "New");
  EXPECT_FALSE(FindWindowByCaption("Old"));
  EXPECT_TRUE(FindWindowByCaption("New"));

  {
    auto c = std::make_unique<InboxWnd>();
    PublishWindowCaption(&b, "New");  // b takes "New" over from a
    PublishWindowCaption(c.get(), "Other");
    EXPECT_TRUE(PostMessageToCaption("New", 0x0401, 5, 0));
    ASSERT_TRUE(b.WaitFor(0x0401));
    EXPECT_TRUE(a.got.empty());
  }
  // Republishing a elsewhere or destroying the other window leaves b's name alone.
  PublishWindowCaption(&a, "Elsewhere");
  EXPECT_TRUE(FindWindowByCaption("New"));
  EXPECT_FALSE(FindWindowByCaption("Other"));
  EXPECT_EQ(Sockets(dir).size(), 2u);
}

TEST(Caption, AnyCaptionTextIsSafeAndDistinct) {
  TestApp();
  const PrivateRuntimeFolder dir;
  const QString captions[] = {"", "../../etc/passwd", "控制台 / 屏幕录制", QString(5000, QChar('x')),
                              QString(5000, QChar('x')) + "y", "a\nb"};
  std::vector<std::unique_ptr<InboxWnd>> windows;
  for (const QString& c : captions) {
    windows.push_back(std::make_unique<InboxWnd>());
    PublishWindowCaption(windows.back().get(), c);
  }
  for (const QString& c : captions) EXPECT_TRUE(FindWindowByCaption(c)) << c.left(20).toStdString();
  EXPECT_EQ(Sockets(dir).size(), std::size(captions));  // no two captions share a name
  for (const auto& p : Sockets(dir)) EXPECT_EQ(p.parent_path(), dir.Path());
  EXPECT_FALSE(FindWindowByCaption("../../etc"));
}

TEST(Caption, JunkFromAPeerIsIgnoredAndLaterMessagesStillArrive) {
  TestApp();
  const PrivateRuntimeFolder dir;
  InboxWnd window;
  window.Expect(0x0401);
  window.Expect(0x0403);
  PublishWindowCaption(&window, "Target");
  const auto sockets = Sockets(dir);
  ASSERT_EQ(sockets.size(), 1u);

  QLocalSocket raw;
  raw.connectToServer(QString::fromStdString(sockets[0].string()));
  ASSERT_TRUE(raw.waitForConnected(5000));
  raw.write("hello\nM 1025 x 2\nM 1025 1 2 3\nN  1 2\nQ 1 2 3\nM -1 0 0\n");
  raw.write("M 1025 3 -4\n");
  raw.waitForBytesWritten(5000);
  ASSERT_TRUE(window.WaitFor(0x0401));
  ASSERT_EQ(window.got.size(), 1u);
  EXPECT_EQ(window.got[0].w, 3u);
  EXPECT_EQ(window.got[0].l, -4);
  raw.abort();

  // A line that never ends is cut off instead of being buffered forever.
  QLocalSocket endless;
  endless.connectToServer(QString::fromStdString(sockets[0].string()));
  ASSERT_TRUE(endless.waitForConnected(5000));
  endless.write(QByteArray(100000, 'z'));
  bool dropped = false;
  for (int i = 0; i < 200 && !dropped; ++i) {
    endless.waitForBytesWritten(10);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    dropped = endless.state() == QLocalSocket::UnconnectedState || endless.waitForDisconnected(10);
  }
  EXPECT_TRUE(dropped);

  // The window still serves other peers afterwards.
  EXPECT_TRUE(PostMessageToCaption("Target", 0x0403));
  QLocalSocket second;
  second.connectToServer(QString::fromStdString(sockets[0].string()));
  ASSERT_TRUE(second.waitForConnected(5000));
  second.write("M 1027 0 0\n");
  second.waitForBytesWritten(5000);
  EXPECT_TRUE(window.WaitFor(0x0403));
}

TEST(Caption, RecorderInAnotherProcessTalksBackByRegisteredName) {
  TestApp();
  const PrivateRuntimeFolder dir;
  const UINT start = RegisterWindowMessage("StartRecord");
  const UINT stop = RegisterWindowMessage("StopRecord");
  InboxWnd menu;
  menu.Expect(stop);
  menu.Expect(0x0402);
  PublishWindowCaption(&menu, "RozIdez");

  Peer recorder({"publish", "Capturo", "RozIdez"});
  ASSERT_TRUE(recorder.Started());
  const std::string ready = recorder.ReadLine();
  ASSERT_EQ(ready.rfind("ready ", 0), 0u) << ready;
  const UINT peerStart = static_cast<UINT>(std::stoul(ready.substr(6)));
  ASSERT_NE(peerStart, start);  // each process has its own number for the name

  EXPECT_TRUE(FindWindowByCaption("Capturo"));
  EXPECT_TRUE(PostMessageToCaption("Capturo", start, 0, 42));
  EXPECT_EQ(recorder.ReadLine(), "answered");
  ASSERT_TRUE(menu.WaitFor(stop));
  EXPECT_EQ(menu.got[0].w, peerStart);  // the peer received its own number
  EXPECT_EQ(menu.got[0].l, 42);

  // An unregistered number travels unchanged, with parameters at full width.
  const WPARAM bigW = ~WPARAM{0} - 1;
  const LPARAM negL = -(LPARAM{1} << 40);
  EXPECT_TRUE(PostMessageToCaption("Capturo", 0x0401, bigW, negL));
  ASSERT_TRUE(menu.WaitFor(0x0402));
  EXPECT_EQ(menu.got[1].w, bigW);
  EXPECT_EQ(menu.got[1].l, negL);

  EXPECT_TRUE(recorder.Finish());
  EXPECT_FALSE(FindWindowByCaption("Capturo"));
  EXPECT_EQ(Sockets(dir).size(), 1u);  // only our own
}

TEST(Caption, SocketOfAKilledProcessIsNotFoundAndIsCleanedUp) {
  TestApp();
  const PrivateRuntimeFolder dir;
  Peer recorder({"publish", "Capturo", "RozIdez"});
  ASSERT_EQ(recorder.ReadLine().rfind("ready ", 0), 0u);
  EXPECT_TRUE(FindWindowByCaption("Capturo"));
  recorder.Kill();
  EXPECT_EQ(Sockets(dir).size(), 1u);  // left behind
  EXPECT_FALSE(FindWindowByCaption("Capturo"));
  EXPECT_FALSE(PostMessageToCaption("Capturo", 0x0401));
  EXPECT_TRUE(Sockets(dir).empty());

  // A new publisher takes the name again.
  InboxWnd window;
  PublishWindowCaption(&window, "Capturo");
  EXPECT_TRUE(FindWindowByCaption("Capturo"));
}

TEST(Caption, NewestPublisherInAnotherProcessTakesTheCaptionOver) {
  TestApp();
  const PrivateRuntimeFolder runtime;
  InboxWnd local, reply;
  local.Expect(0x0401);
  reply.Expect(0x0402);
  PublishWindowCaption(&local, "Capturo");
  PublishWindowCaption(&reply, "Reply");
  Peer recorder({"publish", "Capturo", "Reply"});
  ASSERT_EQ(recorder.ReadLine().rfind("ready ", 0), 0u);
  EXPECT_TRUE(PostMessageToCaption("Capturo", 0x0401, 9, 0));
  ASSERT_TRUE(reply.WaitFor(0x0402));  // the peer got it and answered
  EXPECT_TRUE(local.got.empty());
  EXPECT_TRUE(recorder.Finish());
}

#include "platform/messages.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "tests/support/test_app.h"

namespace {
void App() { TestApp(); }
}  // namespace

TEST(Messages, PostedMessagesArriveInOrderOnTheTargetThread) {
  App();
  CMessageRecorder rec;
  EXPECT_TRUE(PostMessage(&rec, 2249, 1, 2));
  EXPECT_TRUE(PostMessage(&rec, 2258, 3, -4));
  EXPECT_EQ(rec.Count(2249), 0u);  // queued, not delivered synchronously
  ASSERT_TRUE(rec.WaitFor(2258));
  auto m = rec.Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].message, 2249u);
  EXPECT_EQ(m[0].wParam, 1u);
  EXPECT_EQ(m[1].lParam, -4);
}

TEST(Messages, PostFromManyThreads) {
  App();
  CMessageRecorder rec;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 250; ++i) PostMessage(&rec, 100, static_cast<WPARAM>(i), 0);
    });
  for (auto& t : threads) t.join();
  EXPECT_TRUE(rec.WaitFor(100, 1000));
  EXPECT_EQ(rec.Count(100), 1000u);
}

TEST(Messages, PostToDestroyedTargetIsHarmless) {
  App();
  auto rec = std::make_unique<CMessageRecorder>();
  HWND handle = rec.get();
  EXPECT_TRUE(PostMessage(handle, 1, 0, 0));  // pending when destroyed
  rec.reset();
  EXPECT_FALSE(IsMessageTarget(handle));
  EXPECT_FALSE(PostMessage(handle, 2, 0, 0));
  EXPECT_EQ(SendMessage(handle, 3, 0, 0), 0);
  QCoreApplication::processEvents();  // the pending message must not be delivered
}

TEST(Messages, SendMessageAnswersFromTheTargetsThread) {
  App();
  CMessageRecorder rec;
  rec.answer = [&](UINT msg, WPARAM w, LPARAM l) -> LRESULT {
    EXPECT_EQ(QThread::currentThread(), rec.thread());
    return static_cast<LRESULT>(msg + w + static_cast<WPARAM>(l));
  };
  EXPECT_EQ(SendMessage(&rec, 10, 20, 30), 60);
  std::atomic<LRESULT> fromWorker{0};
  std::thread worker([&] { fromWorker = SendMessage(&rec, 1, 2, 3); });
  // The worker blocks until this thread's loop runs the delivery.
  while (rec.Count(1) == 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_EQ(fromWorker.load(), 6);
}

TEST(Messages, RegisteredNumbersAreStablePerName) {
  const UINT a = RegisterWindowMessage("StartRecord");
  const UINT b = RegisterWindowMessage("StopRecord");
  EXPECT_GE(a, 0xC000u);
  EXPECT_NE(a, b);
  EXPECT_EQ(RegisterWindowMessage("StartRecord"), a);
}

TEST(Messages, SendMessageToATargetThatDiesBeforeDeliveryReturnsZero) {
  App();
  auto rec = std::make_unique<CMessageRecorder>();
  rec->answer = [](UINT, WPARAM, LPARAM) -> LRESULT { return 99; };
  HWND handle = rec.get();
  std::atomic<bool> started{false};
  std::atomic<LRESULT> answer{-1};
  std::thread worker([&] {
    started = true;
    answer = SendMessage(handle, 5, 0, 0);
  });
  while (!started) std::this_thread::yield();
  QThread::msleep(50);  // the call is queued, not yet delivered
  rec.reset();          // the target dies first: the waiting sender must be released
  worker.join();
  EXPECT_EQ(answer.load(), 0);
}

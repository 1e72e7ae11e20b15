#include "platform/instance.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>

#include "tests/platform/peer_support.h"
#include "tests/support/test_app.h"

extern char** environ;

TEST(SingleInstance, SecondHolderInOneProcessFailsUntilFirstIsGone) {
  const PrivateRuntimeFolder runtime;
  {
    CSingleInstance first("brevio");
    EXPECT_TRUE(first.IsFirst());
    CSingleInstance second("brevio");
    EXPECT_FALSE(second.IsFirst());
    CSingleInstance other("brevio-other");  // another name is another lock
    EXPECT_TRUE(other.IsFirst());
  }
  CSingleInstance again("brevio");
  EXPECT_TRUE(again.IsFirst());
}

TEST(SingleInstance, NamesThatAreNotFileNamesStayInsideTheFolder) {
  const PrivateRuntimeFolder dir;
  CSingleInstance a("../escape/attempt");
  CSingleInstance b("..%2Fescape%2Fattempt");  // must not alias the escaped form of `a`
  CSingleInstance c(".hidden");
  EXPECT_TRUE(a.IsFirst());
  EXPECT_TRUE(b.IsFirst());
  EXPECT_TRUE(c.IsFirst());
  EXPECT_FALSE(std::filesystem::exists(dir.Path().parent_path() / "escape"));
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    EXPECT_EQ(entry.path().parent_path(), dir.Path());
    EXPECT_NE(entry.path().filename().string().front(), '.');
    ++files;
  }
  EXPECT_EQ(files, 3);
}

TEST(SingleInstance, AnotherProcessHoldsItUntilItEndsEvenWhenKilled) {
  TestApp();
  const PrivateRuntimeFolder runtime;
  {
    Peer holder({"lock", "brevio"});
    ASSERT_TRUE(holder.Started());
    ASSERT_EQ(holder.ReadLine(), "first");
    EXPECT_FALSE(CSingleInstance("brevio").IsFirst());
    Peer late({"lock", "brevio"});
    ASSERT_EQ(late.ReadLine(), "second");
    EXPECT_TRUE(late.Finish());
    EXPECT_TRUE(holder.Finish());  // orderly end
  }
  EXPECT_TRUE(CSingleInstance("brevio").IsFirst());

  Peer holder({"lock", "brevio"});
  ASSERT_EQ(holder.ReadLine(), "first");
  EXPECT_FALSE(CSingleInstance("brevio").IsFirst());
  holder.Kill();
  EXPECT_TRUE(CSingleInstance("brevio").IsFirst());
}

TEST(SingleInstance, ProgramsStartedByTheHolderDoNotKeepTheLock) {
  const PrivateRuntimeFolder runtime;
  pid_t child = 0;
  {
    CSingleInstance holder("brevio");
    ASSERT_TRUE(holder.IsFirst());
    char sleepPath[] = "/bin/sleep";
    char seconds[] = "60";
    char* argv[] = {sleepPath, seconds, nullptr};
    // A close-on-exec pipe tells when the program has really started: its
    // end of the pipe closes at the exec, after which only close-on-exec
    // matters (before it, a forked child holds every descriptor).
    int started[2];
    ASSERT_EQ(::pipe2(started, O_CLOEXEC), 0);
    ASSERT_EQ(posix_spawn(&child, "/bin/sleep", nullptr, nullptr, argv, environ), 0);
    ::close(started[1]);
    char c;
    EXPECT_EQ(::read(started[0], &c, 1), 0);
    ::close(started[0]);
  }
  // The holder is gone while the program it started still runs.
  EXPECT_TRUE(CSingleInstance("brevio").IsFirst());
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

TEST(SingleInstance, RuntimeFolderFallsBackToAPrivateTempFolder) {
  const PrivateRuntimeFolder scratch;
  const auto tmp = scratch.Path() / "tmp";
  std::filesystem::create_directories(tmp);
  ::setenv("TMPDIR", tmp.c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", (scratch.Path() / "missing").c_str(), 1);
  const auto own = tmp / ("brevio-" + std::to_string(::getuid()));

  EXPECT_EQ(GetUserRuntimeFolder(), own);
  // A runtime folder too long for socket paths is passed over too.
  const auto deep = scratch.Path() / std::string(60, 'd');
  std::filesystem::create_directories(deep);
  ::setenv("XDG_RUNTIME_DIR", deep.c_str(), 1);
  EXPECT_EQ(GetUserRuntimeFolder(), own);
  struct stat st {};
  ASSERT_EQ(::stat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(CSingleInstance("brevio").IsFirst());

  // A folder of that name that others can enter is not used; the program
  // still starts rather than being locked out.
  ::chmod(own.c_str(), 0755);
  EXPECT_TRUE(GetUserRuntimeFolder().empty());
  CSingleInstance a("brevio"), b("brevio");
  EXPECT_TRUE(a.IsFirst());
  EXPECT_TRUE(b.IsFirst());
  ::chmod(own.c_str(), 0700);
  ::unsetenv("TMPDIR");
}

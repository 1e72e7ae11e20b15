// FreePath, MovePath and CopyPath: literal, never replacing, and never
// losing a file whatever fails (every file call failed in turn, a full and
// a read-only file system, a crash halfway).

#include <sys/wait.h>

#include <functional>

#include "contracts/fundara/files.h"
#include "tests/fundara/disk_state.h"
#include "tests/fundara/scratch_env.h"

using namespace fundara_test;

namespace {

using State = std::map<std::string, std::string>;

// A scratch library: folder "A" with files, a subfolder, a link, a hidden
// file and a read-only file; "B" an empty folder.
class LiteralMoves : public ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    lib = root / "lib";
    MakeLibrary(lib);
  }
  static void MakeLibrary(const fs::path& at) {
    WriteFile(at / "A/one.jpg", "first picture");
    WriteFile(at / "A/deep/two.jpg", std::string(70000, 'x'));
    WriteFile(at / "A/.hidden", "h");
    WriteFile(at / "A/ro.txt", "read only");
    fs::permissions(at / "A/ro.txt", fs::perms::owner_read | fs::perms::group_read);
    fs::create_symlink("one.jpg", at / "A/link");
    fs::create_directories(at / "B");
  }
  // The tree the test expects: `before` with the subtree `from` moved or
  // copied to `to` (both relative to the library).
  static State Moved(const State& before, const std::string& from, const std::string& to, bool keep) {
    State out;
    for (const auto& [rel, what] : before) {
      const bool inside = rel == from || rel.starts_with(from + "/");
      if (!inside || keep) out[rel] = what;
      if (inside) out[to + rel.substr(from.size())] = what;
    }
    return out;
  }
  fs::path lib;
};

TEST_F(LiteralMoves, FreePathNumbersTakenNamesAsArchivesDo) {
  WriteFile(lib / "p.jpg", "");
  WriteFile(lib / "p(1).jpg", "");
  WriteFile(lib / "noext", "");
  WriteFile(lib / ".dot", "");
  WriteFile(lib / "a.b.c", "");
  const struct {
    std::string name, expected;
  } cases[] = {
      {"new.jpg", "new.jpg"}, {"p.jpg", "p(2).jpg"}, {"noext", "noext(1)"}, {".dot", ".dot(1)"},
      {"a.b.c", "a.b(1).c"},  {"A", "A(1)"},        {"B", "B(1)"},         {"a*?.jpg", "a*?.jpg"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FreePath(lib.string(), c.name), (lib / c.expected).string()) << c.name;
    EXPECT_EQ(FreePath(lib.string() + "/", c.name), (lib / c.expected).string()) << c.name;
  }
  EXPECT_EQ(FreePath(lib.string(), ""), "");
  EXPECT_EQ(FreePath("", "x"), "");
}

TEST_F(LiteralMoves, RefusalsTouchNothing) {
  fs::create_symlink(lib / "A", lib / "B/toA");
  fs::create_symlink(lib / "gone", lib / "B/dangling");
  WriteFile(lib / "B/one.jpg", "other");
  const State before = Snapshot(lib);
  const struct {
    const char* why;
    std::string from, to;
  } cases[] = {
      {"missing source", "A/none", "B/none"},
      {"a file is at the target", "A/one.jpg", "B/one.jpg"},
      {"a folder is at the target", "A/deep", "B"},
      {"a dangling link is at the target", "A/one.jpg", "B/dangling"},
      {"onto itself", "A", "A"},
      {"into itself", "A", "A/deep/A"},
      {"into itself through a link", "A", "B/toA/A"},
      {"into itself through ..", "A", "B/../A/deep/A"},
      {"the target's folder is missing", "A/one.jpg", "C/one.jpg"},
      {"the target's folder is a file", "A/deep", "A/one.jpg/deep"},
  };
  for (const auto& c : cases) {
    const std::string from = (lib / c.from).string(), to = (lib / c.to).string();
    EXPECT_EQ(MovePath(from, to), 0) << c.why;
    EXPECT_EQ(CopyPath(from, to), 0) << c.why;
    EXPECT_EQ(Snapshot(lib), before) << c.why;
  }
  EXPECT_EQ(MovePath("", (lib / "x").string()), 0);
  EXPECT_EQ(CopyPath((lib / "A").string(), ""), 0);
  EXPECT_EQ(RenameNoReplace((lib / "A/one.jpg").string(), (lib / "B/one.jpg").string()), 0);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(Snapshot(lib), before);
}

// Odd names are taken literally: wildcards are not expanded, nothing is
// split at ";" or "\", and bytes that are not UTF-8 pass unchanged.
TEST_F(LiteralMoves, OddNamesMoveAndCopyLiterally) {
  const std::string names[] = {
      "with space.jpg", "中文 图片.jpg", "a;b.jpg",      "star*.jpg", "what?.jpg",
      "back\\slash.jpg", "new\nline.jpg", std::string(255, 'n'), "\xff\xfe bytes.jpg",
  };
  WriteFile(lib / "odd/starX.jpg", "decoy");  // "star*.jpg" must not match it
  WriteFile(lib / "odd/whatX.jpg", "decoy");
  for (const auto& name : names) {
    WriteFile(lib / "odd" / name, "content of " + name);
    const std::string from = (lib / "odd" / name).string();
    ASSERT_EQ(CopyPath(from, (lib / "B" / name).string()), 1) << name;
    EXPECT_EQ(ReadFile(lib / "B" / name), "content of " + name);
    EXPECT_EQ(MovePath(from, (lib / "A" / name).string()), 1) << name;
    EXPECT_EQ(ReadFile(lib / "A" / name), "content of " + name);
    EXPECT_FALSE(fs::exists(lib / "odd" / name));
  }
  EXPECT_EQ(ReadFile(lib / "odd/starX.jpg"), "decoy");
  EXPECT_EQ(ReadFile(lib / "odd/whatX.jpg"), "decoy");
  EXPECT_FALSE(fs::exists(lib / "B/starX.jpg"));
  // A name one byte too long is refused by the file system, and nothing changes.
  const State before = Snapshot(lib);
  EXPECT_EQ(MovePath((lib / "A/one.jpg").string(), (lib / "B" / std::string(256, 'n')).string()), 0);
  EXPECT_EQ(CopyPath((lib / "A").string(), (lib / std::string(256, 'n')).string()), 0);
  EXPECT_EQ(Snapshot(lib), before);
  EXPECT_EQ(Leftovers(lib), "");
}

// The operations the fault tests run, each from a fresh library; `other`
// is a folder on another file system (empty when none could be mounted).
struct Operation {
  const char* name;
  bool acrossDisks;
  bool keepsSource;
  std::string from, to;  // relative to the library, or to the other disk for `to`
};

const Operation kOperations[] = {
    {"move a folder", false, false, "A", "B/A"},
    {"move a file", false, false, "A/one.jpg", "B/one.jpg"},
    {"copy a folder", false, true, "A", "B/A"},
    {"copy a file", false, true, "A/deep/two.jpg", "B/two.jpg"},
    {"move a folder to another disk", true, false, "A", "A"},
    {"move a file to another disk", true, false, "A/deep/two.jpg", "two.jpg"},
    {"copy a folder to another disk", true, true, "A", "A"},
};

int RunOperation(const Operation& op, const fs::path& lib, const fs::path& other) {
  const fs::path to = op.acrossDisks ? other / op.to : lib / op.to;
  return op.keepsSource ? CopyPath((lib / op.from).string(), to.string())
                        : MovePath((lib / op.from).string(), to.string());
}

class LiteralFaults : public LiteralMoves {
 protected:
  // The library lies on a file system of its own too, where flushing costs
  // nothing, so that several hundred runs stay quick.
  void SetUp() override {
    LiteralMoves::SetUp();
    libDisk = std::make_unique<SmallDisk>(root / "libdisk", "4m");
    disk = std::make_unique<SmallDisk>(root / "other", "4m");
    if (libDisk->Mounted()) {
      fs::remove_all(lib);
      lib = libDisk->Path() / "lib";
      MakeLibrary(lib);
    }
  }
  void TearDown() override {
    file_fault::Disarm();
    disk.reset();
    libDisk.reset();
    LiteralMoves::TearDown();
  }
  // The library and the other disk as one state: "lib/…" and "other/…".
  State Both() const {
    State out;
    for (const auto& [k, v] : Snapshot(lib)) out["lib/" + k] = v;
    for (const auto& [k, v] : Snapshot(disk->Path())) out["other/" + k] = v;
    return out;
  }
  void Fresh() {
    fs::remove_all(lib);
    for (const auto& e : fs::directory_iterator(disk->Path())) fs::remove_all(e.path());
    MakeLibrary(lib);
  }
  // What a successful run leaves.
  State Expected(const Operation& op, const State& before) const {
    return Moved(before, "lib/" + op.from, (op.acrossDisks ? "other/" : "lib/") + op.to, op.keepsSource);
  }
  std::unique_ptr<SmallDisk> libDisk, disk;
};

// Each operation runs once for every file call it makes, that call failing
// with each error: it either succeeds completely or leaves the disk as it
// was, and never leaves work in progress behind.
TEST_F(LiteralFaults, EveryFailedCallLeavesEveryFileWhole) {
  if (!disk->Mounted()) GTEST_SKIP() << "no second file system: " << disk->Why();
  for (const Operation& op : kOperations) {
    Fresh();
    const State before = Both();
    const State after = Expected(op, before);
    file_fault::Arm(0, 0);
    ASSERT_EQ(RunOperation(op, lib, disk->Path()), 1) << op.name;
    const int calls = file_fault::Calls();
    ASSERT_EQ(Both(), after) << op.name;
    ASSERT_GE(calls, 1) << op.name;
    for (int error : {ENOSPC, EACCES, EROFS}) {
      for (int n = 1; n <= calls; ++n) {
        Fresh();
        file_fault::Arm(n, error);
        const int result = RunOperation(op, lib, disk->Path());
        file_fault::Disarm();
        const std::string where = std::string(op.name) + ", call " + std::to_string(n) + " failing with " +
                                  std::strerror(error);
        ASSERT_EQ(Both(), result == 1 ? after : before) << where;
        EXPECT_EQ(Leftovers(root), "") << where;
      }
    }
  }
}

// A crash at any call of a move to another disk: every file stays whole
// at its source or at its destination.
TEST_F(LiteralFaults, CrashHalfwayLosesNoFile) {
  if (!disk->Mounted()) GTEST_SKIP() << "no second file system: " << disk->Why();
  const Operation& op = kOperations[4];
  file_fault::Arm(0, 0);
  ASSERT_EQ(RunOperation(op, lib, disk->Path()), 1);
  const int calls = file_fault::Calls();
  for (int n = 1; n <= calls; ++n) {
    Fresh();
    const State source = Snapshot(lib / "A");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      file_fault::Arm(n, 0, true);
      RunOperation(op, lib, disk->Path());
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child was killed at call " << n;
    // Work names of the killed process may remain; the library and its
    // views leave hidden names out, so only real names count.
    const State at = Snapshot(lib / "A"), dest = Snapshot(disk->Path() / "A");
    for (const auto& [rel, what] : source) {
      const auto s = at.find(rel), d = dest.find(rel);
      const bool whole = (s != at.end() && s->second == what) || (d != dest.end() && d->second == what);
      EXPECT_TRUE(whole) << rel << " after a crash at call " << n;
    }
    for (const auto& [rel, what] : dest) EXPECT_EQ(source.at(rel), what) << rel << ", crash at " << n;
  }
}

TEST_F(LiteralFaults, FullDiskRefusesTheMoveAndKeepsTheSource) {
  SmallDisk full(root / "full", "64k");
  if (!full.Mounted()) GTEST_SKIP() << "cannot mount a small file system: " << full.Why();
  const State before = Snapshot(lib);
  // "two.jpg" (70000 bytes) cannot fit into 64 KiB: the file, and the folder holding it.
  EXPECT_EQ(MovePath((lib / "A").string(), (full.Path() / "A").string()), 0);
  EXPECT_EQ(MovePath((lib / "A/deep/two.jpg").string(), (full.Path() / "two.jpg").string()), 0);
  EXPECT_EQ(CopyPath((lib / "A").string(), (full.Path() / "A").string()), 0);
  EXPECT_EQ(Snapshot(lib), before);
  EXPECT_TRUE(fs::is_empty(full.Path()));
  // What fits still moves.
  EXPECT_EQ(MovePath((lib / "A/one.jpg").string(), (full.Path() / "one.jpg").string()), 1);
  EXPECT_EQ(ReadFile(full.Path() / "one.jpg"), "first picture");
}

TEST_F(LiteralFaults, ReadOnlyDisksRefuseAndKeepEverything) {
  if (!disk->Mounted()) GTEST_SKIP() << "no second file system: " << disk->Why();
  // Into a read-only file system.
  ASSERT_TRUE(disk->MakeReadOnly());
  const State before = Snapshot(lib);
  EXPECT_EQ(MovePath((lib / "A").string(), (disk->Path() / "A").string()), 0);
  EXPECT_EQ(CopyPath((lib / "A/one.jpg").string(), (disk->Path() / "one.jpg").string()), 0);
  EXPECT_EQ(Snapshot(lib), before);
  EXPECT_TRUE(fs::is_empty(disk->Path()));
  // Out of a read-only file system: the copy is made, the source cannot be
  // taken away, so the copy goes again and the move fails.
  SmallDisk ro(root / "ro", "1m");
  ASSERT_TRUE(ro.Mounted());
  MakeLibrary(ro.Path());
  ASSERT_TRUE(ro.MakeReadOnly());
  const State source = Snapshot(ro.Path());
  EXPECT_EQ(MovePath((ro.Path() / "A").string(), (lib / "B/A").string()), 0);
  EXPECT_EQ(Snapshot(ro.Path()), source);
  EXPECT_FALSE(fs::exists(lib / "B/A"));
  EXPECT_EQ(Leftovers(lib), "");
  EXPECT_EQ(CopyPath((ro.Path() / "A").string(), (lib / "B/A").string()), 1);
  EXPECT_EQ(Snapshot(lib / "B/A"), Snapshot(ro.Path() / "A"));
}

// Permission bits: read-only folders stop the operations before they touch
// anything. Root passes permission bits, so as root the operations run in a
// child process as the unprivileged user "nobody", who then owns the library.
TEST_F(LiteralMoves, ReadOnlyFoldersRefuseAndKeepEverything) {
  const bool asRoot = ::geteuid() == 0;
  constexpr uid_t kNobody = 65534;
  if (asRoot) {
    for (const auto& e : fs::recursive_directory_iterator(lib)) {
      ASSERT_EQ(::lchown(e.path().c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(::chown(lib.c_str(), kNobody, kNobody), 0);
  }
  fs::permissions(lib / "B", fs::perms::owner_read | fs::perms::owner_exec);
  fs::permissions(lib / "A/deep", fs::perms::owner_read | fs::perms::owner_exec);
  const State before = Snapshot(lib);
  const auto attempts = [&] {
    int succeeded = 0;
    succeeded += MovePath((lib / "A/one.jpg").string(), (lib / "B/one.jpg").string());
    succeeded += CopyPath((lib / "A").string(), (lib / "B/A").string());
    succeeded += MovePath((lib / "A/deep/two.jpg").string(), (lib / "two.jpg").string());
    succeeded += CopyPath((lib / "A/deep").string(), (lib / "deep").string());  // allowed: read only
    return succeeded;
  };
  if (!asRoot) {
    EXPECT_EQ(attempts(), 1);
  } else {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(99);
      ::_exit(attempts());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "only the copy out of the read-only folder succeeds";
  }
  State expected = before;
  for (const auto& [rel, what] : before)
    if (rel.starts_with("A/deep")) expected[rel.substr(2)] = what;
  EXPECT_EQ(Snapshot(lib), expected);
  EXPECT_EQ(Leftovers(lib), "");
  fs::permissions(lib / "B", fs::perms::owner_all);
  fs::permissions(lib / "A/deep", fs::perms::owner_all);
  fs::permissions(lib / "deep", fs::perms::owner_all);
}

}  // namespace

#pragma once
// One running copy per user: the first process to hold the lock is the one
// that runs; later starts see that it is taken and end.

#include <filesystem>
#include <string_view>

// The per-user folder for sockets and lock files: $XDG_RUNTIME_DIR when it
// names a folder and is short enough for socket paths (56 bytes), else "brevio-<uid>" in the temp folder, created private
// (0700) and refused when it belongs to someone else or is reachable by
// others. Empty when no such folder can be had.
std::filesystem::path GetUserRuntimeFolder();

// Holds an exclusive lock (flock on "<runtime folder>/<name>.lock") for the
// object's life; the lock dies with the process, also when it is killed,
// and is not handed on to programs the process starts. Characters of `name`
// that cannot stand in a file name are escaped. When no lock file can be
// made at all (no usable folder), the process counts as the first: nothing
// shows that another copy runs, and refusing would keep the program from
// ever starting.
class CSingleInstance {
 public:
  explicit CSingleInstance(std::string_view name);
  ~CSingleInstance();
  CSingleInstance(const CSingleInstance&) = delete;
  CSingleInstance& operator=(const CSingleInstance&) = delete;

  // True when this process holds the lock (or no lock could be made).
  bool IsFirst() const { return first_; }

 private:
  int fd_ = -1;
  bool first_ = true;
};

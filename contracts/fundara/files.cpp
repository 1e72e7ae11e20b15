#include "contracts/fundara/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "contracts/fundara/internal.h"

using namespace fundara_internal;

namespace {

bool LExists(const fs::path& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0;
}

// "dir\*" and "dir/*" → "dir"; any other text unchanged. Trailing separators go.
std::string StripFolderStar(std::string_view dest, bool& intoFolder) {
  std::string d(dest);
  intoFolder = false;
  if (d.size() >= 2 && d.back() == '*' && (d[d.size() - 2] == '/' || d[d.size() - 2] == '\\')) {
    d.resize(d.size() - 2);
    intoFolder = true;
    if (d.empty()) d = "/";
  }
  while (d.size() > 1 && (d.back() == '/' || d.back() == '\\')) d.pop_back();
  return d;
}

fs::path Absolute(const fs::path& p) {
  std::error_code ec;
  fs::path a = fs::weakly_canonical(fs::absolute(p, ec), ec);
  return ec ? fs::absolute(p, ec).lexically_normal() : a;
}

// True when `inner` is `outer` or lies below it.
bool IsWithin(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // trailing separator
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

// ------------------------------------------------------------ file calls
// Every call that reads or changes the disk on behalf of the helpers goes
// through these wrappers, so that the test seam can fail any one of them.

std::atomic<int> g_faultAt{0};
std::atomic<int> g_faultError{0};
std::atomic<bool> g_faultKill{false};
std::atomic<int> g_calls{0};
std::atomic<bool> g_hit{false};

// True when this call is the armed one (errno is then set).
bool Fails() {
  const int n = ++g_calls;
  const int at = g_faultAt.load();
  if (at <= 0 || n != at) return false;
  g_hit = true;
  if (g_faultKill) ::kill(::getpid(), SIGKILL);
  errno = g_faultError.load();
  return true;
}

int Open(const fs::path& p, int flags, mode_t mode = 0) {
  return Fails() ? -1 : ::open(p.c_str(), flags | O_CLOEXEC, mode);
}
ssize_t Read(int fd, void* buf, std::size_t n) { return Fails() ? -1 : ::read(fd, buf, n); }
ssize_t Write(int fd, const void* buf, std::size_t n) { return Fails() ? -1 : ::write(fd, buf, n); }
int Fsync(int fd) { return Fails() ? -1 : ::fsync(fd); }
int Close(int fd) {
  if (Fails()) {
    ::close(fd);
    return -1;
  }
  return ::close(fd);
}
int Mkdir(const fs::path& p, mode_t mode) { return Fails() ? -1 : ::mkdir(p.c_str(), mode); }
int Rmdir(const fs::path& p) { return Fails() ? -1 : ::rmdir(p.c_str()); }
int Unlink(const fs::path& p) { return Fails() ? -1 : ::unlink(p.c_str()); }
int Symlink(const std::string& target, const fs::path& p) {
  return Fails() ? -1 : ::symlink(target.c_str(), p.c_str());
}
int Fchmod(int fd, mode_t mode) { return Fails() ? -1 : ::fchmod(fd, mode); }
int Chmod(const fs::path& p, mode_t mode) { return Fails() ? -1 : ::chmod(p.c_str(), mode); }

// The names in a folder (without "." and ".."), sorted; false when it
// cannot be listed.
bool ListFolder(const fs::path& folder, std::vector<std::string>& names) {
  names.clear();
  const int fd = Open(folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd < 0) return false;
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return false;
  }
  errno = 0;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  const bool ok = errno == 0;
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return ok;
}

// Flushes a folder's entries to disk.
bool SyncFolder(const fs::path& folder) {
  const int fd = Open(folder, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  const bool ok = Fsync(fd) == 0;
  return Close(fd) == 0 && ok;
}

// Removes a file, a link or a folder with everything in it; links are
// removed, never followed. True when nothing is left.
// `ours` marks a tree this process made: its folders are made writable
// first, since a copy keeps read-only permission bits.
bool RemoveTree(const fs::path& p, bool ours = false) {
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return Unlink(p) == 0;
  if (ours) ::chmod(p.c_str(), 0700);
  std::vector<std::string> names;
  bool ok = ListFolder(p, names);
  for (const auto& name : names) ok = RemoveTree(p / name, ours) && ok;
  return ok && Rmdir(p) == 0;
}

// A hidden name beside `target` for work in progress, unique in this process.
fs::path WorkName(const fs::path& target, const char* kind) {
  static std::atomic<unsigned> counter{0};
  std::string base = target.filename().string();
  if (base.size() > 160) base.resize(160);  // room for the suffix within NAME_MAX
  return target.parent_path() / ("." + base + "." + std::to_string(::getpid()) + "." +
                                 std::to_string(counter++) + kind);
}

// Writes a copy of the regular file `from` (already opened, `st` its
// status) to the new file `to`: data flushed, size checked, permission bits
// and modification time kept. Removes `to` again on failure.
bool WriteCopy(int in, const struct stat& st, const fs::path& to) {
  const int out = Open(to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (out < 0) return false;
  bool ok = true;
  off_t copied = 0;
  std::vector<char> buf(1 << 16);
  while (ok) {
    const ssize_t r = Read(in, buf.data(), buf.size());
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) ok = false;
    if (r <= 0) break;
    const char* p = buf.data();
    ssize_t left = r;
    while (left > 0) {
      const ssize_t w = Write(out, p, static_cast<std::size_t>(left));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        if (w == 0) errno = ENOSPC;
        ok = false;
        break;
      }
      p += w;
      left -= w;
    }
    copied += r;
  }
  struct stat now {};
  if (ok && (::fstat(out, &now) != 0 || now.st_size != st.st_size || copied != st.st_size)) {
    errno = EIO;  // the source changed while it was copied, or data went missing
    ok = false;
  }
  if (ok) ok = Fchmod(out, st.st_mode & 07777) == 0;
  if (ok) {
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
  }
  if (ok) ok = Fsync(out) == 0;
  ok = Close(out) == 0 && ok;
  if (!ok) {
    const int saved = errno;
    ::unlink(to.c_str());
    errno = saved;
  }
  return ok;
}

bool CopyFileTo(const fs::path& from, const fs::path& to) {
  const int in = Open(from, O_RDONLY | O_NOFOLLOW);
  if (in < 0) return false;
  struct stat st {};
  const bool ok = ::fstat(in, &st) == 0 && S_ISREG(st.st_mode) && WriteCopy(in, st, to);
  ::close(in);
  return ok;
}

// Copies one regular file through a temporary beside the target, replacing
// what is there in one step.
bool CopyRegularFile(const fs::path& from, const fs::path& to) {
  const fs::path tmp = WorkName(to, ".part");
  if (!CopyFileTo(from, tmp)) return false;
  if (::rename(tmp.c_str(), to.c_str()) == 0) return true;
  ::unlink(tmp.c_str());
  return false;
}

// Literal copy of a file, link or folder to the new path `to`; what could
// be made is left for the caller to remove.
bool CopyTree(const fs::path& from, const fs::path& to) {
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(from, ec);
    return !ec && Symlink(target.string(), to) == 0;
  }
  if (S_ISREG(st.st_mode)) return CopyFileTo(from, to);
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTSUP;  // devices, pipes and sockets are not copied
    return false;
  }
  if (Mkdir(to, 0700) != 0) return false;
  std::vector<std::string> names;
  if (!ListFolder(from, names)) return false;
  for (const auto& name : names)
    if (!CopyTree(from / name, to / name)) return false;
  if (!SyncFolder(to) || Chmod(to, st.st_mode & 07777) != 0) return false;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);
  return true;
}

// A path without trailing separators ("/" stays).
fs::path Trimmed(std::string_view path) {
  std::string s(path);
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return fs::path(s);
}

// True when the folder `folder` is `inner` or one of its ancestors, by
// device and inode (so links and ".." cannot hide it).
bool IsSameOrAncestor(const struct stat& folder, const fs::path& inner) {
  std::error_code ec;
  fs::path p = fs::absolute(inner, ec);
  if (ec) return true;  // cannot tell: treat as inside, which refuses
  for (;;) {
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0 && st.st_dev == folder.st_dev && st.st_ino == folder.st_ino)
      return true;
    if (p == p.root_path() || p.empty()) return false;
    p = p.parent_path();
  }
}

// Checks a move or copy before anything is touched: `from` exists, nothing
// exists at `to`, its folder does, and a folder does not go into itself.
bool CheckLiteral(const fs::path& from, const fs::path& to, struct stat& st) {
  if (from.empty() || to.empty() || ::lstat(from.c_str(), &st) != 0) return false;
  struct stat other {};
  if (::lstat(to.c_str(), &other) == 0) {
    errno = EEXIST;
    return false;
  }
  const fs::path parent = to.has_parent_path() ? to.parent_path() : fs::path(".");
  struct stat ps {};
  if (::stat(parent.c_str(), &ps) != 0) return false;
  if (!S_ISDIR(ps.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  if (S_ISDIR(st.st_mode) && IsSameOrAncestor(st, parent)) {
    errno = EINVAL;
    return false;
  }
  return true;
}

// Copies `from` to a hidden name beside `to` and renames it into place.
bool CopyIntoPlace(const fs::path& from, const fs::path& to) {
  const fs::path work = WorkName(to, ".part");
  bool ok = CopyTree(from, work) && RenameNoReplace(work.string(), to.string()) == 1;
  if (!ok) {
    const int saved = errno;
    RemoveTree(work, true);
    errno = saved;
    return false;
  }
  SyncFolder(to.has_parent_path() ? to.parent_path() : fs::path("."));
  return true;
}

// True when every folder of the tree lets this process remove its entries.
bool Removable(const fs::path& p) {
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return true;
  if (::access(p.c_str(), W_OK | X_OK | R_OK) != 0) return false;
  std::error_code ec;
  for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec))
    if (!Removable(it->path())) return false;
  return !ec;
}

bool CopyEntry(const fs::path& from, const fs::path& to) {
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0) return false;
  std::error_code ec;
  if (S_ISLNK(st.st_mode)) {
    const fs::path target = fs::read_symlink(from, ec);
    if (ec) return false;
    if (LExists(to) && !fs::is_directory(fs::symlink_status(to, ec))) fs::remove(to, ec);
    fs::create_symlink(target, to, ec);
    return !ec;
  }
  if (S_ISDIR(st.st_mode)) {
    fs::create_directory(to, ec);
    if (!fs::is_directory(fs::symlink_status(to, ec))) return false;
    std::vector<fs::path> children;
    for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec))
      children.push_back(it->path());
    if (ec) return false;
    bool ok = true;
    for (const auto& child : children) ok = CopyEntry(child, to / child.filename()) && ok;
    return ok;
  }
  if (S_ISREG(st.st_mode)) {
    if (fs::is_directory(fs::symlink_status(to, ec))) return false;
    return CopyRegularFile(from, to);
  }
  return false;  // devices, pipes and sockets are not copied
}

// Names in `folder` matching `pattern`, sorted without regard to case.
std::vector<fs::path> Matches(const fs::path& folder, std::string_view pattern, bool filesOnly) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!WildcardMatch(pattern, name)) continue;
    if (filesOnly && !it->is_regular_file(ec)) continue;
    out.push_back(it->path());
  }
  std::sort(out.begin(), out.end(), [](const fs::path& a, const fs::path& b) {
    const std::string la = AsciiLower(a.filename().string()), lb = AsciiLower(b.filename().string());
    return la != lb ? la < lb : a < b;
  });
  return out;
}

}  // namespace

std::string FreePath(std::string_view folder, std::string_view name) {
  if (folder.empty() || name.empty()) return {};
  const fs::path dir = Trimmed(folder);
  for (int n = 0; n < 100000; ++n) {
    const fs::path candidate = dir / NumberedName(name, n);
    if (!LExists(candidate)) return candidate.string();
  }
  return {};
}

int RenameNoReplace(std::string_view from, std::string_view to) {
  const std::string f(from), t(to);
  if (Fails()) return 0;
  if (::renameat2(AT_FDCWD, f.c_str(), AT_FDCWD, t.c_str(), RENAME_NOREPLACE) == 0) return 1;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return 0;
  // File systems without that rename: a hard link refuses a taken name too.
  if (::link(f.c_str(), t.c_str()) == 0) {
    ::unlink(f.c_str());
    return 1;
  }
  if (errno == EEXIST) return 0;
  if (LExists(t)) {
    errno = EEXIST;
    return 0;
  }
  return ::rename(f.c_str(), t.c_str()) == 0 ? 1 : 0;
}

int MovePath(std::string_view fromText, std::string_view toText) {
  const fs::path from = Trimmed(fromText), to = Trimmed(toText);
  struct stat st {};
  if (!CheckLiteral(from, to, st)) return 0;
  if (RenameNoReplace(from.string(), to.string())) return 1;
  if (errno != EXDEV) return 0;
  // Across file systems. The source must be removable as a whole before the
  // copy starts, so that a move never ends half done at the source.
  const fs::path parent = from.has_parent_path() ? from.parent_path() : fs::path(".");
  if (::access(parent.c_str(), W_OK | X_OK) != 0 || !Removable(from)) return 0;
  if (!CopyIntoPlace(from, to)) return 0;
  // Take the source out of sight in one step; only then remove it. If it
  // cannot be taken away, the copy goes again and the move fails cleanly.
  const fs::path trash = WorkName(from, ".trash");
  if (!RenameNoReplace(from.string(), trash.string())) {
    const int saved = errno;
    RemoveTree(to, true);
    errno = saved;
    return 0;
  }
  // Every file is now whole at `to`; what is left of the hidden source is
  // removed (a second time when a call failed the first).
  if (!RemoveTree(trash)) RemoveTree(trash);
  return 1;
}

int CopyPath(std::string_view fromText, std::string_view toText) {
  const fs::path from = Trimmed(fromText), to = Trimmed(toText);
  struct stat st {};
  if (!CheckLiteral(from, to, st)) return 0;
  return CopyIntoPlace(from, to) ? 1 : 0;
}

namespace fundara_internal {
bool SyncToDisk(const fs::path& path) {
  const int fd = Open(path, O_RDONLY);
  if (fd < 0) return false;
  const bool ok = Fsync(fd) == 0;
  return Close(fd) == 0 && ok;
}
}  // namespace fundara_internal

namespace file_fault {
void Arm(int n, int error, bool kill) {
  g_faultAt = 0;
  g_faultError = error;
  g_faultKill = kill;
  g_hit = false;
  g_calls = 0;
  g_faultAt = n;
}
void Disarm() { Arm(0, 0, false); }
int Calls() { return g_calls.load(); }
bool Hit() { return g_hit.load(); }
}  // namespace file_fault

int CreateDir(std::string_view path) {
  if (path.empty()) return 0;
  const fs::path p = Trimmed(path);
  struct stat st {};
  if (::stat(p.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 1 : 0;
  if (p.has_parent_path() && p.parent_path() != p && !CreateDir(p.parent_path().string())) return 0;
  if (Mkdir(p, 0777) == 0) return 1;
  return (errno == EEXIST && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? 1 : 0;
}

int DelFile(std::string_view path) {
  if (path.empty()) return 0;
  struct stat st {};
  const std::string p(path);
  if (::lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
  return Unlink(p) == 0 ? 1 : 0;
}

int DelPath(std::string_view path) {
  const fs::path p = Trimmed(path);
  if (p.empty()) return 0;
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
  const fs::path abs = Absolute(p);
  if (abs == abs.root_path()) return 0;
  const std::string home = Env("HOME");
  if (!home.empty() && abs == Absolute(home)) return 0;
  return (RemoveTree(p) && !LExists(p)) ? 1 : 0;
}

int CopyFiles(std::string_view source, std::string_view destination) {
  if (source.empty() || destination.empty()) return 0;
  bool intoFolder = false;
  const fs::path dest(StripFolderStar(destination, intoFolder));
  std::string src(source);
  if (src.size() >= 2 && src.back() == '*' && src[src.size() - 2] == '\\')
    src[src.size() - 2] = '/';  // "folder\*": everything in the folder
  while (src.size() > 1 && (src.back() == '/' || src.back() == '\\')) src.pop_back();
  const fs::path srcPath(src);

  std::vector<fs::path> sources;
  const bool wildcard = HasWildcard(srcPath.filename().string());
  if (wildcard) {
    sources = Matches(srcPath.parent_path().empty() ? fs::path(".") : srcPath.parent_path(),
                      srcPath.filename().string(), false);
    if (sources.empty()) return 0;
    intoFolder = true;
  } else {
    if (!LExists(srcPath)) return 0;
    sources.push_back(srcPath);
  }

  std::error_code ec;
  if (!intoFolder && fs::is_directory(dest, ec)) intoFolder = true;
  if (intoFolder && !CreateDir(dest.string())) return 0;
  if (!intoFolder && !dest.parent_path().empty() && !fs::is_directory(dest.parent_path(), ec))
    return 0;

  // Check every pair before copying anything: a copy onto its own source, or
  // of a folder into itself, would destroy or endlessly repeat the source.
  std::vector<std::pair<fs::path, fs::path>> pairs;
  for (const auto& from : sources) {
    const fs::path to = intoFolder ? dest / from.filename() : dest;
    const fs::path absFrom = Absolute(from), absTo = Absolute(to);
    if (absFrom == absTo) return 0;
    if (fs::is_directory(fs::symlink_status(from, ec)) && IsWithin(absTo, absFrom)) return 0;
    if (LExists(to) && fs::equivalent(from, to, ec)) return 0;
    pairs.emplace_back(from, to);
  }
  bool ok = true;
  for (const auto& [from, to] : pairs) ok = CopyEntry(from, to) && ok;
  return ok ? 1 : 0;
}

std::string SearchFile(std::string_view path) {
  if (path.empty()) return {};
  const fs::path p(path);
  const std::string last = p.filename().string();
  if (!HasWildcard(last)) return LExists(p) ? p.string() : std::string();
  const auto found = Matches(p.parent_path().empty() ? fs::path(".") : p.parent_path(), last, false);
  return found.empty() ? std::string() : found.front().string();
}

int SearchFileList(std::string_view folder, std::string_view pattern, std::list<std::string>& found) {
  if (folder.empty()) return 0;
  const auto matches = Matches(fs::path(folder), pattern.empty() ? "*" : pattern, true);
  for (const auto& m : matches) found.push_back(m.string());
  return static_cast<int>(matches.size());
}

int SearchFileList(std::string_view pathPattern, std::list<std::string>& found) {
  const fs::path p(pathPattern);
  return SearchFileList(p.parent_path().string(), p.filename().string(), found);
}

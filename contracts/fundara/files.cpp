#include "contracts/fundara/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Copies one regular file through a temporary beside the target, keeping its
// modification time and permission bits.
bool CopyRegularFile(const fs::path& from, const fs::path& to) {
  static std::atomic<unsigned> counter{0};
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0) {
    ::close(in);
    return false;
  }
  const fs::path tmp = to.parent_path() / ("." + to.filename().string() + "." +
                                           std::to_string(::getpid()) + "." +
                                           std::to_string(counter++) + ".part");
  const int out = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  std::vector<char> buf(1 << 16);
  for (;;) {
    const ssize_t r = ::read(in, buf.data(), buf.size());
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) { ok = false; break; }
    if (r == 0) break;
    const char* p = buf.data();
    ssize_t left = r;
    while (left > 0) {
      const ssize_t w = ::write(out, p, static_cast<std::size_t>(left));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) { ok = false; break; }
      p += w;
      left -= w;
    }
    if (!ok) break;
  }
  ::close(in);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(out, times);
  ok = (::close(out) == 0) && ok;
  if (ok) ok = ::rename(tmp.c_str(), to.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
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

int CreateDir(std::string_view path) {
  if (path.empty()) return 0;
  std::error_code ec;
  fs::create_directories(fs::path(path), ec);
  return fs::is_directory(fs::path(path), ec) ? 1 : 0;
}

int DelFile(std::string_view path) {
  if (path.empty()) return 0;
  struct stat st {};
  const std::string p(path);
  if (::lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
  return ::unlink(p.c_str()) == 0 ? 1 : 0;
}

int DelPath(std::string_view path) {
  std::string text(path);
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  if (text.empty()) return 0;
  const fs::path p(text);
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
  const fs::path abs = Absolute(p);
  if (abs == abs.root_path()) return 0;
  const std::string home = Env("HOME");
  if (!home.empty() && abs == Absolute(home)) return 0;
  std::error_code ec;
  fs::remove_all(p, ec);
  return (!ec && !LExists(p)) ? 1 : 0;
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

#include "platform/instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

namespace {

// A folder that only this user can reach.
bool IsPrivateFolder(const std::filesystem::path& dir) {
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

// Keeps letters, digits, '-', '_' and '.' (not leading); everything else
// becomes %XX so that no name can climb out of the folder or clash.
std::string EscapeFileName(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || (c == '.' && !out.empty());
    if (plain) {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace

std::filesystem::path GetUserRuntimeFolder() {
  std::error_code ec;
  // Local sockets live here, and a socket's whole path must fit in 107
  // bytes: a runtime folder too long to leave room for their names (with
  // the temporary names they are bound under) is passed over.
  constexpr std::size_t kLongestFolder = 56;
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg == '/' && std::strlen(xdg) <= kLongestFolder) {
    const std::filesystem::path dir(xdg);
    if (std::filesystem::is_directory(dir, ec)) return dir;
  }
  std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
  if (ec) tmp = "/tmp";
  const std::filesystem::path dir = tmp / ("brevio-" + std::to_string(::getuid()));
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  // Someone else may have made the name first (a shared temp folder): use
  // it only when it is ours and closed to others.
  return IsPrivateFolder(dir) ? dir : std::filesystem::path();
}

CSingleInstance::CSingleInstance(std::string_view name) {
  const std::filesystem::path dir = GetUserRuntimeFolder();
  if (dir.empty()) return;
  const std::filesystem::path file = dir / (EscapeFileName(name) + ".lock");
  // Close-on-exec: a program started by the holder must not keep the lock
  // alive after the holder has ended.
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    first_ = errno != EWOULDBLOCK;
    ::close(fd);
    return;
  }
  fd_ = fd;
}

CSingleInstance::~CSingleInstance() {
  // The file stays: removing it would let a process that opened the old
  // file and a process that creates a new one both believe they hold it.
  if (fd_ >= 0) ::close(fd_);
}

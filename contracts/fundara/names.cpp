#include "contracts/fundara/names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "contracts/fundara/files.h"
#include "contracts/fundara/internal.h"
#include "contracts/fundara/paths.h"
#include "platform/profile.h"

using namespace fundara_internal;

namespace {

constexpr int kMaxAttempts = 100000;

std::tm LocalNow() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  return tm;
}

std::string Format(const char* pattern, const std::tm& tm) {
  char buf[64];
  std::size_t n = std::strftime(buf, sizeof buf, pattern, &tm);
  return std::string(buf, n);
}

// Creates `path` if nothing is there: 1 created, 0 taken, -1 cannot create.
int Reserve(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) {
    ::close(fd);
    return 1;
  }
  return errno == EEXIST ? 0 : -1;
}

std::string CleanPrefix(const std::string& raw) {
  std::string out;
  for (char c : raw)
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_')
      out += c;
  return out.empty() ? std::string("VELTRA") : out;
}

// Highest number n of the names "<prefix><digits>.<anything>" in the folder (0 when none).
unsigned long long HighestNumber(const fs::path& folder, const std::string& prefix) {
  unsigned long long highest = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string stem = it->path().stem().string();
    if (stem.size() <= prefix.size() || stem.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = stem.substr(prefix.size());
    if (digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    highest = std::max(highest, std::stoull(digits));
  }
  return highest;
}

}  // namespace

std::string NewFileName(std::string_view folder, std::string_view ext) {
  if (folder.empty()) return {};
  std::string e(ext);
  while (!e.empty() && e.front() == '.') e.erase(0, 1);
  if (e.find('/') != std::string::npos) return {};
  const std::string suffix = e.empty() ? std::string() : "." + e;
  const fs::path dir(folder);
  if (!CreateDir(dir.string())) return {};

  const std::string config = GetCameraConfig();
  const int type = GetPrivateProfileInt("output", "imageNameType", 1, config);
  if (type == 0) {
    const std::string base = Format("%Y%m%d_%H%M%S", LocalNow());
    for (int n = 0; n < kMaxAttempts; ++n) {
      const fs::path p = dir / (base + (n ? "_" + std::to_string(n) : std::string()) + suffix);
      const int r = Reserve(p);
      if (r == 1) return p.string();
      if (r < 0) return {};
    }
    return {};
  }
  const std::string prefix = CleanPrefix(GetPrivateProfileString("output", "imageName", "VELTRA", config));
  unsigned long long number = HighestNumber(dir, prefix) + 1;
  for (int n = 0; n < kMaxAttempts; ++n, ++number) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%04llu", number);
    const fs::path p = dir / (prefix + digits + suffix);
    const int r = Reserve(p);
    if (r == 1) return p.string();
    if (r < 0) return {};
  }
  return {};
}

std::string GetJpgNamePath(std::string_view folder, std::string_view ext) {
  const std::string dir = folder.empty() ? GetDataPicPath() : std::string(folder);
  return NewFileName(dir, ext.empty() ? std::string_view("jpg") : ext);
}

std::string GetFileNamePath(std::string_view folder, std::string_view ext) {
  const std::string dir = folder.empty() ? GetDataPathEx() : std::string(folder);
  return NewFileName(dir, ext);
}

int ReleaseFileName(std::string_view path) {
  if (path.empty()) return 0;
  const std::string p(path);
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0) return 0;
  return ::unlink(p.c_str()) == 0 ? 1 : 0;
}

std::string GetDay() { return Format("%Y-%m-%d", LocalNow()); }
std::string GetSysTime() { return Format("%Y-%m-%d_%H-%M-%S", LocalNow()); }

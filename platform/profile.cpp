#include "platform/profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string_view Trim(std::string_view s) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::vector<std::string> ReadLines(const std::string& file) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  if (!in) return lines;
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    first = false;
    lines.push_back(std::move(line));
  }
  return lines;
}

// "[name]" gives name; anything else is not a section header.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// Splits "key = value" lines; lines without '=' have no key.
std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view line) {
  auto eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return std::make_pair(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
}

struct Located {
  std::size_t sectionLine = std::string::npos;  // index of "[section]"
  std::size_t sectionEnd = 0;                   // one past the section's last line
  std::size_t keyLine = std::string::npos;
};

Located Locate(const std::vector<std::string>& lines, std::string_view section,
               std::string_view key) {
  Located loc;
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionName(lines[i])) {
      if (inSection) break;  // first matching section only, as Windows reads it
      inSection = EqualNoCase(*name, section);
      if (inSection) loc.sectionLine = i;
      continue;
    }
    if (!inSection) continue;
    loc.sectionEnd = i + 1;
    if (loc.keyLine == std::string::npos && !key.empty()) {
      if (auto kv = KeyValue(lines[i]); kv && EqualNoCase(kv->first, key)) loc.keyLine = i;
    }
  }
  if (loc.sectionLine != std::string::npos && loc.sectionEnd == 0)
    loc.sectionEnd = loc.sectionLine + 1;
  return loc;
}

std::string Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(v);
}

// Holds an exclusive advisory lock on "<file>.lock" for a read-modify-write.
class FileLock {
 public:
  explicit FileLock(const std::string& file) {
    fd_ = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool WriteAtomically(const std::string& file, const std::vector<std::string>& lines) {
  static std::atomic<unsigned> counter{0};
  const std::string tmp = file + ".tmp." + std::to_string(::getpid()) + "." +
                          std::to_string(counter.fetch_add(1));
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const auto& l : lines) out << l << "\n";
    out.flush();
    if (!out) {
      out.close();
      std::remove(tmp.c_str());
      return false;
    }
  }
  if (std::rename(tmp.c_str(), file.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, const std::string& file) {
  const auto lines = ReadLines(file);
  const auto loc = Locate(lines, section, key);
  if (loc.keyLine == std::string::npos) return std::string(Trim(defaultValue));
  return Unquote(KeyValue(lines[loc.keyLine])->second);
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::string& file) {
  const auto lines = ReadLines(file);
  const auto loc = Locate(lines, section, key);
  if (loc.keyLine == std::string::npos) return defaultValue;
  const std::string value = Unquote(KeyValue(lines[loc.keyLine])->second);
  std::size_t i = 0;
  bool negative = false;
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
  long long n = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    n = n * 10 + (value[i] - '0');
    if (n > 0xFFFFFFFFLL) n = 0xFFFFFFFFLL;  // saturate, then wrap like a 32-bit value
  }
  if (negative) n = -n;
  return static_cast<int>(static_cast<std::uint32_t>(n));
}

bool WritePrivateProfileString(std::string_view section, const char* key, const char* value,
                               const std::string& file) {
  std::error_code ec;
  const fs::path parent = fs::path(file).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);

  FileLock lock(file);
  if (!lock.ok()) return false;
  auto lines = ReadLines(file);
  const std::string_view keyView = key ? std::string_view(key) : std::string_view();
  const auto loc = Locate(lines, section, keyView);

  if (!key) {  // delete the section
    if (loc.sectionLine == std::string::npos) return true;
    lines.erase(lines.begin() + static_cast<long>(loc.sectionLine),
                lines.begin() + static_cast<long>(loc.sectionEnd));
    return WriteAtomically(file, lines);
  }
  if (!value) {  // delete the key
    if (loc.keyLine == std::string::npos) return true;
    lines.erase(lines.begin() + static_cast<long>(loc.keyLine));
    return WriteAtomically(file, lines);
  }
  const std::string entry = std::string(Trim(keyView)) + "=" + std::string(value);
  if (loc.keyLine != std::string::npos) {
    // An existing key keeps its own spelling; only the value changes.
    lines[loc.keyLine] = std::string(KeyValue(lines[loc.keyLine])->first) + "=" + value;
  } else if (loc.sectionLine != std::string::npos) {
    // After the section's last non-blank line.
    std::size_t at = loc.sectionEnd;
    while (at > loc.sectionLine + 1 && Trim(lines[at - 1]).empty()) --at;
    lines.insert(lines.begin() + static_cast<long>(at), entry);
  } else {
    lines.push_back("[" + std::string(section) + "]");
    lines.push_back(entry);
  }
  return WriteAtomically(file, lines);
}

std::vector<std::string> GetPrivateProfileKeys(std::string_view section, const std::string& file) {
  std::vector<std::string> keys;
  const auto lines = ReadLines(file);
  const auto loc = Locate(lines, section, {});
  if (loc.sectionLine == std::string::npos) return keys;
  for (std::size_t i = loc.sectionLine + 1; i < loc.sectionEnd; ++i)
    if (auto kv = KeyValue(lines[i]); kv && !kv->first.empty()) keys.emplace_back(kv->first);
  return keys;
}

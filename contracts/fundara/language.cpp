#include "contracts/fundara/language.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <unordered_map>

#include "contracts/fundara/internal.h"
#include "contracts/fundara/paths.h"
#include "platform/profile.h"

using namespace fundara_internal;

namespace {

constexpr const char* kSection = "system";
constexpr const char* kKey = "language";
// The language of the built-in default texts, used when the locale names none.
constexpr const char* kDefaultLanguage = "zh_CN";
// Used for a locale whose language is not shipped.
constexpr const char* kFallback = "en";

fs::path LangDir() { return fs::path(GetShareDataPath()) / "lang"; }

// Identity of a file's current content, so that a changed file is read again.
struct Stamp {
  std::string path;
  long long mtimeNs = -1;
  long long size = -1;
  bool operator==(const Stamp&) const = default;
};

Stamp StampOf(const std::string& path) {
  Stamp s{path};
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.size = static_cast<long long>(st.st_size);
  }
  return s;
}

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return std::string(s);
}

std::string Unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char n = s[i + 1];
      if (n == 'n') { out += '\n'; ++i; continue; }
      if (n == 't') { out += '\t'; ++i; continue; }
      if (n == '\\') { out += '\\'; ++i; continue; }
    }
    out += s[i];
  }
  return out;
}

std::unordered_map<std::string, std::string> ReadLangFile(const std::string& path) {
  std::unordered_map<std::string, std::string> table;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    first = false;
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    const auto eq = trimmed.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Trim(std::string_view(trimmed).substr(0, eq));
    if (key.empty()) continue;
    table.emplace(std::move(key), Unescape(Trim(std::string_view(trimmed).substr(eq + 1))));
  }
  return table;
}

bool Shipped(const std::string& code) {
  if (code.empty() || code.find('/') != std::string::npos || code.find("..") != std::string::npos)
    return false;
  std::error_code ec;
  return fs::is_regular_file(LangDir() / (code + ".lang"), ec);
}

// "zh_CN.UTF-8@x" → "zh_CN"; a shipped exact match, else one of the same
// language ("zh" matches "zh_CN"), else empty.
std::string MatchLocale(std::string locale) {
  locale = locale.substr(0, locale.find_first_of(".@"));
  if (locale.empty() || locale == "C" || locale == "POSIX") return {};
  if (Shipped(locale)) return locale;
  const std::string lang = locale.substr(0, locale.find('_'));
  if (Shipped(lang)) return lang;
  for (const auto& code : GetLanguageList())
    if (code.substr(0, code.find('_')) == lang) return code;
  return {};
}

std::string SystemLanguage() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    std::string v = Env(var);
    if (v.empty()) continue;
    v = v.substr(0, v.find_first_of(".@"));
    if (v == "C" || v == "POSIX") break;  // no language chosen
    const std::string match = MatchLocale(v);
    return match.empty() ? std::string(kFallback) : match;
  }
  return kDefaultLanguage;
}

std::mutex gMutex;
Stamp gConfigStamp;
std::string gLocale;
std::string gLanguage;
Stamp gTableStamp;
std::unordered_map<std::string, std::string> gTable;

// The current language; the setting is looked at again whenever the
// configuration file changes. Caller holds gMutex.
std::string CurrentLanguageLocked() {
  const std::string config = GetCameraConfig();
  const Stamp stamp = StampOf(config);
  const std::string locale = Env("LC_ALL") + "|" + Env("LC_MESSAGES") + "|" + Env("LANG");
  if (!(stamp == gConfigStamp) || locale != gLocale || gLanguage.empty()) {
    std::string chosen = GetPrivateProfileString(kSection, kKey, "", config);
    gLanguage = Shipped(chosen) ? chosen : SystemLanguage();
    gConfigStamp = stamp;
    gLocale = locale;
  }
  return gLanguage;
}

}  // namespace

std::string GetLanguage() {
  std::lock_guard lock(gMutex);
  return CurrentLanguageLocked();
}

std::vector<std::string> GetLanguageList() {
  std::vector<std::string> codes;
  std::error_code ec;
  for (fs::directory_iterator it(LangDir(), ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() == ".lang") codes.push_back(it->path().stem().string());
  }
  std::sort(codes.begin(), codes.end());
  return codes;
}

int SetLanguage(std::string_view code) {
  const std::string c(code);
  if (!c.empty() && !Shipped(c)) return 0;
  const bool ok = WritePrivateProfileString(kSection, kKey, c.empty() ? nullptr : c.c_str(),
                                            GetCameraConfig());
  std::lock_guard lock(gMutex);
  gLanguage.clear();
  return ok ? 1 : 0;
}

std::string GetLanguageText(std::string_view key, std::string_view defaultText) {
  std::lock_guard lock(gMutex);
  const std::string file = (LangDir() / (CurrentLanguageLocked() + ".lang")).string();
  const Stamp stamp = StampOf(file);
  if (!(stamp == gTableStamp)) {
    gTable = stamp.size >= 0 ? ReadLangFile(file) : decltype(gTable){};
    gTableStamp = stamp;
  }
  auto it = gTable.find(std::string(key));
  if (it == gTable.end()) return std::string(defaultText);
  return it->second;
}

#include "contracts/fundara/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>
#include <vector>

#include "contracts/fundara/internal.h"
#include "contracts/fundara/language.h"
#include "platform/profile.h"

using namespace fundara_internal;

namespace {

constexpr const char* kAppFolder = "Brevio";

std::string Home() {
  std::string home = Env("HOME");
  return home.empty() ? std::string("/") : home;
}

// An XDG base directory: the variable when it holds an absolute path, else the default.
std::string XdgDir(const char* var, const char* homeRelativeDefault) {
  std::string v = Env(var);
  if (!v.empty() && v.front() == '/') return v;
  return (fs::path(Home()) / homeRelativeDefault).string();
}

std::string StripTrailingSeparators(std::string p) {
  while (p.size() > 1 && (p.back() == '/' || p.back() == '\\')) p.pop_back();
  return p;
}

// XDG_PICTURES_DIR from the environment, then from user-dirs.dirs, then ~/Pictures.
std::string PicturesDir() {
  std::string v = Env("XDG_PICTURES_DIR");
  if (!v.empty() && v.front() == '/') return StripTrailingSeparators(v);
  std::ifstream in(fs::path(XdgDir("XDG_CONFIG_HOME", ".config")) / "user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_PICTURES_DIR=";
    auto pos = line.find(key);
    if (pos == std::string::npos || line.find('#') < pos) continue;
    std::string value = line.substr(pos + key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = Home() + value.substr(5);
    if (!value.empty() && value.front() == '/') return StripTrailingSeparators(value);
  }
  return (fs::path(Home()) / "Pictures").string();
}

// A folder name made from a language text: separators and control characters
// cannot be part of one name.
std::string FolderName(const char* key, const char* defaultText) {
  std::string name = GetLanguageText(key, defaultText);
  for (char& c : name)
    if (c == '/' || c == '\\' || (static_cast<unsigned char>(c) < 0x20)) c = '_';
  if (name.empty() || name == "." || name == "..") name = defaultText;
  return name;
}

bool IsDir(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

// A private folder: a directory (not a link) owned by us, mode 0700.
bool PrivateDirOk(const fs::path& p) {
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

}  // namespace

std::string GetProgramPath() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path(ec).string();
  return exe.parent_path().string();
}

std::string GetAppData() { return (fs::path(XdgDir("XDG_DATA_HOME", ".local/share")) / kAppFolder).string(); }

std::string GetSettingsPath() {
  return (fs::path(XdgDir("XDG_CONFIG_HOME", ".config")) / kAppFolder).string();
}

// The shipped data as installed: share/brevio beside the program's bin/.
static fs::path InstalledShareDataPath() { return fs::path(GetProgramPath()).parent_path() / "share" / "brevio"; }

std::string GetShareDataPath() {
  std::string env = Env("BREVIO_DATA_DIR");
  if (!env.empty()) return StripTrailingSeparators(env);
  const fs::path installed = InstalledShareDataPath();
  if (IsDir(installed)) return installed.string();
#ifdef BREVIO_SOURCE_DATA_DIR
  if (IsDir(BREVIO_SOURCE_DATA_DIR)) return BREVIO_SOURCE_DATA_DIR;
#endif
  std::string dirs = Env("XDG_DATA_DIRS");
  if (dirs.empty()) dirs = "/usr/local/share:/usr/share";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    if (!dir.empty() && IsDir(fs::path(dir) / "brevio")) return (fs::path(dir) / "brevio").string();
    start = end + 1;
  }
  return installed.string();
}

std::string GetCameraConfig() { return (fs::path(GetSettingsPath()) / "CameraConfig.ini").string(); }
std::string GetUISetConfig() { return (fs::path(GetSettingsPath()) / "UISet.ini").string(); }
std::string GetMicroClassLoginConfig() {
  return (fs::path(GetSettingsPath()) / "MicroClassLogin.xml").string();
}

std::string GetDataPathEx() {
  std::string path = GetPrivateProfileString("output", "dataPath", "", GetCameraConfig());
  path = StripTrailingSeparators(path);
  if (!path.empty()) return path;
  return (fs::path(PicturesDir()) / kAppFolder).string();
}

std::string GetDataLibPath() {
  return (fs::path(GetDataPathEx()) / FolderName("ziliaoku", "资料库")).string();
}
std::string GetDataPicPath() {
  return (fs::path(GetDataLibPath()) / FolderName("tupian", "图片")).string();
}
std::string GetDataVideoPath() {
  return (fs::path(GetDataLibPath()) / FolderName("shipin", "视频")).string();
}
std::string GetDataAbstractPath() {
  return (fs::path(GetDataLibPath()) / FolderName("zhaiyao", "摘要")).string();
}
std::string GetBindPath() {
  return (fs::path(GetDataPathEx()) / FolderName("zhuangding", "装订")).string();
}
std::string GetCoursePath() {
  return (fs::path(GetDataPathEx()) / FolderName("kecheng", "课程")).string();
}

std::string GetTempDataPath() {
  static std::mutex mutex;
  static std::string fallback;  // a private folder made once when the usual one is unsafe
  std::lock_guard lock(mutex);
  fs::path dir;
  std::string runtime = Env("XDG_RUNTIME_DIR");
  if (!runtime.empty() && runtime.front() == '/' && IsDir(runtime)) {
    dir = fs::path(runtime) / kAppFolder;
  } else {
    std::string tmp = Env("TMPDIR");
    if (tmp.empty() || tmp.front() != '/') tmp = "/tmp";
    dir = fs::path(tmp) / (std::string(kAppFolder) + "-" + std::to_string(::getuid()));
  }
  ::mkdir(dir.c_str(), 0700);
  struct stat st {};
  // Our own folder that lost its strict mode is tightened again.
  if (::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
      (st.st_mode & 077) != 0)
    ::chmod(dir.c_str(), 0700);
  if (PrivateDirOk(dir)) return dir.string();
  // Someone else's folder or a link sits at that name: never use it.
  if (fallback.empty() || !PrivateDirOk(fallback)) {
    std::string templ = (dir.parent_path() / (std::string(kAppFolder) + "-XXXXXX")).string();
    if (::mkdtemp(templ.data()) == nullptr) return dir.string();
    fallback = templ;
  }
  return fallback;
}

std::string GetThumbsPath() {
  return (fs::path(XdgDir("XDG_CACHE_HOME", ".cache")) / "thumbnails").string();
}

std::string GetImagePath() { return (fs::path(GetShareDataPath()) / "images").string(); }

std::string GetConfigSavePath(std::string_view fileName) {
  // A bare file name (or a relative path below the folder) only.
  if (fileName.empty() || fileName.front() == '/') return {};
  const fs::path rel(fileName);
  for (const auto& part : rel)
    if (part == "..") return {};
  return (fs::path(GetSettingsPath()) / rel).string();
}

std::string GetConfigPath(std::string_view fileName) {
  const std::string user = GetConfigSavePath(fileName);
  if (user.empty()) return {};
  std::error_code ec;
  if (fs::exists(user, ec)) return user;
  // The shipped files are the Chinese originals; another language may ship
  // its own variant (texts, and layouts made for longer texts) in a
  // sub-folder named by its code.
  const fs::path rel(fileName);
  const fs::path config = fs::path(GetShareDataPath()) / "config";
  const fs::path translated = config / GetLanguage() / rel;
  if (fs::exists(translated, ec)) return translated.string();
  const fs::path shipped = config / rel;
  if (fs::exists(shipped, ec)) return shipped.string();
  return user;
}

bool IsShippedDataPath(std::string_view path) {
  if (path.empty()) return false;
  std::error_code ec;
  const fs::path target = fs::absolute(fs::path(path), ec);
  if (ec) return false;
  // A save replaces the last name itself (a link there is replaced, not
  // followed), so only the folder is resolved.
  const fs::path resolved = fs::weakly_canonical(target.parent_path(), ec) / target.filename();
  if (ec) return false;
  std::vector<fs::path> roots = {GetShareDataPath(), InstalledShareDataPath()};
#ifdef BREVIO_SOURCE_DATA_DIR
  roots.emplace_back(BREVIO_SOURCE_DATA_DIR);
#endif
  for (const fs::path& root : roots) {
    const fs::path canonicalRoot = fs::weakly_canonical(root, ec);
    if (ec || canonicalRoot.empty()) continue;
    if (std::mismatch(canonicalRoot.begin(), canonicalRoot.end(), resolved.begin(), resolved.end()).first ==
        canonicalRoot.end())
      return true;
  }
  return false;
}

std::string GetUpgradeAppPath() { return (fs::path(GetProgramPath()) / "BrevioUpgrader").string(); }
std::string GetVideoRecordPath() { return (fs::path(GetProgramPath()) / "Capturo").string(); }

#include "contracts/fundara/zip.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <vector>

#include "contracts/fundara/files.h"
#include "contracts/fundara/internal.h"

using namespace fundara_internal;

namespace {

// Files kept open by one archive before later ones are read into memory
// instead (stays well below the usual limit of open descriptors).
constexpr int kMaxOpenFiles = 256;

// Formats that gain nothing from compression are stored as they are.
bool AlreadyCompressed(const std::string& ext) {
  static const char* const kinds[] = {"jpg", "jpeg", "png", "gif", "zip", "mp4", "flv",
                                      "avi", "mp3", "aac", "webp", "bind", "pdf"};
  return std::find(std::begin(kinds), std::end(kinds), ext) != std::end(kinds);
}

// "a\b/../c" style names: backslashes become slashes; returns the parts, or
// nothing when the name is unsafe (absolute, drive letter, "..", empty).
bool SplitSafeName(std::string name, std::vector<std::string>& parts, bool& isDir) {
  parts.clear();
  std::replace(name.begin(), name.end(), '\\', '/');
  if (name.empty() || name.front() == '/') return false;
  if (name.size() >= 2 && name[1] == ':') return false;
  isDir = name.back() == '/';
  std::size_t start = 0;
  while (start < name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") return false;
    for (unsigned char c : part)
      if (c < 0x20) return false;
    parts.push_back(part);
  }
  return !parts.empty();
}

struct ZipCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};

}  // namespace

// ---------------------------------------------------------------- COnZipFile

COnZipFile::~COnZipFile() {
  if (zip_) Close();
}

int COnZipFile::Create(const std::string& zipPath) {
  Discard();
  if (zipPath.empty()) return 0;
  int err = 0;
  zip_ = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (zip_) path_ = zipPath;
  return zip_ ? 1 : 0;
}

int COnZipFile::AddFile(const std::string& filePath) {
  const std::string name = fs::path(filePath).filename().string();
  std::string candidate;
  for (int n = 0; n < 100000; ++n) {
    candidate = NumberedName(name, n);
    if (!names_.count(AsciiLower(candidate))) break;
  }
  return AddFile(filePath, candidate);
}

int COnZipFile::AddFile(const std::string& filePath, const std::string& nameInArchive) {
  if (!zip_) return 0;
  std::vector<std::string> parts;
  bool isDir = false;
  if (!SplitSafeName(nameInArchive, parts, isDir) || isDir) return 0;
  std::string name;
  for (const auto& p : parts) name += (name.empty() ? "" : "/") + p;
  if (names_.count(AsciiLower(name))) return 0;

  struct stat st {};
  if (::stat(filePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;

  zip_source_t* source = nullptr;
  if (openFiles_ < kMaxOpenFiles) {
    // An open file stays readable even if its name is deleted before Close.
    FILE* f = std::fopen(filePath.c_str(), "rbe");
    if (!f) return 0;
    source = zip_source_filep(zip_, f, 0, -1);
    if (!source) {
      std::fclose(f);
      return 0;
    }
    ++openFiles_;
  } else {
    FILE* f = std::fopen(filePath.c_str(), "rbe");
    if (!f) return 0;
    const auto size = static_cast<std::size_t>(st.st_size);
    void* data = std::malloc(size ? size : 1);
    const bool read = data && std::fread(data, 1, size, f) == size;
    std::fclose(f);
    if (!read) {
      std::free(data);
      return 0;
    }
    source = zip_source_buffer(zip_, data, size, 1);  // libzip frees the block
    if (!source) {
      std::free(data);
      return 0;
    }
  }
  const zip_int64_t index = zip_file_add(zip_, name.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(source);
    return 0;
  }
  zip_file_set_mtime(zip_, static_cast<zip_uint64_t>(index), st.st_mtime, 0);
  if (AlreadyCompressed(ExtensionLower(name)))
    zip_set_file_compression(zip_, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
  names_.insert(AsciiLower(name));
  return 1;
}

int COnZipFile::Close() {
  if (!zip_) return 0;
  zip_t* z = zip_;
  zip_ = nullptr;
  names_.clear();
  openFiles_ = 0;
  const fs::path path = path_;
  path_.clear();
  if (zip_close(z) != 0) {
    zip_discard(z);
    return 0;
  }
  // The archive counts as written only once its bytes and its name are on
  // disk: callers delete the bound files right after.
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (SyncToDisk(path) && SyncToDisk(folder)) return 1;
  ::unlink(path.c_str());
  return 0;
}

void COnZipFile::Discard() {
  if (zip_) zip_discard(zip_);
  zip_ = nullptr;
  path_.clear();
  names_.clear();
  openFiles_ = 0;
}

// ---------------------------------------------------------------- CUnZipFile

CUnZipFile::CUnZipFile(const std::string& zipPath, const std::string& folder) {
  UnZip(zipPath, folder);
}

int CUnZipFile::Fail(const std::string& why) {
  error_ = why;
  result_ = 0;
  return 0;
}

int CUnZipFile::UnZip(const std::string& zipPath, const std::string& folder) {
  files_.clear();
  error_.clear();
  result_ = 0;
  if (zipPath.empty() || folder.empty()) return Fail("no archive or folder given");

  int err = 0;
  std::unique_ptr<zip_t, ZipCloser> za(zip_open(zipPath.c_str(), ZIP_RDONLY, &err));
  if (!za) return Fail("cannot open the archive");
  const zip_int64_t count = zip_get_num_entries(za.get(), 0);
  if (count < 0) return Fail("cannot read the archive's directory");
  if (static_cast<std::uint64_t>(count) > maxEntries_) return Fail("too many entries");

  struct Entry {
    zip_uint64_t index;
    std::vector<std::string> parts;
    bool isDir;
    std::uint64_t size;
    time_t mtime;
  };
  std::vector<Entry> entries;
  std::uint64_t total = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    if (zip_stat_index(za.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0 ||
        !(st.valid & ZIP_STAT_NAME) || !(st.valid & ZIP_STAT_SIZE))
      return Fail("unreadable entry");
    Entry e{static_cast<zip_uint64_t>(i), {}, false, st.size,
            (st.valid & ZIP_STAT_MTIME) ? st.mtime : 0};
    if (!SplitSafeName(st.name, e.parts, e.isDir))
      return Fail(std::string("unsafe entry name: ") + st.name);
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(za.get(), e.index, 0, &opsys, &attributes) == 0 &&
        opsys == ZIP_OPSYS_UNIX) {
      const mode_t mode = attributes >> 16;
      if (S_ISLNK(mode)) return Fail(std::string("link entry: ") + st.name);
      if (S_ISDIR(mode)) e.isDir = true;
    }
    if (e.size > maxTotal_ || total + e.size > maxTotal_) return Fail("unpacked size too large");
    total += e.size;
    entries.push_back(std::move(e));
  }

  const fs::path root(folder);
  if (!fs::is_directory(root)) {
    std::error_code ec;
    fs::create_directories(root, ec);
    if (!fs::is_directory(root, ec)) return Fail("cannot create the target folder");
  }
  struct statvfs vfs {};
  if (::statvfs(root.c_str(), &vfs) == 0 &&
      total > static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize)
    return Fail("not enough free space");

  std::vector<fs::path> createdFiles, createdDirs;
  const auto rollback = [&] {
    for (auto it = createdFiles.rbegin(); it != createdFiles.rend(); ++it) ::unlink(it->c_str());
    for (auto it = createdDirs.rbegin(); it != createdDirs.rend(); ++it) ::rmdir(it->c_str());
    files_.clear();
  };
  // Makes the folders of `parts` (all of them, or all but the last) below the
  // root; every one must be a real folder, never a link.
  const auto makeDirs = [&](const std::vector<std::string>& parts, std::size_t n, fs::path& out) {
    fs::path dir = root;
    for (std::size_t k = 0; k < n; ++k) {
      dir /= parts[k];
      struct stat st {};
      if (::lstat(dir.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) return false;
        continue;
      }
      if (::mkdir(dir.c_str(), 0755) != 0) return false;
      createdDirs.push_back(dir);
    }
    out = dir;
    return true;
  };

  static std::atomic<unsigned> counter{0};
  std::vector<char> buf(1 << 16);
  for (const auto& e : entries) {
    fs::path dir;
    if (e.isDir) {
      if (!makeDirs(e.parts, e.parts.size(), dir)) {
        rollback();
        return Fail("cannot create a folder of the archive");
      }
      continue;
    }
    if (!makeDirs(e.parts, e.parts.size() - 1, dir)) {
      rollback();
      return Fail("cannot create a folder of the archive");
    }
    const fs::path tmp = dir / (".unzip-" + std::to_string(::getpid()) + "-" +
                                std::to_string(counter++) + ".part");
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
      rollback();
      return Fail("cannot write into the target folder");
    }
    zip_file_t* zf = zip_fopen_index(za.get(), e.index, 0);
    bool ok = zf != nullptr;
    std::uint64_t written = 0;
    while (ok) {
      const zip_int64_t r = zip_fread(zf, buf.data(), buf.size());
      if (r < 0) { ok = false; break; }
      if (r == 0) break;
      written += static_cast<std::uint64_t>(r);
      if (written > e.size) { ok = false; break; }  // more data than the directory promised
      const char* p = buf.data();
      zip_int64_t left = r;
      while (left > 0) {
        const ssize_t w = ::write(fd, p, static_cast<std::size_t>(left));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) { ok = false; break; }
        p += w;
        left -= w;
      }
    }
    if (zf && zip_fclose(zf) != 0) ok = false;  // reports a bad checksum
    if (ok && written != e.size) ok = false;
    if (ok && e.mtime > 0) {
      const struct timespec times[2] = {{e.mtime, 0}, {e.mtime, 0}};
      ::futimens(fd, times);
    }
    ok = ok && ::fsync(fd) == 0;  // on disk before the archive may go
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
      ::unlink(tmp.c_str());
      rollback();
      return Fail("damaged entry: " + e.parts.back());
    }
    // Never replace an existing file: take the first free "name(n).ext".
    fs::path target;
    bool placed = false;
    for (int n = 0; n < 100000 && !placed; ++n) {
      target = dir / NumberedName(e.parts.back(), n);
      if (RenameNoReplace(tmp.string(), target.string())) {
        placed = true;
      } else if (errno != EEXIST) {
        break;
      }
    }
    if (!placed) {
      ::unlink(tmp.c_str());
      rollback();
      return Fail("cannot place " + e.parts.back());
    }
    createdFiles.push_back(target);
    files_.push_back(target.string());
  }
  // The names of the new files (and folders) reach the disk too.
  std::set<fs::path> folders{root};
  for (const fs::path& f : createdFiles) folders.insert(f.parent_path());
  for (const fs::path& d : createdDirs) folders.insert(d.parent_path());
  for (const fs::path& d : folders)
    if (!SyncToDisk(d)) {
      rollback();
      return Fail("cannot flush the unpacked files");
    }
  result_ = 1;
  return 1;
}

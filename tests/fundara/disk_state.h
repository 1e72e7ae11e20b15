#pragma once
// What the no-loss tests compare: a folder tree as text, and small file
// systems of their own (full or read-only) mounted for one test.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

namespace fundara_test {

namespace fs = std::filesystem;

// Relative path → "d <mode>", "f <mode> <content>" or "l <target>" for
// everything below `root` (links not followed). Empty when `root` is missing.
inline std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(root, ec))) return out;
  for (fs::recursive_directory_iterator it(root, fs::directory_options::none, ec), end;
       !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) continue;
    const std::string rel = p.lexically_relative(root).string();
    const std::string mode = std::to_string(st.st_mode & 07777);
    if (S_ISLNK(st.st_mode)) {
      out[rel] = "l " + fs::read_symlink(p).string();
    } else if (S_ISDIR(st.st_mode)) {
      out[rel] = "d " + mode;
    } else {
      std::ifstream in(p, std::ios::binary);
      std::string bytes(std::istreambuf_iterator<char>(in), {});
      if (bytes.size() > 40)  // long contents by size and hash, so that failures stay readable
        bytes = std::to_string(bytes.size()) + " bytes #" + std::to_string(std::hash<std::string>()(bytes));
      out[rel] = "f " + mode + " " + bytes;
    }
  }
  return out;
}

// Names of work in progress ("." … ".part" or ".trash") anywhere below `root`.
inline std::string Leftovers(const fs::path& root) {
  std::string found;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.front() == '.' && (name.ends_with(".part") || name.ends_with(".trash")))
      found += it->path().string() + "\n";
  }
  return found;
}

// A tmpfs of `size` (e.g. "64k") at `where`, for the life of the object;
// Mounted() is false where mounting is not allowed (the test should skip).
class SmallDisk {
 public:
  SmallDisk(const fs::path& where, const std::string& size) : path_(where) {
    fs::create_directories(where);
    ::umount2(where.c_str(), MNT_DETACH);  // left over from an interrupted run
    mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    if (!mounted_) why_ = std::strerror(errno);
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool Mounted() const { return mounted_; }
  const std::string& Why() const { return why_; }
  // Makes the file system read-only (true on success).
  bool MakeReadOnly() {
    return mounted_ && ::mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
  bool mounted_ = false;
  std::string why_;
};

}  // namespace fundara_test

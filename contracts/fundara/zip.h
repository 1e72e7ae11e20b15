#pragma once
// Zip archives: binding pictures into one file and unpacking them again.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

typedef struct zip zip_t;

// Writes a new archive. Files are read when the archive is closed, but each
// one is opened when it is added, so a file may be deleted right after
// AddFile succeeded and still ends up in the archive. The archive appears at
// its path only when Close succeeds (an older file there is replaced then),
// and by then it is on disk: a power cut after Close cannot take it away,
// so the files bound into it may be deleted.
class COnZipFile {
 public:
  COnZipFile() = default;
  ~COnZipFile();  // closes (finishes) an open archive
  COnZipFile(const COnZipFile&) = delete;
  COnZipFile& operator=(const COnZipFile&) = delete;

  // Starts a new archive at `zipPath`. 1 on success.
  int Create(const std::string& zipPath);
  // Adds a regular file under its own file name; a name already in the
  // archive gets "(1)", "(2)", … before its extension. 1 on success.
  int AddFile(const std::string& filePath);
  // Adds a file under `nameInArchive` (relative, '/'-separated, no "..").
  int AddFile(const std::string& filePath, const std::string& nameInArchive);
  // Writes the archive. 1 on success; on failure nothing is left at the path.
  int Close();
  // Abandons the archive without writing anything.
  void Discard();
  bool IsOpen() const { return zip_ != nullptr; }
  int GetCount() const { return static_cast<int>(names_.size()); }

 private:
  zip_t* zip_ = nullptr;
  std::string path_;
  std::set<std::string> names_;  // lower-cased names already used
  int openFiles_ = 0;            // files held open until Close
};

// Unpacks an archive into a folder, refusing anything that could write
// outside it: absolute names, drive letters, ".." parts, links (in the
// archive or met on the way inside the folder), and archives whose unpacked
// size is absurd or larger than the free space. The whole archive is checked
// before the first file is written; if anything fails midway, the files
// already written are removed again. When UnZip succeeds every file is on
// disk (data and folder entries flushed), so the archive may be deleted. Existing files are never replaced: an
// entry whose name is taken is written as "name(1).ext" and so on.
class CUnZipFile {
 public:
  static constexpr std::uint64_t kDefaultMaxTotalSize = 8ull << 30;  // 8 GiB
  static constexpr std::uint64_t kDefaultMaxEntries = 100000;

  CUnZipFile() = default;
  // Unpacks at once; GetResult tells how it went.
  CUnZipFile(const std::string& zipPath, const std::string& folder);

  // 1 when every entry was unpacked, 0 otherwise (see GetError).
  int UnZip(const std::string& zipPath, const std::string& folder);
  int GetResult() const { return result_; }
  // Full paths of the files written by the last UnZip, in archive order.
  const std::vector<std::string>& GetFiles() const { return files_; }
  const std::string& GetError() const { return error_; }
  void SetLimits(std::uint64_t maxTotalSize, std::uint64_t maxEntries) {
    maxTotal_ = maxTotalSize;
    maxEntries_ = maxEntries;
  }

 private:
  int Fail(const std::string& why);

  std::uint64_t maxTotal_ = kDefaultMaxTotalSize;
  std::uint64_t maxEntries_ = kDefaultMaxEntries;
  int result_ = 0;
  std::vector<std::string> files_;
  std::string error_;
};

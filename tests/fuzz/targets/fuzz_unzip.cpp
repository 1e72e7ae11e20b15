// Archives unpacked into a scratch folder: whatever the archive holds,
// nothing appears outside the folder, no link appears inside it, a failed
// unpacking leaves the folder as it was, and a successful one lists exactly
// the files it wrote.
#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "contracts/fundara/zip.h"
#include "tests/fuzz/targets/fuzz_common.h"

namespace fs = std::filesystem;

namespace {

// Every entry below `dir` (links are not followed); false when one is
// neither a folder nor a regular file.
bool Walk(const fs::path& dir, std::set<std::string>& files) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::file_status st = it->symlink_status(ec);
    if (fs::is_regular_file(st)) {
      files.insert(it->path().string());
    } else if (!fs::is_directory(st)) {
      return false;
    }
  }
  return !ec;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path scratch = fuzz::ScratchDir();
  const std::string archive = fuzz::InputFile(data, size, ".zip");
  const fs::path folder = scratch / "out";
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directory(folder, ec);

  CUnZipFile unzip;
  unzip.SetLimits(1 << 20, 256);  // a fuzz input is never a real binding archive
  const int result = unzip.UnZip(archive, folder.string());
  FUZZ_CHECK(result == unzip.GetResult());

  // The scratch folder holds the archive and the target folder, nothing else.
  for (const auto& entry : fs::directory_iterator(scratch)) {
    const std::string name = entry.path().filename().string();
    FUZZ_CHECK(name == "input.zip" || name == "out");
  }
  std::set<std::string> found;
  FUZZ_CHECK(Walk(folder, found));
  if (result != 1) {
    FUZZ_CHECK(!unzip.GetError().empty());
    FUZZ_CHECK(unzip.GetFiles().empty());
    FUZZ_CHECK(fs::is_empty(folder));
    return 0;
  }
  const std::set<std::string> listed(unzip.GetFiles().begin(), unzip.GetFiles().end());
  FUZZ_CHECK(listed.size() == unzip.GetFiles().size());
  FUZZ_CHECK(listed == found);
  return 0;
}

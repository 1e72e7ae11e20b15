#include "contracts/fundara/zip.h"

#include <sys/stat.h>
#include <zip.h>

#include <random>

#include "contracts/fundara/files.h"
#include "tests/fundara/scratch_env.h"

using namespace fundara_test;

namespace {

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

struct RawEntry {
  std::string name;
  std::string data;
  bool link = false;
};

// Builds an archive entry by entry with libzip itself, names unchecked.
void BuildRaw(const fs::path& path, const std::vector<RawEntry>& entries) {
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  ASSERT_NE(z, nullptr);
  for (const auto& e : entries) {
    zip_source_t* s = zip_source_buffer(z, e.data.data(), e.data.size(), 0);
    const zip_int64_t i = zip_file_add(z, e.name.c_str(), s, 0);
    ASSERT_GE(i, 0) << e.name;
    zip_set_file_compression(z, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
    if (e.link)
      zip_file_set_external_attributes(z, static_cast<zip_uint64_t>(i), 0, ZIP_OPSYS_UNIX,
                                       static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
  }
  ASSERT_EQ(zip_close(z), 0);
}

std::size_t CountFiles(const fs::path& dir) {
  std::size_t n = 0;
  if (!fs::exists(dir)) return 0;
  for (const auto& e : fs::recursive_directory_iterator(dir)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

}  // namespace

using Zip = ScratchEnv;

TEST_F(Zip, BindingRoundTripRestoresTheSameBytesEvenAfterTheFilesWereDeleted) {
  const fs::path src = root / "src";
  const std::string a = RandomBytes(300000, 1), b = RandomBytes(70, 2), c = "";
  WriteFile(src / "a.jpg", a);
  WriteFile(src / "notes.txt", b);
  WriteFile(src / "empty.bmp", c);
  WriteFile(src / "other/a.jpg", "second a");
  const fs::path archive = root / "lib/class.bind";
  fs::create_directories(archive.parent_path());

  COnZipFile zip;
  ASSERT_EQ(zip.Create(archive.string()), 1);
  // Binding deletes each picture as soon as it is added.
  for (const char* name : {"a.jpg", "notes.txt", "empty.bmp", "other/a.jpg"}) {
    ASSERT_EQ(zip.AddFile((src / name).string()), 1) << name;
    ASSERT_EQ(DelFile((src / name).string()), 1);
  }
  EXPECT_EQ(zip.AddFile((src / "gone.jpg").string()), 0);
  EXPECT_EQ(zip.AddFile((src / "other").string()), 0);  // a folder is not a file
  EXPECT_FALSE(fs::exists(archive));                    // nothing until Close
  ASSERT_EQ(zip.Close(), 1);
  ASSERT_TRUE(fs::exists(archive));
  EXPECT_EQ(std::system(("unzip -tqq '" + archive.string() + "'").c_str()), 0);

  CUnZipFile unzip(archive.string(), archive.parent_path().string());
  ASSERT_EQ(unzip.GetResult(), 1) << unzip.GetError();
  EXPECT_EQ(ReadFile(root / "lib/a.jpg"), a);
  EXPECT_EQ(ReadFile(root / "lib/notes.txt"), b);
  EXPECT_EQ(ReadFile(root / "lib/empty.bmp"), c);
  EXPECT_EQ(ReadFile(root / "lib/a(1).jpg"), "second a");  // same name, nothing lost
  EXPECT_EQ(unzip.GetFiles().size(), 4u);
}

TEST_F(Zip, UnpackingNeverReplacesAnExistingFile) {
  const fs::path archive = root / "x.zip";
  BuildRaw(archive, {{"a.txt", "new"}, {"sub/b.txt", "bee"}});
  WriteFile(root / "out/a.txt", "old");
  CUnZipFile unzip;
  ASSERT_EQ(unzip.UnZip(archive.string(), (root / "out").string()), 1);
  EXPECT_EQ(ReadFile(root / "out/a.txt"), "old");
  EXPECT_EQ(ReadFile(root / "out/a(1).txt"), "new");
  EXPECT_EQ(ReadFile(root / "out/sub/b.txt"), "bee");
}

TEST_F(Zip, HostileArchivesAreRefusedWithoutWritingAnything) {
  const fs::path target = root / "box/target";
  fs::create_directories(target);
  const std::vector<std::string> badNames = {"../evil.txt",    "a/../../evil.txt", "/tmp/evil.txt",
                                             "..\\evil.txt",   "C:/evil.txt",      "a/../..",
                                             "a\\..\\..\\evil.txt"};
  int n = 0;
  for (const auto& bad : badNames) {
    const fs::path archive = root / ("bad" + std::to_string(n++) + ".zip");
    BuildRaw(archive, {{"good.txt", "fine"}, {bad, "pwned"}});
    CUnZipFile unzip(archive.string(), target.string());
    EXPECT_EQ(unzip.GetResult(), 0) << bad;
    EXPECT_FALSE(unzip.GetError().empty());
  }
  // A link entry, followed by a file written "through" it.
  const fs::path linkZip = root / "link.zip";
  BuildRaw(linkZip, {{"good.txt", "fine"}, {"esc", (root / "box").string(), true}, {"esc/evil.txt", "x"}});
  EXPECT_EQ(CUnZipFile(linkZip.string(), target.string()).GetResult(), 0);
  EXPECT_EQ(CountFiles(root / "box"), 0u);
  EXPECT_FALSE(fs::exists("/tmp/evil.txt") && ReadFile("/tmp/evil.txt") == "pwned");

  // A link already inside the folder does not lead out of it either; the
  // files written before it was met are removed again.
  fs::create_directories(root / "outside");
  fs::create_directory_symlink(root / "outside", target / "out");
  const fs::path through = root / "through.zip";
  BuildRaw(through, {{"first.txt", "1"}, {"out/evil.txt", "x"}});
  CUnZipFile unzip(through.string(), target.string());
  EXPECT_EQ(unzip.GetResult(), 0);
  EXPECT_EQ(CountFiles(root / "outside"), 0u);
  EXPECT_FALSE(fs::exists(target / "first.txt"));
}

TEST_F(Zip, AbsurdSizesAndDamagedDataAreRefused) {
  const fs::path big = root / "big.zip";
  BuildRaw(big, {{"a.bin", RandomBytes(600, 3)}, {"b.bin", RandomBytes(600, 4)}});
  CUnZipFile limited;
  limited.SetLimits(1000, 100);
  EXPECT_EQ(limited.UnZip(big.string(), (root / "t1").string()), 0);
  EXPECT_EQ(CountFiles(root / "t1"), 0u);
  limited.SetLimits(2000, 1);
  EXPECT_EQ(limited.UnZip(big.string(), (root / "t1").string()), 0);  // too many entries
  limited.SetLimits(2000, 100);
  EXPECT_EQ(limited.UnZip(big.string(), (root / "t1").string()), 1);

  // Corrupt the stored data of the second entry: its checksum fails, and the
  // first entry, already written, is taken back.
  std::string bytes = ReadFile(big);
  const std::string second = RandomBytes(600, 4);
  const auto at = bytes.find(second.substr(0, 64));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 300] = static_cast<char>(bytes[at + 300] ^ 0x5A);
  const fs::path damaged = root / "damaged.zip";
  WriteFile(damaged, bytes);
  CUnZipFile unzip(damaged.string(), (root / "t2").string());
  EXPECT_EQ(unzip.GetResult(), 0);
  EXPECT_EQ(CountFiles(root / "t2"), 0u);

  WriteFile(root / "notzip.zip", "PK but not really");
  EXPECT_EQ(CUnZipFile((root / "notzip.zip").string(), (root / "t3").string()).GetResult(), 0);
  EXPECT_EQ(CUnZipFile((root / "missing.zip").string(), (root / "t3").string()).GetResult(), 0);
}

TEST_F(Zip, FailedOrAbandonedArchivesLeaveNothing) {
  WriteFile(root / "pic.jpg", "data");
  {
    COnZipFile zip;
    ASSERT_EQ(zip.Create((root / "no/such/folder/a.zip").string()), 1);
    ASSERT_EQ(zip.AddFile((root / "pic.jpg").string()), 1);
    EXPECT_EQ(zip.Close(), 0);
    EXPECT_EQ(zip.Close(), 0);
  }
  {
    COnZipFile zip;
    ASSERT_EQ(zip.Create((root / "discarded.zip").string()), 1);
    ASSERT_EQ(zip.AddFile((root / "pic.jpg").string()), 1);
    EXPECT_EQ(zip.AddFile((root / "pic.jpg").string(), "../up.jpg"), 0);
    zip.Discard();
    EXPECT_EQ(zip.AddFile((root / "pic.jpg").string()), 0);
  }
  EXPECT_FALSE(fs::exists(root / "discarded.zip"));
  {
    COnZipFile zip;  // closed by its destructor
    ASSERT_EQ(zip.Create((root / "kept.zip").string()), 1);
    ASSERT_EQ(zip.AddFile((root / "pic.jpg").string(), "dir/renamed.jpg"), 1);
  }
  ASSERT_EQ(CUnZipFile((root / "kept.zip").string(), (root / "k").string()).GetResult(), 1);
  EXPECT_EQ(ReadFile(root / "k/dir/renamed.jpg"), "data");
}

TEST_F(Zip, ManyFilesAreAllKeptAfterTheirOriginalsAreDeleted) {
  // More files than the archive keeps open: the later ones are read at once.
  constexpr int kFiles = 300;
  COnZipFile zip;
  ASSERT_EQ(zip.Create((root / "many.zip").string()), 1);
  for (int i = 0; i < kFiles; ++i) {
    const fs::path p = root / "src" / ("p" + std::to_string(i) + ".jpg");
    WriteFile(p, "picture " + std::to_string(i));
    ASSERT_EQ(zip.AddFile(p.string()), 1);
    ASSERT_EQ(DelFile(p.string()), 1);
  }
  EXPECT_EQ(zip.GetCount(), kFiles);
  ASSERT_EQ(zip.Close(), 1);
  CUnZipFile unzip((root / "many.zip").string(), (root / "out").string());
  ASSERT_EQ(unzip.GetResult(), 1) << unzip.GetError();
  ASSERT_EQ(unzip.GetFiles().size(), static_cast<std::size_t>(kFiles));
  for (int i = 0; i < kFiles; i += 37)
    EXPECT_EQ(ReadFile(root / "out" / ("p" + std::to_string(i) + ".jpg")), "picture " + std::to_string(i));
  EXPECT_EQ(ReadFile(root / "out/p299.jpg"), "picture 299");
}

TEST_F(Zip, DamagedArchivesNeitherCrashNorLeaveFiles) {
  const fs::path good = root / "good.zip";
  BuildRaw(good, {{"a.txt", RandomBytes(500, 5)}, {"dir/b.txt", RandomBytes(800, 6)}, {"c.txt", "c"}});
  const std::string bytes = ReadFile(good);
  std::mt19937 rng(7);
  const fs::path target = root / "box/target";
  int refused = 0;
  for (int round = 0; round < 120; ++round) {
    std::string damaged = bytes;
    for (int k = 0; k < 3; ++k) damaged[rng() % damaged.size()] = static_cast<char>(rng());
    WriteFile(root / "d.zip", damaged);
    fs::remove_all(target);
    fs::create_directories(target);
    CUnZipFile unzip((root / "d.zip").string(), target.string());
    if (unzip.GetResult() == 0) {
      ++refused;
      EXPECT_TRUE(fs::is_empty(target)) << "round " << round << ": " << unzip.GetError();
    }
    // Nothing ever lands beside the target folder.
    std::size_t outside = 0;
    for (const auto& e : fs::directory_iterator(root / "box")) outside += e.path() != target;
    ASSERT_EQ(outside, 0u) << "round " << round;
  }
  EXPECT_GT(refused, 0);
}

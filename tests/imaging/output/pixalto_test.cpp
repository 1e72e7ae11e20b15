// CPixalto: PDF, printing geometry, mail hand-over, binding and unbinding
// without losing a file, and the grey and print preparations.

#include "imaging/pixalto.h"

#include "contracts/fundara/files.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/zip.h"
#include "imaging/picture_codec.h"
#include "tests/fundara/scratch_env.h"
#include "tests/imaging/output/output_support.h"
#include "tests/support/test_app.h"

#include <unistd.h>

#include <QPageSize>
#include <QPrinter>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cctype>
#include <map>
#include <thread>

namespace {

using namespace output_test;

class Pixalto : public fundara_test::ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    dir = root / "work";
    fs::create_directories(dir);
  }
  std::string Picture(const std::string& name, int w, int h, unsigned seed = 1) {
    const std::string path = (dir / name).string();
    EXPECT_TRUE(WritePicture(path, FewColours(w, h, 6, seed))) << path;
    return path;
  }
  fs::path dir;
  CPixalto pixalto;
};

// ---- PDF --------------------------------------------------------------------

TEST_F(Pixalto, PdfHasOnePagePerPictureAtItsSizeAndLeavesNothingElse) {
  const std::list<std::string> pictures = {Picture("a.png", 800, 600), Picture("b.jpg", 600, 800)};
  const fs::path pdf = dir / "a.pdf";
  ASSERT_EQ(pixalto.JPGSavePdf(pictures, pdf.string()), 1);
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(pdf)).status, 0);
  const CommandResult images = RunCommand("pdfimages -list " + Quote(pdf));
  ASSERT_EQ(images.status, 0);
  const std::string list = Squeeze(images.out);
  EXPECT_NE(list.find("\n 1 0 image 800 600 rgb 3 8 jpeg"), std::string::npos) << images.out;
  EXPECT_NE(list.find("\n 2 1 image 600 800 rgb 3 8 jpeg"), std::string::npos) << images.out;
  const std::string info = Squeeze(RunCommand("pdfinfo -f 1 -l 2 " + Quote(pdf)).out);
  EXPECT_NE(info.find("Pages: 2\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Page 1 size: 800 x 600 pts"), std::string::npos) << info;
  EXPECT_NE(info.find("Page 2 size: 600 x 800 pts"), std::string::npos) << info;
  // No ".tmp" file beside it, no temporary JPEG in the temporary folder.
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"a.png", "b.jpg", "a.pdf"}));
  EXPECT_TRUE(Listing(GetTempDataPath()).empty());
}

TEST_F(Pixalto, PdfFailuresLeaveNoFileAndKeepAnExistingOne) {
  const std::string good = Picture("a.png", 40, 30);
  WriteBytes(dir / "broken.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F'});
  const fs::path pdf = dir / "out.pdf";
  EXPECT_EQ(pixalto.JPGSavePdf({good, (dir / "broken.jpg").string()}, pdf.string()), 0);
  EXPECT_EQ(pixalto.JPGSavePdf({good, (dir / "missing.png").string()}, pdf.string()), 0);
  EXPECT_EQ(pixalto.JPGSavePdf({}, pdf.string()), 0);
  EXPECT_EQ(pixalto.JPGSavePdf({good}, ""), 0);
  EXPECT_EQ(pixalto.JPGSavePdf({good}, (dir / "nofolder" / "x.pdf").string()), 0);
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"a.png", "broken.jpg"}));
  // An existing file is never replaced.
  WriteBytes(pdf, {'k', 'e', 'e', 'p'});
  EXPECT_EQ(pixalto.JPGSavePdf({good}, pdf.string()), 0);
  EXPECT_EQ(ReadBytes(pdf), (std::vector<unsigned char>{'k', 'e', 'e', 'p'}));
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"a.png", "broken.jpg", "out.pdf"}));
}

// ---- Printing -----------------------------------------------------------------

TEST(PrintGeometry, PicturesFillThePageCentred) {
  const CRect wide = CPixalto::PrintRect(4800, 6600, 4000, 1000);
  EXPECT_EQ(wide, CRect(0, 2700, 4800, 3900));
  const CRect tall = CPixalto::PrintRect(4800, 6600, 1000, 4000);  // scale 1.65
  EXPECT_EQ(tall, CRect(1575, 0, 1575 + 1650, 6600));
  const CRect small = CPixalto::PrintRect(4800, 6600, 48, 66);  // grows to the page
  EXPECT_EQ(small, CRect(0, 0, 4800, 6600));
  EXPECT_TRUE(CPixalto::PrintRect(4800, 6600, 0, 10).IsRectEmpty());
}

// Bounding box of the dark pixels of a rendered PDF page (a binary PGM).
CRect DarkBox(const fs::path& pgm, int& width, int& height) {
  const std::vector<unsigned char> bytes = ReadBytes(pgm);
  std::string header(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 64));
  int maxval = 0, consumed = 0;
  if (std::sscanf(header.c_str(), "P5 %d %d %d%n", &width, &height, &maxval, &consumed) != 3) return CRect();
  const unsigned char* pixels = bytes.data() + consumed + 1;
  CRect box(width, height, -1, -1);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (pixels[static_cast<std::size_t>(y) * width + x] < 128) {
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x + 1);
        box.bottom = std::max(box.bottom, y + 1);
      }
  return box;
}

TEST_F(Pixalto, PrintsOnAPdfPrinterCentredWithTheCopiesAsked) {
  TestApp();
  QImage black(4000, 1000, QImage::Format_ARGB32);
  black.fill(qRgb(0, 0, 0));
  const std::string wide = (dir / "wide.png").string();
  ASSERT_TRUE(WritePicture(wide, black));
  const fs::path pdf = dir / "printed.pdf";
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(pdf.string()));
  printer.setResolution(600);
  printer.setPageSize(QPageSize(QSizeF(8, 11), QPageSize::Inch));
  printer.setFullPage(true);
  printer.setCopyCount(2);
  ASSERT_EQ(printer.width(), 4800);
  ASSERT_EQ(printer.height(), 6600);
  ASSERT_EQ(pixalto.PrintImage({wide, (dir / "missing.png").string()}, 0, printer), 1);
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(pdf)).status, 0);
  const std::string info = Squeeze(RunCommand("pdfinfo " + Quote(pdf)).out);
  EXPECT_NE(info.find("Pages: 2\n"), std::string::npos) << info;  // two copies
  EXPECT_NE(info.find("Page size: 576 x 792 pts"), std::string::npos) << info;
  EXPECT_NE(info.find("Title: print\n"), std::string::npos) << info;
  // Rendered at 60 dpi the page is 480 x 660 pixels: the picture must lie at
  // 0..480 x 270..390.
  ASSERT_EQ(RunCommand("pdftoppm -r 60 -gray -f 1 -l 1 " + Quote(pdf) + " " + Quote(dir / "page")).status, 0);
  fs::path page;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".pgm") page = e.path();
  int w = 0, h = 0;
  const CRect box = DarkBox(page, w, h);
  EXPECT_EQ(w, 480);
  EXPECT_EQ(h, 660);
  EXPECT_NEAR(box.left, 0, 1);
  EXPECT_NEAR(box.right, 480, 1);
  EXPECT_NEAR(box.top, 270, 1);
  EXPECT_NEAR(box.bottom, 390, 1);
}

TEST_F(Pixalto, BlackAndWhitePrintingWhitensTheSurround) {
  TestApp();
  // A light page on a dark table: printed black and white, nothing dark is left.
  QImage photo(300, 200, QImage::Format_ARGB32);
  photo.fill(qRgb(50, 45, 40));
  for (int y = 30; y < 170; ++y)
    for (int x = 40; x < 260; ++x)
      photo.setPixel(x, y, y >= 90 && y < 110 && x >= 100 && x < 200 ? qRgb(20, 20, 20) : qRgb(215, 215, 210));
  const std::string path = (dir / "page.bmp").string();
  ASSERT_TRUE(WritePicture(path, photo));
  const fs::path pdf = dir / "bw.pdf";
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(pdf.string()));
  printer.setResolution(300);
  ASSERT_EQ(pixalto.PrintImage({path}, 1, printer), 1);
  ASSERT_EQ(RunCommand("pdftoppm -r 30 -gray " + Quote(pdf) + " " + Quote(dir / "bw")).status, 0);
  fs::path page;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".pgm") page = e.path();
  // Only the writing is dark: a third of the picture's width, in the middle.
  int w = 0, h = 0;
  const CRect box = DarkBox(page, w, h);
  ASSERT_FALSE(box.IsRectEmpty());
  EXPECT_NEAR(box.Width(), w / 3, 3);
  EXPECT_NEAR(box.left + box.right, w, 3);
  EXPECT_NEAR(box.top + box.bottom, h, 3);
}

// ---- Mail ---------------------------------------------------------------------

class Mail : public Pixalto {
 protected:
  void SetUp() override {
    Pixalto::SetUp();
    oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    bin = root / "bin";
    fs::create_directories(bin);
    record = root / "mail-args.txt";
    // A stand-in mail command that writes down its arguments.
    std::ofstream script(bin / "xdg-email");
    script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << record.string()
           << ".part'\nmv '" << record.string() << ".part' '" << record.string() << "'\n";
    script.close();
    fs::permissions(bin / "xdg-email", fs::perms::owner_all);
    setenv("PATH", (bin.string() + ":/usr/bin:/bin").c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", oldPath.c_str(), 1);
    Pixalto::TearDown();
  }
  std::vector<std::string> Arguments() {
    for (int i = 0; i < 500 && !fs::exists(record); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(record);
    std::vector<std::string> args;
    for (std::string line; std::getline(in, line);) args.push_back(line);
    return args;
  }
  std::string oldPath;
  fs::path bin, record;
};

TEST_F(Mail, OneFileIsAttachedAsItself) {
  const std::string a = Picture("a.jpg", 20, 10);
  ASSERT_EQ(pixalto.SendOutLook({a}), 1);
  EXPECT_EQ(Arguments(), (std::vector<std::string>{"--attach", a}));
  EXPECT_TRUE(Listing(GetTempDataPath()).empty());
}

TEST_F(Mail, SeveralFilesAreAttachedAsOneArchive) {
  const std::list<std::string> pictures = {Picture("a.jpg", 20, 10, 1), Picture("b.png", 20, 10, 2),
                                           Picture("c.gif", 20, 10, 3)};
  ASSERT_EQ(pixalto.SendOutLook(pictures), 1);
  const std::vector<std::string> args = Arguments();
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[0], "--attach");
  const fs::path zip = args[1];
  EXPECT_EQ(zip.parent_path(), fs::path(GetTempDataPath()));
  EXPECT_EQ(zip.extension(), ".zip");
  // Named after the time: "YYYY-MM-DD_hh-mm-ss".
  const std::string stem = zip.stem().string();
  ASSERT_EQ(stem.size(), 19u) << zip;
  for (std::size_t i = 0; i < stem.size(); ++i)
    EXPECT_TRUE(i == 10 ? stem[i] == '_' : (i == 4 || i == 7 || i == 13 || i == 16) ? stem[i] == '-'
                                                                                  : std::isdigit(stem[i]) != 0)
        << zip;
  // The archive holds the three files unchanged; the originals stay.
  const fs::path out = root / "unpacked";
  fs::create_directories(out);
  CUnZipFile unzip;
  ASSERT_EQ(unzip.UnZip(zip.string(), out.string()), 1) << unzip.GetError();
  EXPECT_EQ(Listing(out), (std::set<std::string>{"a.jpg", "b.png", "c.gif"}));
  for (const std::string& p : pictures) {
    EXPECT_EQ(ReadBytes(out / fs::path(p).filename()), ReadBytes(p));
    EXPECT_TRUE(fs::exists(p));
  }
  // A second mail in the same second does not replace the first archive.
  fs::remove(record);
  ASSERT_EQ(pixalto.SendOutLook(pictures), 1);
  const std::vector<std::string> again = Arguments();
  ASSERT_EQ(again.size(), 2u);
  EXPECT_NE(again[1], args[1]);
  EXPECT_TRUE(fs::exists(args[1]));
}

TEST_F(Mail, FailsWhenNothingCanBeSentOrNoMailProgramStarts) {
  const std::string a = Picture("a.jpg", 20, 10);
  EXPECT_EQ(pixalto.SendOutLook({}), 0);
  EXPECT_EQ(pixalto.SendOutLook({(dir / "missing.jpg").string()}), 0);
  EXPECT_EQ(pixalto.SendOutLook({a, (dir / "missing.jpg").string()}), 0);
  EXPECT_TRUE(Listing(GetTempDataPath()).empty());  // no archive left from the refusal
  fs::remove(bin / "xdg-email");
  setenv("PATH", bin.c_str(), 1);
  EXPECT_EQ(pixalto.SendOutLook({a}), 0);
  EXPECT_FALSE(fs::exists(record));
}

// ---- Binding ----------------------------------------------------------------------

TEST_F(Pixalto, BindingAndUnbindingRestoreTheSameFiles) {
  std::list<std::string> pictures = {Picture("a.jpg", 30, 20, 1), Picture("b.png", 30, 20, 2),
                                     Picture("c.tif", 30, 20, 3)};
  std::map<std::string, std::vector<unsigned char>> original;
  for (const std::string& p : pictures) original[fs::path(p).filename().string()] = ReadBytes(p);
  const std::string archive = (dir / "a.bind").string();
  ASSERT_EQ(pixalto.BindJpg(pictures, archive), 1);
  EXPECT_EQ(Listing(dir), std::set<std::string>{"a.bind"});
  ASSERT_EQ(pixalto.UnBindJpg(archive), 1);
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"a.jpg", "b.png", "c.tif"}));
  for (const auto& [name, bytes] : original) EXPECT_EQ(ReadBytes(dir / name), bytes) << name;
}

TEST_F(Pixalto, AFailedBindingLosesNothing) {
  std::list<std::string> pictures = {Picture("a.jpg", 30, 20, 1), Picture("b.png", 30, 20, 2)};
  // The archive cannot be written (its folder does not exist): pictures stay.
  EXPECT_EQ(pixalto.BindJpg(pictures, (dir / "gone" / "a.bind").string()), 0);
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"a.jpg", "b.png"}));
  // A picture that cannot be added: no archive, nothing deleted.
  std::list<std::string> withMissing = pictures;
  withMissing.push_back((dir / "missing.gif").string());
  EXPECT_EQ(pixalto.BindJpg(withMissing, (dir / "a.bind").string()), 0);
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"a.jpg", "b.png"}));
  // An existing archive (the only copy of earlier pictures) is never replaced.
  WriteBytes(dir / "a.bind", {'o', 'l', 'd'});
  EXPECT_EQ(pixalto.BindJpg(pictures, (dir / "a.bind").string()), 0);
  EXPECT_EQ(ReadBytes(dir / "a.bind"), (std::vector<unsigned char>{'o', 'l', 'd'}));
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"a.jpg", "b.png", "a.bind"}));
  std::list<std::string> none;
  EXPECT_EQ(pixalto.BindJpg(none, (dir / "n.bind").string()), 0);
  EXPECT_EQ(pixalto.BindJpg(pictures, ""), 0);
}

TEST_F(Pixalto, UnbindingNeverOverwritesAndKeepsADamagedArchive) {
  std::list<std::string> pictures = {Picture("a.jpg", 30, 20, 1), Picture("b.png", 30, 20, 2)};
  const auto archived = ReadBytes(dir / "a.jpg");
  const std::string archive = (dir / "a.bind").string();
  ASSERT_EQ(pixalto.BindJpg(pictures, archive), 1);
  // A new a.jpg was taken meanwhile: it stays, the archived one gets a free name.
  WriteBytes(dir / "a.jpg", {'n', 'e', 'w'});
  ASSERT_EQ(pixalto.UnBindJpg(archive), 1);
  EXPECT_EQ(ReadBytes(dir / "a.jpg"), (std::vector<unsigned char>{'n', 'e', 'w'}));
  EXPECT_EQ(ReadBytes(dir / "a(1).jpg"), archived);
  EXPECT_FALSE(fs::exists(archive));

  // A cut-off archive: nothing is unpacked and the archive stays.
  std::list<std::string> more = {Picture("c.png", 60, 40, 3)};
  ASSERT_EQ(pixalto.BindJpg(more, archive), 1);
  std::vector<unsigned char> bytes = ReadBytes(archive);
  bytes.resize(bytes.size() / 2);
  WriteBytes(archive, bytes);
  const std::set<std::string> before = Listing(dir);
  EXPECT_EQ(pixalto.UnBindJpg(archive), 0);
  EXPECT_EQ(Listing(dir), before);
  EXPECT_EQ(ReadBytes(archive), bytes);
  EXPECT_EQ(pixalto.UnBindJpg((dir / "missing.bind").string()), 0);
  EXPECT_EQ(pixalto.UnBindJpg(""), 0);
}

TEST_F(Pixalto, BindingTheBindingFolderKeepsItsPictures) {
  const fs::path folder = GetBindPath();
  std::list<std::string> none;
  EXPECT_EQ(pixalto.BindJpg((dir / "empty.bind").string()), 0);  // folder missing
  ASSERT_EQ(CreateDir(folder.string()), 1);
  EXPECT_EQ(pixalto.BindJpg((dir / "empty.bind").string()), 0);  // nothing in it
  for (const char* name : {"p.jpg", "q.BMP", "r.png", "s.gif", "t.tif", "notes.txt"})
    WriteBytes(folder / name, std::vector<unsigned char>(name, name + std::strlen(name)));
  const fs::path archive = dir / "all.bind";
  ASSERT_EQ(pixalto.BindJpg(archive.string()), 1);
  EXPECT_EQ(Listing(folder).size(), 6u);  // files kept
  const fs::path out = root / "check";
  fs::create_directories(out);
  CUnZipFile unzip;
  ASSERT_EQ(unzip.UnZip(archive.string(), out.string()), 1);
  EXPECT_EQ(Listing(out), (std::set<std::string>{"p.jpg", "q.BMP", "r.png", "s.gif", "t.tif"}));
  EXPECT_EQ(pixalto.BindJpg(""), 0);
}

// ---- Grey and black and white --------------------------------------------------------

TEST(PixaltoPictures, GreyIsTheMeanOfTheThreeColours) {
  CBitmapPicture colour;
  ASSERT_TRUE(colour.Allocate(3, 2, 24));
  const unsigned char pixels[] = {0, 0, 0, 255, 255, 255, 10, 20, 31, 0, 0, 0, 1, 1, 0, 90, 0, 0};
  std::memcpy(colour.data, pixels, 9);
  std::memcpy(colour.data + colour.Stride(), pixels + 9, 9);
  CPixalto pixalto;
  CBitmapPicture grey;
  ASSERT_EQ(pixalto.ImageToGray(colour, grey), 1);
  ASSERT_EQ(grey.depth, 8);
  EXPECT_EQ(grey.width, 3);
  EXPECT_TRUE(grey.hasPalette);
  EXPECT_EQ(grey.palette[77].rgbRed, 77);
  EXPECT_EQ(grey.palette[77].rgbBlue, 77);
  EXPECT_EQ(grey.data[0], 0);
  EXPECT_EQ(grey.data[1], 255);
  EXPECT_EQ(grey.data[2], 20);  // 61 / 3
  EXPECT_EQ(grey.data[grey.Stride() + 1], 0);   // 2 / 3
  EXPECT_EQ(grey.data[grey.Stride() + 2], 30);
  // Only a 24-bit source: the destination is still made afresh.
  CBitmapPicture eight;
  ASSERT_TRUE(eight.Allocate(4, 4, 8));
  EXPECT_EQ(pixalto.ImageToGray(eight, grey), 0);
  EXPECT_EQ(grey.depth, 8);
  EXPECT_EQ(grey.width, 4);
}

// A photographed page: a dark table around a light page with dark writing,
// and a dark blob inside the page that touches the table only at a corner.
CBitmapPicture PhotographedPage(int depth) {
  CBitmapPicture picture;
  picture.Allocate(60, 40, depth);
  const int bytes = depth / 8;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x) {
      unsigned char v = 40;                                          // table
      if (x >= 6 && x < 54 && y >= 5 && y < 35) v = 210;            // page
      if (x >= 20 && x < 40 && y >= 15 && y < 18) v = 25;           // writing
      if (x >= 6 && x < 10 && y >= 5 && y < 9) v = 30;              // blob at the corner
      unsigned char* p = picture.data + picture.Stride() * y + x * bytes;
      for (int k = 0; k < std::min(bytes, 3); ++k) p[k] = v;
    }
  if (depth == 8) {
    GreyPalette(picture.palette);
    picture.hasPalette = true;
  }
  return picture;
}

TEST(PixaltoPictures, PrintPreparationWhitensTheDarkSurroundOnly) {
  CPixalto pixalto;
  for (int depth : {8, 24, 32}) {
    CBitmapPicture picture = PhotographedPage(depth);
    ASSERT_EQ(pixalto.ImageToSingle(picture), 1) << depth;
    ASSERT_EQ(picture.depth, depth);
    const int bytes = depth / 8;
    auto at = [&](int x, int y) { return picture.data[picture.Stride() * y + x * bytes]; };
    EXPECT_EQ(at(0, 0), 255) << depth;    // table corner
    EXPECT_EQ(at(59, 20), 255) << depth;  // table side
    EXPECT_EQ(at(30, 38), 255) << depth;  // table bottom
    EXPECT_EQ(at(30, 10), 255) << depth;  // page
    EXPECT_EQ(at(25, 16), 0) << depth;    // writing stays black
    // The blob is joined to the table along its edge, so it goes white too.
    EXPECT_EQ(at(7, 6), 255) << depth;
    if (depth == 24) {
      const unsigned char* p = picture.data + picture.Stride() * 16 + 25 * 3;
      EXPECT_EQ(p[1], 0);
      EXPECT_EQ(p[2], 0);
    }
  }
  CBitmapPicture empty;
  EXPECT_EQ(pixalto.ImageToSingle(empty), 0);
}

TEST(PixaltoPictures, PrintPreparationFloodsOnlyFourConnectedDarkness) {
  // A dark blob touching the dark border only diagonally stays dark.
  CBitmapPicture picture;
  ASSERT_TRUE(picture.Allocate(20, 20, 24));
  std::memset(picture.data, 220, picture.ByteSize());
  auto set = [&](int x, int y, unsigned char v) {
    unsigned char* p = picture.data + picture.Stride() * y + x * 3;
    p[0] = p[1] = p[2] = v;
  };
  for (int i = 0; i < 20; ++i) {
    set(i, 0, 10);
    set(0, i, 10);
  }
  set(1, 1, 10);  // joined to the border along its edges
  for (int y = 2; y < 6; ++y)
    for (int x = 2; x < 6; ++x) set(x, y, 10);  // meets (1, 1) only at a corner
  CPixalto pixalto;
  ASSERT_EQ(pixalto.ImageToSingle(picture), 1);
  EXPECT_EQ(picture.data[0], 255);
  EXPECT_EQ(picture.data[picture.Stride() * 3 + 3 * 3], 0);
}

}  // namespace

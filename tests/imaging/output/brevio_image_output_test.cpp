// brevio-image with picture files of every format and the output
// subcommands: pdf, bind, unbind, print-prep, print --to-pdf.

#include "imaging/picture_codec.h"
#include "tests/imaging/output/output_support.h"
#include "tests/imaging/reference.h"

#ifdef BREVIO_IMAGE_TOOL

namespace {

using namespace output_test;

class ToolOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = ref::TestDir("imaging_tool_output") /
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  std::string P(const std::string& name) const { return Quote(dir / name); }
  CommandResult Tool(const std::string& args) const {
    return RunCommand(std::string(BREVIO_IMAGE_TOOL) + " " + args);
  }
  void Picture(const std::string& name, int w, int h, unsigned seed = 1) const {
    ASSERT_TRUE(WritePicture((dir / name).string(), FewColours(w, h, 5, seed)));
  }
  fs::path dir;
};

TEST_F(ToolOutput, ConvertsBetweenEveryFormatByName) {
  Picture("in.bmp", 21, 13);
  const char* names[] = {"a.jpg", "a.png", "a.gif", "a.tif", "a.bmp", "a.jpeg"};
  for (const char* name : names) {
    const CommandResult r = Tool("zoom 1 " + P("in.bmp") + " " + P(name));
    ASSERT_EQ(r.status, 0) << name << ": " << r.out;
    const CommandResult info = Tool("info " + P(name));
    EXPECT_EQ(info.status, 0) << name;
    EXPECT_EQ(info.out, "21 13 24\n") << name;
    EXPECT_EQ(PictureFormatFromPath(name),
              [&] {
                const auto bytes = ReadBytes(dir / name);
                if (bytes[0] == 'B') return PictureFormat::Bmp;
                if (bytes[0] == 0x89) return PictureFormat::Png;
                if (bytes[0] == 'G') return PictureFormat::Gif;
                if (bytes[0] == 'I' || bytes[0] == 'M') return PictureFormat::Tiff;
                return PictureFormat::Jpeg;
              }())
        << name;
  }
  // A grey result stays 8 bits where the format has grey.
  ASSERT_EQ(Tool("grey " + P("in.bmp") + " " + P("g.png")).status, 0);
  EXPECT_EQ(Tool("info " + P("g.png")).out, "21 13 8\n");
  // A damaged input of any format is refused with status 2 and no output.
  for (const char* name : {"a.jpg", "a.png", "a.gif", "a.tif", "a.bmp"}) {
    auto bytes = ReadBytes(dir / name);
    bytes.resize(bytes.size() / 2);
    WriteBytes(dir / (std::string("cut-") + name), bytes);
    const CommandResult r = Tool("grey " + P(std::string("cut-") + name) + " " + P("out.png"));
    EXPECT_EQ(r.status, 2) << name << ": " << r.out;
    EXPECT_FALSE(fs::exists(dir / "out.png"));
  }
}

TEST_F(ToolOutput, PdfOfSeveralPictures) {
  Picture("a.png", 80, 60);
  Picture("b.jpg", 60, 80, 2);
  const CommandResult r = Tool("pdf " + P("out.pdf") + " " + P("a.png") + " " + P("b.jpg"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(RunCommand("qpdf --check " + P("out.pdf")).status, 0);
  const std::string info = Squeeze(RunCommand("pdfinfo -f 1 -l 2 " + P("out.pdf")).out);
  EXPECT_NE(info.find("Page 1 size: 80 x 60 pts"), std::string::npos) << info;
  EXPECT_NE(info.find("Page 2 size: 60 x 80 pts"), std::string::npos) << info;
  // Run again: the PDF is replaced as a whole.
  ASSERT_EQ(Tool("pdf " + P("out.pdf") + " " + P("b.jpg")).status, 0);
  EXPECT_NE(Squeeze(RunCommand("pdfinfo " + P("out.pdf")).out).find("Pages: 1\n"), std::string::npos);
  // Unreadable input: status 2, the old PDF stays, nothing else appears.
  WriteBytes(dir / "bad.gif", {'G', 'I', 'F', '8', '9', 'a', 1});
  const auto before = ReadBytes(dir / "out.pdf");
  EXPECT_EQ(Tool("pdf " + P("out.pdf") + " " + P("a.png") + " " + P("bad.gif")).status, 2);
  EXPECT_EQ(ReadBytes(dir / "out.pdf"), before);
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"a.png", "b.jpg", "bad.gif", "out.pdf"}));
  EXPECT_EQ(Tool("pdf " + P("only.pdf")).status, 1);  // no picture
}

TEST_F(ToolOutput, BindAndUnbindRoundTrip) {
  Picture("a.jpg", 30, 20);
  Picture("b.png", 30, 20, 2);
  const auto a = ReadBytes(dir / "a.jpg"), b = ReadBytes(dir / "b.png");
  CommandResult r = Tool("bind " + P("a.bind") + " " + P("a.jpg") + " " + P("b.png"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Listing(dir), std::set<std::string>{"a.bind"});
  // An existing archive is never replaced; a missing picture is bad input.
  Picture("c.gif", 10, 10);
  EXPECT_EQ(Tool("bind " + P("a.bind") + " " + P("c.gif")).status, 3);
  EXPECT_EQ(Tool("bind " + P("x.bind") + " " + P("c.gif") + " " + P("none.jpg")).status, 2);
  EXPECT_TRUE(fs::exists(dir / "c.gif"));
  r = Tool("unbind " + P("a.bind"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"a.jpg", "b.png", "c.gif"}));
  EXPECT_EQ(ReadBytes(dir / "a.jpg"), a);
  EXPECT_EQ(ReadBytes(dir / "b.png"), b);
  EXPECT_EQ(Tool("unbind " + P("a.bind")).status, 2);  // gone
  WriteBytes(dir / "junk.bind", {'P', 'K', 3, 4, 0});
  EXPECT_EQ(Tool("unbind " + P("junk.bind")).status, 2);
  EXPECT_TRUE(fs::exists(dir / "junk.bind"));
}

TEST_F(ToolOutput, PrintPreparationAndPrintingToPdf) {
  QImage photo(120, 80, QImage::Format_ARGB32);
  photo.fill(qRgb(40, 40, 40));
  for (int y = 10; y < 70; ++y)
    for (int x = 15; x < 105; ++x) photo.setPixel(x, y, qRgb(220, 220, 220));
  ASSERT_TRUE(WritePicture((dir / "photo.png").string(), photo));
  ASSERT_EQ(Tool("print-prep " + P("photo.png") + " " + P("clean.bmp")).status, 0);
  const QImage clean = ReadPicture((dir / "clean.bmp").string());
  ASSERT_EQ(clean.size(), QSize(120, 80));
  EXPECT_EQ(clean.pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(clean.pixel(60, 40), qRgb(255, 255, 255));

  CommandResult r = Tool("print " + P("photo.png") + " " + P("clean.bmp") + " --to-pdf " + P("p.pdf"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(RunCommand("qpdf --check " + P("p.pdf")).status, 0);
  const std::string info = Squeeze(RunCommand("pdfinfo " + P("p.pdf")).out);
  EXPECT_NE(info.find("Pages: 2\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Page size: 595"), std::string::npos) << info;  // A4
  const std::string images = Squeeze(RunCommand("pdfimages -list " + P("p.pdf")).out);
  EXPECT_NE(images.find(" image 120 80 "), std::string::npos) << images;
  ASSERT_EQ(Tool("print " + P("photo.png") + " --bw --to-pdf=" + P("bw.pdf")).status, 0);
  EXPECT_EQ(RunCommand("qpdf --check " + P("bw.pdf")).status, 0);

  EXPECT_EQ(Tool("print " + P("photo.png")).status, 1);  // where to?
  EXPECT_EQ(Tool("print " + P("none.png") + " --to-pdf " + P("n.pdf")).status, 2);
  EXPECT_FALSE(fs::exists(dir / "n.pdf"));
}

}  // namespace

#endif

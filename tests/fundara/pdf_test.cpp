#include "contracts/fundara/pdf.h"

#include <QImage>
#include <QPainter>
#include <cstdio>
#include <sstream>

#include "tests/fundara/scratch_env.h"

using namespace fundara_test;

namespace {

// A JPEG of the given size with some drawing in it.
std::string MakeJpeg(const fs::path& path, int w, int h, bool grey = false) {
  QImage image(w, h, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.fillRect(w / 4, h / 4, w / 2, h / 2, QColor(200, 40, 40));
  painter.end();
  fs::create_directories(path.parent_path());
  EXPECT_TRUE(image.save(QString::fromStdString(path.string()), "JPEG", 80));
  return ReadFile(path);
}

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  ::pclose(p);
  return out;
}

// Builds a PDF in the order the picture library uses.
bool WritePdf(const fs::path& out, const std::vector<fs::path>& jpegs) {
  CJpg2Pdf pdf;
  pdf.Reset();
  FILE* f = pdf.CreatePdfFile(out.string());
  if (!f) return false;
  bool ok = true;
  for (const auto& j : jpegs) {
    FILE* in = std::fopen(j.c_str(), "rb");
    QImage image(QString::fromStdString(j.string()));
    pdf.SetPaperSize(image.width(), image.height());
    ok = ok && in && pdf.AddPage(f, in) == 1;
    if (in) std::fclose(in);
  }
  ok = ok && pdf.AddCatalog(f) && pdf.AddPages(f) && pdf.AddCrossReferenceTable(f) && pdf.AddTrailer(f);
  std::fclose(f);
  return ok;
}

}  // namespace

using Pdf = ScratchEnv;

TEST_F(Pdf, TwoPicturesMakeAValidPdfWithPagesAtTheirPixelSizes) {
  const std::string landscape = MakeJpeg(root / "a.jpg", 800, 600);
  const std::string portrait = MakeJpeg(root / "b.jpg", 600, 800, true);
  const fs::path out = root / "two.pdf";
  ASSERT_TRUE(WritePdf(out, {root / "a.jpg", root / "b.jpg"}));

  const std::string check = RunCommand("qpdf --check '" + out.string() + "'");
  EXPECT_NE(check.find("No syntax or stream encoding errors"), std::string::npos) << check;
  EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;

  // page num type width height color comp bpc enc ...
  std::istringstream list(RunCommand("pdfimages -list '" + out.string() + "'"));
  std::string line;
  std::vector<std::string> rows;
  while (std::getline(list, line))
    if (!line.empty() && line[0] != 'p' && line[0] != '-') rows.push_back(line);
  ASSERT_EQ(rows.size(), 2u);
  const auto fields = [](const std::string& row) {
    std::istringstream in(row);
    std::vector<std::string> f;
    for (std::string w; in >> w;) f.push_back(w);
    return f;
  };
  const auto first = fields(rows[0]), second = fields(rows[1]);
  ASSERT_GE(first.size(), 9u);
  ASSERT_GE(second.size(), 9u);
  EXPECT_EQ(first[3] + "x" + first[4], "800x600");
  EXPECT_EQ(first[5], "rgb");
  EXPECT_EQ(first[8], "jpeg");
  EXPECT_EQ(second[3] + "x" + second[4], "600x800");
  EXPECT_EQ(second[5], "gray");

  std::string info;  // pdfinfo's report with runs of blanks squeezed to one
  for (char c : RunCommand("pdfinfo -f 1 -l 2 '" + out.string() + "'"))
    if (!(c == ' ' && !info.empty() && info.back() == ' ')) info += c;
  EXPECT_NE(info.find("Pages: 2\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Page 1 size: 800 x 600 pts"), std::string::npos) << info;
  EXPECT_NE(info.find("Page 2 size: 600 x 800 pts"), std::string::npos) << info;

  if (const char* shown = std::getenv("BREVIO_TEST_OUTPUT"))  // for a person to look at
    fs::copy_file(out, fs::path(shown) / "fundara-two-pictures.pdf",
                  fs::copy_options::overwrite_existing);

  // The pictures are embedded byte for byte.
  const std::string bytes = ReadFile(out);
  EXPECT_NE(bytes.find(landscape), std::string::npos);
  EXPECT_NE(bytes.find(portrait), std::string::npos);
}

TEST_F(Pdf, RefusesWhatIsNotAJpegAndAnUnfinishedDocument) {
  CJpg2Pdf pdf;
  pdf.Reset();
  EXPECT_EQ(pdf.CreatePdfFile((root / "no/folder/x.pdf").string()), nullptr);
  FILE* f = pdf.CreatePdfFile((root / "x.pdf").string());
  ASSERT_NE(f, nullptr);
  WriteFile(root / "fake.jpg", "\x89PNG\r\n\x1a\n not a jpeg");
  WriteFile(root / "cut.jpg", MakeJpeg(root / "whole.jpg", 64, 48).substr(0, 40));
  for (const char* name : {"fake.jpg", "cut.jpg"}) {
    FILE* in = std::fopen((root / name).c_str(), "rb");
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(pdf.AddPage(f, in), 0) << name;
    std::fclose(in);
  }
  EXPECT_EQ(pdf.AddPage(f, nullptr), 0);
  EXPECT_EQ(pdf.GetPageCount(), 0);
  EXPECT_EQ(pdf.AddCatalog(f), 1);
  EXPECT_EQ(pdf.AddPages(f), 0);  // no page
  EXPECT_EQ(pdf.AddCrossReferenceTable(f), 0);
  EXPECT_EQ(pdf.AddTrailer(f), 0);
  std::fclose(f);

  // The frame header gives the picture's size and layout.
  CJpg2Pdf::JpegInfo info;
  const std::string jpeg = ReadFile(root / "whole.jpg");
  ASSERT_TRUE(CJpg2Pdf::ReadJpegInfo(std::vector<unsigned char>(jpeg.begin(), jpeg.end()), info));
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.height, 48);
  EXPECT_EQ(info.components, 3);
}

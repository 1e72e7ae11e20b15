#include "contracts/fundara/pdf.h"

namespace {

constexpr int kCatalog = 1;
constexpr int kPages = 2;
constexpr long kMaxJpegBytes = 1L << 30;

bool Put(FILE* f, const std::string& s) { return std::fwrite(s.data(), 1, s.size(), f) == s.size(); }

bool ReadAll(FILE* f, std::vector<unsigned char>& out) {
  out.clear();
  unsigned char buf[1 << 16];
  for (;;) {
    const std::size_t n = std::fread(buf, 1, sizeof buf, f);
    out.insert(out.end(), buf, buf + n);
    if (out.size() > static_cast<std::size_t>(kMaxJpegBytes)) return false;
    if (n < sizeof buf) return !std::ferror(f);
  }
}

}  // namespace

void CJpg2Pdf::Reset() {
  paperWidth_ = paperHeight_ = 0;
  offsets_.assign(kPages + 1, 0);
  pages_.clear();
  xrefOffset_ = -1;
}

FILE* CJpg2Pdf::CreatePdfFile(const std::string& path) {
  Reset();
  if (path.empty()) return nullptr;
  FILE* f = std::fopen(path.c_str(), "wbe");
  if (!f) return nullptr;
  // The second line's bytes above 127 mark the file as binary for transfer programs.
  if (!Put(f, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n")) {
    std::fclose(f);
    return nullptr;
  }
  return f;
}

void CJpg2Pdf::SetPaperSize(int width, int height) {
  paperWidth_ = width;
  paperHeight_ = height;
}

bool CJpg2Pdf::BeginObject(FILE* pdf, int number) {
  if (static_cast<int>(offsets_.size()) <= number) offsets_.resize(number + 1, 0);
  offsets_[number] = std::ftell(pdf);
  return offsets_[number] >= 0 && Put(pdf, std::to_string(number) + " 0 obj\n");
}

bool CJpg2Pdf::ReadJpegInfo(const std::vector<unsigned char>& d, JpegInfo& info) {
  info = JpegInfo{};
  if (d.size() < 4 || d[0] != 0xFF || d[1] != 0xD8) return false;
  std::size_t i = 2;
  while (i + 4 <= d.size()) {
    if (d[i] != 0xFF) return false;
    while (i < d.size() && d[i] == 0xFF) ++i;  // fill bytes
    if (i >= d.size()) return false;
    const unsigned char marker = d[i++];
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xD9 || marker == 0xDA) return false;  // end or scan before a frame header
    if (i + 2 > d.size()) return false;
    const std::size_t length = (d[i] << 8) | d[i + 1];
    if (length < 2 || i + length > d.size()) return false;
    if (marker == 0xEE && length >= 7 && d[i + 2] == 'A' && d[i + 3] == 'd' && d[i + 4] == 'o' &&
        d[i + 5] == 'b' && d[i + 6] == 'e')
      info.adobe = true;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                       marker != 0xCC;
    if (frame) {
      // Lossless and arithmetic-coded pictures cannot be shown by PDF readers.
      if (marker != 0xC0 && marker != 0xC1 && marker != 0xC2) return false;
      if (length < 8) return false;
      info.bitsPerComponent = d[i + 2];
      info.height = (d[i + 3] << 8) | d[i + 4];
      info.width = (d[i + 5] << 8) | d[i + 6];
      info.components = d[i + 7];
      return info.bitsPerComponent == 8 && info.width > 0 && info.height > 0 &&
             (info.components == 1 || info.components == 3 || info.components == 4);
    }
    i += length;
  }
  return false;
}

int CJpg2Pdf::AddPage(FILE* pdf, FILE* jpeg) {
  if (!pdf || !jpeg || offsets_.empty()) return 0;
  std::vector<unsigned char> data;
  JpegInfo info;
  if (!ReadAll(jpeg, data) || !ReadJpegInfo(data, info)) return 0;
  const int width = paperWidth_ > 0 ? paperWidth_ : info.width;
  const int height = paperHeight_ > 0 ? paperHeight_ : info.height;

  const int image = static_cast<int>(offsets_.size());
  const int content = image + 1;
  const int page = image + 2;
  const char* space = info.components == 1 ? "/DeviceGray"
                      : info.components == 3 ? "/DeviceRGB" : "/DeviceCMYK";
  std::string dict = "<< /Type /XObject /Subtype /Image /Width " + std::to_string(info.width) +
                     " /Height " + std::to_string(info.height) + " /ColorSpace " + space +
                     " /BitsPerComponent 8 /Filter /DCTDecode";
  if (info.components == 4 && info.adobe) dict += " /Decode [1 0 1 0 1 0 1 0]";
  dict += " /Length " + std::to_string(data.size()) + " >>\nstream\n";
  if (!BeginObject(pdf, image) || !Put(pdf, dict) ||
      std::fwrite(data.data(), 1, data.size(), pdf) != data.size() ||
      !Put(pdf, "\nendstream\nendobj\n"))
    return 0;

  const std::string draw = "q\n" + std::to_string(width) + " 0 0 " + std::to_string(height) +
                           " 0 0 cm\n/Im1 Do\nQ\n";
  if (!BeginObject(pdf, content) ||
      !Put(pdf, "<< /Length " + std::to_string(draw.size()) + " >>\nstream\n" + draw +
                    "endstream\nendobj\n"))
    return 0;

  if (!BeginObject(pdf, page) ||
      !Put(pdf, "<< /Type /Page /Parent " + std::to_string(kPages) + " 0 R /MediaBox [0 0 " +
                    std::to_string(width) + " " + std::to_string(height) +
                    "] /Resources << /XObject << /Im1 " + std::to_string(image) +
                    " 0 R >> /ProcSet [/PDF /ImageB /ImageC] >> /Contents " +
                    std::to_string(content) + " 0 R >>\nendobj\n"))
    return 0;
  pages_.push_back(page);
  paperWidth_ = paperHeight_ = 0;
  return std::ferror(pdf) ? 0 : 1;
}

int CJpg2Pdf::AddCatalog(FILE* pdf) {
  if (!pdf || offsets_.empty()) return 0;
  return BeginObject(pdf, kCatalog) &&
                 Put(pdf, "<< /Type /Catalog /Pages " + std::to_string(kPages) + " 0 R >>\nendobj\n")
             ? 1
             : 0;
}

int CJpg2Pdf::AddPages(FILE* pdf) {
  if (!pdf || offsets_.empty() || pages_.empty()) return 0;
  std::string kids;
  for (int p : pages_) kids += std::to_string(p) + " 0 R ";
  return BeginObject(pdf, kPages) &&
                 Put(pdf, "<< /Type /Pages /Kids [" + kids + "] /Count " +
                              std::to_string(pages_.size()) + " >>\nendobj\n")
             ? 1
             : 0;
}

int CJpg2Pdf::AddCrossReferenceTable(FILE* pdf) {
  if (!pdf || offsets_.size() <= kPages) return 0;
  for (std::size_t n = 1; n < offsets_.size(); ++n)
    if (offsets_[n] <= 0) return 0;  // an object was never written
  xrefOffset_ = std::ftell(pdf);
  if (xrefOffset_ < 0) return 0;
  std::string table = "xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f\r\n";
  char line[32];
  for (std::size_t n = 1; n < offsets_.size(); ++n) {
    std::snprintf(line, sizeof line, "%010ld 00000 n\r\n", offsets_[n]);
    table += line;
  }
  return Put(pdf, table) ? 1 : 0;
}

int CJpg2Pdf::AddTrailer(FILE* pdf) {
  if (!pdf || xrefOffset_ < 0) return 0;
  const bool ok = Put(pdf, "trailer\n<< /Size " + std::to_string(offsets_.size()) + " /Root " +
                               std::to_string(kCatalog) + " 0 R >>\nstartxref\n" +
                               std::to_string(xrefOffset_) + "\n%%EOF\n");
  return ok && std::fflush(pdf) == 0 && !std::ferror(pdf) ? 1 : 0;
}

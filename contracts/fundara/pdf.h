#pragma once
// A PDF writer that puts one JPEG picture on each page, embedding the JPEG
// bytes unchanged (DCTDecode), the page as large as the paper size set
// before it (the picture's pixel size; one pixel becomes one point).
//
// Call order: Reset; CreatePdfFile; for each picture SetPaperSize and
// AddPage; then AddCatalog, AddPages, AddCrossReferenceTable, AddTrailer;
// the caller closes the file (fclose). Every Add returns 1 on success and
// 0 on failure, after which the file is not a valid PDF.

#include <cstdio>
#include <string>
#include <vector>

class CJpg2Pdf {
 public:
  CJpg2Pdf() = default;

  // Forgets all pages; the next CreatePdfFile starts a new document.
  void Reset();
  // Creates (truncates) the file and writes the header. The caller owns the
  // returned file and closes it with fclose; nullptr on failure.
  FILE* CreatePdfFile(const std::string& path);
  // Size of the next page in points; 0 or less takes the picture's own size.
  void SetPaperSize(int width, int height);
  // Appends one page holding the JPEG read from `jpeg` (from its current
  // position to its end). Refuses data that is not a baseline or
  // progressive JPEG with 1, 3 or 4 colour components.
  int AddPage(FILE* pdf, FILE* jpeg);
  int AddCatalog(FILE* pdf);
  int AddPages(FILE* pdf);
  int AddCrossReferenceTable(FILE* pdf);
  int AddTrailer(FILE* pdf);

  int GetPageCount() const { return static_cast<int>(pages_.size()); }

  // Size and colour layout of a JPEG, read from its frame header.
  struct JpegInfo {
    int width = 0;
    int height = 0;
    int components = 0;
    int bitsPerComponent = 0;
    bool adobe = false;  // an Adobe marker: CMYK data is stored inverted
  };
  static bool ReadJpegInfo(const std::vector<unsigned char>& data, JpegInfo& info);

 private:
  bool BeginObject(FILE* pdf, int number);

  int paperWidth_ = 0;
  int paperHeight_ = 0;
  std::vector<long> offsets_;  // byte offset of each object by number (index 0 unused)
  std::vector<int> pages_;     // object numbers of the page objects
  long xrefOffset_ = -1;
};

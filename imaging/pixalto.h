#pragma once
// CPixalto: turns lists of picture files into outside products (a PDF,
// printed pages, a mail message, a bound archive) and prepares pictures for
// printing. No state; every operation returns non-zero for success and 0 for
// a refusal or failure, and reports nothing to the user (the calling windows
// show their own messages).
//
// The teacher's files are never lost: a picture is deleted by binding only
// after the archive holding it was written completely; an archive is deleted
// by unbinding only after every picture in it was unpacked; nothing is
// unpacked over an existing file; an existing PDF or archive is never
// replaced; a failed PDF leaves no partial or temporary file behind.

#include "imaging/bitmap_file.h"
#include "platform/geometry.h"

#include <list>
#include <string>

class QPrinter;

class CPixalto {
 public:
  CPixalto() {}

  // One PDF page per picture, each page as large as its picture (a pixel
  // becomes a point), the picture embedded as JPEG. Refused for an empty
  // list or path, a picture that cannot be read, or a file already at `pdfPath`.
  int JPGSavePdf(std::list<std::string> pictures, const std::string& pdfPath);

  // Shows the print dialog and prints each picture on its own page, as large
  // as the page allows and centred; `blackWhite` prepares each picture with
  // ImageToSingle first. 1 also when the dialog is cancelled. Needs a
  // QApplication.
  int PrintImage(std::list<std::string> pictures, int blackWhite);
  // The same on a printer set up by the caller, without the dialog (the
  // printer's copy count is honoured). 0 when the printer cannot be started.
  int PrintImage(std::list<std::string> pictures, int blackWhite, QPrinter& printer);

  // Hands one picture, or an archive of several (made in the temporary
  // folder and named after the time), to the desktop's mail program
  // (xdg-email --attach). 0 for an empty list, a missing file, an archive
  // that cannot be made, or when the mail program cannot be started.
  int SendOutLook(std::list<std::string> pictures);

  // Binds the pictures into a new archive, then deletes them. Refused when
  // the path or list is empty, an archive already exists at the path, or
  // any picture cannot be added; then nothing is deleted.
  int BindJpg(std::list<std::string>& pictures, const std::string& archivePath);
  // Binds every picture of the binding folder (jpg, bmp, png, gif, tif)
  // into a new archive, keeping the files. 0 when there is none.
  int BindJpg(const std::string& archivePath);
  // Unpacks the archive beside itself (never outside its folder, never over
  // an existing file: a taken name gets "(1)" and so on), then deletes it.
  // The result is the deletion's; when unpacking fails, nothing unpacked is
  // kept and the archive stays.
  int UnBindJpg(const std::string& archivePath);

  // `dest` becomes an 8-bit grey picture of the source's size (grey palette)
  // whose pixels are (blue + green + red) / 3. Only a 24-bit source is converted.
  int ImageToGray(const CBitmapPicture& source, CBitmapPicture& dest);
  // Clean black and white for printing, in place (the picture keeps its
  // depth; an 8-bit picture gets the grey palette): contrast stretched,
  // thresholded at 100, and every dark region touching the border whitened.
  int ImageToSingle(CBitmapPicture& picture);

  // Where a picture of pictureWidth × pictureHeight is drawn on a page of
  // pageWidth × pageHeight device pixels: as large as fits, centred.
  static CRect PrintRect(int pageWidth, int pageHeight, int pictureWidth, int pictureHeight);
};

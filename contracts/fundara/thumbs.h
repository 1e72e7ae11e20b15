#pragma once
// Thumbnails of pictures, kept in the shared freedesktop.org thumbnail cache
// (GetThumbsPath()/normal/<md5 of the file URI>.png, at most 128 × 128,
// tagged with Thumb::URI and Thumb::MTime) so that file managers and Brevio
// use the same ones.

#include <string>

class QImage;

class CThumbs {
 public:
  // Writes (or renews) the thumbnail of one picture file. 1 on success,
  // 0 when the file cannot be read as a picture or the cache cannot be written.
  int WriteThumb(const std::string& picturePath);
  // The same from the picture's pixels in memory (the file just written
  // from them), so that the file is not read and decoded again; a null
  // picture reads the file.
  int WriteThumb(const std::string& picturePath, const QImage& pixels);
  // Deletes every cached thumbnail of a picture below the output data root
  // (GetDataPathEx). Returns how many were deleted.
  int DelAllThumb();
  // Writes the thumbnails that are missing or out of date for every picture
  // below the output data root. Returns how many were written.
  int NewAllThumbs();

  // Where the normal-size thumbnail of a picture lies (whether or not it exists).
  static std::string GetThumbPath(const std::string& picturePath);
  // True when the thumbnail exists and was made from the picture's current content.
  static bool IsThumbFresh(const std::string& picturePath);
  // Picture files Brevio makes thumbnails for: jpg, jpeg, bmp, png, gif, tif, tiff.
  static bool IsPictureFile(const std::string& path);
};

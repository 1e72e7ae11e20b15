#pragma once
// A "ui" description-file set made by a test: its three files in the user's
// settings folder (the user's copy wins over the shipped one), its pictures
// in the image folder of a scratch data folder that BREVIO_DATA_DIR names.
// Pictures are solid colours (with an optional marker), so that every pixel
// a layer draws is known.

#include <QColor>
#include <QImage>
#include <QPainter>

#include <filesystem>
#include <string>
#include <vector>

#include "contracts/fundara/paths.h"
#include "tests/fundara/scratch_env.h"

namespace overlay_test {

struct UiPicture {
  std::string name;  // file name in the image folder (PNG)
  int width;
  int height;
  QColor fill;
  // A block of another colour (empty: none), in the picture's coordinates.
  QRect marker = {};
  QColor markerColour = {};
};

inline QImage MakePicture(const UiPicture& p) {
  QImage image(p.width, p.height, QImage::Format_ARGB32);
  image.fill(p.fill);
  if (!p.marker.isEmpty()) {
    QPainter painter(&image);
    painter.fillRect(p.marker, p.markerColour);
  }
  return image;
}

// Writes the set: `controls` and `texts` are the window blocks of the
// control and language files; one font (id 1, 20 pixels, bold) serves all.
// `dataRoot` becomes the data folder.
inline void WriteUiSet(const std::filesystem::path& dataRoot, const std::string& controls, const std::string& texts,
                       const std::vector<UiPicture>& pictures) {
  namespace fs = std::filesystem;
  fs::create_directories(dataRoot / "images");
  fs::create_directories(dataRoot / "config");
  setenv("BREVIO_DATA_DIR", dataRoot.c_str(), 1);
  for (const UiPicture& p : pictures) MakePicture(p).save(QString::fromStdString((dataRoot / "images" / p.name).string()));
  const fs::path settings = GetSettingsPath();
  const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root>\n";
  fundara_test::WriteFile(settings / "ui_control.xml", head + controls + "</Root>\n");
  fundara_test::WriteFile(settings / "ui_language.xml", head + texts + "</Root>\n");
  fundara_test::WriteFile(settings / "ui_logfont.xml",
                          head +
                              "<LogFont id=\"1\" lfHeight=\"-20\" lfWidth=\"0\" lfEscapement=\"0\" lfOrientation=\"0\" "
                              "lfWeight=\"700\" lfItalic=\"0\" lfUnderline=\"0\" lfStrikeOut=\"0\" lfCharSet=\"0\" "
                              "lfOutPrecision=\"0\" lfClipPrecision=\"0\" lfQuality=\"5\" lfPitchAndFamily=\"0\" "
                              "lfFaceName=\"DejaVu Sans\"/>\n</Root>\n");
}

// A control line of a window block.
inline std::string UiControl(int id, const QRect& r, const std::string& attributes, const std::string& inner = {}) {
  const std::string rect = std::to_string(r.left()) + "," + std::to_string(r.top()) + "," +
                           std::to_string(r.left() + r.width()) + "," + std::to_string(r.top() + r.height());
  const std::string open = "  <Ctrl id=\"" + std::to_string(id) + "\" rect=\"" + rect + "\" " + attributes;
  return inner.empty() ? open + "/>\n" : open + ">" + inner + "</Ctrl>\n";
}

}  // namespace overlay_test

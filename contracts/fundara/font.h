#pragma once
// Font choice: a LOGFONTW description and the matching Qt font. The face
// names the interface asks for ("宋体", "黑体", …) are mapped to the
// installed CJK fonts through Qt's font substitutions, so text drawn in
// them shows Chinese characters on any machine with the Noto CJK fonts.
// Creating a QFont needs a QGuiApplication. This header leaves Qt out, so
// that Qt-free code can include the whole library; callers of GetFont
// include <QFont> themselves.

#include <string>
#include <string_view>

#include "platform/records.h"

class QFont;

class CSetFont {
 public:
  CSetFont();
  explicit CSetFont(const LOGFONTW& font) : font_(font) {}

  // Face (UTF-8; longer than 31 characters is cut at a character boundary),
  // height in pixels (negative: character height, positive: cell height,
  // as LOGFONTW), weight 100–900 (400 normal, 700 bold). 1 on success, 0
  // for an empty face name.
  int SetFont(std::string_view faceName, int height, int weight = 400, bool italic = false,
              bool underline = false, bool strikeOut = false);
  void SetLogFont(const LOGFONTW& font) { font_ = font; }
  const LOGFONTW& GetLogFont() const { return font_; }
  // The face name as UTF-8.
  std::string GetFaceName() const;

  // The Qt font of this description (pixel size from the height, weight,
  // italic, underline, strike-out), with the face's substitutes installed.
  QFont GetFont() const;

  // Installs the substitutes of the Windows face names once per process.
  static void InstallSubstitutes();

 private:
  LOGFONTW font_;
};

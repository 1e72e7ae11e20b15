#include "contracts/fundara/font.h"

#include <cstdint>

#include <QFont>
#include <QString>
#include <QStringList>
#include <mutex>

namespace {

QString FaceOf(const LOGFONTW& f) {
  int n = 0;
  while (n < LF_FACESIZE && f.lfFaceName[n] != 0) ++n;
  return QString::fromUtf16(f.lfFaceName, n);
}

}  // namespace

CSetFont::CSetFont() {
  SetFont("宋体", -12, 400);
}

void CSetFont::InstallSubstitutes() {
  static std::once_flag once;
  std::call_once(once, [] {
    const QStringList serif = {"Noto Serif CJK SC", "Noto Sans CJK SC", "Noto Serif", "DejaVu Serif"};
    const QStringList sans = {"Noto Sans CJK SC", "Noto Sans", "DejaVu Sans"};
    for (const char* face : {"宋体", "新宋体", "SimSun", "NSimSun", "仿宋", "FangSong", "楷体", "KaiTi"})
      QFont::insertSubstitutions(QString::fromUtf8(face), serif);
    for (const char* face : {"黑体", "SimHei", "微软雅黑", "Microsoft YaHei", "Arial", "Tahoma"})
      QFont::insertSubstitutions(QString::fromUtf8(face), sans);
  });
}

int CSetFont::SetFont(std::string_view faceName, int height, int weight, bool italic,
                      bool underline, bool strikeOut) {
  const QString face = QString::fromUtf8(faceName.data(), static_cast<qsizetype>(faceName.size()));
  if (face.isEmpty()) return 0;
  LOGFONTW f;
  f.lfHeight = height;
  f.lfWeight = weight;
  f.lfItalic = italic ? 1 : 0;
  f.lfUnderline = underline ? 1 : 0;
  f.lfStrikeOut = strikeOut ? 1 : 0;
  f.lfCharSet = 1;  // default character set
  // Keep at most 31 UTF-16 units without splitting a surrogate pair.
  qsizetype n = std::min<qsizetype>(face.size(), LF_FACESIZE - 1);
  if (n < face.size() && n > 0 && face[n - 1].isHighSurrogate()) --n;
  for (qsizetype i = 0; i < n; ++i) f.lfFaceName[i] = face[i].unicode();
  font_ = f;
  return 1;
}

std::string CSetFont::GetFaceName() const { return FaceOf(font_).toStdString(); }

QFont CSetFont::GetFont() const {
  InstallSubstitutes();
  QFont font(FaceOf(font_));
  // A negative height is the character height; a positive one the cell
  // height, of which the character takes about 7/8 (internal leading).
  // Heights beyond any screen are cut first (this also keeps the negation defined).
  const int height = static_cast<int>(std::clamp<std::int64_t>(font_.lfHeight, -4096, 4096));
  int pixels = height < 0 ? -height : (height * 7 + 4) / 8;
  if (pixels <= 0) pixels = 12;
  font.setPixelSize(pixels);
  const int weight = font_.lfWeight <= 0 ? 400 : std::clamp<int>(font_.lfWeight, 100, 900);
  font.setWeight(static_cast<QFont::Weight>(weight));
  font.setItalic(font_.lfItalic != 0);
  font.setUnderline(font_.lfUnderline != 0);
  font.setStrikeOut(font_.lfStrikeOut != 0);
  return font;
}

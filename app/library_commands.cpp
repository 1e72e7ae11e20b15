#include "app/library_commands.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "app/app_messages.h"
#include "contracts/fundara/files.h"
#include "contracts/fundara/language.h"
#include "contracts/fundara/thumbs.h"
#include "imaging/pixalto.h"
#include "platform/dialogs.h"
#include "platform/window.h"

namespace {

QString Lang(const char* key, const char* defaultText) {
  return QString::fromStdString(GetLanguageText(key, defaultText));
}

std::list<std::string> PathList(const QStringList& paths) {
  std::list<std::string> out;
  for (const QString& p : paths) out.push_back(p.toStdString());
  return out;
}

bool EndsWithPicture(QStringView text) {
  for (const QString& ext : PictureExtensions())
    if (text.endsWith(ext, Qt::CaseInsensitive)) return true;
  return false;
}

// The thumbnail of a file that is gone goes with it.
void ForgetThumbnail(const QString& path) {
  QFile::remove(QString::fromStdString(CThumbs::GetThumbPath(path.toStdString())));
}

}  // namespace

const QStringList& PictureExtensions() {
  static const QStringList kExtensions{QStringLiteral(".JPG"), QStringLiteral(".BMP"), QStringLiteral(".PNG"),
                                       QStringLiteral(".GIF"), QStringLiteral(".TIF")};
  return kExtensions;
}

QStringList FilesWithExtension(const QStringList& selected, const QString& ext) {
  const QString suffix = ext.startsWith(QLatin1Char('.')) ? ext.mid(1) : ext;
  QStringList out;
  for (const QString& path : selected)
    if (QFileInfo(path).suffix().compare(suffix, Qt::CaseInsensitive) == 0) out.append(path);
  return out;
}

QStringList CollectPictures(const QStringList& selected) {
  QStringList out;
  for (const QString& ext : PictureExtensions()) out.append(FilesWithExtension(selected, ext));
  return out;
}

QStringList CollectArchives(const QStringList& selected) {
  return FilesWithExtension(selected, QStringLiteral(".BIND"));
}

bool IsPicture(const QString& path) { return !CollectPictures({path}).isEmpty(); }

bool IsArchive(const QString& path) { return !CollectArchives({path}).isEmpty(); }

QString JoinComparePaths(const QStringList& pictures) {
  return pictures.mid(0, kMaxComparePictures).join(QLatin1Char(';'));
}

QStringList SplitComparePaths(const QString& joined) {
  QStringList out;
  qsizetype start = 0;
  for (qsizetype i = 0; i < joined.size(); ++i) {
    if (joined[i] != QLatin1Char(';') || i + 1 >= joined.size() || joined[i + 1] != QLatin1Char('/')) continue;
    const QStringView before = QStringView(joined).mid(start, i - start);
    if (!EndsWithPicture(before)) continue;
    out.append(before.toString());
    start = i + 1;
  }
  if (start < joined.size()) out.append(joined.mid(start));
  return out;
}

// ---- Messages ---------------------------------------------------------------------

int CPictureCommands::Tell(const QString& caption, const QString& text, unsigned type) {
  return MessageBox(owner_, text, caption, type);
}

void CPictureCommands::TellFailures(const char* key, const char* defaultText, const QStringList& files) {
  QStringList names;
  for (const QString& f : files) names.append(QFileInfo(f).fileName());
  Tell(QCoreApplication::applicationName(), Lang(key, defaultText) + QLatin1Char('\n') + names.join(QLatin1Char('\n')),
       MB_OK | MB_ICONWARNING);
}

QString CPictureCommands::ResultPath(const QString& firstPicture, const QString& folder, const char* extension) {
  const QFileInfo info(firstPicture);
  const QString dir = folder.isEmpty() ? info.absolutePath() : folder;
  // Every picture extension is four characters long with its dot.
  const QString name = info.fileName().chopped(4) + QLatin1String(extension);
  return QString::fromStdString(FreePath(dir.toStdString(), name.toStdString()));
}

// ---- Commands ---------------------------------------------------------------------

int CPictureCommands::Bind(const QStringList& selected, const QString& folder) {
  const BusyScope busy(busy_);
  const QStringList pictures = CollectPictures(selected);
  if (pictures.isEmpty()) return 0;
  const QString archive = ResultPath(pictures.front(), folder, ".bind");
  std::list<std::string> list = PathList(pictures);
  CPixalto pixalto;
  if (archive.isEmpty() || !pixalto.BindJpg(list, archive.toStdString())) {
    Tell(QCoreApplication::applicationName(), Lang("zhuangdingshibai", "装订失败！"), MB_OK | MB_ICONWARNING);
    return 0;
  }
  for (const QString& p : pictures)
    if (!QFileInfo::exists(p)) ForgetThumbnail(p);
  lastResult_ = archive;
  Tell(Lang("zhuangdingchenggong", "装订成功！"), archive, MB_OK | MB_ICONINFORMATION);
  return 1;
}

int CPictureCommands::Unbind(const QStringList& selected) {
  const BusyScope busy(busy_);
  const QStringList archives = CollectArchives(selected);
  if (archives.isEmpty()) return 0;
  QStringList kept;
  CPixalto pixalto;
  for (const QString& archive : archives) {
    if (pixalto.UnBindJpg(archive.toStdString()))
      ForgetThumbnail(archive);
    else
      kept.append(archive);
  }
  if (!kept.isEmpty()) {
    TellFailures("jiedingshibai", "以下文件未能解订：", kept);
    return 0;
  }
  Tell(QCoreApplication::applicationName(), Lang("jiedingchenggong", "解订成功！"), MB_OK | MB_ICONINFORMATION);
  return 1;
}

int CPictureCommands::Delete(const QStringList& selected) {
  const BusyScope busy(busy_);
  if (selected.isEmpty()) return 0;
  QStringList left;
  for (const QString& path : selected) {
    if (MoveToTrash(path))
      ForgetThumbnail(path);
    else if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
      left.append(path);
  }
  if (left.isEmpty()) return 1;
  // No trash for these: they would be gone for good, so the teacher decides.
  if (Tell(QCoreApplication::applicationName(), Lang("shanchuwenjianma", "您确定要删除选中的文件吗？"),
           MB_YESNO | MB_ICONQUESTION) != IDYES)
    return 0;
  QStringList failed;
  for (const QString& path : left) {
    if (DelFile(path.toStdString()))
      ForgetThumbnail(path);
    else
      failed.append(path);
  }
  if (failed.isEmpty()) return 1;
  TellFailures("shanchushibai", "以下文件未能删除：", failed);
  return 0;
}

int CPictureCommands::Export(const QStringList& selected) {
  const BusyScope busy(busy_);
  if (selected.isEmpty()) return 0;
  const QString folder = ChooseExportFolder();
  if (folder.isEmpty()) return 0;
  QStringList failed;
  for (const QString& path : selected) {
    const std::string target = FreePath(folder.toStdString(), QFileInfo(path).fileName().toStdString());
    if (target.empty() || !CopyPath(path.toStdString(), target)) failed.append(path);
  }
  if (!failed.isEmpty()) {
    TellFailures("daochushibai", "以下文件未能导出：", failed);
    return 0;
  }
  Tell(Lang("daochuchenggong", "导出成功！"), folder, MB_OK | MB_ICONINFORMATION);
  return 1;
}

int CPictureCommands::Pdf(const QStringList& selected, const QString& folder) {
  const BusyScope busy(busy_);
  const QStringList pictures = CollectPictures(selected);
  if (pictures.isEmpty()) return 0;
  const QString pdf = ResultPath(pictures.front(), folder, ".pdf");
  CPixalto pixalto;
  if (pdf.isEmpty() || !pixalto.JPGSavePdf(PathList(pictures), pdf.toStdString())) {
    Tell(QCoreApplication::applicationName(), Lang("zhuanghuanshibai", "转换失败！"), MB_OK | MB_ICONWARNING);
    return 0;
  }
  lastResult_ = pdf;
  Tell(Lang("zhuanghuanchenggong", "转换成功！"), pdf, MB_OK | MB_ICONINFORMATION);
  return 1;
}

int CPictureCommands::Mail(const QStringList& selected) {
  const BusyScope busy(busy_);
  if (selected.isEmpty()) return 0;
  if (SendMail(PathList(selected))) return 1;
  Tell(QCoreApplication::applicationName(), Lang("youjianshibai", "无法启动邮件程序！"), MB_OK | MB_ICONWARNING);
  return 0;
}

int CPictureCommands::Print(const QStringList& selected) {
  const BusyScope busy(busy_);
  const QStringList pictures = CollectPictures(selected);
  if (pictures.isEmpty()) return 0;
  if (PrintPictures(PathList(pictures))) return 1;
  Tell(QCoreApplication::applicationName(), Lang("dayinshibai", "打印失败！"), MB_OK | MB_ICONWARNING);
  return 0;
}

int CPictureCommands::Compare(const QStringList& selected) {
  const BusyScope busy(busy_);
  const QStringList pictures = CollectPictures(selected);
  if (pictures.isEmpty()) {
    Tell(QCoreApplication::applicationName(), Lang("qingxuanzetupian", "请选择图片！"), MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  if (pictures.size() > kMaxComparePictures)
    Tell(Lang("dbtpcgsz", "对比图片超过四张！"), Lang("dbtpcgszxtwnxzlszzdb", "对比图片超过四张，系统为您选择了四张做对比"),
         MB_OK | MB_ICONINFORMATION);
  CWnd* main = GetMainWnd();
  if (!main) return 0;
  SendTextMessage(main, WM_SWITCH_MODE, SWITCH_FROM_PICTURE_BROWSER, JoinComparePaths(pictures));
  return 1;
}

// ---- Seams ------------------------------------------------------------------------

QString CPictureCommands::ChooseExportFolder() {
  return ChooseFolder(owner_, Lang("daochulujing", "请选择导出路径："));
}

bool CPictureCommands::MoveToTrash(const QString& path) { return QFile::moveToTrash(path); }

int CPictureCommands::PrintPictures(const std::list<std::string>& pictures) {
  CPixalto pixalto;
  return pixalto.PrintImage(pictures, 0);
}

int CPictureCommands::SendMail(const std::list<std::string>& files) {
  CPixalto pixalto;
  return pixalto.SendOutLook(files);
}

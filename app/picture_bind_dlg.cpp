#include "app/picture_bind_dlg.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <filesystem>

#include "app/app_messages.h"
#include "contracts/fundara/files.h"
#include "contracts/fundara/language.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/thumbs.h"
#include "contracts/fundara/zip.h"
#include "platform/dialogs.h"

namespace fs = std::filesystem;

CPictureBindDlg::CPictureBindDlg() : commands_(std::make_unique<CPictureCommands>()) {
  OnMessage(WM_LIBRARY_COMMAND, &CPictureBindDlg::OnLibraryCommand);
}

CPictureBindDlg::~CPictureBindDlg() { CloseArchive(); }

bool CPictureBindDlg::Create(CWnd* parent, const CRect& rect, UINT id) {
  if (!CWnd::Create(Kind::Child, QStringLiteral("PictureBindDlg"), rect, parent, id)) return false;
  setObjectName(QStringLiteral("PictureBindDlg"));
  commands_->SetOwner(this);
  layout_.LoadSet(u"scanmgr", kLayoutWindow);
  const auto caption = layout_.ResolveCaption(kNameCtrl);
  name_.Set(nullptr, caption.language, caption.font);
  if (caption.control && caption.control->rect.Height() > 0) nameHeight_ = caption.control->rect.Height();
  list_.Create(QStringLiteral("fileListView"), WS_CHILD | WS_VISIBLE, CRect(), this, kListId);
  Layout();
  return true;
}

void CPictureBindDlg::SetCommands(std::unique_ptr<CPictureCommands> commands) {
  commands_ = std::move(commands);
  commands_->SetOwner(this);
}

int CPictureBindDlg::OpenArchive(const QString& archive) {
  CloseArchive();
  const QString stem = QFileInfo(archive).completeBaseName();
  const std::string folder = FreePath(GetBindPath(), stem.isEmpty() ? std::string("bind") : stem.toStdString());
  CUnZipFile unzip;
  if (folder.empty() || !CreateDir(folder) || !unzip.UnZip(archive.toStdString(), folder)) {
    // The unpacker has removed what it wrote; the empty folder goes too.
    if (!folder.empty()) ::rmdir(folder.c_str());
    MessageBox(this,
               QString::fromStdString(GetLanguageText("dakaishibai", "以下文件未能打开：")) + QLatin1Char('\n') +
                   QFileInfo(archive).fileName(),
               QCoreApplication::applicationName(), MB_OK | MB_ICONWARNING);
    return 0;
  }
  archive_ = archive;
  viewFolder_ = QString::fromStdString(folder);
  unpacked_ = unzip.GetFiles();
  // Folders of the archive's own entries, deepest first, for CloseArchive.
  for (const std::string& file : unpacked_)
    for (fs::path dir = fs::path(file).parent_path(); dir.string().size() > folder.size(); dir = dir.parent_path())
      madeFolders_.push_back(dir.string());
  std::sort(madeFolders_.begin(), madeFolders_.end(), [](const std::string& a, const std::string& b) {
    return a.size() > b.size();
  });
  madeFolders_.erase(std::unique(madeFolders_.begin(), madeFolders_.end()), madeFolders_.end());
  madeFolders_.push_back(folder);
  list_.SetPath(viewFolder_);
  name_.SetText(QFileInfo(archive).fileName());
  Invalidate();
  return 1;
}

void CPictureBindDlg::CloseArchive() {
  for (auto it = unpacked_.rbegin(); it != unpacked_.rend(); ++it) {
    QFile::remove(QString::fromStdString(CThumbs::GetThumbPath(*it)));
    DelFile(*it);
  }
  // Only empty folders go: anything else put there stays.
  for (const std::string& dir : madeFolders_) ::rmdir(dir.c_str());
  unpacked_.clear();
  madeFolders_.clear();
  archive_.clear();
  viewFolder_.clear();
  if (list_.parentWidget()) list_.SetPath(QString());
}

LRESULT CPictureBindDlg::OnLibraryCommand(WPARAM code, LPARAM) {
  if (commands_->IsBusy()) return 0;
  RunCommand(code);
  return 1;
}

void CPictureBindDlg::RunCommand(WPARAM code) {
  const QStringList selected = list_.GetSelectFile();
  const QString beside = QFileInfo(archive_).absolutePath();
  switch (code) {
    case LIBCMD_BACK:
    case LIBCMD_CLOSE: PostMessage(GetParentWnd(), WM_PAGE_SWITCH, PAGE_LIBRARY, 1); return;
    case LIBCMD_UNBIND:
      if (archive_.isEmpty()) return;
      if (commands_->Unbind({archive_}) && !QFileInfo::exists(archive_))
        PostMessage(GetParentWnd(), WM_PAGE_SWITCH, PAGE_LIBRARY, 1);
      return;
    case LIBCMD_EXPORT: commands_->Export(selected); return;
    case LIBCMD_PDF: commands_->Pdf(selected, beside); return;
    case LIBCMD_MAIL: commands_->Mail(selected); return;
    case LIBCMD_PRINT: commands_->Print(selected); return;
    case LIBCMD_COMPARE: commands_->Compare(selected); return;
    default: return;  // bind and delete are off: these are copies for viewing
  }
}

void CPictureBindDlg::Layout() {
  const CRect c = GetClientRect();
  list_.MoveWindow(CRect(4, std::min(c.bottom, nameHeight_), std::max(4, c.right - 4), std::max(nameHeight_, c.bottom - 4)));
}

void CPictureBindDlg::OnSize(int, int) { Layout(); }

bool CPictureBindDlg::OnEraseBkgnd(QPainter& painter) {
  painter.fillRect(rect(), ui_style::kPaper);
  return true;
}

void CPictureBindDlg::OnPaint(QPainter& painter) {
  name_.Draw(painter, QRect(12, 0, std::max(0, width() - 24), nameHeight_));
}

#include "app/picture_browse_dlg.h"

#include <QFileInfo>

#include "app/app_messages.h"
#include "contracts/fundara/paths.h"
#include "preview/preview_messages.h"

CPictureBrowseDlg::CPictureBrowseDlg() : commands_(std::make_unique<CPictureCommands>()) {
  OnMessage(WM_PAGE_TURN, &CPictureBrowseDlg::OnPageTurn);
  OnMessage(WM_LIBRARY_COMMAND, &CPictureBrowseDlg::OnLibraryCommand);
}

bool CPictureBrowseDlg::Create(CWnd* parent, const CRect& rect, UINT id) {
  if (!CWnd::Create(Kind::Child, QStringLiteral("PictureBrowseDlg"), rect, parent, id)) return false;
  setObjectName(QStringLiteral("PictureBrowseDlg"));
  commands_->SetOwner(this);
  layout_.LoadSet(u"scanmgr", kLayoutWindow);
  const auto caption = layout_.ResolveCaption(kNameCtrl);
  name_.Set(nullptr, caption.language, caption.font);
  if (caption.control && caption.control->rect.Height() > 0) nameHeight_ = caption.control->rect.Height();

  preview_.Create(this, CRect(), kPreviewId);
  const QString images = QString::fromStdString(GetImagePath()) + QLatin1Char('/');
  auto picture = [&](int ctrl, const char* fallback) {
    const _MYCONTROL* c = layout_.GetCtrl(ctrl);
    return images + (c && !c->normalImg.empty() ? QString::fromStdU16String(c->normalImg) : QLatin1String(fallback));
  };
  CRect left = layout_.GetBgRect(kPreviousCtrl), right = layout_.GetBgRect(kNextCtrl);
  if (left.IsRectEmpty()) left = CRect(0, 0, 64, 64);
  if (right.IsRectEmpty()) right = CRect(0, 0, 64, 64);
  preview_.CreatePageTurningBtn(picture(kPreviousCtrl, "arrow_left_normal.svg"), left,
                                picture(kNextCtrl, "arrow_right_normal.svg"), right);
  Layout();
  return true;
}

void CPictureBrowseDlg::SetCommands(std::unique_ptr<CPictureCommands> commands) {
  commands_ = std::move(commands);
  commands_->SetOwner(this);
}

int CPictureBrowseDlg::SetPictures(const QStringList& pictures, int index) {
  pictures_ = pictures;
  index_ = -1;
  return ShowPicture(index);
}

int CPictureBrowseDlg::ShowPicture(int index) {
  if (index < 0 || index >= pictures_.size()) return 0;
  index_ = index;
  const int loaded = preview_.LoadImageData(pictures_[index]);
  if (loaded) preview_.SuitableSize();
  preview_.ShowLeftBtn(index_ > 0);
  preview_.ShowRightBtn(index_ + 1 < pictures_.size());
  name_.SetText(QStringLiteral("%1    %2 / %3")
                    .arg(QFileInfo(pictures_[index]).fileName())
                    .arg(index_ + 1)
                    .arg(pictures_.size()));
  Invalidate();
  return loaded ? 1 : 0;
}

QString CPictureBrowseDlg::GetCurrentPath() const {
  return index_ >= 0 && index_ < pictures_.size() ? pictures_[index_] : QString();
}

void CPictureBrowseDlg::SetToolPanel(CWnd* panel, int width) {
  tool_ = panel;
  toolWidth_ = panel ? std::max(0, width) : 0;
  Layout();
}

LRESULT CPictureBrowseDlg::OnPageTurn(WPARAM, LPARAM direction) {
  ShowPicture(index_ + (direction < 0 ? -1 : 1));
  return 0;
}

LRESULT CPictureBrowseDlg::OnLibraryCommand(WPARAM code, LPARAM) {
  if (commands_->IsBusy()) return 0;
  RunCommand(code);
  return 1;
}

void CPictureBrowseDlg::RunCommand(WPARAM code) {
  const QString current = GetCurrentPath();
  const QStringList one = current.isEmpty() ? QStringList() : QStringList{current};
  switch (code) {
    case LIBCMD_BACK:
    case LIBCMD_CLOSE: PostMessage(GetParentWnd(), WM_PAGE_SWITCH, PAGE_LIBRARY, 1); return;
    case LIBCMD_BIND: commands_->Bind(one); break;
    case LIBCMD_DELETE: commands_->Delete(one); break;
    case LIBCMD_EXPORT: commands_->Export(one); break;
    case LIBCMD_PDF: commands_->Pdf(one); break;
    case LIBCMD_MAIL: commands_->Mail(one); break;
    case LIBCMD_PRINT: commands_->Print(one); break;
    case LIBCMD_COMPARE: commands_->Compare(one); break;
    default: return;  // a picture is never an archive: unbind has nothing to do
  }
  AfterCommand();
}

void CPictureBrowseDlg::AfterCommand() {
  QStringList left;
  int at = index_;
  for (int i = 0; i < pictures_.size(); ++i) {
    if (QFileInfo::exists(pictures_[i]))
      left.append(pictures_[i]);
    else if (i < index_)
      --at;
  }
  if (left.size() == pictures_.size()) return;
  pictures_ = left;
  if (pictures_.isEmpty()) {
    index_ = -1;
    preview_.GetCameraDC().ClearData();
    PostMessage(GetParentWnd(), WM_PAGE_SWITCH, PAGE_LIBRARY, 1);
    return;
  }
  ShowPicture(std::clamp(at, 0, static_cast<int>(pictures_.size()) - 1));
}

void CPictureBrowseDlg::Layout() {
  const CRect c = GetClientRect();
  const int right = std::max(0, c.right - toolWidth_);
  const int top = std::min(c.bottom, nameHeight_);
  preview_.MoveWindow(CRect(0, top, right, c.bottom));
  if (tool_) tool_->MoveWindow(CRect(right, 0, c.right, c.bottom));
}

void CPictureBrowseDlg::OnSize(int, int) { Layout(); }

bool CPictureBrowseDlg::OnEraseBkgnd(QPainter& painter) {
  painter.fillRect(rect(), ui_style::kInk);
  return true;
}

void CPictureBrowseDlg::OnPaint(QPainter& painter) {
  const int right = std::max(0, width() - toolWidth_);
  name_.Draw(painter, QRect(12, 0, std::max(0, right - 24), nameHeight_));
}

#include "overlay/tree_ctrl_ex.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>

#include <algorithm>

#include "contracts/fundara/files.h"
#include "contracts/fundara/language.h"
#include "contracts/widgetta/list_view.h"
#include "contracts/widgetta/ui_ctrl.h"
#include "contracts/widgetta/ui_ctrl_mgr.h"
#include "platform/dialogs.h"

namespace {

constexpr int kUiWindow = 1;
constexpr int kExpandImage = 1;
constexpr int kFolderImage = 2;
constexpr int kItemFont = 4;
// The selected item's outline: red 106, green 144, blue 226.
const QColor kOutline(106, 144, 226);

std::string Bytes(const QString& s) { return s.toUtf8().toStdString(); }
QString Text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

bool IsUtf8(const std::string& s) {
  const QString decoded = Text(s);
  return decoded.toUtf8().toStdString() == s;
}

QString Trimmed(QString path) {
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path;
}

QString ParentOf(const QString& path) {
  const int slash = path.lastIndexOf(QLatin1Char('/'));
  return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString LastPart(const QString& path) {
  const int slash = path.lastIndexOf(QLatin1Char('/'));
  return slash < 0 || path.size() == 1 ? path : path.mid(slash + 1);
}

QString Lang(const char* key, const char* defaultText) { return Text(GetLanguageText(key, defaultText)); }

bool SameFolder(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void DrawCentred(QPainter& painter, const QImage* image, const QRect& box) {
  if (!image || image->isNull()) return;
  QSize size = image->size();
  if (size.width() > box.width() || size.height() > box.height())
    size.scale(box.size(), Qt::KeepAspectRatio);
  const QRect target(box.left() + (box.width() - size.width()) / 2,
                     box.top() + (box.height() - size.height()) / 2, size.width(), size.height());
  painter.drawImage(target, *image);
}

}  // namespace

CTreeCtrlEx::CTreeCtrlEx() {
  OnMessage(CTracmo::MouseDownMessage(), [this](WPARAM w, LPARAM l) -> LRESULT {
    if (!IsEditing()) return 0;
    const QPoint p(static_cast<int>(static_cast<LPARAM>(w)), static_cast<int>(l));
    const QRect box(edit_->mapToGlobal(QPoint(0, 0)), edit_->size());
    if (!box.contains(p)) FinishEdit(true);
    return 0;
  });
}

CTreeCtrlEx::~CTreeCtrlEx() { hook_.StopHook(); }

bool CTreeCtrlEx::Create(const CRect& rect, CWnd* parent, UINT id) {
  if (!CWnd::Create(Kind::Child, QString(), rect, parent, id)) return false;
  DragAcceptFiles(true);
  InitConfig();
  LoadResources();
  return true;
}

void CTreeCtrlEx::InitConfig() {
  xml_.LoadCtrlList(u"ui_control.xml", kUiWindow);
  xml_.LoadLogfontList(u"ui_logfont.xml");
}

void CTreeCtrlEx::LoadResources() {
  CUICtrlMgr mgr;
  mgr.LoadGdiImage(expand_, xml_.GetCtrl(kExpandImage));
  mgr.LoadSelectImage(expandSelect_, xml_.GetCtrl(kExpandImage));
  mgr.LoadGdiImage(folder_, xml_.GetCtrl(kFolderImage));
  mgr.LoadSelectImage(folderSelect_, xml_.GetCtrl(kFolderImage));
  if (const _MYFONT* font = xml_.GetMyFont(kItemFont)) setFont(CUICaption::FontOf(font->logfont.get()));
}

int CTreeCtrlEx::SetRootPath(const QString& path) {
  rootPath_ = Trimmed(path);
  return 1;
}

int CTreeCtrlEx::SetPath(const QString& pathIn, HTREEITEM parent) {
  const QString path = Trimmed(pathIn.isEmpty() ? rootPath_ : pathIn);
  std::vector<std::pair<dev_t, ino_t>> ancestors;
  if (parent == TVI_ROOT) {
    StopEditing();  // the item being edited goes away
    DeleteAllItems();
    rootPath_ = path;
    limitShown_ = false;
    parent = InsertItem(LastPart(path), TVI_ROOT, TVI_LAST);
    const int filled = Fill(Bytes(path), parent, ancestors);
    if (!filled) DeleteAllItems();
    else Expand(parent, TVE_EXPAND);
    return filled;
  }
  if (!IsItem(parent)) return 0;
  // The folders above the parent count as "on the path" too.
  for (HTREEITEM p = GetParentItem(parent); p; p = GetParentItem(p)) {
    struct stat st {};
    if (::stat(Bytes(GetSelectPath(p)).c_str(), &st) == 0) ancestors.emplace_back(st.st_dev, st.st_ino);
  }
  const int filled = Fill(Bytes(path), parent, ancestors);
  if (filled) Expand(parent, TVE_EXPAND);
  return filled;
}

int CTreeCtrlEx::Fill(const std::string& folder, HTREEITEM parent,
                      std::vector<std::pair<dev_t, ino_t>>& ancestors) {
  struct stat self {};
  DIR* dir = ::opendir(folder.c_str());
  if (!dir || ::fstat(::dirfd(dir), &self) != 0) {
    if (dir) ::closedir(dir);
    return 0;
  }
  std::vector<QString> names;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    // Hidden entries, and names that are not text (an item could not name
    // them again), are left out.
    if (name.empty() || name[0] == '.' || !IsUtf8(name)) continue;
    struct stat st {};
    if (::stat((folder + "/" + name).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    names.push_back(Text(name));
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(), NaturalLess);
  if (static_cast<int>(names.size()) > kTreeMaxFolders) {
    names.resize(kTreeMaxFolders);
    if (!limitShown_) {
      limitShown_ = true;
      Message("dqljxwjjsltdqjsql", "当前路径下文件夹数量太多，请及时清理！");
    }
  }
  ancestors.emplace_back(self.st_dev, self.st_ino);
  for (const QString& name : names) {
    const std::string child = folder + "/" + Bytes(name);
    struct stat st {};
    if (::stat(child.c_str(), &st) != 0) continue;
    // A link back to a folder on the way down would repeat without end.
    if (std::find(ancestors.begin(), ancestors.end(), std::make_pair(st.st_dev, st.st_ino)) != ancestors.end())
      continue;
    HTREEITEM item = InsertItem(name, parent, TVI_LAST);
    if (Fill(child, item, ancestors)) Expand(item, TVE_EXPAND);
  }
  ancestors.pop_back();
  return 1;
}

QString CTreeCtrlEx::GetCurPath(HTREEITEM item) const {
  if (!IsItem(item)) return {};
  QStringList parts;
  for (HTREEITEM p = item; p; p = GetParentItem(p)) parts.prepend(GetItemText(p));
  return parts.join(QLatin1Char('/'));
}

QString CTreeCtrlEx::GetSelectPath(HTREEITEM item) const {
  if (!item) item = GetSelectedItem();
  if (!IsItem(item)) return {};
  QStringList parts;
  for (HTREEITEM p = item; GetParentItem(p); p = GetParentItem(p)) parts.prepend(GetItemText(p));
  if (parts.isEmpty()) return rootPath_;
  return (rootPath_ == QLatin1String("/") ? QString() : rootPath_) + QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

HTREEITEM CTreeCtrlEx::ItemOfPath(const QString& pathIn) const {
  const QString path = Trimmed(pathIn);
  HTREEITEM item = GetRootItem();
  if (!item || rootPath_.isEmpty()) return nullptr;
  if (path == rootPath_) return item;
  const QString prefix = rootPath_ == QLatin1String("/") ? rootPath_ : rootPath_ + QLatin1Char('/');
  // "/data/Pictures2" is not inside "/data/Pictures".
  if (!path.startsWith(prefix)) return nullptr;
  for (const QString& part : path.mid(prefix.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    HTREEITEM child = GetChildItem(item);
    while (child && GetItemText(child) != part) child = GetNextSiblingItem(child);
    if (!child) return nullptr;
    item = child;
  }
  return item;
}

int CTreeCtrlEx::SetCurPath(const QString& path) {
  HTREEITEM item = ItemOfPath(path);
  if (!item) return 0;
  SelectItem(item);
  PostMessage(parentWidget(), WM_TREE_SELECT, 0, 0);
  return 1;
}

void CTreeCtrlEx::Refill(const QString& want) {
  const int scroll = GetScrollPos();
  SetPath(rootPath_, TVI_ROOT);
  QString candidate = Trimmed(want);
  HTREEITEM item = nullptr;
  while (!(item = ItemOfPath(candidate)) && candidate.size() > rootPath_.size() &&
         ParentOf(candidate) != candidate)
    candidate = ParentOf(candidate);
  SelectItem(item ? item : GetRootItem());
  SetScrollPos(scroll);
  if (GetSelectedItem()) EnsureVisible(GetSelectedItem());
  PostMessage(parentWidget(), WM_TREE_SELECT, 0, 0);
}

void CTreeCtrlEx::Message(const char* key, const char* defaultText, const QString& extra) {
  MessageBox(this, Lang(key, defaultText) + extra, QCoreApplication::applicationName(), MB_OK);
}

UINT CTreeCtrlEx::TrackPopupMenu(const std::vector<std::pair<UINT, QString>>& entries, CPoint screenPoint) {
  QMenu menu(this);
  for (const auto& [id, text] : entries) menu.addAction(text)->setData(id);
  const QAction* chosen = menu.exec(QPoint(screenPoint.x, screenPoint.y));
  return chosen ? chosen->data().toUInt() : 0;
}

bool CTreeCtrlEx::OnLButtonDown(UINT flags, CPoint p) {
  UINT where = 0;
  if (HitTest(p, &where) && where == TVHT_ONITEMBUTTON) return CTreeCtrl::OnLButtonDown(flags, p);
  SetCapture();
  pressed_ = true;
  return true;
}

void CTreeCtrlEx::OnLButtonUp(UINT flags, CPoint p) {
  (void)flags;
  if (!pressed_) return;
  pressed_ = false;
  UINT where = 0;
  if (HTREEITEM item = HitTest(p, &where); item && where != TVHT_ONITEMBUTTON) {
    setFocus();
    SelectItem(item);
    PostMessage(parentWidget(), WM_TREE_SELECT, 0, 0);
  }
  ReleaseCapture();
}

void CTreeCtrlEx::OnRButtonDown(UINT flags, CPoint p) {
  (void)flags;
  HTREEITEM item = menuEnabled_ ? HitTest(p) : nullptr;
  if (!item) return;
  FinishEdit(true);
  setFocus();
  if (item != GetSelectedItem()) {
    SelectItem(item);
    PostMessage(parentWidget(), WM_TREE_SELECT, 0, 0);
  }
  const bool isRoot = item == GetRootItem();
  std::vector<std::pair<UINT, QString>> entries;
  if (!isRoot) entries.emplace_back(ID_TREE_MOVE, Lang("yidongdao", "移动到"));
  entries.emplace_back(ID_TREE_COPY, Lang("fuzhidao", "复制到"));
  if (!isRoot) entries.emplace_back(ID_TREE_DELETE, Lang("shanchu", "删除"));
  if (!isRoot) entries.emplace_back(ID_TREE_RENAME, Lang("chongmingmin", "重命名"));
  entries.emplace_back(ID_TREE_NEWFOLDER, Lang("xinjianwenjianjia", "新建文件夹"));
  if (const UINT id = TrackPopupMenu(entries, ClientToScreen(p))) OnCommand(id);
}

void CTreeCtrlEx::OnCommand(UINT id) {
  switch (id) {
    case ID_TREE_MOVE: MoveOrCopy(true); break;
    case ID_TREE_COPY: MoveOrCopy(false); break;
    case ID_TREE_DELETE: Delete(); break;
    case ID_TREE_RENAME: StartEdit(GetSelectedItem()); break;
    case ID_TREE_NEWFOLDER: NewFolder(); break;
    default: break;
  }
}

void CTreeCtrlEx::MoveOrCopy(bool move) {
  HTREEITEM item = GetSelectedItem();
  if (!IsItem(item) || (move && item == GetRootItem())) return;
  const QString source = GetSelectPath(item);
  const QString title = move ? Lang("yidonglujing", "请选择移动到的路径：") : Lang("fuzhilujing", "请选择复制到的路径：");
  const QString chosen = ChooseFolder(this, title, ParentOf(source));
  if (chosen.isEmpty()) return;
  const std::string src = Bytes(source), dest = Bytes(Trimmed(chosen));
  // A folder moved to where it already is stays as it is.
  if (move && SameFolder(dest, Bytes(ParentOf(source)))) return;
  // Never onto a same-named folder: the copy takes the next free name.
  const std::string target = FreePath(dest, Bytes(GetItemText(item)));
  const bool ok = !target.empty() && (move ? MovePath(src, target) : CopyPath(src, target)) == 1;
  if (ok)
    Message(move ? "yidongchenggong" : "fuzhichenggong", move ? "移动成功！" : "复制成功！");
  else
    Message(move ? "yidongshibai" : "fuzhishibai", move ? "移动失败！" : "复制失败！");
  // After a move the folder is selected where it went when that lies in the
  // tree, else its old parent.
  QString want = source;
  if (ok && move) want = ItemOfPath(Text(dest)) ? Text(target) : ParentOf(source);
  Refill(want);
}

void CTreeCtrlEx::Delete() {
  HTREEITEM item = GetSelectedItem();
  if (!IsItem(item)) return;
  if (item == GetRootItem()) {
    Message("bnscgml", "不能删除根目录！");
    return;
  }
  const QString path = GetSelectPath(item);
  if (MessageBox(this, Lang("shanchugaiwenjianma", "您确定要删除该文件夹吗？"),
                 QCoreApplication::applicationName(), MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  if (!DelPath(Bytes(path))) Message("shanchuwenjianjiashibai", "文件夹未能完全删除！");
  Refill(path);
}

void CTreeCtrlEx::NewFolder() {
  HTREEITEM item = GetSelectedItem();
  if (!IsItem(item)) item = GetRootItem();
  if (!item) return;
  const QString parent = GetSelectPath(item);
  const std::string target = FreePath(Bytes(parent), Bytes(Lang("xinjianwenjianjia", "新建文件夹")));
  // CreateDir would make a vanished parent again; the folder must still be there.
  if (target.empty() || !IsFolder(Bytes(parent)) || !CreateDir(target)) {
    Message("xinjianshibai", "新建文件夹失败！");
    Refill(parent);
    return;
  }
  Refill(Text(target));
  if (GetSelectPath() == Text(target)) StartEdit(GetSelectedItem());
}

void CTreeCtrlEx::StartEdit(HTREEITEM item) {
  if (!IsItem(item) || item == GetRootItem()) return;
  FinishEdit(true);
  if (!edit_) {
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("treeEdit%1").arg(ID_TREE_EDIT));
    edit_->setFont(font());
    edit_->installEventFilter(this);
    QObject::connect(edit_, &QLineEdit::returnPressed, this, [this] { FinishEdit(true); });
  }
  EnsureVisible(item);
  CRect text;
  GetItemRect(item, text, true);
  const int left = text.left + GetItemHeight();
  edit_->setGeometry(left, text.top + 3, std::max(40, text.right - left - 4), text.Height() - 6);
  edit_->setText(GetItemText(item));
  edit_->selectAll();
  editItem_ = item;
  edit_->show();
  edit_->setFocus();
  hook_.InitHook(this, "Tracmo.dll");
  hook_.StartHook();
  update();
}

void CTreeCtrlEx::StopEditing() {
  if (!editItem_) return;
  editItem_ = nullptr;
  hook_.StopHook();
  if (edit_) edit_->hide();
  update();
}

void CTreeCtrlEx::FinishEdit(bool commit) {
  if (!editItem_) return;
  // The edit keeps its own item: a press that ended it may already have
  // selected another one.
  HTREEITEM item = editItem_;
  const QString name = edit_->text();
  StopEditing();
  if (!commit || !IsItem(item)) return;
  const QString oldPath = GetSelectPath(item);
  if (name.isEmpty()) {
    Message("wenjianmingbunengweikong", "文件名不能为空！");
    return;
  }
  // "/" or ".." would move the folder elsewhere; a leading "." hides it.
  if (name.contains(QLatin1Char('/')) || name.startsWith(QLatin1Char('.'))) {
    Message("wenjianmingfeifa", "名称不能含有\"/\"或以\".\"开头！");
    return;
  }
  const QString newPath = ParentOf(oldPath) + QLatin1Char('/') + name;
  if (newPath == oldPath) return;
  struct stat st {};
  if (::lstat(Bytes(newPath).c_str(), &st) == 0) {
    Message("wenjianmingchongtu", "文件名冲突！");
    return;
  }
  if (!MovePath(Bytes(oldPath), Bytes(newPath))) {
    Message("chongmingmingshibai", "重命名失败！");
    Refill(oldPath);
    return;
  }
  Refill(newPath);
}

bool CTreeCtrlEx::eventFilter(QObject* watched, QEvent* e) {
  if (watched == edit_ && IsEditing()) {
    if (e->type() == QEvent::FocusOut) {
      // Presses in other programs are not seen: losing the focus ends the edit.
      QMetaObject::invokeMethod(this, [this] { FinishEdit(true); }, Qt::QueuedConnection);
    } else if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
      FinishEdit(false);
      PreTranslateKeyDown(VK_ESCAPE);
      return true;
    }
  }
  return CTreeCtrl::eventFilter(watched, e);
}

bool CTreeCtrlEx::PreTranslateKeyDown(UINT vk) {
  if (vk == VK_RETURN) {
    FinishEdit(true);
    return true;
  }
  if (vk == VK_ESCAPE) {
    // Escape belongs to the window around the tree (it leaves full screen).
    if (QWidget* parent = parentWidget())
      QCoreApplication::postEvent(parent, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    return true;
  }
  return CTreeCtrl::PreTranslateKeyDown(vk);
}

void CTreeCtrlEx::hideEvent(QHideEvent* e) {
  FinishEdit(true);
  CTreeCtrl::hideEvent(e);
}

void CTreeCtrlEx::DrawItem(QPainter& painter, HTREEITEM item, const CRect& row, UINT state) {
  const QRect r(row.left, row.top, row.Width(), row.Height());
  painter.fillRect(r, Qt::white);
  CRect text;
  GetItemRect(item, text, true);
  const int h = GetItemHeight();
  if (ItemHasChildren(item)) {
    const CGdiImage& button = (state & TVIS_EXPANDED) ? expandSelect_ : expand_;
    DrawCentred(painter, button.GetImage(), QRect(text.left - GetIndent(), row.top, GetIndent(), h));
  }
  const bool selected = state & TVIS_SELECTED;
  DrawCentred(painter, (selected ? folderSelect_ : folder_).GetImage(), QRect(text.left, row.top, h, h));
  painter.setPen(Qt::black);
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.setFont(font());
  painter.drawText(QRect(text.left + h, row.top, std::max(0, text.right - text.left - h), h),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, GetItemText(item));
  if (selected) {
    painter.setPen(QPen(kOutline, 2));
    painter.setBrush(Qt::NoBrush);
    // A 2-pixel line whose outer edge lies 2 pixels inside the row.
    painter.drawRect(QRectF(r).adjusted(3, 3, -3, -3));
  }
}

void CTreeCtrlEx::OnDropFiles(const std::vector<std::string>& paths, CPoint p) {
  HTREEITEM item = HitTest(p);
  if (!item) return;
  const std::string folder = Bytes(GetSelectPath(item));
  QStringList failed;
  for (std::string path : paths) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const auto slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string from = slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
    // A name that is not text could not be shown or named again: refused.
    if (name.empty() || !IsUtf8(path)) {
      failed << Text(name);
      continue;
    }
    // Already in that folder, however it is spelled: nothing to do.
    if (SameFolder(from, folder)) continue;
    const std::string target = FreePath(folder, name);
    if (target.empty() || !MovePath(path, target)) failed << Text(name);
  }
  if (!failed.isEmpty())
    Message("tuofangshibai", "以下文件未能移动：", QLatin1Char('\n') + failed.join(QLatin1Char('\n')));
  Refill(GetSelectPath());
}

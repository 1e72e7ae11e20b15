#include "platform/dialogs.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<CDialogScript*> g_script{nullptr};

QWidget* OwnerWindow(HWND owner) {
  auto* widget = qobject_cast<QWidget*>(owner);
  return widget ? widget->window() : nullptr;
}

UINT ButtonSet(UINT type) {
  const UINT set = type & MB_TYPEMASK;
  return set == MB_OKCANCEL || set == MB_YESNO ? set : MB_OK;
}

// The answer of a box closed without a button (Escape, the window's close).
int ClosingAnswer(UINT type) {
  switch (ButtonSet(type)) {
    case MB_OKCANCEL: return IDCANCEL;
    case MB_YESNO: return IDNO;
    default: return IDOK;
  }
}

// What a script answers when nothing is queued: the box's first button.
int FirstButtonAnswer(UINT type) { return ButtonSet(type) == MB_YESNO ? IDYES : IDOK; }

// Nobody can answer a window on the headless platform: say what was asked
// and end, so that a test fails with the text instead of hanging.
void AbortWhenHeadless(const char* what, const QString& caption, const QString& text) {
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) return;
  // Straight to stderr: Qt's own message handler may log elsewhere.
  std::fprintf(stderr, "%s shown without a dialog script on the offscreen platform: \"%s\": \"%s\"\n", what,
               qUtf8Printable(caption), qUtf8Printable(text));
  std::fflush(stderr);
  std::abort();
}

bool HaveWidgets() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

CChooserAnswer RunChooser(const CChooserCall& call) {
  if (CDialogScript* script = g_script.load()) return script->Chooser(call);
  AbortWhenHeadless("A file or folder chooser", call.title, call.start);
  if (!HaveWidgets()) return {};
  QFileDialog dialog(OwnerWindow(call.owner));
  PrepareFileDialog(dialog, call);
  const bool accepted = dialog.exec() == QDialog::Accepted;
  return ReadFileDialog(dialog, accepted);
}

CChooserAnswer Choose(ChooserKind kind, HWND owner, const QString& title, const QString& filter,
                      const QString& start, int* filterIndex) {
  CChooserCall call;
  call.kind = kind;
  call.owner = owner;
  call.title = title;
  call.filter = filter;
  call.start = start;
  call.filterIndex = filterIndex && *filterIndex > 0 ? *filterIndex : 1;
  CChooserAnswer answer = RunChooser(call);
  if (filterIndex && !answer.paths.isEmpty()) *filterIndex = answer.filterIndex;
  return answer;
}

}  // namespace

// ---- Message boxes --------------------------------------------------------------------------

CSystemMessageBox::CSystemMessageBox(HWND owner, const QString& text, const QString& caption, UINT type)
    : QMessageBox(OwnerWindow(owner)), type_(type) {
  setWindowTitle(caption);
  setText(text);
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR: setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: setIcon(QMessageBox::Information); break;
    default: setIcon(QMessageBox::NoIcon); break;
  }
  switch (ButtonSet(type)) {
    case MB_OKCANCEL:
      setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      setDefaultButton(QMessageBox::Ok);
      setEscapeButton(QMessageBox::Cancel);
      break;
    case MB_YESNO:
      setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      setDefaultButton(QMessageBox::Yes);
      setEscapeButton(QMessageBox::No);
      break;
    default:
      setStandardButtons(QMessageBox::Ok);
      setEscapeButton(QMessageBox::Ok);
      break;
  }
  setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
}

int CSystemMessageBox::Answer() const {
  switch (standardButton(clickedButton())) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return ClosingAnswer(type_);
  }
}

void CSystemMessageBox::showEvent(QShowEvent* e) {
  QMessageBox::showEvent(e);
  // The box has its final size now, before it is mapped.
  QWidget* owner = parentWidget();
  QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

std::optional<int> ScriptedBoxAnswer(const CMessageBoxCall& call) {
  if (CDialogScript* script = g_script.load()) return script->Box(call);
  AbortWhenHeadless("A message box", call.caption, call.text);
  return std::nullopt;
}

int MessageBox(HWND owner, const QString& text, const QString& caption, UINT type) {
  if (const std::optional<int> answer = ScriptedBoxAnswer({caption, text, type, owner})) return *answer;
  if (!HaveWidgets()) {
    // A program without windows says it on stderr instead.
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(caption), qUtf8Printable(text));
    return ClosingAnswer(type);
  }
  CSystemMessageBox box(owner, text, caption, type);
  box.exec();
  return box.Answer();
}

// ---- Choosers -------------------------------------------------------------------------------

QStringList NameFiltersFromFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    if (description.isEmpty()) break;  // "||" ends the list
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : patterns) p = p.trimmed();
    patterns.removeAll(QString());
    if (patterns.isEmpty()) continue;
    filters << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return filters;
}

void PrepareFileDialog(QFileDialog& dialog, const CChooserCall& call) {
  dialog.setWindowTitle(call.title);
  dialog.setWindowModality(dialog.parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
  switch (call.kind) {
    case ChooserKind::OpenFile: dialog.setFileMode(QFileDialog::ExistingFile); break;
    case ChooserKind::OpenFiles: dialog.setFileMode(QFileDialog::ExistingFiles); break;
    case ChooserKind::SaveFile:
      dialog.setFileMode(QFileDialog::AnyFile);
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      break;
    case ChooserKind::Folder:
      dialog.setFileMode(QFileDialog::Directory);
      dialog.setOption(QFileDialog::ShowDirsOnly, true);
      break;
  }
  if (call.kind != ChooserKind::Folder) {
    const QStringList filters = NameFiltersFromFilter(call.filter);
    if (!filters.isEmpty()) {
      // The descriptions already name their patterns.
      dialog.setOption(QFileDialog::HideNameFilterDetails, true);
      dialog.setNameFilters(filters);
      // Select by the dialog's own copy: it folds runs of blanks.
      const QStringList stored = dialog.nameFilters();
      const int index = call.filterIndex >= 1 && call.filterIndex <= stored.size() ? call.filterIndex : 1;
      if (!stored.isEmpty()) dialog.selectNameFilter(stored[index - 1]);
    }
  }
  if (call.start.isEmpty()) return;
  const QFileInfo start(call.start);
  if (start.isDir() || call.kind == ChooserKind::Folder) {
    dialog.setDirectory(call.start);
  } else {
    dialog.setDirectory(start.absolutePath());
    dialog.selectFile(start.fileName());
  }
}

CChooserAnswer ReadFileDialog(const QFileDialog& dialog, bool accepted) {
  CChooserAnswer answer;
  if (!accepted) return answer;
  answer.paths = dialog.selectedFiles();
  // With the details hidden the dialog may report the filter as shown: the
  // description without its last bracketed pattern list.
  const QString selected = dialog.selectedNameFilter();
  const QStringList filters = dialog.nameFilters();
  for (qsizetype i = 0; i < filters.size(); ++i) {
    const QString& f = filters[i];
    const QString shown = f.endsWith(QLatin1Char(')')) ? f.left(f.lastIndexOf(QLatin1Char('('))).trimmed() : f;
    if (f == selected || shown == selected) {
      answer.filterIndex = static_cast<int>(i) + 1;
      break;
    }
  }
  return answer;
}

QString ChooseOpenFile(HWND owner, const QString& title, const QString& filter, const QString& start,
                       int* filterIndex) {
  const QStringList paths = Choose(ChooserKind::OpenFile, owner, title, filter, start, filterIndex).paths;
  return paths.isEmpty() ? QString() : paths.front();
}

QStringList ChooseOpenFiles(HWND owner, const QString& title, const QString& filter, const QString& start,
                            int* filterIndex) {
  return Choose(ChooserKind::OpenFiles, owner, title, filter, start, filterIndex).paths;
}

QString ChooseSaveFile(HWND owner, const QString& title, const QString& filter, const QString& start,
                       int* filterIndex) {
  const QStringList paths = Choose(ChooserKind::SaveFile, owner, title, filter, start, filterIndex).paths;
  return paths.isEmpty() ? QString() : paths.front();
}

QString ChooseFolder(HWND owner, const QString& title, const QString& start) {
  const QStringList paths = Choose(ChooserKind::Folder, owner, title, QString(), start, nullptr).paths;
  return paths.isEmpty() ? QString() : paths.front();
}

// ---- The hook -------------------------------------------------------------------------------

CDialogScript::CDialogScript() : previous_(g_script.exchange(this)) {}

CDialogScript::~CDialogScript() {
  CDialogScript* self = this;
  g_script.compare_exchange_strong(self, previous_);
}

void CDialogScript::AnswerBox(int result) {
  std::lock_guard lock(mutex_);
  boxAnswers_.push_back(result);
}

void CDialogScript::AnswerChooser(const CChooserAnswer& answer) {
  std::lock_guard lock(mutex_);
  chooserAnswers_.push_back(answer);
}

std::vector<CMessageBoxCall> CDialogScript::Boxes() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

std::vector<CChooserCall> CDialogScript::Choosers() const {
  std::lock_guard lock(mutex_);
  return choosers_;
}

void CDialogScript::Clear() {
  std::lock_guard lock(mutex_);
  boxAnswers_.clear();
  chooserAnswers_.clear();
  boxes_.clear();
  choosers_.clear();
}

int CDialogScript::Box(const CMessageBoxCall& call) {
  std::lock_guard lock(mutex_);
  boxes_.push_back(call);
  if (boxAnswers_.empty()) return FirstButtonAnswer(call.type);
  const int answer = boxAnswers_.front();
  boxAnswers_.pop_front();
  return answer;
}

CChooserAnswer CDialogScript::Chooser(const CChooserCall& call) {
  std::lock_guard lock(mutex_);
  choosers_.push_back(call);
  if (chooserAnswers_.empty()) return {};
  CChooserAnswer answer = chooserAnswers_.front();
  chooserAnswers_.pop_front();
  return answer;
}

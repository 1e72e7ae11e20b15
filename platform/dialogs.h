#pragma once
// System-style message boxes and file and folder choosers, with a
// process-wide test hook.
//
// MessageBox has the surface of the system call the windows use: an owner,
// the text, the caption and a type made of one button set and one icon; it
// answers the button pressed. The box is modal to its owner's window (to the
// whole program without an owner) and centred on the owner's screen.
//
// The choosers take filters in the form the windows write them:
// "description|pattern|description|pattern||", several patterns of one entry
// separated by ";" ("jpg file(*.jpg)|*.jpg|bmp file(*.bmp)|*.bmp||"). Each
// description is shown as written (runs of blanks folded to one). Filter
// indices count from 1.
//
// While a hook is set (CDialogScript) nothing is shown: every box and every
// chooser is recorded and answered by the hook. Without one, on Qt's
// headless "offscreen" platform, where nobody could answer, a box or chooser
// ends the process with its text on stderr instead of waiting for ever.

#include "platform/messages.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <deque>
#include <mutex>
#include <optional>
#include <vector>

// Button sets.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNO = 0x00000004;
// Icons.
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows the box and returns the button pressed: IDOK or IDCANCEL for the OK
// sets (closing the box counts as Cancel, or as OK for a lone OK button),
// IDYES or IDNO for Yes/No (closing counts as No). A button set other than
// the three falls back to OK.
int MessageBox(HWND owner, const QString& text, const QString& caption, UINT type = MB_OK);

// One file to open; empty when cancelled. `filterIndex` (optional, in/out)
// selects the filter shown first and receives the one in use.
QString ChooseOpenFile(HWND owner, const QString& title, const QString& filter,
                       const QString& start = {}, int* filterIndex = nullptr);
// One or several files to open; empty when cancelled.
QStringList ChooseOpenFiles(HWND owner, const QString& title, const QString& filter,
                            const QString& start = {}, int* filterIndex = nullptr);
// A file name to save under (it need not exist); empty when cancelled.
QString ChooseSaveFile(HWND owner, const QString& title, const QString& filter,
                       const QString& start = {}, int* filterIndex = nullptr);
// An existing folder; empty when cancelled.
QString ChooseFolder(HWND owner, const QString& title, const QString& start = {});

// The Qt name filters of a filter string, one per description/pattern pair
// ("jpg file(*.jpg) (*.jpg)"). A description without patterns is dropped.
QStringList NameFiltersFromFilter(const QString& filter);

// What the hook sees.
struct CMessageBoxCall {
  QString caption;
  QString text;
  UINT type = MB_OK;
  HWND owner = nullptr;
};

enum class ChooserKind { OpenFile, OpenFiles, SaveFile, Folder };

struct CChooserCall {
  ChooserKind kind = ChooserKind::OpenFile;
  QString title;
  QString filter;  // as the caller wrote it; empty for folders
  QString start;
  int filterIndex = 1;
  HWND owner = nullptr;
};

// A chooser's answer: the chosen paths (none: cancelled) and the filter in use.
struct CChooserAnswer {
  QStringList paths;
  int filterIndex = 1;
};

// The process-wide hook, for tests and scripted runs. While an object
// exists it receives every box and chooser (on the thread that asks) and
// answers from its scripts in order; with an empty script a box answers its
// first button (IDOK, IDYES) and a chooser is cancelled. Scripts nest: the
// newest object answers until it goes (destroy them in reverse order).
class CDialogScript {
 public:
  CDialogScript();
  ~CDialogScript();
  CDialogScript(const CDialogScript&) = delete;
  CDialogScript& operator=(const CDialogScript&) = delete;

  // Queues the answers of the next boxes / choosers.
  void AnswerBox(int result);
  void AnswerChooser(const CChooserAnswer& answer);
  void AnswerChooser(const QString& path, int filterIndex = 1) {
    AnswerChooser(CChooserAnswer{path.isEmpty() ? QStringList() : QStringList{path}, filterIndex});
  }

  std::vector<CMessageBoxCall> Boxes() const;
  std::vector<CChooserCall> Choosers() const;
  void Clear();

  // The entry points hand every call to the current script through these.
  int Box(const CMessageBoxCall& call);
  CChooserAnswer Chooser(const CChooserCall& call);

 private:
  mutable std::mutex mutex_;
  std::deque<int> boxAnswers_;
  std::deque<CChooserAnswer> chooserAnswers_;
  std::vector<CMessageBoxCall> boxes_;
  std::vector<CChooserCall> choosers_;
  CDialogScript* previous_ = nullptr;
};

// Owner-drawn boxes of other libraries go through the hook too: while a
// script is set it records the call and this returns its answer (nothing is
// to be shown then); without one it returns nothing, after ending the
// process on the offscreen platform as MessageBox does.
std::optional<int> ScriptedBoxAnswer(const CMessageBoxCall& call);

// The box MessageBox shows without a hook: parented to the owner's window
// and modal to it (to the program without an owner), the icon and buttons
// of the type, closing mapped as MessageBox says; centred on the owner's
// screen as it shows.
class CSystemMessageBox : public QMessageBox {
 public:
  CSystemMessageBox(HWND owner, const QString& text, const QString& caption, UINT type);
  // The answer of the button pressed (the closing answer before any).
  int Answer() const;

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  UINT type_;
};

// The chooser dialog of a call, set up but not shown: mode, title, filters
// with their descriptions shown as written, the selected filter and the
// start folder or file.
void PrepareFileDialog(QFileDialog& dialog, const CChooserCall& call);
// What a finished dialog of that call answers (nothing when it was cancelled).
CChooserAnswer ReadFileDialog(const QFileDialog& dialog, bool accepted);

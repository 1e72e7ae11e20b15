#pragma once
// The picture library's commands (bind, unbind, delete, export, PDF, mail,
// print, compare) as the library, browse and bound-pictures windows run them
// on their own selections, with what the teacher is told about each.
//
// Every outcome gets a message, and no failure loses a photograph: results
// never replace an existing file (a taken name becomes "name(1).ext"), a
// copy is literal, a picture is removed by binding only after its archive
// is on disk, and deleting moves the pictures to the desktop's trash so that
// they can be restored (asking first where no trash can be used).

#include <QString>
#include <QStringList>

#include <list>
#include <string>

#include "platform/messages.h"

class CWnd;

// Command codes of WM_LIBRARY_COMMAND (wParam), as the manager tool bar sends them.
constexpr WPARAM LIBCMD_CLOSE = 2;
constexpr WPARAM LIBCMD_BIND = 3;
constexpr WPARAM LIBCMD_UNBIND = 4;
constexpr WPARAM LIBCMD_DELETE = 5;
constexpr WPARAM LIBCMD_EXPORT = 6;
constexpr WPARAM LIBCMD_PDF = 7;
constexpr WPARAM LIBCMD_MAIL = 8;
constexpr WPARAM LIBCMD_PRINT = 9;
constexpr WPARAM LIBCMD_COMPARE = 10;
constexpr WPARAM LIBCMD_BACK = 12;

// Pages of the picture management frame (wParam of WM_PAGE_SWITCH).
constexpr WPARAM PAGE_COLLECT = 162;
constexpr WPARAM PAGE_LIBRARY = 179;

// At most this many pictures are compared side by side.
constexpr int kMaxComparePictures = 4;

// ".JPG", ".BMP", ".PNG", ".GIF", ".TIF": the order in which the commands
// collect pictures.
const QStringList& PictureExtensions();
// The files of `selected` whose extension is `ext` (dot optional, case
// ignored), in their order.
QStringList FilesWithExtension(const QStringList& selected, const QString& ext);
// The pictures of a selection: the ".JPG" files first, then ".BMP" and so on.
QStringList CollectPictures(const QStringList& selected);
// The archives (".bind") of a selection.
QStringList CollectArchives(const QStringList& selected);
bool IsPicture(const QString& path);
bool IsArchive(const QString& path);

// The paths handed to the comparison: the first four joined with ";".
QString JoinComparePaths(const QStringList& pictures);
// The paths again. A ";" separates two paths only where a picture extension
// ends before it and a new absolute path begins after it, so a ";" inside
// a file or folder name stays in its path.
QStringList SplitComparePaths(const QString& joined);

class CPictureCommands {
 public:
  explicit CPictureCommands(CWnd* owner = nullptr) : owner_(owner) {}
  virtual ~CPictureCommands() = default;
  CPictureCommands(const CPictureCommands&) = delete;
  CPictureCommands& operator=(const CPictureCommands&) = delete;

  // The window the messages are shown over.
  void SetOwner(CWnd* owner) { owner_ = owner; }
  // A command is running (it may be waiting in its message box).
  bool IsBusy() const { return busy_ != 0; }

  // Each command takes the window's selected files in list order. Results
  // of bind and PDF go into `folder`, or beside the first picture when it
  // is empty. The result is 1 when the command did all it was asked, 0 when
  // it had nothing to do, was cancelled or failed (and said so).
  int Bind(const QStringList& selected, const QString& folder = {});
  int Unbind(const QStringList& selected);
  int Delete(const QStringList& selected);
  int Export(const QStringList& selected);
  int Pdf(const QStringList& selected, const QString& folder = {});
  int Mail(const QStringList& selected);
  int Print(const QStringList& selected);
  int Compare(const QStringList& selected);

  // The path of the last archive or PDF made (empty before one).
  const QString& GetLastResult() const { return lastResult_; }

 protected:
  // The seams of the outside world; tests replace them.
  // The export folder (the folder chooser; empty when cancelled).
  virtual QString ChooseExportFolder();
  // Moves one file to the desktop's trash; false where that cannot be done.
  virtual bool MoveToTrash(const QString& path);
  // Prints the pictures in black and white 0 (the print dialog first).
  virtual int PrintPictures(const std::list<std::string>& pictures);
  // Hands the files to the mail program.
  virtual int SendMail(const std::list<std::string>& files);

 private:
  struct BusyScope {
    explicit BusyScope(int& busy) : busy_(busy) { ++busy_; }
    ~BusyScope() { --busy_; }
    int& busy_;
  };
  // A message box: `text` under the language text `key` (or `defaultText`).
  int Tell(const QString& caption, const QString& text, unsigned type);
  // The failure text of `key` followed by the names of `files`, one a line.
  void TellFailures(const char* key, const char* defaultText, const QStringList& files);
  // Where a result named after the first picture goes: a free name in
  // `folder` (or the picture's own folder) ending in `extension`.
  static QString ResultPath(const QString& firstPicture, const QString& folder, const char* extension);

  CWnd* owner_ = nullptr;
  int busy_ = 0;
  QString lastResult_;
};

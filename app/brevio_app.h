#pragma once
// CBrevioApp: the main program's start-up. Only one instance runs per user:
// a second start ends at once, silently, and leaves the first untouched.
// The first creates the main frame, which shows the start menu.

#include <QStringList>

#include <memory>

class CMainFrame;
class CSingleInstance;

class CBrevioApp {
 public:
  CBrevioApp();
  ~CBrevioApp();

  // Takes the per-user instance lock; false when another instance holds it.
  // Needs no display, so a second start can end before opening one.
  bool ClaimInstance();
  // Claims the instance (if not yet done) and creates the main frame. False
  // when another instance runs (the caller ends without a word). `arguments`
  // is the command line after the program name.
  bool InitInstance(const QStringList& arguments);
  // Destroys the main frame and its windows (while the application object
  // still exists), then gives the instance up.
  void ExitInstance();
  CMainFrame* GetMainFrame() const { return frame_.get(); }

  // The lock that makes the instance single; its name is fixed per user.
  static constexpr const char* kInstanceName = "Brevio";

 private:
  std::unique_ptr<CSingleInstance> instance_;
  std::unique_ptr<CMainFrame> frame_;
};

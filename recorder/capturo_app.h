#pragma once
// The screen recorder program: one copy per user, started by the main
// program with the output path (and optionally the area) as its argument;
// it runs the recorder's window until the recording is finished or given
// up. SIGTERM, SIGINT and SIGHUP stop it as its stop button would, without
// a message box.

#include <string>

class CCapturoApp {
 public:
  // Runs the recorder for its command-line argument (the text of argv[1];
  // empty when there was none); the program's exit status.
  int InitInstance(const std::string& argument);
};

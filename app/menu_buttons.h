#pragma once
// The command buttons of the two menus (the start menu and the in-mode
// menu): each button is a control of the "menu" description set and stands
// for one mode-switch command. The set builds the buttons, translates a
// clicked control into its command, greys out the commands whose windows do
// not exist, and keeps the record/stop pair showing one button at a time.

#include <memory>
#include <vector>

#include "contracts/widgetta/gdi_btn.h"

class CWnd;
class CXmlListMgr;

class CMenuButtons {
 public:
  struct Entry {
    int ctrlId;
    int command;
  };

  // Adds one button per entry, a child of `parent`, built from `layout`'s records.
  void Add(CXmlListMgr& layout, CWnd* parent, const std::vector<Entry>& entries);
  // The command of a control id; -1 for a control that is not a command.
  int CommandOf(int ctrlId) const;
  // The button of a command; null when the menu has none.
  CHdcBtn* Button(int command) const;
  // Greys a command out (or back in). The pair's hidden button stays hidden.
  void SetAvailable(int command, bool available);
  bool IsAvailable(int command) const;
  // Recording state of the record/stop pair: 0 shows `record`, 1 `stop`.
  void SetRecording(int recordCommand, int stopCommand, int recording);

 private:
  std::vector<Entry> entries_;
  std::vector<std::unique_ptr<CHdcBtn>> buttons_;  // same order as entries_
};

// A window that carries a record/stop button pair; the main frame keeps
// every such pair in step with the screen recorder.
class IRecordButtons {
 public:
  virtual ~IRecordButtons() = default;
  virtual void SetRecording(int recording) = 0;
  virtual int GetRecording() const = 0;
};

#include "app/menu_buttons.h"

#include "overlay/xml_list_mgr.h"

void CMenuButtons::Add(CXmlListMgr& layout, CWnd* parent, const std::vector<Entry>& entries) {
  for (const Entry& e : entries) {
    entries_.push_back(e);
    auto button = std::make_unique<CHdcBtn>();
    CRect rect;
    layout.LoadHdcBtn(*button, rect, parent, e.ctrlId);
    buttons_.push_back(std::move(button));
  }
}

int CMenuButtons::CommandOf(int ctrlId) const {
  for (const Entry& e : entries_)
    if (e.ctrlId == ctrlId) return e.command;
  return -1;
}

CHdcBtn* CMenuButtons::Button(int command) const {
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].command == command) return buttons_[i].get();
  return nullptr;
}

void CMenuButtons::SetAvailable(int command, bool available) {
  if (CHdcBtn* b = Button(command)) b->EnableWindow(available);
}

bool CMenuButtons::IsAvailable(int command) const {
  const CHdcBtn* b = Button(command);
  return b && b->isEnabled();
}

void CMenuButtons::SetRecording(int recordCommand, int stopCommand, int recording) {
  if (CHdcBtn* b = Button(recordCommand)) b->ShowWindow(recording ? SW_HIDE : SW_SHOW);
  if (CHdcBtn* b = Button(stopCommand)) b->ShowWindow(recording ? SW_SHOW : SW_HIDE);
}

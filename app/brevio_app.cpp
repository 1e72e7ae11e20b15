#include "app/brevio_app.h"

#include "app/main_frame.h"
#include "platform/instance.h"

CBrevioApp::CBrevioApp() = default;

CBrevioApp::~CBrevioApp() { ExitInstance(); }

bool CBrevioApp::ClaimInstance() {
  if (!instance_) instance_ = std::make_unique<CSingleInstance>(kInstanceName);
  return instance_->IsFirst();
}

bool CBrevioApp::InitInstance(const QStringList& arguments) {
  if (!ClaimInstance()) return false;
  frame_ = std::make_unique<CMainFrame>();
  return frame_->Create(arguments);
}

void CBrevioApp::ExitInstance() {
  // The frame (and the windows it owns) go before the instance lock.
  frame_.reset();
  instance_.reset();
}

#include "recorder/capturo_app.h"

#include "contracts/fundara/names.h"
#include "platform/instance.h"
#include "platform/stop_signals.h"
#include "recorder/capturo_dlg.h"
#include "recorder/record_args.h"

int CCapturoApp::InitInstance(const std::string& argument) {
  CSingleInstance instance(CCapturoDlg::kCaption);
  if (!instance.IsFirst()) return 0;
  const CRecordArgument parsed = ParseRecordArgument(argument);
  if (parsed.path.empty()) return 0;

  CCapturoDlg dialog;
  dialog.SetOutputPath(parsed.path);
  dialog.SetCaptureFrame(parsed.area);
  if (!dialog.Create()) {
    ReleaseFileName(dialog.GetOutputPath());
    return 1;
  }
  CStopSignals stopSignals([&dialog](int) { dialog.EndBySignal(); });
  if (!dialog.IsEnded()) dialog.Run();
  return 0;
}

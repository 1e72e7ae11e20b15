#include "app/main_frame.h"

#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "app/app_messages.h"
#include "app/settings.h"
#include "app/sysset_dlg.h"
#include "contracts/camera/camera.h"
#include "contracts/fundara/config_strings.h"
#include "contracts/fundara/files.h"
#include "contracts/fundara/names.h"
#include "contracts/fundara/paths.h"
#include "platform/caption.h"
#include "platform/hotkey.h"

namespace {
constexpr char kRecorderCaption[] = "Capturo";
constexpr char kUpgradeCaption[] = "Upgrade";
// While a recording runs the recorder's window is looked for every second:
// a recorder that was killed or crashed never says "StopRecord".
constexpr UINT kRecorderWatchTimer = 1;
constexpr int kRecorderWatchMs = 1000;
// Commands of the menus that switch a mode on.
struct ModeCommand {
  CMainFrame::Mode mode;
  LPARAM startMenu;
  LPARAM modeMenu;
};
constexpr ModeCommand kModeCommands[] = {
    {CMainFrame::Mode::ObjectShow, START_OBJECTSHOW, MODE_OBJECTSHOW},
    {CMainFrame::Mode::Annotation, START_PAINT, MODE_PAINT},
    {CMainFrame::Mode::QuickCapture, START_QUICKCAP, MODE_QUICKCAP},
    {CMainFrame::Mode::Ocr, START_OCR, MODE_OCR},
    {CMainFrame::Mode::PictureManagement, START_SCANMGR, MODE_SCANMGR},
};

void WriteCameraTriple(std::string_view section, int serialId, int dpi) {
  camcfg::WriteInt(section, camcfg::kSerialId, serialId);
  camcfg::WriteInt(section, camcfg::kDpi, dpi);
  camcfg::WriteString(section, camcfg::kDpiType, "MJPG");
}
constexpr int kFirstDpi = -4;
constexpr int kNextDpi = -3;
}  // namespace

CMainFrame::CMainFrame() {
  OnMessage(WM_SWITCH_MODE, &CMainFrame::OnSwitchMode);
  OnMessage(WM_FULL_SCREEN, &CMainFrame::OnFullScreen);
  OnMessage(WM_RECORD_STARTED, &CMainFrame::OnRecordStarted);
  OnMessage(WM_RECORD_STOPPED, &CMainFrame::OnRecordStopped);
  OnMessage(WM_HOTKEY, &CMainFrame::OnHotKey);
  OnMessage(WM_SYSCOMMAND, &CMainFrame::OnSysCommand);
}

CMainFrame::~CMainFrame() {
  if (hotKeysRegistered_) {
    UnregisterHotKey(this, HOTKEY_START_RECORD);
    UnregisterHotKey(this, HOTKEY_STOP_RECORD);
  }
  quickCap_.CloseCamera();
  if (GetMainWnd() == this) SetMainWnd(nullptr);
}

bool CMainFrame::Create(const QStringList& arguments) {
  frameRect_ = GetWorkArea();
  CWnd::Create(Kind::TopLevel, QStringLiteral("Brevio"), frameRect_, nullptr, 0);
  SetMainWnd(this);
  CreateFolders();
  CreateWorkingWindows();
  ApplyUpgradeRules(arguments);
  hotKeysRegistered_ = RegisterHotKey(this, HOTKEY_START_RECORD, 0, VK_F9);
  hotKeysRegistered_ = RegisterHotKey(this, HOTKEY_STOP_RECORD, 0, VK_F10) || hotKeysRegistered_;
  CUsbCamera camera;
  ArrangeCameraOrder(camera);
  return true;
}

int CMainFrame::OnCameraData(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {
  return 1;
}

void CMainFrame::CreateFolders() {
  for (const std::string& folder :
       {GetAppData(), GetDataPathEx(), GetBindPath(), GetTempDataPath(), GetDataLibPath(), GetDataPicPath(),
        GetDataVideoPath(), GetDataAbstractPath(), GetThumbsPath()})
    CreateDir(folder);
}

void CMainFrame::CreateWorkingWindows() {
  startMenu_.Create(nullptr, frameRect_);
  startMenu_.SetSettingsHandler([this] { OpenSettings(); });
  quickCap_.Create(nullptr);
  paint_.Create(this);
  UpdateMenus();
  SetRecordingState(0);
  quickCap_.ShowWindow(SW_HIDE);
  startMenu_.ShowWindow(SW_SHOW);
  mode_ = Mode::StartMenu;
}

bool CMainFrame::IsModeAvailable(Mode mode) const {
  return mode == Mode::QuickCapture || mode == Mode::Annotation;
}

void CMainFrame::UpdateMenus() {
  // Only the modes whose windows this program has are offered; screen
  // recording only when the recorder program is installed next to it.
  const bool recorder = ::access(GetVideoRecordPath().c_str(), X_OK) == 0;
  CMenuButtons& start = startMenu_.Buttons();
  CMenuButtons& inMode = quickCap_.GetMinMenu().Buttons();
  for (const ModeCommand& c : kModeCommands) {
    start.SetAvailable(static_cast<int>(c.startMenu), IsModeAvailable(c.mode));
    inMode.SetAvailable(static_cast<int>(c.modeMenu), IsModeAvailable(c.mode));
  }
  for (int command : {START_RECORD, START_STOPRECORD}) start.SetAvailable(command, recorder);
  for (int command : {MODE_RECORD, MODE_STOPRECORD}) inMode.SetAvailable(command, recorder);
}

std::vector<IRecordButtons*> CMainFrame::RecordButtonPairs() {
  return {&startMenu_, &quickCap_.GetMinMenu()};
}

void CMainFrame::SetRecordingState(int recording) {
  for (IRecordButtons* pair : RecordButtonPairs()) pair->SetRecording(recording);
  if (recording)
    SetTimer(kRecorderWatchTimer, kRecorderWatchMs);
  else
    KillTimer(kRecorderWatchTimer);
}

// ---- Camera order -------------------------------------------------------------

void CMainFrame::ArrangeCameraOrder(CUsbCamera& camera) {
  std::vector<std::string> names;
  const int count = camera.GetCameraList(names);
  const int first = camcfg::ReadInt(camcfg::kFirstCamera, camcfg::kSerialId, -1);
  const int next = camcfg::ReadInt(camcfg::kNextCamera, camcfg::kSerialId, -1);
  if (count <= 1) {
    // No camera, or one: the first is camera 0 (kept as it is when it
    // already was) and the next one is camera 1.
    if (count <= 0 || first != 0) WriteCameraTriple(camcfg::kFirstCamera, 0, kFirstDpi);
    WriteCameraTriple(camcfg::kNextCamera, 1, kNextDpi);
    return;
  }
  const bool stored = first >= 0 && first < count && next >= 0 && next < count && first != next;
  if (stored) return;
  // Only cameras 0 and 1 are compared; the better one becomes the first,
  // camera 0 on a tie.
  unsigned long value0 = 0;
  unsigned long value1 = 0;
  std::string text;
  camera.ReadCameraDPI(0, value0, text);
  camera.ReadCameraDPI(1, value1, text);
  const int better = value0 < value1 ? 1 : 0;
  WriteCameraTriple(camcfg::kFirstCamera, better, kFirstDpi);
  WriteCameraTriple(camcfg::kNextCamera, 1 - better, kNextDpi);
}

// ---- Upgrade start-up rules ---------------------------------------------------

void CMainFrame::ApplyUpgradeRules(const QStringList& arguments) {
  const std::string package = GetCameraConfigString(camcfg::kUpgrade, camcfg::kZipBag, "");
  SetCameraConfigString(camcfg::kUpgrade, camcfg::kZipBag, "");

  QString args = arguments.join(QLatin1Char(' ')).trimmed();
  if (args.size() >= 2 && args.startsWith(QLatin1Char('"')) && args.endsWith(QLatin1Char('"')))
    args = args.mid(1, args.size() - 2);

  const std::string today = GetDay();
  const std::string last = GetCameraConfigString(camcfg::kUpgrade, camcfg::kLastTime, "");
  // The month stands in the 6th and 7th characters of "YYYY-MM-DD".
  auto month = [](const std::string& date) { return date.size() >= 7 ? date.substr(5, 2) : std::string(); };
  if (args == QLatin1String("-U")) {
    // Restarted by the upgrader: no check today, and its window goes away.
    SetCameraConfigString(camcfg::kUpgrade, camcfg::kLastTime, today);
    PostMessageToCaption(QString::fromLatin1(kUpgradeCaption), WM_CLOSE);
  } else if (!package.empty() && !SearchFile(package).empty()) {
    StartDetached(GetUpgradeAppPath(), package);
  } else if (!last.empty() && month(last) != month(today)) {
    // A new month: the online check is due. It belongs to the upgrade
    // window, which this program does not have (there is no upgrade
    // service to ask), so nothing is started and the date stays.
  } else if (last.empty()) {
    SetCameraConfigString(camcfg::kUpgrade, camcfg::kLastTime, today);
  }
}

// ---- Screen recording -----------------------------------------------------------

std::string CMainFrame::ScreenRecordPath() {
  std::string type = camcfg::ReadString(camcfg::kVideo, camcfg::kVideoType, camcfg::kDefaultVideoType);
  if (type.size() > 260) type.resize(260);
  std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::toupper(c); });
  const char* ext = type == camcfg::kVideoFlv ? "flv" : type == camcfg::kVideoAvi ? "avi" : "mp4";
  return GetFileNamePath(GetDataVideoPath() + "/" + GetDay(), ext);
}

std::string CMainFrame::ScreenRecordArgument(const std::string& path, const CRect& area) {
  if (area.IsRectEmpty()) return path;
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, "|%d,%d,%d,%d", area.left, area.top, area.right, area.bottom);
  return path + suffix;
}

void CMainFrame::StartScreenRecord(bool hotKey) {
  const QString recorder = QString::fromLatin1(kRecorderCaption);
  if (hotKey && FindWindowByCaption(recorder)) {
    PostMessageToCaption(recorder, RegisterWindowMessage(kStartRecordMessage));
    return;
  }
  const std::string path = ScreenRecordPath();
  if (path.empty()) return;
  // No object show window here, so no presentation area limits the recording.
  const CRect area;
  if (!StartDetached(GetVideoRecordPath(), ScreenRecordArgument(path, area))) ReleaseFileName(path);
}

void CMainFrame::StopScreenRecord() {
  const QString recorder = QString::fromLatin1(kRecorderCaption);
  if (FindWindowByCaption(recorder))
    PostMessageToCaption(recorder, RegisterWindowMessage(kStopRecordMessage));
  else
    SetRecordingState(0);
}

bool CMainFrame::StartDetached(const std::string& program, const std::string& argument) {
  return QProcess::startDetached(QString::fromStdString(program), {QString::fromStdString(argument)});
}

void CMainFrame::OpenSettings() {
  CSysSetDlg dialog(&startMenu_);
  dialog.DoModal();
}

// ---- Messages -----------------------------------------------------------------

LRESULT CMainFrame::OnSwitchMode(WPARAM sender, LPARAM command) {
  if (sender == SWITCH_FROM_START_MENU) {
    switch (command) {
      case START_MINIMIZE: Minimize(); return 1;
      case START_CLOSE: CloseApplication(); return 1;
      case START_RECORD: StartScreenRecord(false); return 1;
      case START_STOPRECORD: StopScreenRecord(); return 1;
      default: break;
    }
    for (const ModeCommand& c : kModeCommands) {
      if (c.startMenu != command) continue;
      // A mode this program has no window for leaves the start menu as it is.
      if (!IsModeAvailable(c.mode)) return 0;
      startMenu_.ShowWindow(SW_HIDE);
      ModeOn(c.mode);
      return 1;
    }
    return 0;
  }
  if (sender == SWITCH_FROM_MODE_MENU) {
    if (command == MODE_RECORD) {
      StartScreenRecord(false);
      return 1;
    }
    if (command == MODE_STOPRECORD) {
      StopScreenRecord();
      return 1;
    }
    for (const ModeCommand& c : kModeCommands) {
      if (c.modeMenu != command) continue;
      if (!IsModeAvailable(c.mode)) return 0;
      AllModesOff();
      ModeOn(c.mode);
      return 1;
    }
    BackToStartMenu();
    return 1;
  }
  // The picture browser (154) opens a picture in the object show mode,
  // which this program does not have.
  return 0;
}

LRESULT CMainFrame::OnFullScreen(WPARAM wParam, LPARAM lParam) {
  notifyWnd_ = reinterpret_cast<HWND>(lParam);
  if (static_cast<LPARAM>(wParam) != -1) SetFullScreen(wParam != 0 ? 1 : 0);
  return fullScreen_;
}

LRESULT CMainFrame::OnRecordStarted(WPARAM, LPARAM) {
  SetRecordingState(1);
  return 0;
}

LRESULT CMainFrame::OnRecordStopped(WPARAM, LPARAM) {
  SetRecordingState(0);
  return 0;
}

LRESULT CMainFrame::OnHotKey(WPARAM id, LPARAM) {
  if (id == HOTKEY_START_RECORD) StartScreenRecord(true);
  if (id == HOTKEY_STOP_RECORD) StopScreenRecord();
  return 0;
}

LRESULT CMainFrame::OnSysCommand(WPARAM command, LPARAM) {
  if (command == SC_MINIMIZE) Minimize();
  return 0;
}

bool CMainFrame::PreTranslateKeyDown(UINT vk) { return FilterKeyDown(vk); }

void CMainFrame::OnTimer(UINT id) {
  if (id == kRecorderWatchTimer && !FindWindowByCaption(QString::fromLatin1(kRecorderCaption))) SetRecordingState(0);
}

bool CMainFrame::FilterKeyDown(UINT vk) {
  if (vk == VK_ESCAPE) {
    SetFullScreen(0);
    return true;
  }
  return vk == VK_RETURN;
}

// ---- Modes and full screen ------------------------------------------------------

void CMainFrame::ModeOn(Mode mode) {
  if (mode == Mode::Annotation) {
    // The paint windows are the topmost ones (the frame itself is never mapped).
    paint_.ShowAnnotation();
    mode_ = mode;
    return;
  }
  if (mode != Mode::QuickCapture) return;
  quickCap_.ShowWindow(SW_SHOW);
  quickCap_.OpenCamera();
  mode_ = mode;
}

void CMainFrame::ModeOff(Mode mode) {
  if (mode == Mode::Annotation) {
    paint_.HideAnnotation();
    return;
  }
  if (mode != Mode::QuickCapture) return;
  quickCap_.ShowWindow(SW_HIDE);
  quickCap_.CloseCamera();
}

void CMainFrame::AllModesOff() {
  for (const ModeCommand& c : kModeCommands) ModeOff(c.mode);
  mode_ = Mode::StartMenu;
}

void CMainFrame::BackToStartMenu() {
  SetTopMost(false);
  // The quick capture window goes with its camera: a stopped picture left
  // in a corner of the start menu would look like a live one.
  AllModesOff();
  startMenu_.ShowWindow(SW_SHOW);
  startMenu_.activateWindow();
}

void CMainFrame::Minimize() {
  // The frame's own window is never mapped: its working windows are what
  // the user sees, so those are minimised.
  if (startMenu_.isVisible()) startMenu_.ShowWindow(SW_MINIMIZE);
  if (quickCap_.isVisible()) quickCap_.ShowWindow(SW_MINIMIZE);
}

void CMainFrame::CloseApplication() {
  AllModesOff();
  startMenu_.hide();
  QApplication::quit();
}

void CMainFrame::SetFullScreen(int on) {
  if (on && !fullScreen_) {
    savedRect_ = frameRect_;
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                                          : QRect(0, 0, 1024, 768);
    frameRect_ = CRect(screen.left(), screen.top(), screen.left() + screen.width(), screen.top() + screen.height());
    fullScreen_ = 1;
    LayoutWorkingWindows();
  } else if (!on && fullScreen_) {
    fullScreen_ = 0;
    frameRect_ = savedRect_;
    LayoutWorkingWindows();
  }
  if (notifyWnd_) PostMessage(notifyWnd_, WM_FULL_SCREEN, static_cast<WPARAM>(fullScreen_),
                              reinterpret_cast<LPARAM>(static_cast<QObject*>(this)));
}

void CMainFrame::LayoutWorkingWindows() { startMenu_.MoveWindow(frameRect_); }

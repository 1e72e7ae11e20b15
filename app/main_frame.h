#pragma once
// CMainFrame: the main program's frame. It is never seen itself; it owns the
// working windows, of which exactly one mode is shown at a time, and
// switches between them on WM_SWITCH_MODE. At creation it makes the data
// folders, creates the working windows, applies the upgrade start-up rules,
// registers the recording hot keys F9/F10 and fixes which camera is the
// "first" and which the "next" one. It starts and stops the screen recorder
// and keeps every record/stop button pair in step with it (also when the
// recorder vanishes without a word), and it keeps the full-screen state that the working windows follow.
//
// On X11 a fully transparent full-screen window would still cover the
// desktop where no compositor runs, so the frame's own window is never
// mapped: its rectangle (the work area, or the screen in full screen) is
// kept here and given to the working windows that follow it. The working
// windows are top-level windows of their own (each with its task-bar entry),
// since an owner that is never mapped could not carry them there.

#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

#include "app/menu_buttons.h"
#include "app/paint_dlg.h"
#include "app/quickcap_dlg.h"
#include "app/rozidez_dlg.h"
#include "platform/window.h"

class CUsbCamera;

// Hot keys of the screen recorder.
constexpr int HOTKEY_START_RECORD = 2024;
constexpr int HOTKEY_STOP_RECORD = 2025;

// The interface through which the camera library may ask whether the frame
// can take camera data; the frames themselves travel by message.
class ICameraDataHandler {
 public:
  virtual ~ICameraDataHandler() = default;
  virtual int OnCameraData(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                           std::uint32_t e) = 0;
};

class CMainFrame : public CWnd, public ICameraDataHandler {
 public:
  enum class Mode { StartMenu, ObjectShow, Annotation, QuickCapture, Ocr, PictureManagement };

  CMainFrame();
  ~CMainFrame() override;

  // Main frame creation: folders, working windows, upgrade rules, hot keys,
  // camera order. `arguments` is the command line after the program name.
  // Always succeeds.
  bool Create(const QStringList& arguments);

  int OnCameraData(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override;

  // The frame's key filter (the start menu hands its Escape here): Escape
  // leaves full screen; Enter and Escape are swallowed.
  bool FilterKeyDown(UINT vk);

  // Full screen on (1) or off (0); tells the registered window.
  void SetFullScreen(int on);
  int IsFullScreen() const { return fullScreen_; }
  // The frame's rectangle in screen coordinates (work area or full screen).
  CRect GetFrameRect() const { return frameRect_; }

  Mode GetMode() const { return mode_; }
  bool IsModeAvailable(Mode mode) const;
  CRozIdezDlg& GetStartMenu() { return startMenu_; }
  CQuickCapDlg& GetQuickCap() { return quickCap_; }
  CPaintDlg& GetPaint() { return paint_; }
  // Every window with a record/stop pair.
  std::vector<IRecordButtons*> RecordButtonPairs();

  // Camera order at start (first and next camera in the camera
  // configuration) for the cameras `camera` lists.
  static void ArrangeCameraOrder(CUsbCamera& camera);
  // The upgrade start-up rules for the command line's arguments.
  void ApplyUpgradeRules(const QStringList& arguments);
  // A new file in today's video folder with the extension of the configured
  // container ("video" "videoType"); empty when no name can be made.
  static std::string ScreenRecordPath();
  // The recorder's argument: the path, followed by "|l,t,r,b" when `area`
  // is not empty.
  static std::string ScreenRecordArgument(const std::string& path, const CRect& area);

  // Screen recording start (from the hot key when `hotKey`) and stop.
  void StartScreenRecord(bool hotKey);
  void StopScreenRecord();

 protected:
  LRESULT OnSwitchMode(WPARAM wParam, LPARAM lParam);
  LRESULT OnFullScreen(WPARAM wParam, LPARAM lParam);
  LRESULT OnRecordStarted(WPARAM wParam, LPARAM lParam);
  LRESULT OnRecordStopped(WPARAM wParam, LPARAM lParam);
  LRESULT OnHotKey(WPARAM wParam, LPARAM lParam);
  LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
  bool PreTranslateKeyDown(UINT vk) override;
  void OnTimer(UINT id) override;

  // How the recorder and upgrader programs are started (tests replace it):
  // true when the program ran.
  virtual bool StartDetached(const std::string& program, const std::string& argument);
  // Opens the settings dialog from the start menu.
  virtual void OpenSettings();

 private:
  void CreateFolders();
  void CreateWorkingWindows();
  void UpdateMenus();
  void SetRecordingState(int recording);
  // Working modes on and off.
  void ModeOn(Mode mode);
  void ModeOff(Mode mode);
  void AllModesOff();
  void BackToStartMenu();
  void Minimize();
  void CloseApplication();
  void LayoutWorkingWindows();

  CRozIdezDlg startMenu_;
  CQuickCapDlg quickCap_;
  CPaintDlg paint_;
  Mode mode_ = Mode::StartMenu;
  int fullScreen_ = 0;
  CRect savedRect_;
  CRect frameRect_;
  HWND notifyWnd_ = nullptr;
  bool hotKeysRegistered_ = false;
};

#pragma once
// The system settings dialog: the main editor of the camera configuration
// file. It chooses the main and the secondary camera with their pixel
// formats and resolutions, the photograph format and naming, the recording
// container and size, and the root folder of all output data. Saving writes
// every key, creates the output folders, renews the thumbnails and tells the
// main window that the data root may have moved (WM_REFRESH_LIBRARY).
//
// The frame, title, captions and buttons are laid out from window block 2
// of the "menu" description-file set; the input controls are plain Qt
// widgets placed at their controls' rectangles. Modal: DoModal answers 1
// after saving, 2 after cancel or close.

#include <QString>

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "contracts/widgetta/gdi_btn.h"
#include "contracts/widgetta/ui_image.h"
#include "overlay/xml_list_mgr.h"
#include "platform/window.h"

class CUsbCamera;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QRadioButton;

// Control numbers of the dialog (window block 2 of the "menu" set).
enum : int {
  IDC_SYSSET_BG = 1,
  IDC_SYSSET_TITLE = 2,
  IDC_SYSSET_CLOSE = 3,
  IDC_SYSSET_OK = 4,
  IDC_SYSSET_CANCEL = 5,
  IDC_SYSSET_GROUP_CAMERA = 10,
  IDC_SYSSET_GROUP_PICTURE = 11,
  IDC_SYSSET_GROUP_VIDEO = 12,
  IDC_SYSSET_MAIN_LABEL = 20,
  IDC_SYSSET_MAIN_CAMERA = 21,
  IDC_SYSSET_MAIN_FORMAT_LABEL = 22,
  IDC_SYSSET_MAIN_FORMAT = 23,
  IDC_SYSSET_MAIN_DPI_LABEL = 24,
  IDC_SYSSET_MAIN_DPI = 25,
  IDC_SYSSET_NEXT_LABEL = 30,
  IDC_SYSSET_NEXT_CAMERA = 31,
  IDC_SYSSET_NEXT_FORMAT_LABEL = 32,
  IDC_SYSSET_NEXT_FORMAT = 33,
  IDC_SYSSET_NEXT_DPI_LABEL = 34,
  IDC_SYSSET_NEXT_DPI = 35,
  IDC_SYSSET_IMAGE_LABEL = 40,
  IDC_SYSSET_BMP = 41,  // the five format radios, in "imageType" order
  IDC_SYSSET_JPG = 42,
  IDC_SYSSET_PNG = 43,
  IDC_SYSSET_GIF = 44,
  IDC_SYSSET_TIF = 45,
  IDC_SYSSET_NAMING_LABEL = 50,
  IDC_SYSSET_BY_TIME = 51,
  IDC_SYSSET_BY_PREFIX = 52,
  IDC_SYSSET_PREFIX = 53,
  IDC_SYSSET_HINT = 54,
  IDC_SYSSET_VIDEO_LABEL = 60,
  IDC_SYSSET_MP4 = 61,
  IDC_SYSSET_FLV = 62,
  IDC_SYSSET_AVI = 63,
  IDC_SYSSET_SIZE_LABEL = 64,
  IDC_SYSSET_SIZE = 65,
  IDC_SYSSET_PATH_LABEL = 70,
  IDC_SYSSET_PATH = 71,
  IDC_SYSSET_BROWSE = 72,
};

class CSysSetDlg : public CWnd {
 public:
  // Without a camera the dialog makes its own (default providers).
  explicit CSysSetDlg(CWnd* parent = nullptr, CUsbCamera* camera = nullptr);
  ~CSysSetDlg() override;

  // The widget of a control number (combo box, radio button, edit field or
  // owner-drawn button); null for numbers the dialog draws itself.
  QWidget* GetDlgItem(int id) const;
  // The hint under the prefix field; empty while no character was refused.
  const QString& GetHintText() const { return hint_; }

  // Saving (the OK button) and leaving without saving.
  void OnOK();
  void OnCancel();

  // The resolution list entry a stored "dpi" stands for in a list of
  // `count` entries of the selected camera and format: an index at or beyond
  // the end is the last entry, -2 the last entry, -3 the entry GetDPI(30)
  // gives, any other negative value the first. -1 for an empty list.
  static int ResolveDpi(CUsbCamera& camera, int dpi, int count);
  // The prefix with every character other than 0-9, a-z, A-Z and '_' removed.
  static QString CleanPrefix(const QString& text);
  // Width and height of a recording size text "w*h"; 640 by 480 when there
  // is no '*' after the first character or a side is not a positive number.
  static CSize ParseVideoSize(const QString& text);

 protected:
  bool OnEraseBkgnd(QPainter& painter) override;
  void OnPaint(QPainter& painter) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  // One camera's three lists and the section of its keys.
  struct CCameraLists {
    QComboBox* camera = nullptr;
    QComboBox* format = nullptr;
    QComboBox* dpi = nullptr;
    std::string_view section;
  };

  void LoadLayout();
  void CreateControls();
  void PlaceWidget(QWidget* widget, int id);
  void DrawCaption(QPainter& painter, int id, const QString* text = nullptr) const;
  void OnInitDialog();

  // Camera lists.
  void FillMainCamera();
  void OnMainCameraChanged();
  void FillNextCamera();
  void OnNextCameraChanged();
  void FillCameraDetails(CCameraLists& lists, int cameraIndex);
  void OnFormatChanged(CCameraLists& lists, int cameraIndex);
  int MainCameraIndex() const;
  int NextCameraIndex() const;
  void EnableLists(CCameraLists& lists, bool enable);

  void OnPrefixChanged(const QString& text);
  void OnBrowse();
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
  void SaveCamera();

  std::unique_ptr<CUsbCamera> ownCamera_;
  std::map<int, QWidget*> items_;
  CUsbCamera* camera_ = nullptr;
  CXmlListMgr xml_;
  CUIImage background_;

  CGdiBtnEx closeBtn_;
  CHdcBtn okBtn_;
  CHdcBtn cancelBtn_;
  CHdcBtn browseBtn_;

  CCameraLists main_;
  CCameraLists next_;
  int cameraCount_ = 0;
  QButtonGroup* imageTypes_ = nullptr;
  QButtonGroup* naming_ = nullptr;
  QButtonGroup* videoTypes_ = nullptr;
  QLineEdit* prefix_ = nullptr;
  QComboBox* videoSize_ = nullptr;
  QLineEdit* path_ = nullptr;
  QString hint_;
  bool cleaning_ = false;
};

#include "app/sysset_dlg.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QPainterPath>
#include <QRadioButton>
#include <QSignalBlocker>

#include "app/app_messages.h"
#include "app/settings.h"
#include "contracts/camera/camera.h"
#include "contracts/fundara/files.h"
#include "contracts/fundara/language.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/thumbs.h"
#include "platform/dialogs.h"

namespace {

// The window block of the dialog in the "menu" description-file set.
constexpr int kWindow = 2;

// Used when the layout gives the dialog no size.
constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 600;

// Shown under the prefix field when characters were refused, unless the
// language file has its own text for the hint control.
const char* const kPrefixHint = "名字只能是字母,数字或下划线组合";

// The recording sizes offered.
const char* const kVideoSizes[] = {"640*480", "800*600", "1280*720"};
constexpr int kFallbackVideoWidth = 640;
constexpr int kFallbackVideoHeight = 480;

// Rows added by the camera library land in a combo box.
class CComboSink : public ICameraListSink {
 public:
  explicit CComboSink(QComboBox* box) : box_(box) {}
  int AddString(const std::string& text) override {
    box_->addItem(QString::fromStdString(text));
    return box_->count() - 1;
  }

 private:
  QComboBox* box_;
};

std::string ToUtf8(const QString& text) { return text.toStdString(); }

// The index of `selector` when it lies inside a list of `count` rows, else 0.
int ClampSelection(int selector, int count) { return selector >= 0 && selector < count ? selector : 0; }

}  // namespace

CSysSetDlg::CSysSetDlg(CWnd* parent, CUsbCamera* camera) : CWnd(nullptr), camera_(camera) {
  if (!camera_) {
    ownCamera_ = std::make_unique<CUsbCamera>();
    camera_ = ownCamera_.get();
  }
  main_.section = camcfg::kFirstCamera;
  next_.section = camcfg::kNextCamera;

  LoadLayout();
  CRect frame = xml_.GetBgRect(IDC_SYSSET_BG);
  const int width = frame.IsRectEmpty() ? kDefaultWidth : frame.Width();
  const int height = frame.IsRectEmpty() ? kDefaultHeight : frame.Height();
  // Centred in the work area.
  const CRect work = GetWorkArea();
  const int left = work.left + (work.Width() - width) / 2;
  const int top = work.top + (work.Height() - height) / 2;
  QString title;
  if (const _MYLANGUAGE* caption = xml_.ResolveCaption(IDC_SYSSET_TITLE).language)
    title = QString::fromStdU16String(caption->value);
  Create(Kind::Popup, title, CRect(left, top, left + width, top + height), parent);
  SetDragByBackground(true);
  CRect unused;
  xml_.LoadGdiImage(background_, unused, IDC_SYSSET_BG);

  CreateControls();
  OnMessage(WM_COMMAND, &CSysSetDlg::OnCommand);
  OnInitDialog();
}

CSysSetDlg::~CSysSetDlg() = default;

void CSysSetDlg::LoadLayout() {
  xml_.LoadSet(u"menu", kWindow);
}

// Moves a Qt widget to its control's rectangle and gives it the control's
// text, font and colour. Without a control it stays hidden.
void CSysSetDlg::PlaceWidget(QWidget* widget, int id) {
  items_[id] = widget;
  const CXmlListMgr::Caption chain = xml_.ResolveCaption(id);
  if (!chain.control || chain.control->rect.IsRectEmpty()) {
    widget->hide();
    return;
  }
  const CRect& r = chain.control->rect;
  widget->setGeometry(r.left, r.top, r.Width(), r.Height());
  widget->setFont(CUICaption::FontOf(chain.font ? chain.font->logfont.get() : nullptr));
  if (chain.language) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, ColorFromRef(chain.language->color));
    widget->setPalette(palette);
    if (auto* radio = qobject_cast<QRadioButton*>(widget))
      radio->setText(QString::fromStdU16String(chain.language->value));
  }
  widget->show();
}

void CSysSetDlg::CreateControls() {
  CRect r;
  xml_.LoadGdiBtn(closeBtn_, r, this, IDC_SYSSET_CLOSE);
  xml_.LoadHdcBtn(okBtn_, r, this, IDC_SYSSET_OK);
  xml_.LoadHdcBtn(cancelBtn_, r, this, IDC_SYSSET_CANCEL);
  xml_.LoadHdcBtn(browseBtn_, r, this, IDC_SYSSET_BROWSE);
  items_[IDC_SYSSET_CLOSE] = &closeBtn_;
  items_[IDC_SYSSET_OK] = &okBtn_;
  items_[IDC_SYSSET_CANCEL] = &cancelBtn_;
  items_[IDC_SYSSET_BROWSE] = &browseBtn_;

  auto combo = [this](int id) {
    auto* box = new QComboBox(this);
    PlaceWidget(box, id);
    return box;
  };
  main_.camera = combo(IDC_SYSSET_MAIN_CAMERA);
  main_.format = combo(IDC_SYSSET_MAIN_FORMAT);
  main_.dpi = combo(IDC_SYSSET_MAIN_DPI);
  next_.camera = combo(IDC_SYSSET_NEXT_CAMERA);
  next_.format = combo(IDC_SYSSET_NEXT_FORMAT);
  next_.dpi = combo(IDC_SYSSET_NEXT_DPI);
  videoSize_ = combo(IDC_SYSSET_SIZE);

  // Three groups of radio buttons; a button's group id is its value.
  auto radios = [this](std::initializer_list<int> ids) {
    auto* group = new QButtonGroup(this);
    int value = 0;
    for (int id : ids) {
      auto* radio = new QRadioButton(this);
      PlaceWidget(radio, id);
      group->addButton(radio, value++);
    }
    return group;
  };
  imageTypes_ = radios({IDC_SYSSET_BMP, IDC_SYSSET_JPG, IDC_SYSSET_PNG, IDC_SYSSET_GIF, IDC_SYSSET_TIF});
  naming_ = radios({IDC_SYSSET_BY_TIME, IDC_SYSSET_BY_PREFIX});
  videoTypes_ = radios({IDC_SYSSET_MP4, IDC_SYSSET_FLV, IDC_SYSSET_AVI});

  prefix_ = new QLineEdit(this);
  PlaceWidget(prefix_, IDC_SYSSET_PREFIX);
  // The data path is chosen with the folder browser only: a typed relative
  // or misspelt path would scatter the teacher's files.
  path_ = new QLineEdit(this);
  path_->setReadOnly(true);
  PlaceWidget(path_, IDC_SYSSET_PATH);

  connect(main_.camera, &QComboBox::currentIndexChanged, this, [this] { OnMainCameraChanged(); });
  connect(next_.camera, &QComboBox::currentIndexChanged, this, [this] { OnNextCameraChanged(); });
  connect(main_.format, &QComboBox::currentIndexChanged, this,
          [this] { OnFormatChanged(main_, MainCameraIndex()); });
  connect(next_.format, &QComboBox::currentIndexChanged, this,
          [this] { OnFormatChanged(next_, NextCameraIndex()); });
  connect(prefix_, &QLineEdit::textChanged, this, [this](const QString& text) { OnPrefixChanged(text); });
  connect(naming_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (id == camcfg::kNameByPrefix) prefix_->setEnabled(checked);
  });
}

QWidget* CSysSetDlg::GetDlgItem(int id) const {
  auto it = items_.find(id);
  return it == items_.end() ? nullptr : it->second;
}

void CSysSetDlg::OnInitDialog() {
  FillMainCamera();

  imageTypes_->button(camcfg::NormaliseImageType(
                          camcfg::ReadInt(camcfg::kOutput, camcfg::kImageType, camcfg::kDefaultImageType)))
      ->setChecked(true);
  path_->setText(QString::fromStdString(GetDataPathEx()));
  prefix_->setText(QString::fromStdString(
      camcfg::ReadString(camcfg::kOutput, camcfg::kImageName, camcfg::kDefaultImageName)));
  // Only 0 names by time; saving writes 1 for every other choice.
  const int nameType = camcfg::ReadInt(camcfg::kOutput, camcfg::kImageNameType, camcfg::kDefaultImageNameType);
  naming_->button(nameType == camcfg::kNameByTime ? camcfg::kNameByTime : camcfg::kNameByPrefix)->setChecked(true);
  prefix_->setEnabled(nameType != camcfg::kNameByTime);

  const QString videoType =
      QString::fromStdString(camcfg::ReadString(camcfg::kVideo, camcfg::kVideoType, camcfg::kDefaultVideoType))
          .toUpper();
  int video = 0;
  if (videoType == QLatin1String(camcfg::kVideoFlv.data(), camcfg::kVideoFlv.size()))
    video = 1;
  else if (videoType == QLatin1String(camcfg::kVideoAvi.data(), camcfg::kVideoAvi.size()))
    video = 2;
  videoTypes_->button(video)->setChecked(true);

  for (const char* size : kVideoSizes) videoSize_->addItem(QString::fromLatin1(size));
  const QString stored = QStringLiteral("%1*%2")
                             .arg(camcfg::ReadInt(camcfg::kVideo, camcfg::kWidth, 0))
                             .arg(camcfg::ReadInt(camcfg::kVideo, camcfg::kHeight, 0));
  videoSize_->setCurrentIndex(videoSize_->findText(stored, Qt::MatchExactly));
}

// ---------------------------------------------------------------------------
// Camera lists

int CSysSetDlg::MainCameraIndex() const { return main_.camera->currentIndex(); }

// The secondary list leaves out the main camera: positions at or after the
// main camera's index stand for the camera one further on.
int CSysSetDlg::NextCameraIndex() const {
  const int position = next_.camera->currentIndex();
  if (position < 0) return -1;
  return position >= MainCameraIndex() ? position + 1 : position;
}

void CSysSetDlg::EnableLists(CCameraLists& lists, bool enable) {
  lists.camera->setEnabled(enable);
  lists.format->setEnabled(enable);
  lists.dpi->setEnabled(enable);
}

void CSysSetDlg::FillMainCamera() {
  {
    const QSignalBlocker block(main_.camera);
    main_.camera->clear();
    CComboSink sink(main_.camera);
    cameraCount_ = camera_->GetAllCamera(sink);
  }
  if (cameraCount_ < 1) {
    EnableLists(main_, false);
    EnableLists(next_, false);
    return;
  }
  EnableLists(main_, true);
  const int first = camcfg::ReadInt(camcfg::kFirstCamera, camcfg::kSerialId, 0);
  {
    const QSignalBlocker block(main_.camera);
    main_.camera->setCurrentIndex(ClampSelection(first, cameraCount_));
  }
  OnMainCameraChanged();
}

void CSysSetDlg::OnMainCameraChanged() {
  FillCameraDetails(main_, MainCameraIndex());
  FillNextCamera();
}

void CSysSetDlg::FillNextCamera() {
  const int mainIndex = MainCameraIndex();
  {
    const QSignalBlocker block(next_.camera);
    next_.camera->clear();
    for (int i = 0; i < main_.camera->count(); ++i)
      if (i != mainIndex) next_.camera->addItem(main_.camera->itemText(i));
  }
  if (cameraCount_ < 2) {
    const QSignalBlocker blockFormat(next_.format);
    const QSignalBlocker blockDpi(next_.dpi);
    next_.format->clear();
    next_.dpi->clear();
    EnableLists(next_, false);
    return;
  }
  EnableLists(next_, true);
  int position = ClampSelection(camcfg::ReadInt(camcfg::kNextCamera, camcfg::kSerialId, 0), cameraCount_);
  if (position > mainIndex) --position;
  // A stored secondary camera equal to the last camera chosen as main
  // would point past the shortened list.
  position = ClampSelection(position, next_.camera->count());
  {
    const QSignalBlocker block(next_.camera);
    next_.camera->setCurrentIndex(position);
  }
  OnNextCameraChanged();
}

void CSysSetDlg::OnNextCameraChanged() { FillCameraDetails(next_, NextCameraIndex()); }

void CSysSetDlg::FillCameraDetails(CCameraLists& lists, int cameraIndex) {
  const QSignalBlocker blockFormat(lists.format);
  const QSignalBlocker blockDpi(lists.dpi);
  lists.format->clear();
  lists.dpi->clear();
  if (cameraIndex < 0) return;
  const std::string dpiType = camcfg::ReadString(lists.section, camcfg::kDpiType, camcfg::kAnyDpiType);
  camera_->ReadCameraDPI(cameraIndex, dpiType);
  CComboSink formats(lists.format);
  camera_->GetCameraDPITypeList(formats);
  // The format the resolution list belongs to is shown selected: the stored
  // one when the camera offers it ("YUYV" and "YUY2" alike), else (":" or a
  // format it lacks) the camera's default, which is what it opens.
  const std::uint32_t wanted = PixelFormatFromName(camera_->GetSelDPIType());
  int shown = -1;
  for (int i = 0; wanted != 0 && shown < 0 && i < lists.format->count(); ++i)
    if (PixelFormatFromName(ToUtf8(lists.format->itemText(i))) == wanted) shown = i;
  lists.format->setCurrentIndex(shown);
  CComboSink sizes(lists.dpi);
  const int count = camera_->GetCurCameraDPIList(sizes);
  if (count > 0)
    lists.dpi->setCurrentIndex(ResolveDpi(*camera_, camcfg::ReadInt(lists.section, camcfg::kDpi, 0), count));
  else
    lists.dpi->setCurrentIndex(-1);
}

void CSysSetDlg::OnFormatChanged(CCameraLists& lists, int cameraIndex) {
  const QSignalBlocker blockDpi(lists.dpi);
  lists.dpi->clear();
  if (cameraIndex < 0 || lists.format->currentIndex() < 0) return;
  const std::string format = ToUtf8(lists.format->currentText());
  // The camera library keeps one selected camera; after filling the other
  // camera's lists it may be that one, so this camera is selected again.
  camera_->ReadCameraDPI(cameraIndex, format);
  camera_->SetCurDPIType(format);
  CComboSink sizes(lists.dpi);
  if (camera_->GetCurCameraDPIList(sizes) > 0) lists.dpi->setCurrentIndex(0);
}

int CSysSetDlg::ResolveDpi(CUsbCamera& camera, int dpi, int count) {
  if (count <= 0) return -1;
  // The entry the camera library opens for the selector (an index at or
  // beyond the end is the last entry, -2 the last, -3 the one suiting 30 dpi,
  // -4 the largest picture, other negatives the first), so that saving the
  // settings unchanged keeps the resolution in use.
  return ClampSelection(camera.ResolveSelector(dpi), count);
}

// ---------------------------------------------------------------------------
// Picture naming and data path

QString CSysSetDlg::CleanPrefix(const QString& text) {
  QString cleaned;
  cleaned.reserve(text.size());
  for (QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'_')
      cleaned.append(c);
  }
  return cleaned;
}

void CSysSetDlg::OnPrefixChanged(const QString& text) {
  if (cleaning_) return;
  hint_.clear();
  const QString cleaned = CleanPrefix(text);
  if (cleaned != text) {
    cleaning_ = true;
    prefix_->setText(cleaned);
    cleaning_ = false;
    prefix_->setCursorPosition(static_cast<int>(cleaned.size()));
    const _MYLANGUAGE* language = xml_.ResolveCaption(IDC_SYSSET_HINT).language;
    hint_ = language && !language->value.empty() ? QString::fromStdU16String(language->value)
                                                  : QString::fromUtf8(kPrefixHint);
  }
  update();
}

void CSysSetDlg::OnBrowse() {
  const QString title = QString::fromStdString(GetLanguageText("shuchulujing", "请选择输出数据路径："));
  QString folder = ChooseFolder(this, title, path_->text());
  if (folder.isEmpty()) return;
  // One trailing separator goes; the root folder keeps its only one.
  if (folder.size() > 1 && (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))))
    folder.chop(1);
  path_->setText(folder);
}

// ---------------------------------------------------------------------------
// Saving

CSize CSysSetDlg::ParseVideoSize(const QString& text) {
  const CSize fallback(kFallbackVideoWidth, kFallbackVideoHeight);
  const qsizetype star = text.indexOf(QLatin1Char('*'), 1);
  if (star < 0) return fallback;
  // Decimal values like atoi: leading blanks and a sign, digits up to the
  // first other character.
  auto number = [](const QString& part) {
    const std::string s = ToUtf8(part);
    return std::atoi(s.c_str());
  };
  const int width = number(text.left(star));
  const int height = number(text.mid(star + 1));
  // A size the recorders cannot make a picture of is not stored.
  if (width <= 0 || height <= 0) return fallback;
  return CSize(width, height);
}

void CSysSetDlg::SaveCamera() {
  using namespace camcfg;
  const int mainIndex = MainCameraIndex();
  // A list without a selection (no camera attached) leaves its key as it
  // was: -1 is no camera index and no resolution.
  if (mainIndex >= 0) WriteInt(kFirstCamera, kSerialId, mainIndex);
  if (main_.dpi->currentIndex() >= 0) WriteInt(kFirstCamera, kDpi, main_.dpi->currentIndex());
  if (main_.format->currentIndex() >= 0) WriteString(kFirstCamera, kDpiType, ToUtf8(main_.format->currentText()));

  int nextIndex = NextCameraIndex();
  if (nextIndex < 0) {
    // No second camera to choose: the next camera is the one that will
    // be found beside the main camera, as start-up also assumes.
    const int first = mainIndex >= 0 ? mainIndex : ReadInt(kFirstCamera, kSerialId, 0);
    nextIndex = first == 0 ? 1 : 0;
  }
  WriteInt(kNextCamera, kSerialId, nextIndex);
  if (next_.dpi->currentIndex() >= 0) WriteInt(kNextCamera, kDpi, next_.dpi->currentIndex());
  if (next_.format->currentIndex() >= 0) WriteString(kNextCamera, kDpiType, ToUtf8(next_.format->currentText()));
}

void CSysSetDlg::OnOK() {
  using namespace camcfg;
  SaveCamera();

  WriteString(kOutput, kImageName, ToUtf8(prefix_->text()));
  WriteInt(kOutput, kImageNameType, naming_->checkedId() == kNameByTime ? kNameByTime : kNameByPrefix);
  const int imageType = imageTypes_->checkedId();
  WriteInt(kOutput, kImageType, imageType >= 0 ? imageType : kDefaultImageType);
  WriteString(kOutput, kDataPath, ToUtf8(path_->text()));

  // The folders below the (possibly new) data root.
  for (const std::string& folder :
       {GetDataPathEx(), GetDataLibPath(), GetDataPicPath(), GetDataVideoPath(), GetDataAbstractPath()})
    CreateDir(folder);

  CThumbs thumbs;
  thumbs.DelAllThumb();
  thumbs.NewAllThumbs();
  if (CWnd* mainWnd = GetMainWnd()) PostMessage(mainWnd, WM_REFRESH_LIBRARY);

  const int video = videoTypes_->checkedId();
  WriteString(kVideo, kVideoType, video == 0 ? kVideoMp4 : video == 2 ? kVideoAvi : kVideoFlv);
  const CSize size = ParseVideoSize(videoSize_->currentText());
  WriteInt(kVideo, kWidth, size.cx);
  WriteInt(kVideo, kHeight, size.cy);

  EndDialog(1);
}

void CSysSetDlg::OnCancel() { EndDialog(2); }

LRESULT CSysSetDlg::OnCommand(WPARAM wParam, LPARAM) {
  if (HIWORD(wParam) != BN_CLICKED) return 0;
  switch (LOWORD(wParam)) {
    case IDC_SYSSET_OK: OnOK(); break;
    case IDC_SYSSET_CANCEL:
    case IDC_SYSSET_CLOSE: OnCancel(); break;
    case IDC_SYSSET_BROWSE: OnBrowse(); break;
    default: break;
  }
  return 0;
}

void CSysSetDlg::closeEvent(QCloseEvent* e) {
  // Closing the window is a cancel (the base would end the loop with 0).
  if (InModalLoop()) EndDialog(2);
  QWidget::closeEvent(e);
}

// ---------------------------------------------------------------------------
// Painting

bool CSysSetDlg::OnEraseBkgnd(QPainter& painter) {
  if (!background_.IsNull()) {
    painter.drawImage(rect(), background_.GetImage());
  } else {
    painter.fillRect(rect(), ui_style::kPaper);
    const CRect title = xml_.GetBgRect(IDC_SYSSET_TITLE);
    painter.fillRect(QRect(0, 0, width(), title.IsRectEmpty() ? 48 : title.bottom), ui_style::kTile);
  }
  return true;
}

// Draws a control's caption; its text rectangle is relative to the control.
void CSysSetDlg::DrawCaption(QPainter& painter, int id, const QString* text) const {
  const CXmlListMgr::Caption chain = xml_.ResolveCaption(id);
  if (!chain.control) return;
  CUICaption caption;
  caption.Set(chain.control, chain.language, chain.font);
  if (text) caption.SetText(*text);
  const CRect& r = chain.control->rect;
  painter.save();
  painter.translate(r.left, r.top);
  caption.Draw(painter, QRect(0, 0, r.Width(), r.Height()));
  painter.restore();
}

void CSysSetDlg::OnPaint(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing, true);
  for (int id : {IDC_SYSSET_GROUP_CAMERA, IDC_SYSSET_GROUP_PICTURE, IDC_SYSSET_GROUP_VIDEO}) {
    const CRect r = xml_.GetBgRect(id);
    if (r.IsRectEmpty()) continue;
    QPainterPath frame;
    frame.addRoundedRect(QRectF(r.left + 0.5, r.top + 0.5, r.Width() - 1, r.Height() - 1), 6, 6);
    painter.fillPath(frame, Qt::white);
    painter.setPen(QColor(0xC8, 0xD0, 0xD8));
    painter.drawPath(frame);
    DrawCaption(painter, id);
  }
  for (int id : {IDC_SYSSET_TITLE, IDC_SYSSET_MAIN_LABEL, IDC_SYSSET_MAIN_FORMAT_LABEL, IDC_SYSSET_MAIN_DPI_LABEL,
                 IDC_SYSSET_NEXT_LABEL, IDC_SYSSET_NEXT_FORMAT_LABEL, IDC_SYSSET_NEXT_DPI_LABEL,
                 IDC_SYSSET_IMAGE_LABEL, IDC_SYSSET_NAMING_LABEL, IDC_SYSSET_VIDEO_LABEL, IDC_SYSSET_SIZE_LABEL,
                 IDC_SYSSET_PATH_LABEL})
    DrawCaption(painter, id);
  if (!hint_.isEmpty()) DrawCaption(painter, IDC_SYSSET_HINT, &hint_);
}

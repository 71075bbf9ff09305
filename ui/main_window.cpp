#include "ui/main_window.h"

#include <QComboBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QStandardItemModel>
#include <QTreeView>
#include <algorithm>
#include <array>
#include <cstdio>

#include "app/file_routines.h"
#include "app/job_outcome.h"
#include "app/notify.h"
#include "app/program_state.h"
#include "app/quillox_app.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "flow/create_flow.h"
#include "image/ic_type_ini.h"
#include "image/image_load.h"
#include "image/image_parse.h"
#include "image/image_version.h"
#include "platform/clock.h"
#include "platform/prompter.h"
#include "platform/system_restart.h"
#include "platform/usb_host.h"
#include "ui/core/flow_facts.h"
#include "ui/core/restart_list.h"
#include "ui/password_dialog.h"

namespace {

constexpr char kControlId[] = "controlId";
constexpr char kUpdateVersionPrefix[] = "Update FW version:";
constexpr std::uint32_t kCloseDelayMs = 128;
constexpr int kBusPollMs = 1000;
// Template 146 is 336 x 134 dialog units: 504 x 218 pixels in the template
// font. Initialisation takes 40 pixels off the height.
constexpr int kWidth = 504;
constexpr int kHeight = 218;
constexpr int kHeightCut = 40;
constexpr int kStatusRaise = 35;
constexpr int kOutcomePixels = 24;
constexpr int kRunningPixels = 14;
const QColor kPassColour(0, 255, 0);
const QColor kFailColour(255, 0, 0);
const QColor kRunningColour(215, 220, 228);  // neutral: a job runs, nothing is decided yet
constexpr int kOtpMemory = 6;

// The memory types that have a front end.
bool HasFrontEnd(int memoryType) {
  return memoryType == 0 || memoryType == 1 || memoryType == 2 || memoryType == 3 || memoryType == kOtpMemory;
}

// The family of the image against the chip's, as the flows' image check
// holds them: 8 and 9 count as one except for OTP.
bool SameFamily(std::uint8_t image, std::uint8_t chip) {
  if (image == chip) return true;
  return MemoryType != kOtpMemory && ((image == 8 && chip == 9) || (image == 9 && chip == 8));
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string Format(const char* format, unsigned a, unsigned b, unsigned c) {
  char text[128];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

bool VidPidCheckConfigured() {
  return setting::Get(setting::kCheckVidPidIni) != 0 || setting::Get(setting::kCheckVidPidBin) != 0;
}

// What the window knows of a download's end.
JobOutcome WindowOutcome(const FlowFacts& facts, bool pass, int status) {
  JobOutcome outcome;
  outcome.action = "write";
  SetJobStatus(outcome, status);
  outcome.pass = pass;
  outcome.burnSerial = facts.manufacturer;
  return outcome;
}

const FlowFacts& FactsOf(const WindowMessage& message) {
  static const FlowFacts none;
  return message.facts ? *message.facts : none;
}

}  // namespace

CTessaload_AllInOne_VxproxyDlg::CTessaload_AllInOne_VxproxyDlg(WindowServices services, QWidget* parent)
    : QDialog(parent),
      services_(std::move(services)),
      clock_(services_.context.usbHost ? services_.context.usbHost->HostClock() : platform::SystemClock()),
      jobs_(clock_) {
  mailbox_.SetWaker([this] { QMetaObject::invokeMethod(this, [this] { Deliver(); }, Qt::QueuedConnection); });
  mailbox_.SetAnnotator([this](WindowMessage& m) {
    if (m.id == kMsgFailure || m.id == kMsgSuccess || m.id == kMsgDeviceInfo || m.id == kMsgLoopRunEnded)
      m.facts = std::make_shared<const FlowFacts>(TakeFlowFacts(flowHost_));
  });
  SetNotifySink(&mailbox_);
  SetFlowHost(&flowHost_);
  BuildControls();
  InitDialog();
}

CTessaload_AllInOne_VxproxyDlg::~CTessaload_AllInOne_VxproxyDlg() { CleanUp(); }

QWidget* CTessaload_AllInOne_VxproxyDlg::Control(int id) const {
  for (QWidget* w : findChildren<QWidget*>())
    if (w->property(kControlId).toInt() == id) return w;
  return nullptr;
}

void CTessaload_AllInOne_VxproxyDlg::BuildControls() {
  setFixedSize(kWidth, kHeight);
  const auto place = [this](QWidget* w, int id, int x, int y, int width, int height) {
    w->setParent(this);
    w->setGeometry(x, y, width, height);
    if (id) {
      w->setProperty(kControlId, id);
      w->setObjectName(QString("control%1").arg(id));
    }
    return w;
  };
  deviceLabel_ = new QLabel("N/A:");
  place(deviceLabel_, 1143, 10, 13, 70, 20);
  devices_ = new QComboBox;
  // The list shows each codec's USB location and serial number beside its
  // identity text; the combo shows the identity text (column 0).
  deviceModel_ = new QStandardItemModel(0, 3, devices_);
  devices_->setModel(deviceModel_);
  auto* deviceView = new QTreeView;
  deviceView->setHeaderHidden(true);
  deviceView->setRootIsDecorated(false);
  deviceView->setAllColumnsShowFocus(true);
  devices_->setView(deviceView);
  place(devices_, 1050, 85, 10, 260, 26);
  outcome_ = new QLabel("N/A");
  outcome_->setAlignment(Qt::AlignCenter);
  outcome_->setAutoFillBackground(true);
  outcome_->setWordWrap(true);
  place(outcome_, 1016, 360, 10, 134, 86);
  getVersion_ = new QPushButton("Get Version");
  place(getVersion_, 1004, 10, 44, 90, 26);
  fwVersionLabel_ = new QLabel("N/A");
  place(fwVersionLabel_, 1188, 10, 44, 90, 26);
  version_ = new QLabel("Ver: ");
  place(version_, 1030, 10, 44, 90, 26);
  family_ = new QLabel("N/A");
  place(family_, 1069, 308, 47, 45, 20);
  serialLabel_ = new QLabel("Current SN:");
  place(serialLabel_, 0, 10, 76, 80, 20);
  serial_ = new QLabel("Static");
  place(serial_, 1028, 95, 76, 110, 20);
  total_ = new QLabel("Total");
  place(total_, 1071, 210, 76, 35, 20);
  runsLeftEdit_ = new QLineEdit;
  runsLeftEdit_->setValidator(new QIntValidator(0, 99999, runsLeftEdit_));
  runsLeftEdit_->setText(QString::number(runsLeft_.load()));
  place(runsLeftEdit_, 1009, 248, 74, 40, 24);
  loopLabel_ = new QLabel("Left:");
  place(loopLabel_, 1011, 292, 76, 62, 20);
  imageSource_ = new QLineEdit;
  imageSource_->setReadOnly(true);
  place(imageSource_, 1000, 10, 104, 335, 24);
  browse_ = new QPushButton("Browser");
  browse_->hide();
  place(browse_, 1001, 360, 134, 60, 24);
  start_ = new QPushButton("Start");
  start_->setAutoDefault(false);
  place(start_, 1003, 360, 102, 134, 30);
  password_ = new QLineEdit;
  password_->setEnabled(false);
  place(password_, 1137, 10, 160, 100, 24);
  progress_ = new QProgressBar;
  progress_->setRange(0, 100);
  progress_->setTextVisible(false);
  place(progress_, 1031, 10, 134, 335, 18);
  statusLabel_ = new QLabel("Status: ");
  place(statusLabel_, 1189, 10, 190, 55, 20);
  status_ = new QLabel("Static");
  place(status_, 1033, 68, 190, 426, 20);
  for (QWidget* w : LoopTestControls()) w->hide();

  connect(start_, &QPushButton::clicked, this, [this] { OnStart(false); });
  // The loop test's total: what the operator enters is the number of runs;
  // the loop text counts them down.
  connect(runsLeftEdit_, &QLineEdit::textChanged, this, [this](const QString& total) {
    runsLeft_ = total.toInt();
    loopText_ = "Left : " + std::to_string(runsLeft_.load());
    loopLabel_->setText(Q(loopText_));
  });
  connect(devices_, &QComboBox::activated, this, [this](int position) { OnDeviceChosen(position); });
}

std::array<QWidget*, 3> CTessaload_AllInOne_VxproxyDlg::LoopTestControls() const {
  return {runsLeftEdit_, total_, loopLabel_};
}

void CTessaload_AllInOne_VxproxyDlg::InitDialog() {
  setWindowTitle(Q("USB Audio FW Update Tool " + services_.context.versionText));
  QFont bold = outcome_->font();
  bold.setPixelSize(kOutcomePixels);
  bold.setBold(true);
  outcome_->setFont(bold);
  identityCheck_ = 1;
  family_->hide();
  loopTest_ = setting::Get(setting::kLoopTest);
  if (loopTest_)
    for (QWidget* w : LoopTestControls()) w->show();
  // Device arrival and removal come from the USB host, on a thread of its own
  // or on whichever thread looks at the bus; they are posted like any message.
  if (platform::UsbHost* host = services_.context.usbHost) {
    host->SetHotplugCallback([this](bool arrived, std::uint32_t instance) {
      mailbox_.Post(kMsgDeviceChange, arrived ? kDeviceArrival : kDeviceRemoval, std::intptr_t(instance));
    });
    if (services_.context.pollHotplug) {
      connect(&busPoll_, &QTimer::timeout, this, [this] { PollBus(); });
      busPoll_.start(kBusPollMs);
    }
  }
  resultLog_ = setting::Get(setting::kLogType);
  worker_ = std::make_unique<CVexThread>(jobs_, [this] { mailbox_.Post(kMsgWorkerIdle, 0, 0); });
  workerExists_ = true;
  if (setting::Get(setting::kRtd3) != 0 && services_.audio)
    wakeUp_ = std::make_unique<CWakeUpThread>(*services_.audio, platform::SystemClock());
  UpdateControls(false);
  flowHost_.SetAutoRunEvent(false);
  if (CDevFlow* flow = CurrentFlow()) flow->DEV_GetDefaultDeviceForAllInOne();
  autoRun_ = setting::Get(setting::kAutoRun);
  resultFileMode_ = setting::Get(setting::kSaveResultToFile);
  deviceLabel_->setText("Audio IC:");
  fwVersionLabel_->hide();
  password_->hide();
  for (QWidget* w : std::initializer_list<QWidget*>{statusLabel_, status_}) w->move(w->x(), w->y() - kStatusRaise);
  fwVersionLabel_->setText("Fw Version");
  getVersion_->hide();
  const QRect place = getVersion_->geometry();
  version_->setGeometry(QRect(QPoint(place.left() + 8, place.top()), QPoint(place.right() + 200, place.bottom())));
  // The window opens at the template's size and may be enlarged.
  baseSize_ = QSize(kWidth, kHeight - kHeightCut);
  setMinimumSize(baseSize_);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  resize(baseSize_);
  const int outcomeBottom = outcome_->geometry().bottom();
  for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!w->property(kControlId).isValid() && w != serialLabel_) continue;
    const QRect r = w->geometry();
    const bool isOutcome = w == outcome_;
    const bool below = !isOutcome && r.top() > outcomeBottom;
    placements_.push_back({w, r, isOutcome, below, w == start_ || w == status_});
  }
  WriteControls();
}

void CTessaload_AllInOne_VxproxyDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (baseSize_.isEmpty()) return;
  const int dx = std::max(0, width() - baseSize_.width());
  const int dy = std::max(0, height() - baseSize_.height());
  for (const Placement& p : placements_) {
    QRect r = p.base;
    if (p.grows) r.adjust(0, 0, dx, dy);
    if (p.movesDown) r.translate(0, dy);
    if (p.widens) r.adjust(0, 0, dx, 0);
    p.widget->setGeometry(r);
  }
}

// --- messages ------------------------------------------------------------------------

void CTessaload_AllInOne_VxproxyDlg::Deliver() {
  mailbox_.Deliver([this](const WindowMessage& m) { Handle(m); });
}

void CTessaload_AllInOne_VxproxyDlg::Handle(const WindowMessage& m) {
  switch (m.id) {
    case kMsgWorkerEnded:
      OnWorkerEnded();
      break;
    case kMsgProgress:
      progress_->setValue(int(m.wparam));
      break;
    case kMsgFailure:
      OnFailure(int(m.wparam), FactsOf(m));
      break;
    case kMsgSuccess:
      OnSuccess(FactsOf(m));
      break;
    case kMsgPhase:
      if (m.wparam) statusText_ = StatusText(int(m.wparam));
      WriteControls();
      break;
    case kMsgDeviceInfo:
      OnDeviceInfo(int(m.wparam), m.lparam, FactsOf(m));
      break;
    case kMsgCommand:
      if (m.wparam == kIdStart) OnStart(m.lparam == kStartOfLoopRun);
      break;
    case kMsgClose:
      OnClosing();
      break;
    case kMsgDeviceChange:
      OnDeviceChange(m.wparam == kDeviceArrival, std::uint32_t(m.lparam));
      break;
    case kMsgSetLoopText:
      loopText_ = m.text;
      break;
    case kMsgSetOutcomeText:
      outcomeText_ = m.text;
      break;
    case kMsgDisableStart:
      start_->setEnabled(false);
      break;
    case kMsgWorkerIdle:
      if (startDeferred_) OnStart(deferredLoopRun_);
      break;
    case kMsgLoopRunEnded:
      versionText_ = VersionTextOf(FactsOf(m));
      WriteControls();
      break;
    default:
      break;  // 0x41F and the rest have no handler
  }
}

void CTessaload_AllInOne_VxproxyDlg::DisableStart() { mailbox_.Post(kMsgDisableStart, 0, 0); }

void CTessaload_AllInOne_VxproxyDlg::SetLoopText(const std::string& text) {
  mailbox_.Post(WindowMessage{kMsgSetLoopText, 0, 0, text, {}});
}

void CTessaload_AllInOne_VxproxyDlg::PostStart() { mailbox_.Post(kMsgCommand, kIdStart, kStartOfLoopRun); }

void CTessaload_AllInOne_VxproxyDlg::LoopRunEnded() { mailbox_.Post(kMsgLoopRunEnded, 0, 0); }

// --- Start -----------------------------------------------------------------------------

void CTessaload_AllInOne_VxproxyDlg::OnStart(bool loopRun) {
  TraceScope scope("CTessaload_AllInOne_VxproxyDlg::OnBnClickedButtonStart", kTraceEntryPoints);
  if (busy_) {
    stop_.RequestStop();  // a Start while busy cancels the running job
    return;
  }
  if (closing_ || !workerExists_) return;
  // The flow object is replaced below; the worker must not be using it. The
  // Start runs when the worker's last waiting job has ended.
  startDeferred_ = worker_->Busy();
  deferredLoopRun_ = loopRun;
  if (startDeferred_) return;

  const CDevFlow* device = CurrentFlow();
  if (!device) return;
  CImageJob job;
  int refusal = ChooseImage(*device, job, !loopRun);
  if (refusal == kStartStops) return;

  ReadControls();
  if (runsLeft_ == 0) return;
  // The image decides the memory type, and so the flow that writes it.
  CDevFlow* flow = refusal ? nullptr : CreateFlowForJob(std::move(job));
  if (!refusal && !flow) refusal = kStsNotSupport;
  if (loopTest_) {
    --runsLeft_;
    loopText_ = "Left : " + std::to_string(runsLeft_.load());
  }
  lastOutcome_ = 0;
  outcomeText_ = "N/A";
  statusText_ = "Begin to Download";
  if (setting::Get(setting::kDebugLog) == 0 && DevLib_GetLibType() == 1) {
    statusText_ = "Change Download Lib Type";
    TraceLine(scope, "Change Download Lib Type\n");
  }
  jobRunning_ = true;
  UpdateControls(true);
  WriteControls();
  stop_.ResetStop();
  if (resultFileMode_) {
    const std::string folder =
        services_.resultFolder.empty() ? ProgramFolderPathWithSeparator() : services_.resultFolder + "/";
    resultFile_.Create(folder + "Result.txt");
  }
  if (refusal) {
    // Refused before the codec is touched: the outcome says why, and no
    // device job follows.
    TracePrint(scope, "%s", kTraceSeparator);
    TracePrint(scope, "%s\n", StatusText(refusal).c_str());
    LastStatusCode = refusal;
    OnFailure(refusal, TakeFlowFacts(flowHost_), false);
    return;
  }
  if (!PasswordAccepted(*flow)) {
    resultFile_.Close();
    UpdateControls(false);
    return;
  }
  worker_->PostDownload(*this);
}

int CTessaload_AllInOne_VxproxyDlg::ChooseImage(const CDevFlow& device, CImageJob& job, bool checkVersion) {
  const std::string source = imageSource_->text().toStdString();
  if (!source.empty() && source.find(kUpdateVersionPrefix) == std::string::npos) {
    // A file named in the image field; it must load, or nothing is written.
    job.fileName = source;
    if (!LoadFileData(job)) return kStsLoadFileDataFail;
  } else {
    const int id = ICTypeStore().FindImageId(DeviceImageName(flowHost_.SelectedDeviceText()));
    if (!(id && LoadBuiltInImage(job, id))) LoadDefaultImage(job, ICTypeStore());
    if (job.builtInImage.empty()) return kStsLoadFileDataFail;  // no built-in image for the device
    // The version check holds the image that will be written against the
    // device's running firmware. The loop test's own runs repeat the image
    // the first run wrote, so only the operator's Start is checked.
    if (checkVersion) {
      std::string text;
      FwVersion version{};
      GetImageVersion(job.builtInImage, text, version);
      const UpdateVerdict verdict = CompareForUpdate(version, device.deviceVersion);
      if (verdict != UpdateVerdict::kProceed) {
        const platform::PromptAnswer answer = ShowUpdateRefusal(verdict, platform::CurrentPrompter());
        if (verdict == UpdateVerdict::kOlderVersion && answer == platform::PromptAnswer::Ok)
          mailbox_.Post(kMsgClose, 0, 0);
        return kStartStops;
      }
    }
    job.image = job.builtInImage;
    job.imageCopy = job.builtInImage;
    job.builtInImage.clear();
  }
  // Each image is located as at start-up: its storage kind sets the memory type.
  MemoryType = 0;
  if (!ParseImage(job, ICTypeStore())) return kStsParseFwFileFail;
  if (!HasFrontEnd(MemoryType)) return kStsNotSupport;
  if (!SameFamily(job.ImageFamily, ICTypeStore().ChipInfo())) return kStsFwNotForDevice;
  return 0;
}

CDevFlow* CTessaload_AllInOne_VxproxyDlg::CreateFlowForJob(CImageJob job) {
  const CDevFlow* old = CurrentFlow();
  if (!old) return nullptr;
  // What device selection found stays with the chosen device; the job
  // record travels through CreateFlow itself.
  const int index = old->defaultIndex;
  const int position = old->defaultListPosition;
  const int listCheck = old->listCheckResult;
  const std::uint8_t register1 = old->chipRegister1, register2 = old->chipRegister2;
  const std::string versionText = old->updateVersionText;
  const FwVersion imageVersion = old->imageVersion;
  const CDevFlow::ConfigFlags imageFlags = old->imageFlags;
  const std::uint32_t otpUsed = old->otpUsedSpace;
  CreateFlow(true);
  CDevFlow* flow = CurrentFlow();
  if (!flow) return nullptr;
  flowHost_.RememberedLocation(flow->port, flow->parentInstance);
  flow->defaultIndex = index;
  flow->defaultListPosition = position;
  flow->listCheckResult = listCheck;
  flow->chipRegister1 = register1;
  flow->chipRegister2 = register2;
  flow->updateVersionText = versionText;
  flow->imageVersion = imageVersion;
  flow->imageFlags = imageFlags;
  flow->otpUsedSpace = otpUsed;
  flow->download = std::move(job);
  flow->LocateConfig(&flow->download.image, 0);
  // With an image file, the result log prints the serial-number label as the
  // unit's serial number.
  if (!flow->download.fileName.empty()) flow->manufacturer = serial_->text().toStdString();
  return flow;
}

bool CTessaload_AllInOne_VxproxyDlg::PasswordAccepted(const CDevFlow& flow) {
  const std::string expected = setting::OtpPassword();
  if (expected.empty() || flow.otpUsedSpace == 0) return true;
  const std::optional<std::string> typed = AskOtpPassword(this);
  if (!typed) {
    platform::CurrentPrompter().Show("請輸入正確密碼才可進行二次烧录");
    return false;
  }
  if (*typed != expected) {
    platform::CurrentPrompter().Show("密碼輸入錯誤.(請注意大小字母會有差異)");
    return false;
  }
  return true;
}

// --- outcomes ----------------------------------------------------------------------------

void CTessaload_AllInOne_VxproxyDlg::OnSuccess(const FlowFacts& facts) {
  ShowOutcome("PASS");
  progress_->setValue(0);
  lastOutcome_ = 1;
  jobEnded_ = true;
  jobStatus_ = 0;
  if (NeedsHostRestart(flowHost_.SelectedDeviceText())) {
    const platform::PromptAnswer answer = platform::CurrentPrompter().Ask(
        "Restart Windows System?", "Warning", platform::PromptKind::YesNo, platform::PromptAnswer::No);
    if (answer == platform::PromptAnswer::Yes) {
      std::string error;
      if (services_.restart && !services_.restart->Request(error)) platform::CurrentPrompter().Show(error);
      return;
    }
  }
  if (resultLog_) AppendBurnResultRow(WindowOutcome(facts, true, 0));
  if (workerExists_) {
    if (loopTest_ && runsLeft_ == 0) {
      worker_->Post(kJobCloseDevice);
      worker_->Post(kJobDeviceList, 0);
      deviceReady_ = 0;
    } else if (!loopTest_) {
      worker_->Post(kJobCloseDevice);
      deviceReady_ = 0;
      worker_->Post(kJobDeviceList, 1);
      if (resultFileMode_ == 1) resultFile_.Write(ResultWord(true));
      if (resultFileMode_ == 2)
        resultFile_.Write(Format("After Download,TestResult = pass, VID is 0x%04x, PID is 0x%04x, Rev is 0x%04x\n",
                                 facts.vid, facts.pid, facts.rev));
      resultFile_.Close();
      if (setting::Get(setting::kAutoRun) == 2) worker_->PostQuit();  // the program ends
    }
  }
  UpdateControls(false);
  stop_.ResetStop();
}

void CTessaload_AllInOne_VxproxyDlg::OnFailure(int status, const FlowFacts& facts, bool deviceJob) {
  ShowOutcome("FAIL");
  progress_->setValue(0);
  lastOutcome_ = 2;
  failureText_ = StatusText(status);
  jobEnded_ = true;
  jobStatus_ = status;
  if (resultLog_) AppendBurnResultRow(WindowOutcome(facts, false, status));
  stop_.ResetStop();
  if (!deviceJob) {
    statusText_ = failureText_;  // no device refresh brings it
  } else if (workerExists_) {
    worker_->Post(kJobCloseDevice);
    worker_->Post(kJobDeviceList, 1);
  }
  if (resultFileMode_ == 1) resultFile_.Write(ResultWord(false));
  if (resultFileMode_ == 2)
    resultFile_.Write(
        Format("TestResult = fail, VID is 0x%04x, PID is 0x%04x, Rev is 0x%04x\n", facts.vid, facts.pid, facts.rev));
  resultFile_.Close();
  UpdateControls(false);
  WriteControls();
}

// --- devices -------------------------------------------------------------------------------

std::string CTessaload_AllInOne_VxproxyDlg::VersionTextOf(const FlowFacts& facts) const {
  char text[160];
  if (setting::Get(setting::kBcdType) != 0)
    std::snprintf(text, sizeof text, "Current FW: 0x%04x", facts.rev);
  else
    std::snprintf(text, sizeof text, "Current FW: %s", facts.identityText.c_str());
  return text;
}

void CTessaload_AllInOne_VxproxyDlg::OnDeviceInfo(int status, std::intptr_t reason, const FlowFacts& facts) {
  identityCheck_ = 1;
  deviceEntries_ = facts.deviceList.entries;
  devices_->clear();
  QStringList whereAbouts;
  for (const WindowFlowHost::Entry& entry : deviceEntries_) {
    const QString location = QString("Port %1, hub %2").arg(entry.port).arg(entry.parent);
    const QString serial = entry.serial.empty() ? QString() : Q("SN " + entry.serial);
    deviceModel_->appendRow({new QStandardItem(Q(entry.identity)), new QStandardItem(location), new QStandardItem(serial)});
    whereAbouts.append(serial.isEmpty() ? location : location + ", " + serial);
  }
  const int selected = facts.deviceList.selected;
  devices_->setCurrentIndex(selected);
  devices_->setToolTip(selected >= 0 && selected < whereAbouts.size() ? whereAbouts[selected] : QString());
  if (status == kStsCheckDeviceInfoOk) {
    versionText_ = VersionTextOf(facts);
    statusText_ = lastOutcome_ == 1 ? "Download Succeed" : lastOutcome_ == 2 ? failureText_ : facts.connectionText;
    family_->setVisible(facts.chipFamily == 0x0A || facts.chipFamily == 0x0F);
    serialText_ = setting::Get(setting::kSnAddress) != 0 ? facts.serialText : facts.manufacturer;
    deviceReady_ = 1;
  } else {
    versionText_ = "Current FW: N/A";
    familyText_ = "N/A";
    family_->hide();
    // A failure stays in view, with its reason, when the codec it hit is gone.
    if (lastOutcome_ == 2) {
      statusText_ = failureText_;
    } else {
      statusText_ = "No USB Audio";
      outcomeText_ = "N/A";
    }
    serialText_.clear();
    deviceReady_ = 0;
  }
  imageSourceText_ = facts.imageSourceText;
  if (deviceReady_) {
    identityCheck_ = facts.listCheckResult;
    // An automatic start never follows the refresh after an outcome.
    if (identityCheck_ == 1 && VidPidCheckConfigured() && autoRun_ && reason == 0) {
      if (const int delay = setting::Get(setting::kAutoRunDelay); delay > 0) clock_.SleepMs(std::uint32_t(delay));
      mailbox_.Post(kMsgCommand, kIdStart, 0);
      autoRun_ = 0;
    }
  }
  UpdateControls(false);
  WriteControls();
  mailbox_.Post(kMsgProgress, 0, 0);
}

void CTessaload_AllInOne_VxproxyDlg::ClearOutcome() {
  lastOutcome_ = 0;
  failureText_.clear();
  ShowOutcome("N/A");
}

void CTessaload_AllInOne_VxproxyDlg::OnDeviceChange(bool arrived, std::uint32_t instance) {
  if (!workerExists_) return;
  const CDevFlow* flow = CurrentFlow();
  const std::uint32_t held = flow ? flow->m_hDevice : 0;
  if (arrived) {
    if (held || busy_) return;
    ClearOutcome();
    ShowStatus("Device Opened");
    if (worker_->PostUnlessWaiting(kJobDeviceList, 0)) ++deviceChangeRefreshes_;
    return;
  }
  if (busy_) {
    // The codec left during a reset: end the settle wait at once.
    if (held && held == instance && DevLib_GetLibType() == 0) DevLib_CancelWait();
    return;
  }
  // A failure stays in view until the next Start, device choice or arrival:
  // the codec it hit may be the one that left.
  if (lastOutcome_ != 2) ClearOutcome();
  if (worker_->PostUnlessWaiting(kJobDeviceList, 0)) ++deviceChangeRefreshes_;
}

void CTessaload_AllInOne_VxproxyDlg::OnDeviceChosen(int position) {
  if (position < 0 || position >= int(deviceEntries_.size()) || !workerExists_) return;
  // The entry itself is chosen, by its USB location: two codecs of one
  // identity are told apart.
  const WindowFlowHost::Entry& entry = deviceEntries_[std::size_t(position)];
  ClearOutcome();
  flowHost_.SetRememberedLocation(entry.port, entry.parent);
  flowHost_.SelectDevice(position);
  flowHost_.SetSelectedDeviceText(entry.identity);
  worker_->Post(kJobDeviceList, 0);
  UpdateControls(true);
}

void CTessaload_AllInOne_VxproxyDlg::PollBus() {
  // The simulated bus reports arrivals and removals when it is looked at,
  // also while a job runs, so that a codec lost during the job is seen then.
  if (workerExists_) services_.context.usbHost->Nodes();
}

// --- closing ---------------------------------------------------------------------------------

void CTessaload_AllInOne_VxproxyDlg::OnClosing() {
  if (closing_) return;  // the window closes once the worker has ended
  closing_ = true;
  if (workerExists_) {
    stop_.RequestStop();
    worker_->PostQuit();  // it ends after its current job and posts 0x412
    workerExists_ = false;
  } else {
    mailbox_.Post(kMsgWorkerEnded, 0, 0);
  }
  if (wakeUp_) wakeUp_->Stop();
}

void CTessaload_AllInOne_VxproxyDlg::OnWorkerEnded() {
  // The exit code tells the last job's outcome, whatever device refresh
  // reported after it.
  if (jobEnded_) LastStatusCode = jobStatus_;
  clock_.SleepMs(kCloseDelayMs);
  CleanUp();
  done(QDialog::Rejected);
}

void CTessaload_AllInOne_VxproxyDlg::CleanUp() {
  if (cleanedUp_) return;
  cleanedUp_ = true;
  busPoll_.stop();
  if (services_.context.usbHost) services_.context.usbHost->SetHotplugCallback({});
  if (worker_) {
    stop_.RequestStop();
    worker_.reset();  // waits for the current job
  }
  workerExists_ = false;
  wakeUp_.reset();  // also when the program ends without the closing sequence (AutoRun 2)
  CloseFlowDevice();
  resultFile_.Close();
  mailbox_.Close();
  SetFlowHost(nullptr);
  SetNotifySink(nullptr);
}

// --- controls ---------------------------------------------------------------------------------

void CTessaload_AllInOne_VxproxyDlg::UpdateControls(bool busy) {
  const bool enable = deviceReady_ == 1 && !busy && (!VidPidCheckConfigured() || identityCheck_ == 1);
  start_->setEnabled(enable);
  family_->setEnabled(enable);
  version_->setEnabled(enable);
  busy_ = busy;
  if (!busy) jobRunning_ = false;
  progress_->setValue(0);
  ShowOutcome(outcomeText_);  // running or not
}

void CTessaload_AllInOne_VxproxyDlg::WriteControls() {
  imageSource_->setText(Q(imageSourceText_));
  loopLabel_->setText(Q(loopText_));
  serial_->setText(Q(serialText_));
  version_->setText(Q(versionText_));
  ShowStatus(statusText_);
  ShowOutcome(outcomeText_);
  family_->setText(Q(familyText_));
}

void CTessaload_AllInOne_VxproxyDlg::ReadControls() {
  // Runs left follow the Total field as it is edited (see BuildControls).
  imageSourceText_ = imageSource_->text().toStdString();
}

void CTessaload_AllInOne_VxproxyDlg::ShowOutcome(const std::string& text) {
  outcomeText_ = text;
  // While a job runs and nothing is decided, the box shows the phase on a
  // neutral colour; "N/A" with no job, and FAIL, are red, PASS green.
  const bool running = jobRunning_ && text == "N/A";
  outcome_->setText(Q(running ? statusText_ : text));
  QFont font = outcome_->font();
  font.setPixelSize(running ? kRunningPixels : kOutcomePixels);
  outcome_->setFont(font);
  QPalette palette = outcome_->palette();
  palette.setColor(QPalette::Window, text == "PASS" ? kPassColour : running ? kRunningColour : kFailColour);
  outcome_->setPalette(palette);
}

void CTessaload_AllInOne_VxproxyDlg::ShowStatus(const std::string& text) {
  statusText_ = text;
  status_->setText(Q(text));
  QPalette palette = status_->palette();
  palette.setColor(QPalette::WindowText, text.find("QV") != std::string::npos ? Qt::red : Qt::black);
  status_->setPalette(palette);
}

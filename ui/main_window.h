#pragma once
// The operator window: the connected codec with its firmware version and
// serial number, the device choice, Start, progress, phase and the PASS/FAIL
// box, the loop test, the automatic start and the result files. Every device
// job runs on the worker thread; the window reacts to the messages the worker
// and the flows post, delivered on its own thread in posting order.
#include <QDialog>
#include <QTimer>
#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/result_files.h"
#include "app/window_mode.h"
#include "image/image_job.h"
#include "ui/core/device_jobs.h"
#include "ui/core/job_window.h"
#include "ui/core/thread_flag.h"
#include "ui/core/vex_thread.h"
#include "ui/core/wake_up_thread.h"
#include "ui/core/window_flow_host.h"
#include "ui/core/window_mailbox.h"

class QComboBox;
class QStandardItemModel;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class CDevFlow;
struct FlowFacts;

namespace platform {
class AudioCapture;
class Clock;
class SystemRestart;
}  // namespace platform

// What the window is given by window mode (and by the tests).
struct WindowServices {
  WindowModeContext context;
  platform::SystemRestart* restart = nullptr;
  platform::AudioCapture* audio = nullptr;  // for the keep-awake thread ("RTD3")
  std::string resultFolder;  // where Result.txt goes; the program folder when empty
};

class CTessaload_AllInOne_VxproxyDlg final : public QDialog, public JobWindow {
 public:
  explicit CTessaload_AllInOne_VxproxyDlg(WindowServices services, QWidget* parent = nullptr);
  ~CTessaload_AllInOne_VxproxyDlg() override;

  // The control with that template id (1000 to 1189), or null.
  QWidget* Control(int id) const;
  // True when no job runs or waits and no message waits for the window.
  bool Quiet() const { return !(worker_ && worker_->Busy()) && !mailbox_.Pending(); }
  // The keep-awake thread, when "RTD3" asked for one.
  const CWakeUpThread* KeepAwake() const { return wakeUp_.get(); }
  // Device-list jobs posted because a device arrived or left.
  int DeviceChangeRefreshes() const { return deviceChangeRefreshes_; }

  // JobWindow: the download job's view of the window.
  int LoopTestFlag() const override { return loopTest_; }
  int RunsLeft() const override { return runsLeft_.load(); }
  void DisableStart() override;
  void SetLoopText(const std::string& text) override;
  void PostStart() override;
  void LoopRunEnded() override;

 protected:
  void accept() override { OnClosing(); }
  void reject() override { OnClosing(); }
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildControls();
  std::array<QWidget*, 3> LoopTestControls() const;
  void InitDialog();
  void Deliver();
  void Handle(const WindowMessage& message);

  // `loopRun`: the loop test starts its next run.
  void OnStart(bool loopRun);
  // The image of the job into `job`, with the version check. 0: the job
  // goes ahead; kStartStops: nothing happens; otherwise the status id of why
  // the image is refused.
  static constexpr int kStartStops = -1;
  int ChooseImage(const CDevFlow& device, CImageJob& job, bool checkVersion);
  // The flow object for the image's memory type, taking over what device
  // selection left in the current one; null when there is none.
  CDevFlow* CreateFlowForJob(CImageJob job);
  bool PasswordAccepted(const CDevFlow& flow);
  void OnSuccess(const FlowFacts& facts);
  // `deviceJob` false: the Start was refused before any device access.
  void OnFailure(int status, const FlowFacts& facts, bool deviceJob = true);
  void OnDeviceInfo(int status, std::intptr_t reason, const FlowFacts& facts);
  void OnDeviceChange(bool arrived, std::uint32_t instance);
  void OnDeviceChosen(int position);
  void OnClosing();
  void OnWorkerEnded();
  void CleanUp();

  // A device was chosen, arrived or left: the last outcome no longer applies.
  void ClearOutcome();
  std::string VersionTextOf(const FlowFacts& facts) const;
  void UpdateControls(bool busy);
  void WriteControls();
  void ReadControls();
  void ShowOutcome(const std::string& text);
  void ShowStatus(const std::string& text);
  void PollBus();

  WindowServices services_;
  platform::Clock& clock_;

  // Controls, by template id.
  QLineEdit* imageSource_ = nullptr;  // 1000
  QPushButton* browse_ = nullptr;     // 1001
  QPushButton* start_ = nullptr;      // 1003
  QPushButton* getVersion_ = nullptr; // 1004
  QLineEdit* runsLeftEdit_ = nullptr; // 1009
  QLabel* loopLabel_ = nullptr;       // 1011
  QLabel* outcome_ = nullptr;         // 1016
  QLabel* serial_ = nullptr;          // 1028
  QLabel* serialLabel_ = nullptr;     // "Current SN:"
  QLabel* version_ = nullptr;         // 1030
  QProgressBar* progress_ = nullptr;  // 1031
  QLabel* status_ = nullptr;          // 1033
  QComboBox* devices_ = nullptr;      // 1050
  QStandardItemModel* deviceModel_ = nullptr;  // identity text, USB location, serial number
  QLabel* family_ = nullptr;          // 1069
  QLabel* total_ = nullptr;           // 1071
  QLineEdit* password_ = nullptr;     // 1137
  QLabel* deviceLabel_ = nullptr;     // 1143
  QLabel* fwVersionLabel_ = nullptr;  // 1188
  QLabel* statusLabel_ = nullptr;     // 1189

  // Window state; the window thread alone writes it.
  int deviceReady_ = 0;
  bool busy_ = false;
  bool jobRunning_ = false;  // from Start to the outcome: the box shows the phase
  std::string outcomeText_ = "N/A";
  std::string versionText_ = "N/A";
  std::string statusText_;
  std::string serialText_;
  std::string familyText_;
  std::string imageSourceText_;
  int identityCheck_ = 1;
  int lastOutcome_ = 0;  // 0 none, 1 success, 2 failure
  std::string failureText_;
  // The last job's outcome, for the exit code: 0 after a success, the
  // failure id after a failure.
  bool jobEnded_ = false;
  int jobStatus_ = 0;
  std::vector<WindowFlowHost::Entry> deviceEntries_;  // as the device list shows them
  int loopTest_ = 0;
  std::atomic<int> runsLeft_{1};
  std::string loopText_ = "Left : 0";
  int autoRun_ = 0;
  int resultFileMode_ = 0;
  int resultLog_ = 0;
  ResultTextFile resultFile_;

  bool startDeferred_ = false;  // a Start waits for the worker's current jobs
  bool deferredLoopRun_ = false;
  bool closing_ = false;
  bool cleanedUp_ = false;
  int deviceChangeRefreshes_ = 0;
  QTimer busPoll_;

  // Where each control sits in the template's size, and how it follows an
  // enlarged window: the outcome box grows, the rows below it move down.
  struct Placement {
    QWidget* widget;
    QRect base;
    bool grows, movesDown, widens;
  };
  std::vector<Placement> placements_;
  QSize baseSize_;

  // Threads and what they share with the window. The worker is declared
  // last: it ends before the state it reports to goes away.
  WindowMailbox mailbox_;
  CThreadFlag stop_;
  WindowFlowHost flowHost_{stop_, mailbox_};
  DeviceJobs jobs_;
  std::unique_ptr<CWakeUpThread> wakeUp_;
  std::unique_ptr<CVexThread> worker_;
  bool workerExists_ = false;  // cleared when the window asks it to quit
};

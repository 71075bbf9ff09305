#pragma once
// The window's side of the flows (FlowHost): the stop flag, the remembered
// device location, the device list with its selected entry, the auto-run
// event and the serial-number countdown. Device selection fills these on the
// worker thread while the window reads them on its own, so every value is
// kept under a lock; the window shows the list when device selection reports
// (message 0x418).
#include <mutex>
#include <string>
#include <vector>

#include "flow/flow_host.h"
#include "platform/event.h"
#include "ui/core/thread_flag.h"
#include "ui/core/window_mailbox.h"

class WindowFlowHost final : public FlowHost {
 public:
  WindowFlowHost(const CThreadFlag& stop, WindowMailbox& mailbox) : stop_(stop), mailbox_(mailbox) {}

  bool StopRequested() override { return stop_.StopRequested(); }
  bool HasWindow() const override { return true; }

  void RememberedLocation(std::uint32_t& port, std::uint32_t& parent) override;
  void SetRememberedLocation(std::uint32_t port, std::uint32_t parent) override;

  // Entries keep the order in which they were appended, so a position handed
  // out stays valid while the list is filled. Device selection appends the
  // device it holds open; the entry keeps that device's USB location and
  // serial number, which tell two codecs of one identity apart.
  void ClearDeviceList() override;
  int AppendDevice(const std::string& identity) override;
  void SelectDevice(int position) override;
  std::string DeviceText(int position) override;
  std::string SelectedDeviceText() override;
  void SetSelectedDeviceText(const std::string& text) override;

  void SetAutoRunEvent(bool set) override { set ? autoRun_.Set() : autoRun_.Reset(); }
  bool AutoRunEventSet() const { return autoRun_.IsSet(); }

  // The download flows' countdown goes into the outcome text.
  void SetSerialCounterText(const std::string& text) override;

  struct Entry {
    std::string identity;  // the identity text, as device selection matches it
    std::uint32_t port = 0, parent = 0;
    std::string serial;
  };
  struct ListView {
    std::vector<Entry> entries;
    int selected = -1;
  };
  ListView DeviceList() const;

 private:
  const CThreadFlag& stop_;
  WindowMailbox& mailbox_;
  mutable std::mutex mutex_;
  std::uint32_t port_ = 0, parent_ = 0;
  std::vector<Entry> entries_;
  int selected_ = -1;
  std::string selectedText_;
  platform::Event autoRun_{true};
};

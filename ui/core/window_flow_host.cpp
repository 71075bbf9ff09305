#include "ui/core/window_flow_host.h"

#include "device/dev_lib.h"
#include "flow/create_flow.h"

void WindowFlowHost::RememberedLocation(std::uint32_t& port, std::uint32_t& parent) {
  std::lock_guard lock(mutex_);
  port = port_;
  parent = parent_;
}

void WindowFlowHost::SetRememberedLocation(std::uint32_t port, std::uint32_t parent) {
  std::lock_guard lock(mutex_);
  port_ = port;
  parent_ = parent;
}

void WindowFlowHost::ClearDeviceList() {
  std::lock_guard lock(mutex_);
  entries_.clear();
  selected_ = -1;
}

int WindowFlowHost::AppendDevice(const std::string& identity) {
  Entry entry{identity, 0, 0, {}};
  if (const CDevFlow* flow = CurrentFlow(); flow && flow->m_hDevice) {
    DevLib_GetPortAndParent(flow->m_hDevice, entry.port, entry.parent);
    DevLib_GetSerialText(flow->m_hDevice, entry.serial);
  }
  std::lock_guard lock(mutex_);
  entries_.push_back(std::move(entry));
  return int(entries_.size()) - 1;
}

void WindowFlowHost::SelectDevice(int position) {
  std::lock_guard lock(mutex_);
  selected_ = position >= 0 && position < int(entries_.size()) ? position : -1;
}

std::string WindowFlowHost::DeviceText(int position) {
  std::lock_guard lock(mutex_);
  return position >= 0 && position < int(entries_.size()) ? entries_[std::size_t(position)].identity : std::string();
}

std::string WindowFlowHost::SelectedDeviceText() {
  std::lock_guard lock(mutex_);
  return selectedText_;
}

void WindowFlowHost::SetSelectedDeviceText(const std::string& text) {
  std::lock_guard lock(mutex_);
  selectedText_ = text;
}

void WindowFlowHost::SetSerialCounterText(const std::string& text) {
  mailbox_.Post(WindowMessage{kMsgSetOutcomeText, 0, 0, text, {}});
}

WindowFlowHost::ListView WindowFlowHost::DeviceList() const {
  std::lock_guard lock(mutex_);
  return {entries_, selected_};
}

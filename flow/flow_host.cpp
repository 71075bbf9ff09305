#include "flow/flow_host.h"

#include <atomic>

namespace {
std::atomic<FlowHost*> current{nullptr};
}  // namespace

FlowHost* CurrentFlowHost() { return current.load(); }
void SetFlowHost(FlowHost* host) { current.store(host); }

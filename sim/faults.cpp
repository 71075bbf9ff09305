#include "sim/faults.h"

#include <cstdio>
#include <sstream>

namespace sim {

namespace {

bool ParseNumber(const std::string& text, int base, unsigned long max, unsigned long& out) {
  if (text.empty()) return false;
  std::string digits = text;
  if (base == 16 && digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits = digits.substr(2);
  }
  std::size_t used = 0;
  try {
    out = std::stoul(digits, &used, base);
  } catch (...) {
    return false;
  }
  return used == digits.size() && out <= max;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
}

bool ParseRequest(const std::string& text, RequestKey& key) {
  const std::vector<std::string> parts = Split(text, ':');
  unsigned long a = 0, b = 0;
  if (parts.size() == 2 && (parts[0] == "vendor" || parts[0] == "std") && ParseNumber(parts[1], 16, 0xFF, a)) {
    key = {parts[0] == "vendor" ? RequestChannel::kVendor : RequestChannel::kStandard, std::uint8_t(a), 0};
    return true;
  }
  if (parts.size() == 3 && parts[0] == "xu" && ParseNumber(parts[1], 16, 0xFF, a) && ParseNumber(parts[2], 16, 0xFF, b)) {
    key = {RequestChannel::kExtensionUnit, std::uint8_t(a), std::uint8_t(b)};
    return true;
  }
  return false;
}

bool ParseAddressMask(const std::string& text, std::uint32_t& address, std::uint8_t& mask) {
  const std::vector<std::string> parts = Split(text, ':');
  unsigned long a = 0, m = 0;
  if (parts.size() != 2 || !ParseNumber(parts[0], 16, 0xFFFFFF, a) || !ParseNumber(parts[1], 16, 0xFF, m)) return false;
  address = static_cast<std::uint32_t>(a);
  mask = static_cast<std::uint8_t>(m);
  return true;
}

std::string RequestText(const RequestKey& key) {
  char text[32];
  if (key.channel == RequestChannel::kExtensionUnit) {
    std::snprintf(text, sizeof text, "xu:%02X:%02X", key.a, key.b);
  } else {
    std::snprintf(text, sizeof text, "%s:%02X", key.channel == RequestChannel::kVendor ? "vendor" : "std", key.a);
  }
  return text;
}

}  // namespace

bool FaultSet::Empty() const {
  return disconnectAfter < 0 && interruptAfter < 0 && notReadyResets == 0 && leaveLateMs == 0 &&
         signatureAnswer < 0 &&
         requests.empty() && flipOnRead.empty();
}

std::optional<RequestFault> FaultSet::Hit(const RequestKey& key) {
  for (auto it = requests.begin(); it != requests.end(); ++it) {
    if (!(it->key == key)) continue;
    const RequestFault hit = *it;
    if (it->remaining > 0 && --it->remaining == 0) requests.erase(it);
    return hit;
  }
  return std::nullopt;
}

std::string FaultSet::ToSpec() const {
  std::vector<std::string> items;
  if (disconnectAfter >= 0) items.push_back("disconnect-after=" + std::to_string(disconnectAfter));
  if (interruptAfter >= 0) items.push_back("interrupt-after=" + std::to_string(interruptAfter));
  if (notReadyResets > 0) items.push_back("not-ready-resets=" + std::to_string(notReadyResets));
  if (leaveLateMs > 0) items.push_back("leave-late=" + std::to_string(leaveLateMs));
  if (signatureAnswer >= 0) {
    char text[24];
    std::snprintf(text, sizeof text, "signature=%02X", signatureAnswer);
    items.push_back(text);
  }
  for (const RequestFault& f : requests) {
    std::string item = std::string(f.timeout ? "timeout=" : "stall=") + RequestText(f.key);
    if (f.remaining >= 0) item += "*" + std::to_string(f.remaining);
    items.push_back(item);
  }
  for (const auto& [address, mask] : flipOnRead) {
    char text[48];
    std::snprintf(text, sizeof text, "flip-read=%X:%02X", address, mask);
    items.push_back(text);
  }
  std::string spec;
  for (const std::string& item : items) spec += (spec.empty() ? "" : ",") + item;
  return spec;
}

bool ApplyFaultSpec(const std::string& spec, FaultSet& faults, std::map<std::uint32_t, std::uint8_t>& stuckOtp,
                    std::string& error) {
  FaultSet next = faults;
  std::map<std::uint32_t, std::uint8_t> nextStuck = stuckOtp;
  for (const std::string& item : Split(spec, ',')) {
    const std::size_t eq = item.find('=');
    const std::string name = item.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
    unsigned long n = 0;
    bool ok = false;
    if (item == "clear") {
      next = FaultSet{};
      nextStuck.clear();
      ok = true;
    } else if (name == "disconnect-after" || name == "not-ready-resets" || name == "interrupt-after") {
      ok = ParseNumber(value, 10, 1'000'000'000, n);
      (name == "disconnect-after" ? next.disconnectAfter
       : name == "interrupt-after" ? next.interruptAfter
                                   : next.notReadyResets) = static_cast<int>(n);
    } else if (name == "leave-late") {
      ok = ParseNumber(value, 10, 3'600'000, n);
      next.leaveLateMs = static_cast<int>(n);
    } else if (name == "signature") {
      ok = ParseNumber(value, 16, 0xFF, n);
      next.signatureAnswer = static_cast<int>(n);
    } else if (name == "stall" || name == "timeout") {
      RequestFault fault;
      fault.timeout = name == "timeout";
      const std::size_t star = value.find('*');
      ok = ParseRequest(value.substr(0, star), fault.key) &&
           (star == std::string::npos || (ParseNumber(value.substr(star + 1), 10, 1'000'000'000, n) && n > 0));
      if (star != std::string::npos) fault.remaining = static_cast<int>(n);
      if (ok) next.requests.push_back(fault);
    } else if (name == "flip-read" || name == "stuck" || name == "stuck-otp") {
      std::uint32_t address = 0;
      std::uint8_t mask = 0;
      ok = ParseAddressMask(value, address, mask);
      if (ok) (name == "flip-read" ? next.flipOnRead : nextStuck)[address] |= mask;
    }
    if (!ok) {
      error = "bad fault item \"" + item + "\"";
      return false;
    }
  }
  faults = next;
  stuckOtp = nextStuck;
  return true;
}

}  // namespace sim

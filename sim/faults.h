#pragma once
// Faults armed on a simulated codec. A fault specification is a comma-separated
// list of items (sim/README.md):
//   disconnect-after=N      the codec loses power after N more control transfers
//   interrupt-after=N       after N more control transfers the program driving
//                           the bench gets SIGINT, as from the operator's Ctrl-C
//   stall=REQ[*N]           stall that request (the next N times; always without *N)
//   timeout=REQ[*N]         let that request time out
//   not-ready-resets=N      answer the next N reset requests with "not ready"
//   leave-late=MS           a reset that takes the codec off the bus does so only
//                           MS ms after it was asked (it keeps its place meanwhile)
//   signature=XX            the byte the firmware's image-signature query answers
//                           (02 good, 04 bad, 01 busy; 02 without this fault)
//   flip-read=ADDR:MASK     reads of code memory at ADDR return the bits of MASK flipped
//   stuck=ADDR:MASK         bits at ADDR that never change (flash: never clear,
//                           EEPROM: keep their value, OTP: never set)
//   stuck-otp=ADDR:MASK     the same
//   clear                   removes every fault armed so far
// REQ is vendor:RR (bRequest), xu:CC:OO (command class and opcode) or std:RR.
// Numbers are decimal; ADDR, MASK, RR, CC and OO are hexadecimal.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

enum class RequestChannel { kStandard, kVendor, kExtensionUnit };

struct RequestKey {
  RequestChannel channel = RequestChannel::kVendor;
  std::uint8_t a = 0;  // bRequest, or the command class
  std::uint8_t b = 0;  // the opcode of an extension-unit command
  bool operator==(const RequestKey&) const = default;
};

struct RequestFault {
  RequestKey key;
  bool timeout = false;  // else stall
  int remaining = -1;    // -1: every time
};

struct FaultSet {
  int disconnectAfter = -1;  // -1: none
  int interruptAfter = -1;   // -1: none
  int notReadyResets = 0;
  int leaveLateMs = 0;
  int signatureAnswer = -1;  // -1: the signature is good
  std::vector<RequestFault> requests;
  std::map<std::uint32_t, std::uint8_t> flipOnRead;

  bool Empty() const;
  // The fault that hits this request, consumed once; null when none.
  std::optional<RequestFault> Hit(const RequestKey& key);
  std::string ToSpec() const;
};

// Adds the items of `spec` to `faults` (and stuck bits to `stuckOtp`).
// False with `error` naming the bad item; nothing is changed then.
bool ApplyFaultSpec(const std::string& spec, FaultSet& faults, std::map<std::uint32_t, std::uint8_t>& stuckOtp,
                    std::string& error);

}  // namespace sim

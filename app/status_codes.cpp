#include "app/status_codes.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

struct Entry {
  int id;
  const char* text;
};

// Sorted by id. The spellings are the program's own and are shown as they are.
constexpr Entry kTable[] = {
    {41500, "Not Support!"},
    {41511, "Detect Device Fail!"},
    {41512, "Reset Device Fail!"},
    {41530, "Load File Data Fail!"},
    {41531, "Parse FW File Fail!"},
    // The command line's own outcomes, beside those the flows report.
    {41536, "Save File Fail!"},
    {41540, "Invalid Parameter!"},
    {41541, "Result File Not Writable!"},
    {41542, "Stopped!"},
    {41543, "Action Fail!"},
    {41702, "Get Code Size Fail!"},
    {41704, "Read Flash Fail!"},
    {41705, "Erase Flash Fail!"},
    {41706, "Update Flash Fail!"},
    {41708, "Malloc Data Fail!"},
    {41709, "Compare Data Fail!"},
    {41710, "Disable Write Protect Fail!"},
    {41711, "Enable Write Protect Fail!"},
    {41712, "Write Tag Fail!"},
    {41713, "Save SN Fail!"},
    {41714, "The Vid/Pid does not Match!"},
    {41715, "Firmware is not for the device!"},
    {41717, "Check Empty Fail!"},
    {41718, "Wait device to reset"},
    {41719, "Erasing"},
    {41720, "Check empty"},
    {41721, "Download"},
    {41722, "Verify"},
    {41723, "Write Tag"},
    {41724, "Reset to new code"},
    {41735, "Read"},
    {41751, "Read Flash Code Succeed."},
    {41752, "Erase Flash Code Succeed."},
    {41753, "Update Flash Code Succeed."},
    {41755, "Firmware Update Succeed."},
    {41802, "Read EERPOM Fail!"},
    {41803, "Erase EEPROM Fail!"},
    {41804, "Update EEPROM Data Fail!"},
    {41851, "Read EEPROM Code Succeed."},
    {41852, "Erase EEPROM Code Succeed."},
    {41853, "Update EEPROM Code Succeed."},
    {41854, "Download EEPROM Code Succeed."},
    {41906, "Check Device Info Succeed."},
    {41910, "Read MTP Code Succeed."},
    {41913, "Download MTP Code Succeed."},
    {41914, "Write OTP Fail!"},
    {41915, "Write OTP Block Fail!"},
    {41916, "Not Enough VD Block"},
    {41917, "Code Exceed Max Length!"},
    {41918, "OTP Locked,Can't Program!"},
    {41919, "Error Num Exceed 8!"},
    {41920, "Not Enough ECC NUM!"},
    {41921, "ECC Num become 0!"},
    {41922, "Reduant Fail!"},
    {41923, "ECC Num lower than Error Num!"},
    {41924, "Not Find VDBlock!"},
    {41925, "Get VD Code Fail!"},
    {41926, "Fail Address!"},
    {41927, "Write Block Fail!"},
    {41928, "Read OTP Fail!"},
    {41929, "ReadOTP Succeed."},
    {41930, "UpdateOTP Succeed."},
    {41931, "DownloadOTP Succeed."},
    {41933, "OTP Code Not Exist!"},
    {41935, "Device is not in cache mode."},
    {41937, "Last OTP Write Abnormal!"},
    {42042, "ECDSA Check Fail!"},
    {42045, "Same FW Version, Update Refused!"},
    {42046, "Older FW Version, Update Refused!"},
};

static_assert(std::is_sorted(std::begin(kTable), std::end(kTable),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }));

constexpr std::array kSuccessIds = {41751, 41755, 41851, 41854, 41910, 41913, 41931};

}  // namespace

std::string StatusText(int id) {
  auto it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                             [](const Entry& e, int v) { return e.id < v; });
  if (it == std::end(kTable) || it->id != id) return {};
  return it->text;
}

bool IsSuccessStatus(int id) {
  return std::find(kSuccessIds.begin(), kSuccessIds.end(), id) != kSuccessIds.end();
}

bool IsSuccessMessage(int id) { return StatusText(id).ends_with("Succeed."); }

int ExitCodeForStatus(int status) {
  if (IsSuccessMessage(status)) return 0;
  switch (status) {
    case kStsNone:
      return 0;
    case kStsOtpSameVersion:
      return 2;
    case kStsOtpOlderVersion:
      return 3;
    case kStsDetectDeviceFail:
    case kStsVidPidMismatch:
      return 4;
    default:
      return 1;
  }
}

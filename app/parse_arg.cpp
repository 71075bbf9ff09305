#include "app/text_case.h"
#include "app/parse_arg.h"


#include <algorithm>
#include <ctime>
#include <cctype>
#include <cstdlib>

#include "app/notify.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "app/file_routines.h"
#include "app/result_files.h"
#include "app/program_state.h"
#include "app/settings_keys.h"
#include "flow/create_flow.h"
#include "flow/otp_image.h"
#include "image/ic_type_ini.h"
#include "image/image_load.h"
#include "image/image_parse.h"
#include "image/image_version.h"
#include "platform/paths.h"
#include "platform/prompter.h"

namespace {

struct OptionWord {
  const char* word;
  std::uint8_t action;
};

constexpr OptionWord kOptions[] = {
    {"-write", 'W'},   {"-verify", 'V'},  {"-erase", 'E'},  {"-dumpotp", 'Y'},
    {"-dumpspi", 'Z'}, {"-version", 'D'}, {"-detect", 'C'},
};

}  // namespace

CParseArg::CParseArg() : programFolder_(platform::ProgramFolder()) {}

CParseArg::~CParseArg() {
  if (resultFile_) std::fclose(resultFile_);
}

int CParseArg::Parse_Arg(const std::vector<std::string>& args) {
  TraceScope scope("CParseArg::Parse_Arg", kTraceEntryPoints);
  resultFileFlag_ = 1;

  std::string line;
  for (const auto& a : args) line += a + " ";
  std::transform(line.begin(), line.end(), line.begin(), [](unsigned char c) { return std::tolower(c); });
  if (line.find("-f") == std::string::npos) {
    OpenResultFile();
    CloseResultFile(false);
    return 0;
  }

  if (args.size() < 3 || args.size() > 6) {
    TracePrint(scope, "%s", kTraceSeparator);
    TracePrint(scope, "Fail --- Invalid parameter!\r\n");
    return 0;
  }

  const auto known = [](const std::string& word, bool exact) {
    for (const auto& o : kOptions)
      if (exact ? word == o.word : EqualNoCase(word, o.word)) return o.action;
    return std::uint8_t(0);
  };
  if (!EqualNoCase(args[1], "-f") || (!known(args[2], false) && args[2].find(".rfw") == std::string::npos)) {
    TracePrint(scope, "%s", kTraceSeparator);
    TracePrint(scope, "Fail --- Invalid parameter!\r\n");
  }

  option_ = args[2];
  fileName_ = args.size() > 3 ? args[3] : std::string();
  action_ = known(option_, true);
  if (!action_) {
    action_ = 'W';
    fileName_ = option_;
  }

  startIndex_ = 0;
  if (args.size() > 4 && EqualNoCase(args[4], "-d") && args.size() > 5)
    startIndex_ = int(std::strtol(args[5].c_str(), nullptr, 10));
  return 1;
}

void CParseArg::AttachConsole() { consoleFlag_ = 1; }  // the process owns its console

void CParseArg::Print(const std::string& text) {
  if (consoleFlag_) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
  if (resultFile_) WriteTextStream(resultFile_, text);
}

void CParseArg::PrintPrompt() { Print(programFolder_ + ">"); }

bool CParseArg::OpenResultFile() {
  if (resultFile_) std::fclose(resultFile_);
  resultFile_ = std::fopen((programFolder_ + "/Result.txt").c_str(), "w+b");
  return resultFile_ != nullptr;
}

void CParseArg::CloseResultFile(bool pass) {
  if (!resultFile_) return;
  WriteTextStream(resultFile_, pass ? "pass" : "fail");
  std::fclose(resultFile_);
  resultFile_ = nullptr;
}

int CParseArg::Prepare() {
  OpenResultFile();
  if (!LoadICTypeIni()) {
    CloseResultFile(false);
    Print("Get IC Info Fail\n");
    PrintPrompt();
    return 0;
  }
  if (CDevFlow* flow = CurrentFlow()) flow->DEV_RefreshDeviceInfo();
  return 1;
}

namespace {

constexpr std::uint8_t kAcceptedStorageKinds[] = {0x55, 0x12, 0x11, 0x40, 0x60};

// An acceptable configuration header at `offset`: signature 0xA5 and a storage
// kind the flows program.
bool AcceptableHeader(const std::vector<std::uint8_t>& image, std::size_t offset) {
  if (offset + 2 > image.size() || image[offset + 1] != 0xA5) return false;
  return std::find(std::begin(kAcceptedStorageKinds), std::end(kAcceptedStorageKinds), image[offset]) !=
         std::end(kAcceptedStorageKinds);
}

bool HasSignature(const std::vector<std::uint8_t>& image, std::size_t offset) {
  return offset + 2 <= image.size() && image[offset + 1] == 0xA5;
}

// The job's image from its file, else the device's built-in image.
int LoadJobImage(CDevFlow& flow) {
  const int loaded = LoadFileData(flow.download);
  if (!loaded) FindDeviceImage(flow.download, ICTypeStore(), flow.hardwareIdentity);
  return loaded;
}

}  // namespace

int CParseArg::SelectDescriptionForImage(CDevFlow& flow) {
  CICTypeIni& ic = ICTypeStore();
  const int count = ic.FoundCount();
  for (int i = 0; i < count; ++i) {
    ic.SelectDescriptionByIndex(i);
    if (!ic.MatchChipRegisters(flow.chipRegister1, flow.chipRegister2)) continue;
    const std::size_t address = std::size_t(std::max(0, ic.GetConfigAddress()));
    ic.ReadGeneralKeys();
    const auto& image = flow.download.image;
    const bool accepted = image.size() < address
                              ? AcceptableHeader(image, 0)
                              : (HasSignature(image, address) ? AcceptableHeader(image, address)
                                                              : AcceptableHeader(image, 0));
    if (!accepted || !ParseImage(flow.download, ic)) continue;
    if (MemoryType != 0) {
      // Another memory type: its front end takes over the open device.
      const std::string fileName = flow.download.fileName;
      const std::string identity = flow.hardwareIdentity;
      const std::uint8_t r1 = flow.chipRegister1, r2 = flow.chipRegister2;
      CreateFlow(true);
      CDevFlow* next = CurrentFlow();
      if (!next) return 0;
      next->download.fileName = fileName;
      next->hardwareIdentity = identity;
      next->chipRegister1 = r1;
      next->chipRegister2 = r2;
      LoadJobImage(*next);
      std::string text;
      GetImageVersion(next->download.image, text, next->download.ImageVersion);
    }
    return 1;
  }
  return 0;
}

int CParseArg::LoadICTypeIni() {
  TraceScope scope("CParseArg::LoadICTypeIni", kTraceFlow);
  CDevFlow* flow = CurrentFlow();
  if (!flow) return 0;
  if (setting::Get(setting::kCheckVidPidIni) == 0) {
    int opened = 0;
    for (int i = 0; i < 3 && !opened; ++i) opened = flow->DEV_OpenDeviceByICIni(startIndex_ + i);
    if (!opened) return 0;
  } else if (!flow->DEV_OpenDeviceByVIDPID()) {
    return 0;
  }
  switch (action_) {
    case 'Y':
      MemoryType = 6;
      CreateFlow(true);
      return 1;
    case 'D':
    case 'E':
    case 'Z':
      return 1;
    default:
      break;
  }
  flow->download.fileName = fileName_;
  const int loaded = LoadJobImage(*flow);
  if (SelectDescriptionForImage(*flow)) return 1;
  return loaded;
}

const char* const CParseArg::kBurnResultHeader =
    "Update date       Update Time       Serial number              Result   ErrCode\r\n"
    "================  ================  =========================  =======  =======\r\n";

std::string CParseArg::BurnResultRow(const std::string& serial, bool pass, int status, const std::string& when) {
  std::string serialField = serial + ",";
  if (serialField.size() < 27) serialField.resize(27, ' ');
  std::string result = pass ? "Pass," : "Fail,";
  result.resize(9, ' ');
  return when + serialField + result + std::to_string(status) + ":\r\n";
}

int CParseArg::Excute_Arg() {
  TraceScope scope("CParseArg::Excute_Arg", kTraceEntryPoints);
  CDevFlow* flow = CurrentFlow();
  if (flow) flow->PrepareJobFlags();
  resultLogFlag_ = setting::Get(setting::kLogType);
  if (resultLogFlag_) {
    const bool exists = FileExists("burn_result.txt");
    burnResult_ = std::fopen("burn_result.txt", exists ? "ab" : "wb");
    if (!burnResult_)
      platform::CurrentPrompter().Show("Can't Open burn_result.txt");
    else if (!exists)
      WriteTextStream(burnResult_, kBurnResultHeader);
  }
  const int result = Excute_Arg_Normal();
  CloseResultFile(result == 1);
  if (burnResult_) {
    const CDevFlow* current = CurrentFlow();
    WriteTextStream(burnResult_, BurnResultRow(current ? current->manufacturer : std::string(), result == 1,
                                               LastStatusCode.load(), BurnResultTimeStamp(std::time(nullptr))));
    std::fclose(burnResult_);
    burnResult_ = nullptr;
  }
  return result;
}

namespace {

// The OTP usage for the image file: used and free bytes, and how many more
// downloads of the image fit; the text goes to the device's connection text.
int ReportOtpUsage(CDevFlow& flow, const std::string& fileName) {
  flow.download.fileName = fileName;
  if (!LoadFileData(flow.download)) return 0;
  otp::Usage usage;
  if (!flow.MP_ReadOtpUsage(usage)) {
    LastStatusCode = kStsReadOtpFail;
    return 0;
  }
  flow.otpUsedSpace = usage.used;
  flow.connectionText = otp::UsageLines(usage, otp::DownloadFootprint(flow.download.image));
  return 1;
}

}  // namespace

int CParseArg::Dispatch(CDevFlow& flow) {
  LastStatusCode = 0;
  switch (action_) {
    case 'W':
      return flow.SilenceWriteBin(fileName_);
    case 'Z':
      CodeReadSize = 0x10000;
      return flow.SilenceReadBin(fileName_);
    case 'Y':
      return flow.SilenceReadBin(fileName_);
    case 'V':
      return flow.SilenceVerifyBin(fileName_);
    case 'E':
      return flow.EraseCodeEx(1);
    case 'C':
      return ReportOtpUsage(flow, fileName_);
    default:
      LastStatusCode = kStsNotSupport;
      return 0;
  }
}

int CParseArg::Excute_Arg_Normal() {
  TraceScope scope("CParseArg::Excute_Arg_Normal", kTraceFlow);
  CDevFlow* flow = CurrentFlow();
  if (!flow) return 0;
  flow->m_accessFlags = 0x40;
  struct Texts {
    char letter;
    const char* before;
    const char* pass;
    const char* fail;
  };
  static constexpr Texts kTexts[] = {
      {'E', "Begin to Erase!\r\n", "Erase pass!\r\n", "Erase fail!\r\n"},
      {'W', "Begin to Write fw!\r\n", "Write fw pass!\r\n", "Write fw fail!\r\n"},
      {'V', "Begin to Verify fw!\r\n", "Verify fw pass!\r\n", "Verify fw fail!\r\n"},
      {'Y', "Begin to Dump OTP!\r\n", "Dump OTP pass!\r\n", "Dump OTP fail!\r\n"},
      {'Z', "Begin to Dump SPI!\r\n", "Dump SPI pass!\r\n", "Dump SPI fail!\r\n"},
  };
  int result = 0;
  if (action_ == 'D') {
    Print("Begin to Get FW Ver!\r\n");
    Print("Current FW Version: " + flow->identityText + "!\r\n");
  } else if (action_ == 'C') {
    result = Dispatch(*flow);
    if (result) {
      Print("Begin to Check OTP Status!\r\n");
      Print(flow->connectionText + "\r\n");
    }
  } else {
    for (const Texts& t : kTexts) {
      if (t.letter != char(action_)) continue;
      Print(t.before);
      result = Dispatch(*flow);
      Print(result ? t.pass : t.fail);
    }
  }
  PrintPrompt();
  return result;
}

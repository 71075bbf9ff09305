#include "app/text_case.h"
#include "app/parse_arg.h"


#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/notify.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "app/file_routines.h"
#include "app/result_files.h"
#include "app/program_state.h"
#include "app/settings_keys.h"
#include "flow/create_flow.h"
#include "flow/job_phase_marks.h"
#include "flow/memory_access.h"
#include "flow/otp_image.h"
#include "image/ic_type_ini.h"
#include "image/image_load.h"
#include "image/image_parse.h"
#include "image/image_version.h"
#include "platform/paths.h"
#include "platform/stop_signals.h"

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

namespace {

// A decimal device index: digits only, at most three of them.
bool ParseIndex(const std::string& text, int& index) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  index = std::stoi(text);
  return true;
}

}  // namespace

const char* const CParseArg::kUsage =
    "usage: tessaload -f -write|-verify|-erase|-dumpotp|-dumpspi|-version|-detect FILE [-d N]\n"
    "       tessaload -f FILE [-d N]      (writes FILE)\n"
    "       tessaload                     (the operator window)\n"
    "FILE with blanks in its name must be quoted; N is the codec's position on the bus, from 0.\n";

bool CParseArg::IsHelpCommandLine(const std::vector<std::string>& args) {
  return args.size() == 2 && (args[1] == "--help" || args[1] == "-h" || args[1] == "/?");
}

int CParseArg::Refuse(const TraceScope& scope, std::string why) {
  TracePrint(scope, "%s", kTraceSeparator);
  TracePrint(scope, "Fail --- Invalid parameter!\r\n");
  refusal_ = std::move(why);
  action_ = 0xFF;
  fileName_.clear();
  startIndex_ = 0;
  explicitIndex_ = false;
  LastStatusCode = kStsInvalidParameter;
  // The previous unit's verdict must not survive a command line that runs nothing.
  if (OpenResultFile()) CloseResultFile(false);
  return 0;
}

int CParseArg::Parse_Arg(const std::vector<std::string>& args) {
  TraceScope scope("CParseArg::Parse_Arg", kTraceEntryPoints);
  resultFileFlag_ = 1;

  const bool dashF = args.size() > 1 && EqualNoCase(args[1], "-f");
  if (!dashF) {
    for (std::size_t i = 2; i < args.size(); ++i)
      if (EqualNoCase(args[i], "-f")) return Refuse(scope, "\"-f\" must come first");
    return Refuse(scope, "no \"-f\"");
  }
  if (args.size() < 3) return Refuse(scope, "\"-f\" needs an option word and a file name");
  if (args.size() > 6)
    return Refuse(scope, "too many arguments after \"-f\" (a file name with blanks must be quoted)");

  const auto known = [](const std::string& word, bool exact) {
    for (const auto& o : kOptions)
      if (exact ? word == o.word : EqualNoCase(word, o.word)) return o.action;
    return std::uint8_t(0);
  };
  if (!known(args[2], false) && args[2].find(".rfw") == std::string::npos) {
    TracePrint(scope, "%s", kTraceSeparator);
    TracePrint(scope, "Fail --- Invalid parameter!\r\n");
  }

  option_ = args[2];
  fileName_.clear();
  action_ = known(option_, true);
  // Arguments after the action's own: "-d N" and nothing else.
  std::size_t rest = 3;
  if (!action_) {
    // Position 2 names the file; a word at position 3 is passed over.
    action_ = 'W';
    fileName_ = option_;
    if (args.size() > 3 && !EqualNoCase(args[3], "-d")) rest = 4;
  } else if (args.size() > 3 && !EqualNoCase(args[3], "-d")) {
    fileName_ = args[3];
    rest = 4;
  } else if (action_ != 'E' && action_ != 'D') {
    return Refuse(scope, "\"" + option_ + "\" needs a file name");
  }

  startIndex_ = 0;
  explicitIndex_ = false;
  if (args.size() > rest) {
    if (args.size() != rest + 2 || !EqualNoCase(args[rest], "-d"))
      return Refuse(scope, "unexpected argument \"" + args[rest] + "\" (a file name with blanks must be quoted)");
    if (!ParseIndex(args[rest + 1], startIndex_))
      return Refuse(scope, "\"-d\" needs a number, not \"" + args[rest + 1] + "\"");
    explicitIndex_ = true;
  }
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

std::string CParseArg::ResultFilePath() const { return programFolder_ + "/Result.txt"; }

bool CParseArg::OpenResultFile() {
  if (resultFile_) std::fclose(resultFile_);
  resultFileError_ = 0;
  resultFile_ = std::fopen(ResultFilePath().c_str(), "w+b");
  if (resultFile_) return true;
  resultFileError_ = errno;
  // An earlier verdict that cannot be replaced is at least not left behind.
  std::error_code ec;
  if (!std::filesystem::is_directory(ResultFilePath(), ec)) std::filesystem::remove(ResultFilePath(), ec);
  return false;
}

bool CParseArg::CloseResultFile(bool pass) {
  if (!resultFile_) return false;
  WriteTextStream(resultFile_, ResultWord(pass));
  const bool written = !std::ferror(resultFile_);
  const bool closed = std::fclose(resultFile_) == 0;
  resultFile_ = nullptr;
  if (!(written && closed) && !resultFileError_) resultFileError_ = errno ? errno : EIO;
  return written && closed;
}

void CParseArg::SetSubcommandJob(std::uint8_t action, std::string fileName, int position) {
  action_ = action;
  option_.clear();
  fileName_ = std::move(fileName);
  startIndex_ = position;
  explicitIndex_ = true;
  subcommandJob_ = true;
}

int CParseArg::Prepare() {
  // A subcommand job has begun its phases already, before choosing the codec.
  if (!subcommandJob_) BeginJobPhases();
  // Before the codec is touched: a run that cannot record its verdict does not start.
  if (!subcommandJob_ && !OpenResultFile()) {
    LastStatusCode = kStsResultFileFail;
    return 0;
  }
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
  if (!flow->DEV_OpenDeviceForCommandLine(startIndex_, explicitIndex_)) return 0;
  switch (action_) {
    case 'Y':
      MemoryType = 6;
      CreateFlow(true);
      return 1;
    case 'D':
      return 1;
    case 'E':
    case 'Z':
      return FitFlowToCodecMemory();
    default:
      break;
  }
  flow->download.fileName = fileName_;
  const int loaded = LoadJobImage(*flow);
  if (SelectDescriptionForImage(*flow)) return 1;
  if (!loaded) LastStatusCode = kStsLoadFileDataFail;
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

JobOutcome CParseArg::Outcome(int result) const {
  JobOutcome outcome;
  for (const auto& o : kOptions)
    if (o.action == action_) outcome.action = o.word + 1;
  SetJobStatus(outcome, LastStatusCode.load());
  outcome.pass = result == 1;
  if (const CDevFlow* flow = CurrentFlow()) outcome.burnSerial = flow->manufacturer;
  return outcome;
}

int CParseArg::Excute_Arg() {
  TraceScope scope("CParseArg::Excute_Arg", kTraceEntryPoints);
  CDevFlow* flow = CurrentFlow();
  if (flow) flow->PrepareJobFlags();
  resultLogFlag_ = subcommandJob_ ? 0 : setting::Get(setting::kLogType);
  int result = Excute_Arg_Normal();
  // A subcommand's last phase lasts until it has seen what the codec runs.
  if (!subcommandJob_) EndJobPhases();
  // A failure always leaves a failure status.
  if (!result && action_ != 'D' && ExitCodeForStatus(LastStatusCode.load()) == 0) LastStatusCode = kStsActionFail;
  if (!subcommandJob_ && !CloseResultFile(result == 1)) {
    result = 0;
    LastStatusCode = kStsResultFileFail;
  }
  if (resultLogFlag_) AppendBurnResultRow(Outcome(result));
  return result;
}

bool CParseArg::StopRequested() { return platform::StopSignalReceived(); }

std::string CParseArg::Advice(int status) const {
  const std::string file = fileName_.empty() ? std::string() : FullPath(fileName_);
  switch (status) {
    case kStsInvalidParameter:
      return refusal_ + "; see the usage above";
    case kStsResultFileFail:
      return ResultFilePath() + " cannot be written (" + std::strerror(resultFileError_ ? resultFileError_ : EIO) +
             "): make it a writable file; the codec was not touched";
    case kStsDetectDeviceFail:
      if (subcommandJob_) return "the chosen codec is no longer on its port";
      return explicitIndex_ ? "no codec at position " + std::to_string(startIndex_) +
                                  " (-d counts the connected codecs from 0)"
                            : "no codec found: check the cable and the udev rule (packaging/udev/70-tessaload.rules)";
    case kStsVidPidMismatch:
      return "the codec's VID/PID is not accepted: see the setting CheckVIDPID_INI (2: " +
             ProgramFolderPathWithSeparator() + "VidPidList.ini) and LockPort/PortNo";
    case kStsLoadFileDataFail:
      return "the image file " + file + " cannot be read";
    case kStsParseFwFileFail:
      return file + " is not a firmware image";
    case kStsFwNotForDevice:
      return file + " is an image for another chip";
    case kStsSaveFileFail:
      return file + " cannot be saved (folder, permissions, free space); nothing was kept";
    case kStsSaveSnFail:
      return "the codec's serial number does not fit the image (settings SaveSN, SN Address)";
    case kStsCompareDataFail:
      return "the codec's code memory differs from " + file;
    case kStsOtpSameVersion:
    case kStsOtpOlderVersion:
      return "nothing was written; use an image newer than the codec's firmware";
    case kStsStopped:
      return "the job was stopped by a signal";
    default:
      if (platform::StopSignalReceived()) return "the job was stopped by a signal";
      return {};
  }
}

std::string CParseArg::FailureText(int status) const {
  std::string line = std::to_string(status);
  const std::string text = StatusText(status);
  if (!text.empty()) line += " " + text;
  if (const std::string advice = Advice(status); !advice.empty()) line += " (" + advice + ")";
  return line;
}

void CParseArg::ReportFailure() const {
  const int status = LastStatusCode.load();
  if (ExitCodeForStatus(status) == 0) return;
  std::fprintf(stderr, "tessaload: %s\n", FailureText(status).c_str());
  std::fflush(stderr);
}

namespace {

// The OTP usage for the image file: used and free bytes, and how many more
// downloads of the image fit; the text goes to the device's connection text.
int ReportOtpUsage(CDevFlow& flow, const std::string& fileName) {
  flow.download.fileName = fileName;
  if (!LoadFileData(flow.download)) {
    LastStatusCode = kStsLoadFileDataFail;
    return 0;
  }
  if (!flow.LocateConfig(&flow.download.image, 0)) {
    LastStatusCode = kStsParseFwFileFail;
    return 0;
  }
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
  const int result = DispatchAction(flow);
  // A job that was asked to stop is never a pass, even when the request came
  // after its last safe point.
  if (!StopRequested()) return result;
  if (ExitCodeForStatus(LastStatusCode.load()) == 0) LastStatusCode = kStsStopped;
  return 0;
}

int CParseArg::DispatchAction(CDevFlow& flow) {
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

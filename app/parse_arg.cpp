#include "app/parse_arg.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "app/notify.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "platform/paths.h"

namespace {

struct OptionWord {
  const char* word;
  std::uint8_t action;
};

constexpr OptionWord kOptions[] = {
    {"-write", 'W'},   {"-verify", 'V'},  {"-erase", 'E'},  {"-dumpotp", 'Y'},
    {"-dumpspi", 'Z'}, {"-version", 'D'}, {"-detect", 'C'},
};

bool EqualNoCase(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// Writes text to a result file with every LF stored as CR LF, as a text-mode
// stream does.
void WriteText(std::FILE* file, const std::string& text) {
  for (char c : text) {
    if (c == '\n') std::fputc('\r', file);
    std::fputc(c, file);
  }
  std::fflush(file);
}

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
  if (resultFile_) WriteText(resultFile_, text);
}

void CParseArg::PrintPrompt() { Print(programFolder_ + ">"); }

bool CParseArg::OpenResultFile() {
  if (resultFile_) std::fclose(resultFile_);
  resultFile_ = std::fopen((programFolder_ + "/Result.txt").c_str(), "w+b");
  return resultFile_ != nullptr;
}

void CParseArg::CloseResultFile(bool pass) {
  if (!resultFile_) return;
  WriteText(resultFile_, pass ? "pass" : "fail");
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
  return 1;
}

int CParseArg::LoadICTypeIni() {
  TraceScope scope("CParseArg::LoadICTypeIni", kTraceFlow);
  // This build has no device library yet: no codec can be detected.
  NotifyUI(kMsgFailure, kStsDetectDeviceFail, 0);
  return 0;
}

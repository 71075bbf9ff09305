#include "app/result_files.h"

#include "app/file_routines.h"
#include "app/parse_arg.h"
#include "platform/prompter.h"

namespace {
constexpr char kBurnResultName[] = "burn_result.txt";
}  // namespace

void WriteTextStream(std::FILE* file, std::string_view text) {
  for (char c : text) {
    if (c == '\n') std::fputc('\r', file);
    std::fputc(c, file);
  }
  std::fflush(file);
}

std::string BurnResultTimeStamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d,       %H:%M:%S,         ", &local);
  return text;
}

const char* ResultWord(bool pass) { return pass ? "pass" : "fail"; }

bool AppendBurnResultRow(const JobOutcome& outcome, const std::string& folder) {
  const std::string path = folder.empty() ? std::string(kBurnResultName) : folder + "/" + kBurnResultName;
  const bool exists = FileExists(path);
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) {
    platform::CurrentPrompter().Show("Can't Open burn_result.txt");
    return false;
  }
  if (!exists) WriteTextStream(file, CParseArg::kBurnResultHeader);
  WriteTextStream(file, CParseArg::BurnResultRow(outcome.burnSerial, outcome.pass, outcome.status,
                                                 BurnResultTimeStamp(std::time(nullptr))));
  std::fclose(file);
  return true;
}

bool ResultTextFile::Create(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "w+b");
  return file_ != nullptr;
}

void ResultTextFile::Write(std::string_view text) {
  if (file_) WriteTextStream(file_, text);
}

void ResultTextFile::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

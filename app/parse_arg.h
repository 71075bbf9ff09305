#pragma once
// The command-line object: parses the factory command line, owns the console
// output and Result.txt of a silent action.
//
//   tessaload -f -write|-verify|-erase|-dumpotp|-dumpspi|-version|-detect FILE [-d N]
//   tessaload -f FILE [-d N]            (write FILE)
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/job_outcome.h"
#include "flow/flow_host.h"

class CDevFlow;
class TraceScope;

class CParseArg final : public FlowHost {
 public:
  CParseArg();
  ~CParseArg() override;
  CParseArg(const CParseArg&) = delete;
  CParseArg& operator=(const CParseArg&) = delete;

  // args[0] is the program path. 1 when an action was recognised; otherwise
  // the command line is refused: Result.txt says "fail" and LastStatusCode is
  // 41540 "Invalid Parameter!".
  int Parse_Arg(const std::vector<std::string>& args);
  // "--help", "-h" or "/?" alone.
  static bool IsHelpCommandLine(const std::vector<std::string>& args);
  static const char* const kUsage;

  // Console output: printing happens once the console is attached; while
  // Result.txt is open every printed text goes there too (LF stored as CR LF).
  void AttachConsole();
  void Print(const std::string& text);
  void PrintPrompt();

  // Result.txt in the program folder, created or emptied. When it cannot be
  // opened an earlier Result.txt file is removed, if it can be.
  bool OpenResultFile();
  // Appends "pass" or "fail" (no line end) and closes the file; false when the
  // file was not open or did not take everything written to it.
  bool CloseResultFile(bool pass);
  std::string ResultFilePath() const;

  // A job of a subcommand: the action letter of the factory form, its file
  // and the codec at that position of the device library. Such a job keeps
  // no Result.txt and writes no burn_result.txt row of its own (its outcome
  // record goes to the writers of the subcommands).
  void SetSubcommandJob(std::uint8_t action, std::string fileName, int position);
  bool IsSubcommandJob() const { return subcommandJob_; }

  // The preparation step: Result.txt, the IC description and device, the
  // device information. 1 when the action may run.
  int Prepare();
  // Chooses the IC description, opens the device and loads the image.
  int LoadICTypeIni();
  // Runs the action and writes the result files; 1 on success.
  int Excute_Arg();
  int Excute_Arg_Normal();
  // What the factory form knows of its job's end, `result` being what
  // Excute_Arg returns: the action, the last status with its text and exit
  // code, the verdict and the burn_result serial (the codec's manufacturer
  // text).
  JobOutcome Outcome(int result) const;
  // The reason line on standard error for a run whose status is a failure:
  // "tessaload: <id> <text> (<what to do>)"; nothing for a success.
  void ReportFailure() const;
  // "<id> <text> (<what to do>)" of a failure status.
  std::string FailureText(int status) const;

  // SIGINT or SIGTERM arrived.
  bool StopRequested() override;

  // The flows' view of the command line.
  void RememberedLocation(std::uint32_t& port, std::uint32_t& parent) override {
    port = rememberedPort_;
    parent = rememberedParent_;
  }
  void SetRememberedLocation(std::uint32_t port, std::uint32_t parent) override {
    rememberedPort_ = port;
    rememberedParent_ = parent;
  }

  std::uint8_t Action() const { return action_; }
  const std::string& FileName() const { return fileName_; }
  const std::string& Option() const { return option_; }
  int StartIndex() const { return startIndex_; }
  bool ExplicitIndex() const { return explicitIndex_; }

  // Where Result.txt is kept; the program folder unless set otherwise.
  void SetResultFolder(std::string folder) { programFolder_ = std::move(folder); }

  // One row of burn_result.txt for a run that ended with `pass` and `status`.
  static std::string BurnResultRow(const std::string& serial, bool pass, int status, const std::string& when);
  static const char* const kBurnResultHeader;

 private:
  std::uint8_t action_ = 0xFF;
  std::string fileName_;
  std::string option_;
  int startIndex_ = 0;
  bool explicitIndex_ = false;  // "-d N" was given
  bool subcommandJob_ = false;
  std::string refusal_;         // why the command line was refused
  int resultFileError_ = 0;     // errno of the failed Result.txt open or write
  std::string programFolder_;
  int consoleFlag_ = 0;
  int resultFileFlag_ = 0;
  std::FILE* resultFile_ = nullptr;
  int resultLogFlag_ = 0;
  std::uint32_t rememberedPort_ = 0;
  std::uint32_t rememberedParent_ = 0;

  int Dispatch(CDevFlow& flow);
  int DispatchAction(CDevFlow& flow);
  int Refuse(const TraceScope& scope, std::string why);
  std::string Advice(int status) const;
  // Selects a description for the job's image; 1 when one accepted it.
  int SelectDescriptionForImage(CDevFlow& flow);
};

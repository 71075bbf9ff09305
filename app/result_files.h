#pragma once
// Writing the two result files of a station, as the command line and the
// operator window both write them: Result.txt through a text stream (every LF
// stored as CR LF) and rows of burn_result.txt (CParseArg::BurnResultRow),
// each from the job's outcome record.
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "app/job_outcome.h"

// Writes text as a text-mode stream does: every LF is stored as CR LF.
void WriteTextStream(std::FILE* file, std::string_view text);

// The date and time fields of a burn_result.txt row for the local time `when`.
std::string BurnResultTimeStamp(std::time_t when);

// Result.txt's closing word for an outcome's verdict: "pass" or "fail", no
// line end.
const char* ResultWord(bool pass);

// The one writer of burn_result.txt rows, for the command line, the window
// and whoever supervises several jobs: appends the outcome's row (its
// burn_result serial, verdict and status) to burn_result.txt in `folder`,
// the current directory when empty, creating the file with its two header
// lines first. The file is open only while the row is written, and every
// write lands at its end, so rows of other writers are never overwritten.
// When the file cannot be opened the message "Can't Open burn_result.txt" is
// shown and false returned.
bool AppendBurnResultRow(const JobOutcome& outcome, const std::string& folder = "");

// Result.txt of the window: created or emptied at Start, written and closed
// at the outcome.
class ResultTextFile {
 public:
  ResultTextFile() = default;
  ~ResultTextFile() { Close(); }
  ResultTextFile(const ResultTextFile&) = delete;
  ResultTextFile& operator=(const ResultTextFile&) = delete;
  // Creates or empties the file; false when it cannot be created.
  bool Create(const std::string& path);
  // Writes through the text stream; nothing when the file is not open.
  void Write(std::string_view text);
  void Close();

 private:
  std::FILE* file_ = nullptr;
};

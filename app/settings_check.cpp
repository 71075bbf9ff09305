#include "app/settings_check.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "app/settings_keys.h"
#include "app/text_case.h"

namespace {

// A time setting and the values it may take, in milliseconds.
struct TimeRange {
  const SettingKey& key;
  long long min, max;
};

// The erase limit must cover a whole chip erase: shorter limits erase the
// firmware and then fail.
const TimeRange kTimeRanges[] = {
    {setting::kWaitTime, 0, 60000},
    {setting::kEraseTimeOut, 10000, 600000},
    {setting::kEraseCommandTime, 0, 60000},
    {setting::kAutoRunDelay, 0, 600000},
};

const SettingKey* const kAllKeys[] = {
    &setting::kDebugLog,     &setting::kIniType,        &setting::kLibType,          &setting::kLockPort,
    &setting::kPortNo,       &setting::kAutoRun,        &setting::kCheckVidPidIni,   &setting::kCheckVidPidBin,
    &setting::kResetToCache, &setting::kNormalReset,    &setting::kSnFunction,       &setting::kSaveSn,
    &setting::kSnAddress,    &setting::kEraseTimeOut,   &setting::kEraseCommandTime, &setting::kDisableRebootCheck,
    &setting::kLoopTest,     &setting::kLoopTestReboot, &setting::kSaveResultToFile, &setting::kLogType,
    &setting::kWaitTime,     &setting::kRtd3,           &setting::kBcdType,          &setting::kAutoRunDelay,
    &setting::kBlockErase,
};

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The value of a decimal or "0x" hexadecimal text with optional blanks around
// it; false for anything else (a sign, letters, nothing).
bool ParseWhole(const std::string& text, long long& value) {
  const std::string t = Trim(text);
  if (t.empty() || t.size() > 12) return false;
  const bool hex = t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
  for (std::size_t i = hex ? 2 : 0; i < t.size(); ++i)
    if (!(hex ? std::isxdigit(static_cast<unsigned char>(t[i])) : std::isdigit(static_cast<unsigned char>(t[i]))))
      return false;
  value = std::strtoll(t.c_str(), nullptr, hex ? 16 : 10);
  return true;
}

bool Negative(const std::string& text) {
  const std::string t = Trim(text);
  return t.size() > 1 && t[0] == '-' && std::isdigit(static_cast<unsigned char>(t[1]));
}

}  // namespace

int CheckSettings(std::FILE* out) {
  int warnings = 0;
  for (const TimeRange& range : kTimeRanges) {
    const std::string missing = "\x01";
    const std::string text = GetConfigString(kConfigSection, range.key.name, missing);
    if (text == missing) continue;
    long long value = 0;
    long long safe = range.key.def;
    std::string problem;
    if (!ParseWhole(text, value)) {
      problem = Negative(text) ? "is negative" : "is not a number";
    } else if (value < range.min || value > range.max) {
      safe = value < range.min ? range.min : range.max;
      problem = "is out of range";
    } else {
      continue;
    }
    std::fprintf(out, "tessaload: warning: setting \"%s=%s\" %s (%lld to %lld ms); using %lld\n", range.key.name,
                 text.c_str(), problem.c_str(), range.min, range.max, safe);
    setting::Set(range.key, int(safe));
    ++warnings;
  }
  for (const std::string& key : GetConfigKeys(kConfigSection)) {
    const std::string trimmed = Trim(key);
    if (trimmed == key) continue;
    bool known = EqualNoCase(trimmed, setting::kOtpPassword);
    for (const SettingKey* k : kAllKeys) known = known || EqualNoCase(trimmed, k->name);
    if (!known) continue;
    std::fprintf(out,
                 "tessaload: warning: setting \"%s\" has blanks around its name and is not read; write \"%s=...\"\n",
                 key.c_str(), trimmed.c_str());
    ++warnings;
  }
  std::fflush(out);
  return warnings;
}

#pragma once
// The JSON Lines of the subcommands' --json output: one object per line,
// each with "schema" and "event" (the README documents every event).
#include <string>

#include "app/codec_list.h"
#include "app/job_outcome.h"

inline constexpr int kJsonSchemaVersion = 1;

// Each returns one line, with its line end.
std::string JsonCodecLine(const CodecEntry& codec);
std::string JsonPhaseLine(const std::string& port, const std::string& serial, const std::string& name, int code,
                          const std::string& text);
std::string JsonProgressLine(const std::string& port, const std::string& serial, int percent);
std::string JsonResultLine(const JobOutcome& outcome);

#pragma once
// The subcommands of tessaload beside the factory form:
//
//   tessaload list [--json]
//   tessaload version|erase [--port P | --serial S] [--json] [--quiet] [--no-burn-result]
//   tessaload write|verify|read|detect FILE [--port P | --serial S] [--json] [--quiet] [--no-burn-result]
//   tessaload --help | --version
//
// The first word decides: a subcommand name, "--help" or "--version" go here,
// every other command line keeps its factory meaning.
#include <cstdint>
#include <string>
#include <vector>

struct SubcommandRequest {
  std::string action;  // "list", "version", "write", "verify", "read", "erase", "detect"
  std::string file;
  std::string port;
  std::string serial;
  bool json = false;
  bool quiet = false;
  bool noBurnResult = false;
};

// True when args[1] is a subcommand name, "--help" or "--version".
bool IsSubcommandLine(const std::vector<std::string>& args);

enum class SubcommandParse {
  kRun,      // `request` holds the job
  kDone,     // help or the program's version was printed on standard output
  kRefused,  // `error` says why the command line is not one of the forms above
};

SubcommandParse ParseSubcommandLine(const std::vector<std::string>& args, const std::string& programVersion,
                                    SubcommandRequest& request, std::string& error);

// The factory form's action letter for a subcommand's action; 0 for "list".
std::uint8_t FactoryActionOf(const std::string& action);

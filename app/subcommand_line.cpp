#include "app/subcommand_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "app/parse_arg.h"

namespace {

struct ActionWord {
  const char* name;
  std::uint8_t letter;
  const char* help;
  bool takesFile;
};

constexpr ActionWord kActions[] = {
    {"list", 0, "list the connected codecs", false},
    {"version", 'D', "show the codec's running firmware version", false},
    {"write", 'W', "write FILE to the codec's code memory and start it", true},
    {"verify", 'V', "compare the codec's code memory with FILE", true},
    {"read", 'Z', "read the codec's code memory into FILE", true},
    {"erase", 'E', "erase the codec's code memory", false},
    {"detect", 'C', "show the OTP usage for FILE", true},
};

}  // namespace

bool IsSubcommandLine(const std::vector<std::string>& args) {
  if (args.size() < 2) return false;
  const std::string& first = args[1];
  if (first == "--help" || first == "--version") return true;
  return std::any_of(std::begin(kActions), std::end(kActions), [&](const ActionWord& a) { return first == a.name; });
}

std::uint8_t FactoryActionOf(const std::string& action) {
  for (const ActionWord& a : kActions)
    if (action == a.name) return a.letter;
  return 0;
}

SubcommandParse ParseSubcommandLine(const std::vector<std::string>& args, const std::string& programVersion,
                                    SubcommandRequest& request, std::string& error) {
  CLI::App app{"tessaload: firmware programming for USB audio codecs", "tessaload"};
  app.footer(std::string("\nMany codecs at once (tessaload gang --help, tessaload station --help):\n"
                         "  tessaload gang write|verify FILE --ports P1,P2,... | --all [--json]\n"
                         "  tessaload station FILE --ports P1,P2,... [--json]\n"
                         "\nThe factory form, unchanged:\n") +
             CParseArg::kUsage);
  app.set_version_flag("--version", programVersion);
  app.require_subcommand(1);
  for (const ActionWord& a : kActions) {
    CLI::App* sub = app.add_subcommand(a.name, a.help);
    sub->add_flag("--json", request.json, "JSON Lines on standard output");
    if (a.letter == 0) continue;
    if (a.takesFile) sub->add_option("FILE", request.file, "the image file")->required();
    auto* port = sub->add_option("--port", request.port, "the codec on this USB port path (as `list` shows it)");
    sub->add_option("--serial", request.serial, "the codec with this USB serial number")->excludes(port);
    sub->add_flag("--quiet", request.quiet, "print only the outcome");
    sub->add_flag("--no-burn-result", request.noBurnResult, "write no burn_result.txt row");
  }
  std::vector<std::string> reversed(args.rbegin(), args.rend() - 1);
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return SubcommandParse::kDone;
  } catch (const CLI::CallForVersion&) {
    std::printf("tessaload %s\n", programVersion.c_str());
    return SubcommandParse::kDone;
  } catch (const CLI::ParseError& e) {
    error = e.what();
    return SubcommandParse::kRefused;
  }
  for (const ActionWord& a : kActions)
    if (app.got_subcommand(a.name)) request.action = a.name;
  return SubcommandParse::kRun;
}

#include <cstdio>
#include <cstdlib>
#include <map>

#include "app/file_routines.h"
#include "image/sample_image.h"
#include "tools/image/commands.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "tessaload-image build: %s\n", message.c_str());
  return 2;
}

bool ParseHex16(const std::string& text, std::uint16_t& value) {
  std::string digits = text;
  if (digits.size() > 2 && (digits.starts_with("0x") || digits.starts_with("0X"))) digits.erase(0, 2);
  if (digits.empty() || digits.size() > 4) return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(digits.c_str(), &end, 16);
  if (*end != '\0' || v == 0) return false;
  value = std::uint16_t(v);
  return true;
}

}  // namespace

int RunBuild(const std::vector<std::string>& args) {
  static const char* const kOptions[] = {"--chip", "--memory", "--version", "--vid",
                                         "--pid",  "--manufacturer", "--serial", "-o"};
  std::map<std::string, std::string> opts;
  for (std::size_t i = 0; i < args.size(); i += 2) {
    bool known = false;
    for (const char* o : kOptions) known = known || args[i] == o;
    if (!known) return Fail("unknown option \"" + args[i] + "\"");
    if (i + 1 >= args.size()) return Fail("option " + args[i] + " needs a value");
    opts[args[i]] = args[i + 1];
  }
  for (const char* required : {"--chip", "--version", "-o"})
    if (!opts.count(required)) return Fail(std::string("missing ") + required);

  SampleImageSpec spec;
  spec.chip = opts["--chip"];
  if (opts.count("--memory") && !ParseSampleMemory(opts["--memory"], spec.memory))
    return Fail("unknown memory type \"" + opts["--memory"] + "\"");
  const auto version = ParseVersionText(opts["--version"]);
  if (!version) return Fail("version \"" + opts["--version"] + "\" is not of the form 4.119.0000-0000.0007");
  spec.version = *version;
  if (opts.count("--vid") && !ParseHex16(opts["--vid"], spec.vid)) return Fail("bad --vid \"" + opts["--vid"] + "\"");
  if (opts.count("--pid") && !ParseHex16(opts["--pid"], spec.pid)) return Fail("bad --pid \"" + opts["--pid"] + "\"");
  if (opts.count("--manufacturer")) spec.manufacturer = opts["--manufacturer"];
  if (opts.count("--serial")) spec.serial = opts["--serial"];

  std::vector<std::uint8_t> image;
  std::string error;
  if (!BuildSampleImage(spec, image, error)) return Fail(error);
  if (!WriteWholeFile(opts["-o"], image)) return Fail("cannot write \"" + opts["-o"] + "\"");
  return 0;
}

#include "app/subcommand_run.h"

#include <algorithm>
#include <cstdio>

#include "app/codec_list.h"
#include "app/job_json.h"
#include "app/job_outcome.h"
#include "app/job_progress.h"
#include "app/parse_arg.h"
#include "app/program_state.h"
#include "app/quillox_app.h"
#include "app/result_files.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "device/dev_lib.h"
#include "flow/create_flow.h"
#include "flow/job_phase_marks.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/stop_signals.h"

namespace {

void Out(std::FILE* file, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), file);
  std::fflush(file);
}

void RunList(const SubcommandRequest& request) {
  const std::vector<CodecEntry> codecs = ListCodecs();
  for (const CodecEntry& c : codecs) Out(stdout, request.json ? JsonCodecLine(c) : CodecLine(c) + "\n");
  if (codecs.empty() && !request.json) Out(stderr, "tessaload: no codec found\n");
  LastStatusCode = 0;
}

// The human outcome line: which codec, what was asked, PASS or FAIL and why.
std::string OutcomeLine(const JobOutcome& o, const std::string& reason, const std::string& details) {
  std::string line = (o.port.empty() ? std::string("tessaload") : CodecName(o.port, o.serial)) + ": " + o.action;
  if (!o.imageFile.empty()) line += " " + o.imageFile;
  if (!o.pass) return line + ": FAIL " + reason + "\n";
  line += ": PASS";
  if (o.action == "version") return line + ", version " + o.versionBefore + "\n";
  if (!o.versionAfter.empty()) line += ", version " + o.versionBefore + " -> " + o.versionAfter;
  line += " (" + std::to_string(o.durationMs) + " ms)\n";
  return details.empty() ? line : line + details + "\n";
}

void Report(const SubcommandRequest& request, const JobOutcome& o, const std::string& reason,
            const std::string& details) {
  if (request.json) {
    Out(stdout, JsonResultLine(o));
    if (!o.pass) Out(stderr, "tessaload: " + CodecName(o.port, o.serial) + (o.port.empty() ? "" : ": ") + reason + "\n");
  } else {
    Out(o.pass ? stdout : stderr, OutcomeLine(o, reason, details));
  }
  if (!request.noBurnResult && setting::Get(setting::kLogType) != 0)
    AppendBurnResultRow(o);
}

std::string StatusWithReason(int status, const std::string& reason) {
  return std::to_string(status) + " " + StatusText(status) + " (" + reason + ")";
}

std::string NoCodecReason(const CodecSelection& s) {
  if (!s.port.empty()) return "no codec on port " + s.port + "; tessaload list shows the ports";
  if (!s.serial.empty()) return "no codec with serial \"" + s.serial + "\"; tessaload list shows the serials";
  return "no codec found: check the cable and the udev rule (packaging/udev/70-tessaload.rules)";
}

// The version the codec runs now, read again on its port; empty when it is not there.
std::string VersionOnPort(const std::string& port) {
  const std::vector<CodecEntry> codecs = ListCodecs(port);
  return codecs.empty() ? std::string() : codecs.front().version;
}

}  // namespace

void RunSubcommand(const SubcommandRequest& request, CParseArg& job) {
  if (request.action == "list") return RunList(request);
  platform::Clock& clock = DevLib_Clock();
  const std::uint64_t startMs = clock.NowMs();
  JobFacts facts;
  facts.action = request.action;
  facts.imageFile = request.action == "read" ? std::string() : request.file;
  SetFlowHost(&job);  // the job's phases are logged from here on
  BeginJobPhases();
  const auto finish = [&](const std::string& reason, const std::string& details = {}) {
    EndJobPhases();
    facts.durationMs = clock.NowMs() - startMs;
    const JobOutcome outcome = CollectJobOutcome(facts, &job);
    std::string why = reason;
    if (why.empty() && !outcome.pass) why = job.FailureText(outcome.status);
    Report(request, outcome, why, details);
  };

  const CodecSelection selection{request.port, request.serial};
  // A codec named by its port is this job's from its listing to the job's end.
  const DevLibPortBinding listing(request.port);
  const std::vector<CodecEntry> codecs = ListCodecs(request.port);
  CodecEntry chosen;
  switch (ChooseCodec(codecs, selection, chosen)) {
    case SelectionResult::kNone:
      LastStatusCode = kStsDetectDeviceFail;
      return finish(StatusWithReason(kStsDetectDeviceFail, NoCodecReason(selection)));
    case SelectionResult::kSeveral: {
      LastStatusCode = kStsInvalidParameter;
      std::string list;
      for (const CodecEntry& c : codecs)
        if ((request.port.empty() || c.port == request.port) && (request.serial.empty() || c.serial == request.serial))
          list += "  " + CodecLine(c) + "\n";
      Out(stderr, "tessaload: several codecs are connected; choose one with --port or --serial:\n" + list);
      return finish(StatusWithReason(kStsInvalidParameter, "several codecs match: choose one with --port or --serial"));
    }
    case SelectionResult::kChosen:
      break;
  }
  facts.codec = &chosen;

  // The job opens the chosen codec on its port, at whatever position the bus
  // lists it when it opens it (and again after a failed reset); the flows
  // find it again after each reset by its USB location.
  const DevLibPortBinding binding(chosen.port);
  job.SetRememberedLocation(chosen.portNumber, chosen.parent);
  job.SetSubcommandJob(FactoryActionOf(request.action), request.file, chosen.position);
  SilentMode = 1;
  platform::InstallStopSignals();
  const JobProgress::Mode mode = request.json ? JobProgress::Mode::kJson
                                 : (!request.quiet && platform::StandardErrorIsTerminal()) ? JobProgress::Mode::kTerminal
                                                                                          : JobProgress::Mode::kQuiet;
  std::string details;
  {
    JobProgress progress(mode, chosen.port, chosen.serial);
    if (job.Prepare()) {
      std::string port;
      DevLib_GetPortPath(0, port);
      if (port == chosen.port) {
        job.Excute_Arg();
      } else {
        // Another codec took the position in between: it is not touched.
        LastStatusCode = kStsDetectDeviceFail;
      }
    } else if (ExitCodeForStatus(LastStatusCode.load()) == 0) {
      LastStatusCode = kStsActionFail;
    }
    if (request.action == "detect" && CurrentFlow()) details = CurrentFlow()->connectionText;
    CloseFlowDevice();
  }
  if (request.action == "read" && ExitCodeForStatus(LastStatusCode.load()) == 0) facts.imageFile = request.file;
  if (request.action == "write" || request.action == "erase") {
    const int status = LastStatusCode.load();
    facts.versionAfter = VersionOnPort(chosen.port);
    LastStatusCode = status;
  }
  finish({}, details);
}

void RefuseSubcommandLine(const std::vector<std::string>& args, const std::string& error) {
  LastStatusCode = kStsInvalidParameter;
  const std::string reason = StatusWithReason(kStsInvalidParameter, error + "; see tessaload --help");
  if (std::find(args.begin(), args.end(), "--json") == args.end()) {
    Out(stderr, "tessaload: " + reason + "\n");
    return;
  }
  JobOutcome o;
  o.action = args.size() > 1 ? args[1] : std::string();
  SetJobStatus(o, kStsInvalidParameter);
  Out(stdout, JsonResultLine(o));
  Out(stderr, "tessaload: " + reason + "\n");
}

#include "app/job_json.h"

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

Json Event(const char* event) {
  Json j;
  j["schema"] = kJsonSchemaVersion;
  j["event"] = event;
  return j;
}

// Texts from the codec may hold any bytes: invalid UTF-8 is replaced, never thrown over.
std::string Line(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n"; }

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value & 0xFFFF);
  return text;
}

}  // namespace

std::string JsonCodecLine(const CodecEntry& c) {
  Json j = Event("codec");
  j["port"] = c.port;
  j["vid"] = Hex4(c.vid);
  j["pid"] = Hex4(c.pid);
  j["rev"] = Hex4(c.rev);
  j["mode"] = c.bootRom ? "rom" : "firmware";
  j["chip"] = c.chip;
  j["family"] = c.family;
  j["memory"] = c.memory;
  j["version"] = c.version;
  j["manufacturer"] = c.manufacturer;
  j["serial"] = c.serial;
  return Line(j);
}

std::string JsonPhaseLine(const std::string& port, const std::string& serial, const std::string& name, int code,
                          const std::string& text) {
  Json j = Event("phase");
  j["port"] = port;
  j["serial"] = serial;
  j["name"] = name;
  j["code"] = code;
  j["text"] = text;
  return Line(j);
}

std::string JsonProgressLine(const std::string& port, const std::string& serial, int percent) {
  Json j = Event("progress");
  j["port"] = port;
  j["serial"] = serial;
  j["percent"] = percent;
  return Line(j);
}

std::string JsonResultLine(const JobOutcome& o) {
  Json j = Event("result");
  j["action"] = o.action;
  j["port"] = o.port;
  j["serial"] = o.serial;
  j["burn_serial"] = o.burnSerial;
  j["chip"] = o.chip;
  j["family"] = o.family;
  j["memory"] = o.memory;
  j["version_before"] = o.versionBefore;
  j["version_after"] = o.versionAfter;
  j["file"] = o.imageFile;
  j["sha256"] = o.imageSha256;
  j["status"] = o.status;
  j["status_text"] = o.statusText;
  j["exit_code"] = o.exitCode;
  j["pass"] = o.pass;
  j["duration_ms"] = o.durationMs;
  j["phases"] = Json::array();
  for (const JobPhase& p : o.phases)
    j["phases"].push_back({{"name", p.name}, {"duration_ms", p.durationMs}, {"transfers", p.transfers}, {"bytes", p.bytes}});
  return Line(j);
}

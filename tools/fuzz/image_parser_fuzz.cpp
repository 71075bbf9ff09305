// libFuzzer target: image parsing and the configuration-record stream over
// arbitrary bytes, with each built-in description, and a rewrite of what was
// read.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/program_state.h"
#include "image/builtin_tables.h"
#include "image/config_passes.h"
#include "image/desc_stream.h"
#include "image/image_parse.h"
#include "platform/prompter.h"

namespace {

class Quiet final : public platform::Prompter {
 public:
  platform::PromptAnswer Ask(const std::string&, const std::string&, platform::PromptKind,
                             platform::PromptAnswer a) override {
    return a;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Quiet quiet;
  platform::SetCurrentPrompter(&quiet);
  const std::vector<std::uint8_t> bytes(data, data + size);

  // The record stream directly, at offset 0, and a rewrite of its records.
  CDescStream in;
  const CDescGlobal header = in.OpenArea(bytes);
  CDescStream out;
  out.BeginRewrite(header, in.Leading());
  in.Walk([&](const CDescStream::RecordSeen& seen) { out.AppendRecord(seen.record); });
  std::vector<std::uint8_t> room(0x1000);
  out.FinishRewrite(room);

  // Whole images under the first byte's choice of description and read size.
  static std::vector<CICTypeIni> descriptions = [] {
    std::vector<CICTypeIni> list(BuiltInDescriptions().size());
    for (std::size_t i = 0; i < list.size(); ++i) {
      list[i].DiscoverDescriptions();
      list[i].SelectDescriptionByIndex(int(i));
      list[i].ReadGeneralKeys();
    }
    return list;
  }();
  const std::uint8_t choice = size ? data[0] : 0;
  CodeReadSize = (choice & 0x80) ? 0x4000 : std::uint32_t(size);
  MemoryType = (choice & 0x40) ? 6 : 0;
  CImageJob job;
  job.image = bytes;
  ParseImage(job, descriptions[choice % descriptions.size()]);
  // Small inputs reach the flash-image offsets when placed at 0xF000.
  if (size < 0x2000) {
    job.image.assign(0xF000, 0xFF);
    job.image.insert(job.image.end(), bytes.begin(), bytes.end());
    ParseImage(job, descriptions[1]);
  }
  return 0;
}

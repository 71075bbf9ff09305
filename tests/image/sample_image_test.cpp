// The built-in sample images: reproducible from their description, pinned by
// committed checksums, and readable by the program and by tessaload-image.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "image/image_parse.h"
#include "image/sample_image.h"
#include "platform/resources.h"
#include "tests/support/image_fixtures.h"

namespace {

struct ImageLine {
  int id;
  std::string name;
  std::vector<std::string> args;
};

std::vector<ImageLine> ImageDescription() {
  std::ifstream in(std::string(TESSALOAD_SOURCE_DIR) + "/resources/images/images.txt");
  std::vector<ImageLine> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    ImageLine l;
    words >> l.id >> l.name;
    for (std::string w; words >> w;) l.args.push_back(w);
    lines.push_back(l);
  }
  return lines;
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string RunTool(const std::string& args, int& status) {
  const std::string command = std::string(TESSALOAD_BINARY_DIR) + "/bin/tessaload-image " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  std::array<char, 256> buf;
  while (pipe && fgets(buf.data(), int(buf.size()), pipe)) out += buf.data();
  status = pipe ? pclose(pipe) : -1;
  return out;
}

TEST(SampleImages, RegeneratingGivesTheEmbeddedBytes) {
  const auto lines = ImageDescription();
  ASSERT_EQ(lines.size(), 11u);
  for (const ImageLine& l : lines) {
    SCOPED_TRACE(l.name);
    SampleImageSpec spec;
    for (std::size_t i = 0; i + 1 < l.args.size(); i += 2) {
      const std::string& key = l.args[i];
      const std::string& value = l.args[i + 1];
      if (key == "--chip") spec.chip = value;
      if (key == "--memory") {
        ASSERT_TRUE(ParseSampleMemory(value, spec.memory));
      }
      if (key == "--version") spec.version = ParseVersionText(value).value();
      if (key == "--manufacturer") spec.manufacturer = value;
      if (key == "--serial") spec.serial = value;
    }
    std::vector<std::uint8_t> image;
    std::string error;
    ASSERT_TRUE(BuildSampleImage(spec, image, error)) << error;
    const auto embedded = platform::FindResource("BINARY", l.id);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), embedded.begin(), embedded.end()));
  }
}

TEST(SampleImages, MatchTheCommittedChecksums) {
  std::ifstream in(std::string(TESSALOAD_SOURCE_DIR) + "/resources/images/checksums.txt");
  std::map<std::string, std::string> sums;
  for (std::string name, crc; in >> crc >> name;) sums[name] = crc;
  for (const ImageLine& l : ImageDescription()) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", Crc32(platform::FindResource("BINARY", l.id)));
    EXPECT_EQ(sums[l.name], text) << l.name;
  }
}

class SampleImageParse : public ImageTest {};

TEST_F(SampleImageParse, EveryImageSuitsItsDescription) {
  for (const ImageLine& l : ImageDescription()) {
    SCOPED_TRACE(l.name);
    const std::string chip = l.args[1];
    const CICTypeIni ic = BuiltIn(chip);
    CImageJob job;
    const auto bytes = platform::FindResource("BINARY", l.id);
    job.image.assign(bytes.begin(), bytes.end());
    CodeReadSize = std::uint32_t(job.image.size());
    ASSERT_EQ(ParseImage(job, ic), 1);
    EXPECT_TRUE(IsImageForDevice(job, ic));
    std::string text;
    FwVersion version;
    ASSERT_EQ(GetImageVersion(job.image, text, version), 1);
    EXPECT_EQ(text, l.args[5]);
    EXPECT_TRUE(prompter.shown.empty());
  }
}

TEST(SampleImages, InfoPrintsFamilyAndVersion) {
  for (const ImageLine& l : ImageDescription()) {
    const std::string path = std::string(TESSALOAD_BINARY_DIR) + "/resources/images/" + l.name + ".bin";
    int status = 0;
    const std::string out = RunTool("info " + path, status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("chip family:     "), std::string::npos) << out;
    EXPECT_NE(out.find("version:         " + l.args[5]), std::string::npos) << out;
  }
}

TEST(SampleImages, ToolRejectsBrokenInput) {
  const std::string dir = testing::TempDir();
  const auto full = platform::FindResource("BINARY", 3018);
  struct Case {
    const char* file;
    std::size_t length;
    const char* message;
  };
  for (const Case c : {Case{"cut-area.bin", 0xF020, "corrupt at offset 0xF01F"},
                       Case{"cut-code.bin", 0x8000, "no configuration area"}}) {
    const std::string path = dir + c.file;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(full.data()), std::streamsize(c.length));
    int status = 0;
    const std::string out = RunTool("info " + path, status);
    EXPECT_NE(status, 0) << c.file;
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
  }
  struct Bad {
    const char* args;
    const char* message;
  };
  const Bad bad[] = {
      {"info /nonexistent/fw.bin", "cannot read"},
      {"build --chip VMC2230 --version 1.2.3 -o x.bin", "not of the form"},
      {"build --chip VMC9999 --version 4.119.0000-0000.0007 -o x.bin", "unknown chip"},
      {"build --chip VMC2210 --memory otp --version 4.119.0000-0000.0007 -o x.bin", "small-cache-code"},
      {"build --chip VMC2230 --memory tape --version 4.119.0000-0000.0007 -o x.bin", "unknown memory type"},
      {"build --chip VMC2230 --version 4.119.0000-0000.0007", "missing -o"},
      {"build --chip VMC2230 --version 4.119.0000-0000.0007 --pid 12345 -o x.bin", "bad --pid"},
      {"frobnicate", "unknown command"},
  };
  for (const Bad& b : bad) {
    int status = 0;
    const std::string out = RunTool(b.args, status);
    EXPECT_NE(status, 0) << b.args;
    EXPECT_NE(out.find(b.message), std::string::npos) << b.args << "\n" << out;
  }
}

}  // namespace

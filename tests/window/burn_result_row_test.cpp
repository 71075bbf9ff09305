// burn_result.txt has one writer: the window and the command line give the
// same row for the same codec and outcome, and a row that another writer
// appends while a command-line job runs stays in the file.
#include "app/notify.h"
#include "app/parse_arg.h"
#include "app/result_files.h"
#include "tests/window/window_fixture.h"

namespace {

constexpr char kOld[] = "4.119.0000-0000.0007";
constexpr char kSettings[] = "LogType=1\r\n";
constexpr std::size_t kTimeSize = 36;

class BurnResultRows : public WindowTest {
 protected:
  // The rows after the header, each without its date and time fields.
  std::vector<std::string> Rows() {
    const std::string log = station_.Read("burn_result.txt");
    EXPECT_TRUE(log.starts_with("Update date       Update Time       Serial number              Result   ErrCode\r\r\n"))
        << log;
    std::vector<std::string> rows;
    for (std::size_t at = log.find('\n', log.find('\n') + 1) + 1; at < log.size();) {
      const std::size_t end = log.find('\n', at) + 1;
      if (end == 0) break;
      rows.push_back(log.substr(at + kTimeSize, end - at - kTimeSize));
      at = end;
    }
    return rows;
  }
  // The factory form `-f -write FILE` in this process, on new services over
  // the same bench, as the next program on the station would run it.
  int CommandLineWrite(const std::string& file) {
    window_.reset();
    bench_.services_.Stop();
    ServiceOptions options;
    options.settingsText = std::string("[Quillox Config]\r\nCheckVIDPID_INI=1\r\n") + kSettings;
    options.usbHost = bench_.host_.get();
    EXPECT_TRUE(bench_.services_.Start(options));
    CParseArg command;
    command.SetResultFolder(station_.Path());
    EXPECT_EQ(command.Parse_Arg({"tessaload", "-f", "-write", file}), 1);
    return bench_.services_.RunJob(&command, true, [&] { return command.Prepare() ? command.Excute_Arg() : 0; });
  }
};

struct RowCase {
  const char* name;
  const char* faults;
  const char* row;
};

class SameRow : public BurnResultRows, public testing::WithParamInterface<RowCase> {};

TEST_P(SameRow, FromTheWindowAndTheCommandLine) {
  const RowCase& c = GetParam();
  Open({StationBench::Codec(kOld)}, kSettings, c.faults);
  const bool fails = *c.faults != 0;
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == (fails ? "FAIL" : "PASS"); }));
  Settle();
  // The image the window wrote, named on the command line.
  const auto image = BuiltInImage("FFU_3C5A_2230");
  station_.Write("image.bin", std::string(image.begin(), image.end()));
  EXPECT_EQ(CommandLineWrite(station_.File("image.bin")), fails ? 0 : 1);
  EXPECT_EQ(Rows(), (std::vector<std::string>{c.row, c.row}));
}

INSTANTIATE_TEST_SUITE_P(Cases, SameRow,
                         testing::Values(RowCase{"Pass", "", "Morvane,                   Pass,    0:\r\r\n"},
                                         RowCase{"Fail", "flip-read=100:01",
                                                 "Morvane,                   Fail,    41717:\r\r\n"}),
                         [](const auto& info) { return info.param.name; });

// Another writer (a second station program, a supervisor) appends its row
// while the command line's job runs, into a file that did not exist before.
class RowDuringTheJob final : public NotifySink {
 public:
  int Post(std::uint32_t message, std::intptr_t, std::intptr_t) override {
    if (message == kMsgPhase && !written) {
      JobOutcome other;
      other.burnSerial = "other station";
      other.pass = true;
      written = AppendBurnResultRow(other, folder);
    }
    return 0;
  }
  std::string folder;
  bool written = false;
};

TEST_F(BurnResultRows, ARowAppendedDuringAJobStays) {
  bench_.Start({StationBench::Codec(kOld)}, kSettings);
  const auto image = BuiltInImage("FFU_3C5A_2230");
  station_.Write("image.bin", std::string(image.begin(), image.end()));
  RowDuringTheJob other;
  other.folder = station_.Path();  // the current folder, named
  SetNotifySink(&other);
  EXPECT_EQ(CommandLineWrite(station_.File("image.bin")), 1);
  SetNotifySink(nullptr);
  ASSERT_TRUE(other.written);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"other station,             Pass,    0:\r\r\n",
                                              "Morvane,                   Pass,    0:\r\r\n"}));
}

}  // namespace

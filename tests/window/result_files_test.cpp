// Result.txt and burn_result.txt as the window writes them at an outcome.
#include "tests/window/window_fixture.h"

namespace {

constexpr char kOld[] = "4.119.0000-0000.0007";
// Lines that end in CR LF go through a text stream, as on the command line:
// each is stored with CR CR LF.
constexpr char kHeader[] =
    "Update date       Update Time       Serial number              Result   ErrCode\r\r\n"
    "================  ================  =========================  =======  =======\r\r\n";

struct ResultCase {
  const char* name;
  int mode;       // SaveResultToFile
  bool loopTest;  // one run in loop-test mode
  bool fails;
  const char* resultTxt;
  const char* rowTail;  // the burn_result.txt row after its date and time
};

class ResultFiles : public WindowTest, public testing::WithParamInterface<ResultCase> {};

TEST_P(ResultFiles, AtTheOutcome) {
  const ResultCase& c = GetParam();
  const std::string settings = "SaveResultToFile=" + std::to_string(c.mode) + "\r\nLogType=1\r\n" +
                               (c.loopTest ? "Loop Test=1\r\n" : "");
  Open({StationBench::Codec(kOld)}, settings, c.fails ? "flip-read=100:01" : "");
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == (c.fails ? "FAIL" : "PASS"); }));
  Settle();
  EXPECT_EQ(station_.Read("Result.txt"), c.resultTxt);
  const std::string log = station_.Read("burn_result.txt");
  ASSERT_EQ(log.substr(0, sizeof kHeader - 1), kHeader);
  const std::string row = log.substr(sizeof kHeader - 1);
  ASSERT_EQ(row.size(), 36 + std::string(c.rowTail).size()) << row;
  EXPECT_EQ(row.substr(36), c.rowTail);
  EXPECT_EQ(row.substr(4, 1) + row.substr(7, 1) + row.substr(10, 8), "--,       ");  // 2026-12-10,
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResultFiles,
    testing::Values(
        ResultCase{"ShortPass", 1, false, false, "pass", "Morvane,                   Pass,    0:\r\r\n"},
        ResultCase{"LongPass", 2, false, false,
                   "After Download,TestResult = pass, VID is 0x3c5a, PID is 0x2230, Rev is 0x0100\r\n",
                   "Morvane,                   Pass,    0:\r\r\n"},
        ResultCase{"ShortFail", 1, false, true, "fail", "Morvane,                   Fail,    41717:\r\r\n"},
        ResultCase{"LongFail", 2, false, true,
                   "TestResult = fail, VID is 0x3c5a, PID is 0x2230, Rev is 0x0100\r\n",
                   "Morvane,                   Fail,    41717:\r\r\n"},
        // In loop test a success leaves Result.txt as Start made it: empty.
        ResultCase{"LoopTestPass", 1, true, false, "", "Morvane,                   Pass,    0:\r\r\n"},
        ResultCase{"LoopTestFail", 1, true, true, "fail", "Morvane,                   Fail,    41717:\r\r\n"}),
    [](const auto& info) { return info.param.name; });

TEST_F(WindowTest, WithoutTheSettingsNoResultFileIsWritten) {
  Open({StationBench::Codec(kOld)});
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS"; }));
  Settle();
  EXPECT_FALSE(std::filesystem::exists(station_.File("Result.txt")));
  EXPECT_FALSE(std::filesystem::exists(station_.File("burn_result.txt")));
}

}  // namespace

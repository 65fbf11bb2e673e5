#include <sys/stat.h>

#include <regex>

#include <gtest/gtest.h>
#include <boost/filesystem/operations.hpp>

#include "lobby/time_tracking.h"
#include "temp_root.h"

namespace fs = boost::filesystem;
using std::chrono::microseconds;
using std::chrono::system_clock;

namespace {
TEST(TimeTracking, RecordCutsTheTimeToWholeMilliseconds) {
  const system_clock::time_point start(microseconds(1700000000000500));
  EXPECT_EQ(timeTrackingRecord(start),
            "{\"logType\": \"startingTimeStamp\", \"value\": 1700000000000}\n");
}

class TimeTrackingFile : public TempRootTest {};

TEST_F(TimeTrackingFile, ReplacesAnyEarlierContent) {
  writeFile(work_ / "liveUpdateLog.log", std::string(100000, 'x'));
  ::testing::internal::CaptureStdout();
  writeTimeTrackingFile();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  const std::regex record(R"(\{"logType": "startingTimeStamp", "value": [0-9]{13}\}\n)");
  EXPECT_TRUE(std::regex_match(readFile(work_ / "liveUpdateLog.log"), record));
}

TEST_F(TimeTrackingFile, WarnsWhenTheFileCannotBeWritten) {
  const auto folder = root_ / "folder";
  const auto pipe = root_ / "pipe";
  const auto link = root_ / "link";
  fs::create_directories(folder / "liveUpdateLog.log");
  fs::create_directories(pipe);
  ASSERT_EQ(mkfifo((pipe / "liveUpdateLog.log").c_str(), 0600), 0);
  writeFile(root_ / "victim.txt", "precious");
  fs::create_directories(link);
  fs::create_symlink(root_ / "victim.txt", link / "liveUpdateLog.log");
  for (const auto& dir : {folder, pipe, link}) {
    fs::current_path(dir);
    ::testing::internal::CaptureStdout();
    writeTimeTrackingFile();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "warning: Could not create time tracking file 'liveUpdateLog.log'\n");
  }
  EXPECT_EQ(readFile(root_ / "victim.txt"), "precious");
}
}  // namespace

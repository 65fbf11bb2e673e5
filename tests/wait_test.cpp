#include <boost/filesystem/operations.hpp>

#include "harness.h"

namespace fs = boost::filesystem;

// Each of these starts waits 5 s for the old client to quit.
namespace {
class Wait : public LauncherTest {};

TEST_F(Wait, SecondInstanceIsRefusedAtOnce) {
  auto first = start({"--restart"});
  std::string line;
  ASSERT_TRUE(std::getline(first->out, line));
  ASSERT_EQ(line, "restart mode / kill mode");  // the first one holds the lock now

  const auto second = run({"--session", "s"});
  EXPECT_EQ(second.status, 255);
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(dialog(), "Error: Another instance of this program is already running.");
  EXPECT_FALSE(fs::exists(work_ / "liveUpdateLog.log"));
  EXPECT_FALSE(fs::exists(app_ / "MacOS"));

  const auto rest = finish(*first);
  EXPECT_EQ(rest.status, 0);
  EXPECT_EQ(rest.out, "");
  EXPECT_EQ(calls("open").size(), 1u);
}

TEST_F(Wait, KillRunLeavesEverythingForTheNextStart) {
  writeFile(app_ / "update_1/x", "1");
  writeFile(app_ / "update_2/x", "2");

  const auto run = this->run({"--restart", "--kill"});

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "restart mode / kill mode\n");
  EXPECT_EQ(readFile(app_ / "update_1/x"), "1");
  EXPECT_EQ(readFile(app_ / "update_2/x"), "2");
  EXPECT_FALSE(fs::exists(work_ / "liveUpdateLog.log"));
  EXPECT_TRUE(calls("open").empty());
  EXPECT_TRUE(calls("osascript").empty());
}

TEST_F(Wait, TheNewestStagedUpdateIsAppliedAndTheOthersRemoved) {
  writeFile(app_ / "update_9/x", "9");
  // Left by an earlier start: it must go before update_9 can take its name.
  writeFile(app_ / "old_update_9/left/over", "earlier run");
  writeFile(app_ / "update_10/x", "10");

  const auto run = this->run({});

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      run.out.rfind("restart mode / kill mode\ncopying " + (app_ / "update_10/x").string(), 0), 0u)
      << run.out;
  EXPECT_EQ(readFile(app_ / "x"), "10");
  EXPECT_FALSE(fs::exists(app_ / "update_9"));
  EXPECT_FALSE(fs::exists(app_ / "old_update_9"));
  EXPECT_FALSE(fs::exists(app_ / "update_10"));
  EXPECT_EQ(calls("open").size(), 1u);
}
}  // namespace

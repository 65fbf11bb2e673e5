#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>
#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/operations.hpp>

#include "locations/app_folder.h"
#include "temp_root.h"
#include "update/journal.h"

namespace fs = boost::filesystem;

bool operator==(const JournalRecord& a, const JournalRecord& b) {
  return a.change == b.change && a.path == b.path && a.kept == b.kept && a.temporary == b.temporary;
}

namespace {
using Records = std::vector<JournalRecord>;

TEST(JournalBytes, HoldAnyPathAndEndAtTheFirstRecordThatDoesNotCheck) {
  const std::string longName(255, 'n');
  const Records records = {
      {Change::privateFolder, ".launcher-rollback", {}, {}},
      {Change::rollbackFolder, "/tmp/poker_rollback/0123abcd", {}, {}},
      {Change::folderMade, "a\nline feed", {}, {}},
      {Change::added, "a\nline feed/" + longName, {}, "a\nline feed/.t"},
      {Change::keptFile, "not utf-8 \xff\xfe", "not utf-8 \xff\xfe", ".t2"},
      {Change::keptFolder, "f", "f", ".t4"},
      {Change::complete, {}, {}, {}},
  };
  const auto bytes = encodeRecords(records);
  EXPECT_EQ(decodeRecords(bytes), records);

  // A run killed while writing keeps every record written whole before.
  std::vector<std::size_t> ends;
  for (std::size_t k = 0; k <= records.size(); ++k) {
    ends.push_back(encodeRecords({records.begin(), records.begin() + k}).size());
  }
  for (std::size_t cut = 0, whole = 0; cut <= bytes.size(); ++cut) {
    while (whole < records.size() && ends[whole + 1] <= cut) ++whole;
    ASSERT_EQ(decodeRecords(bytes.substr(0, cut)),
              Records(records.begin(), records.begin() + whole))
        << "cut at " << cut;
  }

  // What a power cut or a stray write leaves after or inside a record.
  const auto first = ends[1];
  auto flipped = bytes;
  flipped[first + 12] ^= 0x20;
  const std::pair<std::string, std::size_t> damaged[] = {
      {bytes + std::string(4096, '\0'), records.size()},
      {bytes + "X", records.size()},
      {flipped, 1},
      {bytes.substr(0, first) + std::string(8, '\xff') + bytes.substr(first), 1},
  };
  for (const auto& [text, kept] : damaged) {
    EXPECT_EQ(decodeRecords(text), Records(records.begin(), records.begin() + kept));
  }
  EXPECT_FALSE(decodeRecords("not a journal"));
  EXPECT_FALSE(decodeRecords(std::string("launcher journal 1\0R/tmp/x\0", 27)));
}

class JournalFile : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    fs::create_directories(root_ / "app");
    app_ = openFolder(root_ / "app");
  }
  Folder app_;
};

TEST_F(JournalFile, IsReadBackAsWritten) {
  EXPECT_FALSE(readJournal(root_ / "app", app_));
  auto journal = startJournal(root_ / "app", app_);
  record(journal, {Change::folderMade, "x", {}, {}});
  EXPECT_THROW(startJournal(root_ / "app", app_), fs::filesystem_error);
  EXPECT_EQ(readJournal(root_ / "app", app_), journal.records);
}

TEST_F(JournalFile, ThatCannotBeReadIsSetAsideOnce) {
  const auto file = root_ / "app" / kJournalName;
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"another format", [&] { writeFile(file, "launcher journal 1"); }},
      {"a link", [&] { fs::create_symlink(root_ / "elsewhere", file); }},
      {"a folder", [&] { fs::create_directory(file); }},
      {"a named pipe", [&] { ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); }},
  };
  for (const auto& [name, arrange] : cases) {
    SCOPED_TRACE(name);
    arrange();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(readJournal(root_ / "app", app_));
    const auto out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("unreadable update journal " + file.string() + " (", 0), 0u) << out;
    EXPECT_NE(out.find(") set aside as " + file.string() + "."), std::string::npos) << out;
    // The next run has the name.
    EXPECT_FALSE(fs::exists(fs::symlink_status(file)));
    startJournal(root_ / "app", app_);
    fs::remove(file);
  }
  std::size_t setAside = 0;
  for (const auto& entry : fs::directory_iterator(root_ / "app")) {
    setAside += isLauncherOwnName(entry.path().filename().string());
  }
  EXPECT_EQ(setAside, std::size(cases));
}
}  // namespace

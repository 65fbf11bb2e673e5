#include <gtest/gtest.h>
#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/operations.hpp>

#include "temp_root.h"
#include "update/journal.h"

namespace fs = boost::filesystem;

bool operator==(const JournalRecord& a, const JournalRecord& b) {
  return a.change == b.change && a.path == b.path && a.kept == b.kept && a.temporary == b.temporary;
}

namespace {

class JournalFile : public TempRootTest {};

TEST_F(JournalFile, HoldsAnyPathAndLosesOnlyARecordCutShort) {
  const fs::path app = "/Applications/Poker";
  const std::string longName(255, 'n');
  const std::vector<JournalRecord> records = {
      {Change::privateFolder, app / ".launcher-rollback", {}, {}},
      {Change::rollbackFolder, "/tmp/poker_rollback/0123abcd", {}, {}},
      {Change::folderMade, app / "a\nline feed", {}, {}},
      {Change::added, app / "a\nline feed" / longName, {}, app / "a\nline feed/.t"},
      {Change::keptFile, app / "not utf-8 \xff\xfe", "/tmp/r/not utf-8 \xff\xfe", app / ".t2"},
      {Change::keptLink, app / "l", "/tmp/r/l", app / ".t3"},
      {Change::keptFolder, app / "f", app / ".launcher-rollback/x/f", app / ".t4"},
      {Change::folderMade, "/elsewhere/Poker/outside", {}, {}},
      {Change::complete, {}, {}, {}},
  };
  const auto bytes = encodeRecords(records, app);
  EXPECT_EQ(bytes.find("/Applications"), std::string::npos) << "kept relative";

  // The application folder moved: paths inside it follow.
  auto moved = records;
  for (auto& record : moved) {
    for (auto* path : {&record.path, &record.kept, &record.temporary}) {
      const auto& text = path->native();
      if (text.rfind(app.native() + "/", 0) == 0) *path = "/Moved" + text.substr(app.size());
    }
  }
  EXPECT_EQ(decodeRecords(bytes, "/Moved"), moved);

  // A run killed while writing keeps every record written whole before.
  std::vector<std::size_t> ends;
  for (std::size_t k = 0; k <= records.size(); ++k) {
    ends.push_back(encodeRecords({records.begin(), records.begin() + k}, app).size());
  }
  for (std::size_t cut = 0, whole = 0; cut <= bytes.size(); ++cut) {
    while (whole < records.size() && ends[whole + 1] <= cut) ++whole;
    ASSERT_EQ(decodeRecords(bytes.substr(0, cut), app),
              std::vector<JournalRecord>(records.begin(), records.begin() + whole))
        << "cut at " << cut;
  }

  EXPECT_THROW(decodeRecords("not a journal", app), std::runtime_error);
  EXPECT_THROW(decodeRecords(encodeRecords({}, app) + "X", app), std::runtime_error);
}

TEST_F(JournalFile, IsReadBackAsWritten) {
  const auto app = root_ / "app";
  fs::create_directories(app);
  EXPECT_FALSE(readJournal(app));

  auto journal = startJournal(app);
  record(journal, {Change::folderMade, app / "x", {}, {}});
  EXPECT_THROW(startJournal(app), fs::filesystem_error);
  closeJournal(journal);

  const auto read = readJournal(app);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, journal.records);
}
}  // namespace

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/operations.hpp>

#include "locations/site.h"
#include "temp_root.h"

namespace fs = boost::filesystem;

namespace {
TEST(ServerDat, EnvironmentIsTheLowerCasedTextBeforeTheSeparator) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {" \t\n\v\f\r", ""},
      {"\n", ""},
      {"Staging", ""},
      {std::string(100000, 'x'), ""},
      {"::Staging", ""},
      {"  Staging::anything at all\n", "staging"},
      {"QA2::x", "qa2"},
      {"Red::Green::Blue", "red"},
      {"Prod ::x", "prod "},
      {"Dev\n::x", "dev\n"},
      {"\xef\xbb\xbfLive::x", "\xef\xbb\xbflive"},
      {"\xc3\x89T\xc3\x89::x", "\xc3\x89t\xc3\x89"},
      {"\xa0Prod::x", "\xa0prod"},
  };
  for (const auto& [content, environment] : cases) {
    EXPECT_EQ(parseServerDat(content), environment) << content;
  }
}

class ReadWholeFile : public TempRootTest {};

TEST_F(ReadWholeFile, ReadsEveryByte) {
  const std::string content = std::string("a\0b\r\n", 5) + std::string(70000, 'z');
  writeFile(work_ / "file", content);
  EXPECT_EQ(readWholeFile(work_ / "file"), content);
}

TEST_F(ReadWholeFile, RefusesWhatIsNoRegularFile) {
  fs::create_directory(work_ / "folder");
  makeSocket(work_ / "socket");
  ASSERT_EQ(mkfifo((work_ / "pipe").c_str(), 0600), 0);
  for (const char* name : {"missing", "folder", "socket", "pipe"}) {
    EXPECT_THROW(readWholeFile(work_ / name), fs::filesystem_error) << name;
  }
}
}  // namespace

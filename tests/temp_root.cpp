#include "temp_root.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <boost/filesystem/operations.hpp>

namespace fs = boost::filesystem;

void TempRootTest::SetUp() {
  const char* base = std::getenv("TMPDIR");
  auto pattern = (fs::path(base && *base ? base : "/tmp") / "launcher-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(&pattern[0]), nullptr) << std::strerror(errno);
  root_ = fs::canonical(pattern);
  work_ = root_ / "work";
  fs::create_directories(work_);
  fs::create_directories(root_ / "tmp");
  setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
  fs::current_path(work_);
}

void TempRootTest::TearDown() {
  fs::current_path(root_.parent_path());
  boost::system::error_code ignored;
  fs::remove_all(root_, ignored);
}

void writeFile(const fs::path& file, const std::string& content) {
  fs::create_directories(file.parent_path());
  std::ofstream(file.string(), std::ios::binary) << content;
}

std::string readFile(const fs::path& file) {
  std::ifstream in(file.string(), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void makeSocket(const fs::path& file) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(file.string().size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, file.c_str());
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0)
      << std::strerror(errno);
  close(fd);
}

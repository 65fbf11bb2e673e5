#include "temp_root.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include <boost/filesystem/operations.hpp>

namespace fs = boost::filesystem;

void TempRootTest::SetUp() {
  const char* base = std::getenv("TMPDIR");
  hadTmpdir_ = base != nullptr;
  oldTmpdir_ = base ? base : "";
  oldWork_ = fs::current_path();
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
  // Later tests in the same process make their roots in TMPDIR.
  if (hadTmpdir_) {
    setenv("TMPDIR", oldTmpdir_.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  fs::current_path(oldWork_);
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

void makeLobbyBundle(const fs::path& appFolder, const std::string& name) {
  const auto frameworks = appFolder / "Lobby.app/Contents/Frameworks";
  std::vector<fs::path> files;
  for (const char* library :
       {"libEGL", "libswiftshader_libEGL", "libGLESv2", "libswiftshader_libGLESv2"}) {
    files.push_back(frameworks / "Electron Framework.framework/Versions/A/Libraries" /
                    (std::string(library) + ".dylib"));
  }
  for (const char* kind : {" Helper (Renderer)", " Helper (GPU)", " Helper (Plugin)"}) {
    files.push_back(frameworks / (name + kind + ".app/Contents/MacOS") / (name + kind));
  }
  const auto framework = frameworks / "ReactiveObjC.framework";
  files.push_back(framework / "Versions/A/ReactiveObjC");
  for (const auto& file : files) {
    writeFile(file, file.filename().string());
    fs::permissions(file, fs::perms(0644));
  }
  fs::create_symlink("Versions/A/ReactiveObjC", framework / "ReactiveObjC");
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

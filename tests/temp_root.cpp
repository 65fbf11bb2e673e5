#include "temp_root.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <boost/filesystem/directory.hpp>
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

void writeFile(const fs::path& file, const std::string& content, int mode) {
  writeFile(file, content);
  fs::permissions(file, fs::perms(mode));
}

std::string readFile(const fs::path& file) {
  std::ifstream in(file.string(), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void copyTree(const fs::path& from, const fs::path& to) {
  fs::create_directory(to, from);
  for (const auto& entry : fs::directory_iterator(from)) {
    const auto status = entry.symlink_status();
    const auto copy = to / entry.path().filename();
    if (fs::is_symlink(status)) {
      fs::copy_symlink(entry.path(), copy);
    } else if (status.type() == fs::socket_file) {
      makeSocket(copy);
    } else if (fs::is_directory(status)) {
      copyTree(entry.path(), copy);
    } else {
      // Streamed: the launcher is large, and more so with the sanitizers.
      std::ofstream(copy.string(), std::ios::binary)
          << std::ifstream(entry.path().string(), std::ios::binary).rdbuf();
      fs::permissions(copy, status.permissions());
    }
  }
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

fs::path helperProgram(const std::string& kind) {
  const auto helper = "Poker Helper (" + kind + ")";
  return kFrameworks / (helper + ".app/Contents/MacOS") / helper;
}

void makeLobbyBundle(const fs::path& appFolder) {
  std::vector<fs::path> files;
  for (const char* library :
       {"libEGL", "libswiftshader_libEGL", "libGLESv2", "libswiftshader_libGLESv2"}) {
    files.push_back(kLibraries / (std::string(library) + ".dylib"));
  }
  for (const char* kind : {"Renderer", "GPU", "Plugin"}) files.push_back(helperProgram(kind));
  files.push_back(kObjCFramework / "Versions/A/ReactiveObjC");
  for (const auto& file : files) writeFile(appFolder / file, file.filename().string(), 0644);
  fs::create_symlink("Versions/A/ReactiveObjC", appFolder / kObjCFramework / "ReactiveObjC");
}

std::vector<std::string> snapshot(const fs::path& tree, const Relative& skip,
                                  const std::function<std::string(const fs::path&)>& more) {
  std::vector<std::string> items;
  for (fs::recursive_directory_iterator it(tree), end; it != end; ++it) {
    const auto relative = it->path().lexically_relative(tree);
    if (skip && skip(relative)) {
      it.disable_recursion_pending();
      continue;
    }
    struct stat status;
    lstat(it->path().c_str(), &status);
    auto item = relative.string() + " " + std::to_string(status.st_mode) + " ";
    if (S_ISLNK(status.st_mode)) item += "-> " + fs::read_symlink(it->path()).string();
    if (S_ISREG(status.st_mode)) item += readFile(it->path());
    if (more) item += more(it->path());
    items.push_back(item);
  }
  std::sort(items.begin(), items.end());
  return items;
}

std::vector<fs::path> leftOver(const fs::path& app, const fs::path& tmp,
                               const std::set<std::string>& clientsOwn) {
  std::vector<fs::path> left;
  for (const auto& entry : fs::recursive_directory_iterator(app)) {
    const auto name = entry.path().filename().string();
    if (name.rfind(".launcher-", 0) == 0 && clientsOwn.count(name) == 0) {
      left.push_back(entry.path());
    }
  }
  if (tmp.empty()) return left;
  for (const auto& entry : fs::directory_iterator(tmp)) {
    if (entry.path().filename() != "poker_rollback" || !fs::is_empty(entry.path())) {
      left.push_back(entry.path());
    }
  }
  return left;
}

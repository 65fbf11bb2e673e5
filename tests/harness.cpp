#include "harness.h"

#include <fstream>
#include <iterator>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

namespace fs = boost::filesystem;

void installLauncher(const fs::path& app) {
  fs::create_directories(app);
  // By its bytes: Boost 1.74's copy_file cannot cross file systems on every kernel.
  std::ofstream(app / "launcher", std::ios::binary)
      << std::ifstream(LAUNCHER_PATH, std::ios::binary).rdbuf();
  fs::permissions(app / "launcher", fs::owner_all);
}

void makeInstallation(const fs::path& app) {
  makeLobbyBundle(app);
  installLauncher(app);
}

void LauncherTest::SetUp() {
  TempRootTest::SetUp();
  app_ = root_ / "app";
  tmp_ = root_ / "tmp";
  bin_ = root_ / "bin";
  records_ = root_ / "records";
  makeInstallation(app_);
  fs::create_directories(records_);
  for (const char* program : {"open", "osascript"}) {
    // Arguments are kept NUL-separated: a dialog script may hold line feeds.
    writeFile(bin_ / program,
              "#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" > '" + records_.string() + "/" + program +
                  ".'$$\n",
              0700);
  }
}

std::map<std::string, std::string> LauncherTest::environment(const std::optional<std::string>& path,
                                                             bool relativeTmpdir) const {
  return {{"PATH", path.value_or(bin_.string())},
          {"TMPDIR", (relativeTmpdir ? fs::relative(tmp_, work_) : tmp_).string()}};
}

std::unique_ptr<RunningLauncher> LauncherTest::start(const std::vector<std::string>& args,
                                                     const std::optional<std::string>& path) {
  // A copy: the process's own environment stays as it is.
  bp::environment env = boost::this_process::environment();
  for (const auto& [name, value] : environment(path)) env[name] = value;
  auto launcher = std::make_unique<RunningLauncher>();
  launcher->child = bp::child(bp::exe = (app_ / "launcher").string(), bp::args = args, env,
                              bp::start_dir = work_.string(), (bp::std_in < bp::null),
                              (bp::std_out > launcher->out), (bp::std_err > launcher->err));
  return launcher;
}

LauncherRun LauncherTest::finish(RunningLauncher& launcher) {
  LauncherRun run;
  run.out.assign(std::istreambuf_iterator<char>(launcher.out), {});
  run.err.assign(std::istreambuf_iterator<char>(launcher.err), {});
  launcher.child.wait();
  run.status = launcher.child.exit_code();
  return run;
}

LauncherRun LauncherTest::run(const std::vector<std::string>& args,
                              const std::optional<std::string>& path) {
  return finish(*start(args, path));
}

std::vector<std::vector<std::string>> LauncherTest::calls(const std::string& program) const {
  std::vector<std::vector<std::string>> result;
  for (const auto& entry : fs::directory_iterator(records_)) {
    if (entry.path().stem().string() != program) continue;
    const auto record = readFile(entry.path());
    std::vector<std::string> argv;
    for (std::size_t begin = 0, end; (end = record.find('\0', begin)) != std::string::npos;
         begin = end + 1) {
      argv.push_back(record.substr(begin, end - begin));
    }
    result.push_back(argv);
  }
  return result;
}

void LauncherTest::forgetCalls() const {
  for (const auto& entry : fs::directory_iterator(records_)) fs::remove(entry.path());
}

std::string LauncherTest::dialog() const {
  const auto dialogs = calls("osascript");
  if (dialogs.size() != 1 || dialogs[0].size() != 3 || dialogs[0][1] != "-e") return "(no dialog)";
  // The text of the AppleScript string literal that the statement opens with.
  const auto& script = dialogs[0][2];
  const std::string opening = "display dialog \"";
  std::string message;
  std::size_t at = opening.size();
  for (; script.rfind(opening, 0) == 0 && at < script.size() && script[at] != '"'; ++at) {
    if (script[at] == '\\' && at + 1 < script.size()) ++at;
    message += script[at];
  }
  if (script.compare(at, std::string::npos, "\" with title \"Poker Launcher\" buttons {\"OK\"}") !=
      0) {
    return "(not the launcher's dialog) " + script;
  }
  return message;
}

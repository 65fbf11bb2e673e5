#include "harness.h"

#include <iterator>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

namespace fs = boost::filesystem;

void LauncherTest::SetUp() {
  TempRootTest::SetUp();
  app_ = root_ / "app";
  bin_ = root_ / "bin";
  records_ = root_ / "records";
  makeLobbyBundle(app_);
  fs::create_directories(records_);
  fs::copy_file(LAUNCHER_PATH, app_ / "launcher");
  for (const char* program : {"open", "osascript"}) {
    // Arguments are kept NUL-separated: a dialog script may hold line feeds.
    writeFile(bin_ / program, "#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" > '" + records_.string() +
                                  "/" + program + ".'$$\n");
    fs::permissions(bin_ / program, fs::owner_all);
  }
}

std::unique_ptr<RunningLauncher> LauncherTest::start(const std::vector<std::string>& args,
                                                     const std::optional<std::string>& path) {
  // A copy: the process's own environment stays as it is.
  bp::environment env = boost::this_process::environment();
  env["PATH"] = path.value_or(bin_.string());
  env["TMPDIR"] = (root_ / "tmp").string();
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

std::string LauncherTest::dialog() const {
  const auto dialogs = calls("osascript");
  if (dialogs.size() != 1 || dialogs[0].size() != 3 || dialogs[0][1] != "-e") return "(no dialog)";
  return dialogs[0][2];
}

std::string dialogFor(const std::string& message) {
  return "display dialog \"" + message + "\" with title \"Poker Launcher\" buttons {\"OK\"}";
}

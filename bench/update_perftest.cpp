// Times applying a staged update to an Electron-sized installation against `cp -a` of the same
// tree, and measures the launcher's peak memory and its start without an update.
//   update_perftest LAUNCHER          the benchmark, against a built launcher
//   update_perftest --apply FOLDER    worker: applies FOLDER over the folder this copy lies in
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <boost/filesystem/operations.hpp>

#include "platform/platform.h"
#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
const std::string kFrameworks = "Lobby.app/Contents/Frameworks/";
const std::string kElectron = kFrameworks + "Electron Framework.framework/";
const std::string kObjC = kFrameworks + "ReactiveObjC.framework/";
const std::string kAsar = "Lobby.app/Contents/Resources/app.asar";
const std::string kAssets = "Lobby.app/Contents/Resources/assets/";
const char* const kLocales[] = {"am", "ar", "bg", "bn", "ca", "cs", "da", "de",
                                "el", "en", "es", "et", "fa", "fi", "fr", "gu",
                                "he", "hi", "hr", "hu", "id", "it", "ja", "ko"};
constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = 1024 * kKiB;
constexpr int kRounds = 7;
constexpr int kStarts = 50;
#ifdef __linux__
// GNU cp can also write every file afresh, as the launcher must to keep the old one: the same
// work without the rollback copy, timed for comparison.
constexpr int kSides = 3;
#else
constexpr int kSides = 2;
#endif

std::uint64_t nextRandom(std::uint64_t& state) {  // splitmix64
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// Real bytes, so that nothing is sparse or compresses away.
void writeRandomFile(const fs::path& file, std::uint64_t size, std::uint64_t& state) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file.string(), std::ios::binary);
  std::vector<std::uint64_t> block(kMiB / 8);
  for (std::uint64_t left = size; left > 0;) {
    const auto chunk = std::min(left, kMiB);
    for (std::uint64_t i = 0; i < (chunk + 7) / 8; ++i) block[i] = nextRandom(state);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(chunk));
    left -= chunk;
  }
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

// The installation, or with `update` set the update: the same paths and sizes, other content,
// and the archive under the name the update delivers it. Returns the bytes written.
std::uint64_t layOut(const fs::path& root, bool update) {
  std::uint64_t content = update ? 2 : 1;
  std::uint64_t sizes = 7;
  std::uint64_t total = 0;
  auto add = [&](const std::string& relative, std::uint64_t size, bool executable = false) {
    writeRandomFile(root / relative, size, content);
    if (executable) fs::permissions(root / relative, fs::add_perms | fs::owner_exe);
    total += size;
  };
  add(kElectron + "Versions/A/Electron Framework", 150 * kMiB, true);
  add(kAsar + (update ? "_tmp" : ""), 60 * kMiB);
  add("Lobby.app/Contents/Info.plist", 2 * kKiB);
  add("Lobby.app/Contents/MacOS/Lobby", 200 * kKiB, true);
  const std::pair<const char*, std::uint64_t> libraries[] = {
      {"libEGL.dylib", 100 * kKiB},
      {"libswiftshader_libEGL.dylib", 200 * kKiB},
      {"libGLESv2.dylib", 7 * kMiB},
      {"libswiftshader_libGLESv2.dylib", 3 * kMiB}};
  for (const auto& library : libraries) {
    add(kElectron + "Versions/A/Libraries/" + library.first, library.second, true);
  }
  for (const std::string kind : {"Renderer", "GPU", "Plugin"}) {
    const auto helper = kFrameworks + "Poker Helper (" + kind + ").app/Contents/";
    add(helper + "Info.plist", 2 * kKiB);
    add(helper + "MacOS/Poker Helper (" + kind + ")", 150 * kKiB, true);
  }
  add(kObjC + "Versions/A/ReactiveObjC", kMiB, true);
  // Many files of 1-40 KiB, most of them small: a locale pack per language inside the framework,
  // as Electron ships them, and the client's own assets beside the archive.
  auto smallSize = [&sizes] {
    const double r = static_cast<double>(nextRandom(sizes) >> 11) / 9007199254740992.0;
    return kKiB + static_cast<std::uint64_t>(r * r * r * 39 * kKiB);
  };
  for (const char* locale : kLocales) {
    add(kElectron + "Versions/A/Resources/" + locale + ".lproj/locale.pak", smallSize());
  }
  for (int folder = 0; folder < 40; ++folder) {
    for (int i = 0; i < 73; ++i) {
      add(kAssets + std::to_string(folder) + "/res" + std::to_string(i) + ".pak", smallSize());
    }
  }
  fs::create_symlink("A", root / kElectron / "Versions/Current");
  for (const std::string name : {"Electron Framework", "Resources", "Libraries"}) {
    fs::create_symlink("Versions/Current/" + name, root / kElectron / name);
  }
  fs::create_symlink("A", root / kObjC / "Versions/Current");
  fs::create_symlink("Versions/Current/ReactiveObjC", root / kObjC / "ReactiveObjC");
  return total;
}

// Runs `args` to its end and returns the time from fork to the reaped child in ms; its peak
// resident memory goes to `peakKiB`. Throws when it does not exit with 0.
double run(const std::vector<std::string>& args, bool quiet = false, long* peakKiB = nullptr) {
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  timespec start{}, end{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (quiet) dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error("wait4 failed");
  clock_gettime(CLOCK_MONOTONIC, &end);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(args[0] + " failed with status " + std::to_string(status));
  }
#ifdef __APPLE__
  if (peakKiB) *peakKiB = usage.ru_maxrss / 1024;
#else
  if (peakKiB) *peakKiB = usage.ru_maxrss;
#endif
  return (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const auto middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Makes `app` a fresh installation with the update staged, flushed to disk so that no earlier
// write-back falls into a timing. An existing one is rewritten in place: ext4 without a journal
// skips inodes freed in the last minute, so deleting it would slow down every later file creation.
void prepare(const fs::path& base, const fs::path& app) {
  fs::create_directories(app / "update_1");
  run({"cp", "-a", (base / "pristine").string() + "/.", app.string()});
  run({"cp", "-a", (base / "update_1").string() + "/.", (app / "update_1").string()});
  fs::remove(app / (kAsar + "_tmp"));  // left by cp -a, which keeps the update's name
  sync();
}

// Whether `file` begins as `expected` does; old and new content differ from the first byte.
bool sameStart(const fs::path& file, const fs::path& expected) {
  std::ifstream a(file.string(), std::ios::binary), b(expected.string(), std::ios::binary);
  std::string bytesA(64 * kKiB, '\0'), bytesB(64 * kKiB, '\0');
  a.read(&bytesA[0], static_cast<std::streamsize>(bytesA.size()));
  b.read(&bytesB[0], static_cast<std::streamsize>(bytesB.size()));
  return a.gcount() > 0 && bytesA == bytesB;
}

bool updateApplied(const fs::path& base, const fs::path& app) {
  bool same = sameStart(app / kAsar, base / "update_1" / (kAsar + "_tmp"));
  for (const auto& file : {kElectron + "Electron Framework",
                           kElectron + "Resources/ko.lproj/locale.pak", kAssets + "39/res72.pak"}) {
    same = same && sameStart(app / file, base / "update_1" / file);
  }
  return same;
}

bool report(const std::string& figure, double value, double goal) {
  const bool ok = value <= goal;
  std::printf("%-44s %10.2f %10.2f  %s\n", figure.c_str(), value, goal, ok ? "ok" : "MISSED");
  return ok;
}

int benchmark(const fs::path& base, const fs::path& launcher) {
  const auto tmp = base / "tmp";
  const auto bin = base / "bin";
  const auto app = base / "app";
  for (const auto& folder : {tmp, bin, base / "work"}) fs::create_directory(folder);
  for (const char* name : {"open", "osascript"}) {
    std::ofstream((bin / name).string()) << "#!/bin/sh\nexit 0\n";
    fs::permissions(bin / name, fs::owner_all | fs::group_exe | fs::others_exe);
  }
  // The launcher moves replaced files into TMPDIR: keep it on the installation's file system.
  setenv("TMPDIR", tmp.c_str(), 1);
  const char* path = std::getenv("PATH");
  setenv("PATH", (bin.string() + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
  fs::current_path(base / "work");

  std::cout << "laying out the installation and the update under " << base << std::endl;
  const auto bytes = layOut(base / "pristine", false);
  layOut(base / "update_1", true);
  std::cout << "  " << bytes / kMiB << " MiB each" << std::endl;

  bool applied = true;
  long workerKiB = 0;
  std::vector<double> launcherMs, copyMs, freshMs;
  const auto worker = app / "update_perftest";
  prepare(base, app);
  installEntry(getExecutablePath(), worker);
  for (int round = 0; round < kRounds; ++round) {
    for (int turn = 0; turn < kSides; ++turn) {
      prepare(base, app);
      // Rotating the order keeps drift and cache effects from favouring one side.
      const int side = (round + turn) % kSides;
      const auto update = (app / "update_1").string();
      if (side == 0) {
        long kib = 0;
        launcherMs.push_back(run({worker.string(), "--apply", update}, true, &kib));
        workerKiB = std::max(workerKiB, kib);
        applied = applied && updateApplied(base, app);
      } else if (side == 1) {
        copyMs.push_back(run({"cp", "-a", update + "/.", app.string()}));
      } else {
        freshMs.push_back(run({"cp", "-a", "--remove-destination", update + "/.", app.string()}));
      }
    }
    std::printf("round %d: launcher code %.1f ms, cp -a %.1f ms", round + 1, launcherMs.back(),
                copyMs.back());
    if (!freshMs.empty()) std::printf(", cp -a --remove-destination %.1f ms", freshMs.back());
    std::printf("\n");
    std::fflush(stdout);
  }

  std::cout << "starting the launcher with the update staged (it waits 5 s first)" << std::endl;
  const auto start = base / "start";
  prepare(base, start);
  const auto copy = start / "launcher";
  installEntry(launcher, copy);
  long launcherKiB = 0;
  const double updateStartMs = run({copy.string()}, true, &launcherKiB);
  applied = applied && updateApplied(base, start) && !fs::exists(start / "update_1");
  std::printf("  whole start with the update: %.0f ms\n", updateStartMs);

  sync();
  for (int i = 0; i < 3; ++i) run({copy.string()}, true);
  std::vector<double> startMs;
  for (int i = 0; i < kStarts; ++i) startMs.push_back(run({copy.string()}, true));

  const double launcherMedian = median(launcherMs);
  const double copyMedian = median(copyMs);
  std::printf("\n%-44s %10s %10s\n", "figure", "value", "goal");
  std::printf("%-44s %10.2f\n", "apply, launcher code (median ms)", launcherMedian);
  std::printf("%-44s %10.2f\n", "apply, cp -a (median ms)", copyMedian);
  if (!freshMs.empty()) {
    std::printf("%-44s %10.2f\n", "apply, cp -a --remove-destination (median ms)", median(freshMs));
    std::printf("%-44s %10.2f\n", "launcher code / cp -a --remove-destination",
                launcherMedian / median(freshMs));
  }
  bool ok = report("launcher code / cp -a", launcherMedian / copyMedian, 1.25);
  ok = report("peak RSS, launcher start with update (MiB)", launcherKiB / 1024.0, 16) && ok;
  ok = report("peak RSS, apply worker (MiB)", workerKiB / 1024.0, 16) && ok;
  ok = report("start without update (median ms)", median(startMs), 10) && ok;
  std::printf("%-44s %10s %10s  %s\n", "update applied, every run", applied ? "yes" : "no", "yes",
              applied ? "ok" : "MISSED");
  return ok && applied ? 0 : 1;
}
}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 3 && std::string(argv[1]) == "--apply") {
    try {
      copyUpdateFolder(argv[2]);
      return 0;
    } catch (const std::exception& error) {
      std::cerr << "update_perftest: " << error.what() << std::endl;
      return 1;
    }
  }
  if (argc != 2) {
    std::cerr << "usage: update_perftest LAUNCHER" << std::endl;
    return 2;
  }
  const char* parent = std::getenv("TMPDIR");
  auto pattern =
      (fs::path(parent && *parent ? parent : "/tmp") / "update-perftest-XXXXXX").string();
  if (!mkdtemp(&pattern[0])) {
    std::perror("update_perftest: mkdtemp");
    return 1;
  }
  const auto base = fs::canonical(pattern);
  int status = 1;
  try {
    status = benchmark(base, fs::absolute(argv[1]));
  } catch (const std::exception& error) {
    std::cerr << "update_perftest: " << error.what() << std::endl;
  }
  fs::current_path("/");
  fs::remove_all(base);
  return status;
}

// Times applying a staged update to an Electron-sized installation against `cp -a` of the same
// tree, and against `cp -a` followed by a flush of its file system, on tmpfs and on the disk of
// $TMPDIR, with an update that keeps the installed modes, one
// that lost them, and one with its large files twice as large; measures the extra disk space an
// apply takes, the launcher's peak memory and its start without an update.
//   update_perftest LAUNCHER          the benchmark, against a built launcher
//   update_perftest --apply FOLDER    worker: applies FOLDER over the folder this copy lies in
//   update_perftest --lay-out FOLDER  makes FOLDER/app, an installation with the update staged
//                                     in update_1 and the worker beside it
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
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

#include "locations/app_folder.h"
#include "platform/platform.h"
#include "update/copy_update_folder.h"

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
constexpr int kRounds = 5;
constexpr int kStarts = 50;

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

// What an update looks like.
struct Kind {
  const char* name;
  bool lossy;  // every file arrives as 0644, as from an archive that dropped the modes
  int scale;   // how many times as large the framework binary and the archive are
};

// The installation, or with `kind` the update: the same paths and sizes, other content, and the
// archive under the name the update delivers it. Returns the bytes written.
std::uint64_t layOut(const fs::path& root, const Kind* kind) {
  const bool update = kind != nullptr;
  const std::uint64_t scale = kind ? kind->scale : 1;
  std::uint64_t content = update ? 2 : 1;
  std::uint64_t sizes = 7;
  std::uint64_t total = 0;
  auto add = [&](const std::string& relative, std::uint64_t size, bool executable = false) {
    writeRandomFile(root / relative, size, content);
    fs::permissions(root / relative, fs::perms(executable && !(kind && kind->lossy) ? 0755 : 0644));
    total += size;
  };
  add(kElectron + "Versions/A/Electron Framework", 150 * kMiB * scale, true);
  add(kAsar + (update ? "_tmp" : ""), 60 * kMiB * scale);
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

// Copies a program by its bytes: Boost 1.74's copy_file cannot cross file systems on every kernel.
void copyProgram(const fs::path& from, const fs::path& to) {
  {
    std::ifstream in(from.string(), std::ios::binary);
    std::ofstream out(to.string(), std::ios::binary);
    out << in.rdbuf();
    if (!out.flush()) throw std::runtime_error("cannot copy " + from.string());
  }
  fs::permissions(to, fs::owner_all);
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

// Flushes the file system that holds `folder` to the disk, as the launcher does at the end of an
// apply; the time it took, in ms.
double flush(const fs::path& folder) {
#ifdef __APPLE__
  return run({"sync"});
#else
  return run({"sync", "-f", folder.string()});
#endif
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const auto middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Makes `app` a fresh installation with the update staged and a copy of this program, flushed
// to disk so that no earlier write-back falls into a timing. A fresh one: an apply leaves the
// installation's files as second names of the update's.
void prepare(const fs::path& base, const fs::path& app) {
  fs::remove_all(app);
  fs::create_directories(app / "update_1");
  run({"cp", "-a", (base / "pristine").string() + "/.", app.string()});
  run({"cp", "-a", (base / "update_1").string() + "/.", (app / "update_1").string()});
  fs::remove(app / (kAsar + "_tmp"));  // left by cp -a, which keeps the update's name
  copyProgram(getExecutablePath(), app / "update_perftest");
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
  // A replaced file keeps the installed mode, whatever the update's.
  return same && fs::status(app / kElectron / "Electron Framework").permissions() == 0755;
}

std::uint64_t freeBytes(const fs::path& folder) {
  struct statvfs usage;
  if (statvfs(folder.c_str(), &usage) != 0) throw std::runtime_error("statvfs failed");
  return static_cast<std::uint64_t>(usage.f_bavail) * usage.f_frsize;
}

// Runs the apply worker once, watching the free space of the file system: the most it took.
std::uint64_t peakSpaceUsed(const fs::path& app) {
  const auto before = freeBytes(app);
  auto least = before;
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
    const auto worker = (app / "update_perftest").string();
    const auto update = (app / "update_1").string();
    execl(worker.c_str(), worker.c_str(), "--apply", update.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) least = std::min(least, freeBytes(app));
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("apply failed");
  return before > least ? before - least : 0;
}

struct Figures {
  double launcherMs = 0;
  double copyMs = 0;
  double copySyncMs = 0;      // cp -a, then its file system flushed
  double peakSpaceShare = 0;  // of the update's size
  long workerKiB = 0;
  bool applied = true;
};

// Applies an update of `kind` in `base`, alternating with cp -a of the same tree.
Figures measure(const fs::path& base, const Kind& kind) {
  fs::remove_all(base);
  const auto tmp = base / "tmp";
  const auto app = base / "app";
  fs::create_directories(tmp);
  // The launcher keeps the replaced files in TMPDIR: on the installation's file system.
  setenv("TMPDIR", tmp.c_str(), 1);
  layOut(base / "pristine", nullptr);
  const auto bytes = layOut(base / "update_1", &kind);

  Figures figures;
  std::vector<double> launcherMs, copyMs, copySyncMs;
  for (int round = 0; round < kRounds; ++round) {
    for (int turn = 0; turn < 3; ++turn) {
      prepare(base, app);
      // Rotating the order keeps drift and cache effects from favouring one side.
      const auto update = (app / "update_1").string();
      if ((round + turn) % 3 == 2) {
        copySyncMs.push_back(run({"cp", "-a", update + "/.", app.string()}) + flush(app));
      } else if ((round + turn) % 3 == 0) {
        long kib = 0;
        launcherMs.push_back(
            run({(app / "update_perftest").string(), "--apply", update}, true, &kib));
        figures.workerKiB = std::max(figures.workerKiB, kib);
        figures.applied = figures.applied && updateApplied(base, app);
      } else {
        copyMs.push_back(run({"cp", "-a", update + "/.", app.string()}));
      }
    }
  }
  prepare(base, app);
  figures.peakSpaceShare = static_cast<double>(peakSpaceUsed(app)) / static_cast<double>(bytes);
  figures.applied = figures.applied && updateApplied(base, app);
  figures.launcherMs = median(launcherMs);
  figures.copyMs = median(copyMs);
  figures.copySyncMs = median(copySyncMs);
  std::printf(
      "  %-8s launcher %8.1f ms   cp -a %8.1f ms   cp -a + sync %8.1f ms   peak space %5.2f %% of "
      "%llu MiB\n",
      kind.name, figures.launcherMs, figures.copyMs, figures.copySyncMs,
      figures.peakSpaceShare * 100, static_cast<unsigned long long>(bytes / kMiB));
  std::fflush(stdout);
  fs::remove_all(base);
  return figures;
}

bool report(const std::string& figure, double value, double goal) {
  const bool ok = value <= goal;
  std::printf("%-52s %10.3f %10.2f  %s\n", figure.c_str(), value, goal, ok ? "ok" : "MISSED");
  return ok;
}

void show(const std::string& figure, double value) {
  std::printf("%-52s %10.3f\n", figure.c_str(), value);
}

int benchmark(const fs::path& base, const fs::path& launcher) {
  const auto bin = base / "bin";
  fs::create_directories(bin);
  fs::create_directories(base / "work");
  for (const char* name : {"open", "osascript"}) {
    std::ofstream((bin / name).string()) << "#!/bin/sh\nexit 0\n";
    fs::permissions(bin / name, fs::owner_all | fs::group_exe | fs::others_exe);
  }
  const char* path = std::getenv("PATH");
  setenv("PATH", (bin.string() + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
  fs::current_path(base / "work");

  std::vector<std::pair<std::string, fs::path>> places{{"disk", base / "disk"}};
#ifdef __linux__
  // Another file system than the disk, when $TMPDIR is not on one already.
  char shm[] = "/dev/shm/update-perftest-XXXXXX";
  if (mkdtemp(shm)) places.emplace_back("tmpfs", shm);
#endif
  const Kind kinds[] = {{"plain", false, 1}, {"lossy", true, 1}, {"large", false, 2}};
  bool ok = true;
  bool applied = true;
  long workerKiB = 0;
  for (const auto& [place, folder] : places) {
    std::cout << "applying updates on " << place << " (" << folder.string() << ")" << std::endl;
    Figures results[3];
    for (int i = 0; i < 3; ++i) {
      results[i] = measure(folder, kinds[i]);
      workerKiB = std::max(workerKiB, results[i].workerKiB);
      applied = applied && results[i].applied;
    }
    if (place == "tmpfs") fs::remove_all(folder);
    const auto& plain = results[0];
    std::printf("\n%-52s %10s %10s\n", ("figure, on " + place).c_str(), "value", "goal");
    show("apply, launcher (median ms)", plain.launcherMs);
    show("apply, cp -a (median ms)", plain.copyMs);
    show("apply, cp -a + sync (median ms)", plain.copySyncMs);
    // On disk the apply's barriers are held against a copy that is as durable; tmpfs has no disk.
    if (place == "tmpfs") {
      ok = report("launcher / cp -a", plain.launcherMs / plain.copyMs, 0.66) && ok;
    } else {
      show("launcher / cp -a", plain.launcherMs / plain.copyMs);
      ok = report("launcher / (cp -a + sync)", plain.launcherMs / plain.copySyncMs, 1.0) && ok;
    }
    show("launcher / cp -a, lossy update", results[1].launcherMs / results[1].copyMs);
    show("launcher / (cp -a + sync), lossy update", results[1].launcherMs / results[1].copySyncMs);
    ok = report("peak extra space, share of the update", plain.peakSpaceShare, 0.05) && ok;
    show("peak extra space, share of the lossy update", results[1].peakSpaceShare);
    ok = report("apply time growth, large files twice as large",
                results[2].launcherMs / plain.launcherMs - 1, 0.10) &&
         ok;
    std::printf("\n");
  }

  std::cout << "starting the launcher with the update staged (it waits 5 s first)" << std::endl;
  const auto start = base / "disk" / "start";
  fs::create_directories(base / "disk");
  setenv("TMPDIR", (base / "disk").c_str(), 1);
  layOut(base / "pristine", nullptr);
  const Kind plain{"plain", false, 1};
  layOut(base / "update_1", &plain);
  prepare(base, start);
  const auto copy = start / "launcher";
  copyProgram(launcher, copy);
  long launcherKiB = 0;
  const double updateStartMs = run({copy.string()}, true, &launcherKiB);
  applied = applied && updateApplied(base, start) && !fs::exists(start / "update_1");
  std::printf("  whole start with the update: %.0f ms\n", updateStartMs);

  sync();
  for (int i = 0; i < 3; ++i) run({copy.string()}, true);
  std::vector<double> startMs;
  for (int i = 0; i < kStarts; ++i) startMs.push_back(run({copy.string()}, true));

  std::printf("\n%-52s %10s %10s\n", "figure", "value", "goal");
  ok = report("peak RSS, launcher start with update (MiB)", launcherKiB / 1024.0, 16) && ok;
  ok = report("peak RSS, apply worker (MiB)", workerKiB / 1024.0, 16) && ok;
  ok = report("start without update (median ms)", median(startMs), 10) && ok;
  std::printf("%-52s %10s %10s  %s\n", "update applied, every run", applied ? "yes" : "no", "yes",
              applied ? "ok" : "MISSED");
  return ok && applied ? 0 : 1;
}
}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 3 && std::string(argv[1]) == "--apply") {
    try {
      copyUpdateFolder(getCurrentAppFolder(), argv[2]);
      return 0;
    } catch (const std::exception& error) {
      std::cerr << "update_perftest: " << error.what() << std::endl;
      return 1;
    }
  }
  if (argc == 3 && std::string(argv[1]) == "--lay-out") {
    // An installation with the plain update staged and the worker beside it, to trace by hand.
    const fs::path base = argv[2];
    const Kind plain{"plain", false, 1};
    layOut(base / "pristine", nullptr);
    layOut(base / "update_1", &plain);
    prepare(base, base / "app");
    return 0;
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

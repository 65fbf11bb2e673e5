// Starts killed or failing at every point where they change something, on Linux, where ptrace
// lets a test stop the launcher before any one system call, or make that call fail, and spare
// it the 5 s wait.
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "exfat_volume.h"
#include "harness.h"

namespace fs = boost::filesystem;

namespace {
// Named like the launcher's temporary names, yet the client's own.
const char kClientsOwn[] = ".launcher-0123456789ab.tmp";

// The kill and fail points of each loop are shared out over this many tests, which CTest runs
// side by side: test k takes points k + 1, k + 1 + kShards, and so on.
constexpr int kShards = 8;

// The system calls the launcher is stopped at: those that change a file system, and the pauses.
const std::vector<long>& watched() {
  static const std::vector<long> calls = {
      SYS_write,    SYS_pwrite64,  SYS_openat,          SYS_renameat, SYS_renameat2,
      SYS_linkat,   SYS_symlinkat, SYS_unlinkat,        SYS_mkdirat,  SYS_fchmod,
      SYS_fchmodat, SYS_ftruncate, SYS_copy_file_range, SYS_ioctl,    SYS_clock_nanosleep,
      SYS_syncfs,   SYS_fsync,     SYS_fdatasync,       SYS_sync,
#ifdef SYS_rename
      SYS_rename,   SYS_link,      SYS_symlink,         SYS_unlink,   SYS_mkdir,
      SYS_rmdir,    SYS_chmod,     SYS_nanosleep,
#endif
  };
  return calls;
}

// The path of the file that `fd` of `pid` is open on; empty for a pipe or a socket.
std::string openFile(pid_t pid, std::uint64_t fd) {
  char target[4096];
  const auto link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
  const auto length = readlink(link.c_str(), target, sizeof target);
  return length > 0 && target[0] == '/' ? std::string(target, length) : std::string();
}

bool isBarrier(long nr) {
  return nr == SYS_syncfs || nr == SYS_sync || nr == SYS_fsync || nr == SYS_fdatasync;
}

bool changes(pid_t pid, long nr, const std::uint64_t* args) {
  if (isBarrier(nr)) return false;
  // Writes to files only: not the progress lines, whose pipe a kill between two changes leaves
  // as it is, nor a sanitizer's own pipe.
  if (nr == SYS_write || nr == SYS_pwrite64) return args[0] > 2 && !openFile(pid, args[0]).empty();
  if (nr == SYS_openat) return (args[2] & O_CREAT) != 0;
  return nr != SYS_clock_nanosleep && nr != SYS_nanosleep;
}

// Makes the watched system calls stop at the tracer, and only those.
bool watchCalls() {
  std::vector<sock_filter> program{BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
  for (const long nr : watched()) {
    program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<__u32>(nr), 0, 1));
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE));
  }
  program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

// Whether the link call `args` of `pid` would give a link a second name.
bool linksALink(pid_t pid, const std::uint64_t* args) {
  char name[256] = {};
  const iovec here{name, sizeof name - 1}, there{reinterpret_cast<void*>(args[1]), sizeof name - 1};
  struct stat status;
  return process_vm_readv(pid, &here, 1, &there, 1, 0) > 0 &&
         lstat((openFile(pid, args[0]) + "/" + name).c_str(), &status) == 0 &&
         S_ISLNK(status.st_mode);
}

// Starts `program` in `work` with this process's environment but for the variables `set`, its
// output to the file `out`, stopped before its first system call for the tracer, which this
// process then is; only the watched calls stop it.
pid_t startTraced(const fs::path& program, std::map<std::string, std::string> set,
                  const fs::path& work, const fs::path& out) {
  std::vector<std::string> env;
  for (char** var = environ; *var; ++var) {
    const std::string text = *var;
    const auto name = text.substr(0, text.find('='));
    // LeakSanitizer cannot work under a tracer.
    if (name == "ASAN_OPTIONS") set[name] = text.substr(name.size() + 1) + ":detect_leaks=0";
    if (set.count(name) == 0) env.push_back(text);
  }
  set.emplace("ASAN_OPTIONS", "detect_leaks=0");
  for (const auto& [name, value] : set) env.push_back(name + "=" + value);
  std::vector<char*> argv{const_cast<char*>(program.c_str()), nullptr};
  std::vector<char*> envp;
  for (auto& var : env) envp.push_back(&var[0]);
  envp.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0 || chdir(work.c_str()) != 0) _exit(126);
    raise(SIGSTOP);
    if (!watchCalls()) _exit(125);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

// A power cut as the disk may have it: what the last barrier made durable, the names changed
// since (the changes before the cut, in order), and of each file written since, only the size
// it had before.
struct Durable {
  std::map<std::pair<dev_t, ino_t>, off_t> volatileFiles;
  void written(pid_t pid, std::uint64_t fd) {
    struct stat status;
    const auto link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
    if (stat(link.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
      volatileFiles.emplace(std::make_pair(status.st_dev, status.st_ino), status.st_size);
    }
  }
  void cut(const std::vector<fs::path>& trees) const {
    for (const auto& tree : trees) {
      for (const auto& entry : fs::recursive_directory_iterator(tree)) {
        struct stat status;
        if (lstat(entry.path().c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
        const auto lost = volatileFiles.find({status.st_dev, status.st_ino});
        if (lost != volatileFiles.end()) truncate(entry.path().c_str(), lost->second);
      }
    }
  }
};

// The order of a run's writes, against what must come before what: no name of the installation
// changes before every byte and record written so far is on the disk; the complete record comes
// after the names it completes are; no old version goes before the complete record is durable.
struct Order {
  long at = 0, lastData = -1, lastBarrier = -1, lastRename = -1, complete = -1;
  std::string faults;
  void fault(const std::string& what) {
    faults += what + " at change " + std::to_string(at) + "; ";
  }
};

struct Traced {
  bool reached;  // the kill or failure asked for came
  int status;
  long journalWrites;    // made, not killed or failed
  bool durablyComplete;  // the complete record was written and a barrier followed it
  std::string disorder;  // writes out of order
};

class Transaction : public LauncherTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    // The many starts churn through files: on tmpfs where there is one, with the temporary
    // directory beside the installation, and the test's root then on another file system.
    struct stat rootStatus, shmStatus;
    std::string pattern = "/dev/shm/launcher-test-XXXXXX";
    if (stat(root_.c_str(), &rootStatus) == 0 && stat("/dev/shm", &shmStatus) == 0 &&
        rootStatus.st_dev != shmStatus.st_dev && mkdtemp(&pattern[0])) {
      shm_ = pattern;
      app_ = shm_ / "app";
      makeInstallation(app_);
      tmp_ = shm_ / "tmp";
      fs::create_directories(tmp_);
    }
  }

  void TearDown() override {
    for (const auto& mount : mounts_) umount2(mount.c_str(), MNT_DETACH);
    if (!shm_.empty()) fs::remove_all(shm_);
    LauncherTest::TearDown();
  }

  // Whether a system call can be made to fail here.
  static bool canFail() {
#if defined(__x86_64__)
    return true;
#else
    return false;
#endif
  }

  // Runs the launcher, its restart wait cut to nothing: killed before its `killAt`-th change,
  // or with its `failAt`-th change failing.
  Traced runTraced(long killAt = -1, long failAt = -1) {
    const pid_t pid = startTraced(app_ / "launcher", environment(std::nullopt, relativeTmpdir_),
                                  work_, root_ / "out");
    int status;
    waitpid(pid, &status, 0);
    // The programs it starts are followed too, only to let them run.
    ptrace(PTRACE_SETOPTIONS, pid, nullptr,
           PTRACE_O_TRACESECCOMP | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL | PTRACE_O_TRACEFORK |
               PTRACE_O_TRACEVFORK | PTRACE_O_TRACECLONE);
    ptrace(PTRACE_CONT, pid, nullptr, 0);
    Traced result{false, -1, 0, false, {}};
    long changed = 0;
    Durable durable;
    Order order;
    const auto journal = (app_ / ".launcher-journal").string();
    for (pid_t stopped; (stopped = waitpid(-1, &status, __WALL)) > 0;) {
      if (!WIFSTOPPED(status)) {
        if (stopped == pid) {
          result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        continue;
      }
      int signal = 0;
      if (status >> 16 == PTRACE_EVENT_SECCOMP && stopped == pid) {
        __ptrace_syscall_info call;
        ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof call, &call);
        const auto nr = static_cast<long>(call.seccomp.nr);
        const auto* args = call.seccomp.args;
        const bool pause = nr == SYS_clock_nanosleep || nr == SYS_nanosleep;
        const bool change = !pause && changes(pid, nr, args);
        changed += change;
        if (pause) {
          // The wait for the old client: no time at all.
          const auto request = args[nr == SYS_nanosleep ? 0 : 2];
          ptrace(PTRACE_POKEDATA, pid, request, 0);
          ptrace(PTRACE_POKEDATA, pid, request + 8, 0);
        } else if (change && changed == killAt) {
          result.reached = true;
          kill(pid, SIGKILL);
          continue;
        }
        if (!result.reached) noteOrder(pid, nr, args, durable, order);
        if (change && changed == failAt) {
          result.reached = true;
#if defined(__x86_64__)
          // No such system call: it fails with ENOSYS and changes nothing.
          ptrace(PTRACE_POKEUSER, pid, offsetof(user_regs_struct, orig_rax), -1L);
        } else if (nr == SYS_linkat && noLinkNames_ && linksALink(pid, args)) {
          // As HFS+ answers: skipped, with the error in the return register.
          ptrace(PTRACE_POKEUSER, pid, offsetof(user_regs_struct, orig_rax), -1L);
          ptrace(PTRACE_POKEUSER, pid, offsetof(user_regs_struct, rax), -long{ENOTSUP});
#endif
        } else if (nr == SYS_write && openFile(pid, args[0]) == journal) {
          ++result.journalWrites;
        }
      } else if (status >> 16 == 0 && WSTOPSIG(status) != SIGSTOP) {
        signal = WSTOPSIG(status);  // a signal for the program, not a stop of the tracer's
      }
      ptrace(PTRACE_CONT, stopped, nullptr, signal);
    }
    if (result.status == 125) ADD_FAILURE() << "no system call filter here";
    if (powerCut_ && killAt > 0 && result.reached) durable.cut({app_, tmp_});
    result.durablyComplete = order.complete >= 0 && order.lastBarrier > order.complete;
    result.disorder = order.faults;
    return result;
  }

  // Notes a watched call of the launcher's own in `durable` and `order`.
  void noteOrder(pid_t pid, long nr, const std::uint64_t* args, Durable& durable,
                 Order& order) const {
    const auto inRollback = [this](const std::string& path) {
      return path.rfind((tmp_ / "poker_rollback").string(), 0) == 0 ||
             path.rfind((app_ / ".launcher-rollback").string(), 0) == 0;
    };
    ++order.at;
    if (isBarrier(nr)) {
      order.lastBarrier = order.at;
      if (nr == SYS_syncfs || nr == SYS_sync) durable.volatileFiles.clear();
      return;
    }
    const bool write = nr == SYS_write || nr == SYS_pwrite64 || nr == SYS_copy_file_range;
    const auto fd = nr == SYS_copy_file_range ? args[2] : args[0];
    if (write && fd > 2 && !openFile(pid, fd).empty()) {
      durable.written(pid, fd);
      // The complete record is the only one without a field: its length and checksum, its letter.
      if (openFile(pid, fd) == (app_ / ".launcher-journal").string() && args[2] == 9) {
        if (order.lastBarrier < order.lastRename) order.fault("complete record before a barrier");
        order.complete = order.at;
      } else {
        order.lastData = order.at;
      }
      return;
    }
    const bool rename = nr == SYS_renameat || nr == SYS_renameat2;
    if (rename && order.complete < 0) {
      const auto into = openFile(pid, args[2]);
      if (into.rfind(app_.string(), 0) == 0 && !inRollback(into)) {
        if (order.lastBarrier < order.lastData) order.fault("a rename into place before a barrier");
        order.lastRename = order.at;
      }
    }
    // Before the first rename, only the journal's trial second name goes.
    if (nr == SYS_unlinkat && order.lastRename >= 0 && inRollback(openFile(pid, args[0])) &&
        (order.complete < 0 || order.lastBarrier < order.complete)) {
      order.fault("an old version removed before the complete record is durable");
    }
  }

  // Every entry of the installation, the launcher, the lock, the journal (looked at on its own)
  // and staged updates left out; with `identity` also each one's inode, owner, modification time
  // and extended attributes: what only the very entry keeps, not a copy of it.
  std::vector<std::string> snapshot(bool identity) const {
    const auto skip = [](const fs::path& relative) {
      const auto name = relative.string();
      return name.rfind("update_", 0) == 0 || name == "launcher.lock" ||
             name == ".launcher-journal" || name == "launcher";
    };
    return ::snapshot(app_, skip, [this, identity](const fs::path& entry) {
      struct stat status;
      lstat(entry.c_str(), &status);
      // A link kept as a copy of its text is put back as that copy.
      if (!identity || S_ISDIR(status.st_mode) || (noLinkNames_ && S_ISLNK(status.st_mode))) {
        return std::string();
      }
      auto item = " inode " + std::to_string(status.st_ino) + " owner " +
                  std::to_string(status.st_uid) + " time " + std::to_string(status.st_mtim.tv_sec) +
                  "." + std::to_string(status.st_mtim.tv_nsec);
      char names[1024], value[256];
      const auto length = llistxattr(entry.c_str(), names, sizeof names);
      for (ssize_t at = 0; at < length; at += std::strlen(names + at) + 1) {
        const auto size = lgetxattr(entry.c_str(), names + at, value, sizeof value);
        item +=
            std::string(" ") + (names + at) + "=" + std::string(value, std::max<ssize_t>(size, 0));
      }
      return item;
    });
  }

  // Nothing of a run is left: no journal, no rollback folder, no temporary name it made.
  void expectNothingLeft() const {
    EXPECT_EQ(leftOver(app_, tmp_, {kClientsOwn}), std::vector<fs::path>{});
  }

  // Each path of the update old or new (only new with `updated`), whole, with its mode; never
  // missing.
  void expectOldOrNew(bool updated = false) const {
    const auto resources = app_ / kResources;
    const auto program = readFile(app_ / kLobbyProgram);
    EXPECT_TRUE(program == "new program" || (!updated && program == "old program")) << program;
    EXPECT_EQ(fs::status(app_ / kLobbyProgram).permissions(), 0755);
    const auto asar = readFile(resources / "app.asar");
    EXPECT_TRUE(asar == "new archive" || (!updated && asar == "old archive")) << asar;
    const auto link = fs::read_symlink(resources / "latest.json");
    EXPECT_TRUE(link == "v2.json" || (!updated && link == "v1.json")) << link;
    EXPECT_TRUE(fs::is_regular_file(resources / "locales") ||
                (!updated && fs::is_directory(resources / "locales")));
    const auto added = resources / "new/deeper/file";
    if (updated || fs::exists(added)) {
      EXPECT_EQ(readFile(added), "added");
    }
  }

  // Puts the installation kept at `from` in place of the application folder, but for the
  // launcher, which stays, and empties the temporary directory.
  void restore(const fs::path& from) {
    for (const auto& entry : fs::directory_iterator(app_)) {
      if (entry.path().filename() != "launcher") fs::remove_all(entry.path());
    }
    for (const auto& entry : fs::directory_iterator(from)) {
      const auto name = entry.path().filename();
      if (name == "launcher") continue;
      if (fs::is_directory(entry.symlink_status())) {
        copyTree(entry.path(), app_ / name);
      } else {
        writeFile(app_ / name, readFile(entry.path()));
      }
    }
    for (const auto& entry : fs::directory_iterator(tmp_)) fs::remove_all(entry.path());
  }

  // What a start killed before each of its changes in turn is followed by.
  enum class Then { aStart, aStartWithANewerBrokenUpdate, aStartWithTheSameBrokenUpdate };
  void killEverywhere(Then then);

  fs::path shm_;
  bool relativeTmpdir_ = false;
  bool powerCut_ = false;     // a kill cuts the power too
  bool noLinkNames_ = false;  // links take no second names
  std::vector<fs::path> mounts_;
};

// Files, a link and a folder replaced, files and a link added in new folders; when `broken`,
// with a socket among them that fails the update half-way, whatever the order of the listing.
void stageUpdate(const fs::path& app, bool broken = false) {
  const auto resources = app / kResources;
  writeFile(resources / "app.asar", "old archive");
  writeFile(app / kLobbyProgram, "old program", 0755);
  fs::create_symlink("v1.json", resources / "latest.json");
  writeFile(resources / "locales/en.pak", "en");
  writeFile(resources / "locales/de.pak", "de");
  writeFile(app / "MacOS" / kClientsOwn, "the client's");
  writeFile(app / "Lobby.app/Contents" / kClientsOwn, "the client's too");

  const auto update = app / "update_2";
  writeFile(update / kResources / "app.asar_tmp", "new archive", 0600);
  writeFile(update / kLobbyProgram, "new program", 0644);
  fs::create_symlink("v2.json", update / kResources / "latest.json");
  if (broken) makeSocket(update / kResources / "socket");
  writeFile(update / kResources / "v2.json", "v2");
  writeFile(update / kResources / "locales", "all locales in one file");
  writeFile(update / kResources / "new/deeper/file", "added");
  fs::create_symlink("deeper/file", update / kResources / "new/link");
}

void Transaction::killEverywhere(Then then) {
  const bool broken = then == Then::aStartWithTheSameBrokenUpdate;
  stageUpdate(app_, broken);
  const auto pristine = root_ / "pristine";
  copyTree(app_, pristine);
  std::vector<std::string> converged;
  Traced whole{};
  if (!broken) {
    whole = runTraced();
    ASSERT_EQ(whole.status, 0);
    EXPECT_EQ(whole.disorder, "");
    converged = snapshot(false);
  }

  // A start has committed once it made the last of the writes that a whole start makes to its
  // journal. Told from the journal rather than from what the next start makes of it, that point
  // is the same for every test, so each holds its own kill points to it.
  long reached = 0;
  std::set<bool> killedCommitted;
  long killAt = GetParam() + 1;
  for (bool killed = true; killed && !HasFailure(); killAt += kShards) {
    SCOPED_TRACE("killed before change " + std::to_string(killAt));
    restore(pristine);
    const auto before = snapshot(true);
    const auto run = runTraced(killAt);
    killed = run.reached;
    const bool committed =
        !broken && (powerCut_ ? run.durablyComplete : run.journalWrites == whole.journalWrites);
    if (killed) {
      reached = killAt;
      killedCommitted.insert(committed);
    }
    expectOldOrNew();
    if (then == Then::aStart) {
      EXPECT_EQ(runTraced().status, 0);
      EXPECT_EQ(snapshot(false), converged);
    } else {
      if (then == Then::aStartWithANewerBrokenUpdate) {
        writeFile(app_ / "update_3" / kResources / "app.asar_tmp", "third archive");
        writeFile(app_ / "update_3" / kLobbyProgram, "third program");
        makeSocket(app_ / "update_3/socket");
      }
      EXPECT_EQ(runTraced().status, 255);
      // Once the killed start had committed, its installation is the one to keep.
      if (committed) {
        expectOldOrNew(true);
      } else {
        EXPECT_EQ(snapshot(true), before);
      }
    }
    expectNothingLeft();
  }
  // Only a start with more than 20 changes takes a test past its point 20.
  EXPECT_GT(reached, 20) << "fewer kill points than an update of this size has";
  // Each test kills starts before and after the commit; a broken update has none.
  EXPECT_EQ(killedCommitted, (broken ? std::set<bool>{false} : std::set<bool>{false, true}));
}

TEST_P(Transaction, AStartKilledAnywhereIsCompletedByTheNextStart) { killEverywhere(Then::aStart); }

TEST_P(Transaction, AStartKilledAnywhereIsUndoneExactlyByAFailingStart) {
  // Relative to the working folder: the journal must still find every old version.
  relativeTmpdir_ = true;
  killEverywhere(Then::aStartWithANewerBrokenUpdate);
}

TEST_P(Transaction, APowerCutAnywhereLeavesTheOldOrTheNewInstallationToTheNextStart) {
  powerCut_ = true;
  killEverywhere(Then::aStartWithANewerBrokenUpdate);
}

TEST_P(Transaction, AStartKilledAnywhereWhereLinksTakeNoSecondNamesIsUndoneExactly) {
  if (!canFail()) GTEST_SKIP() << "refusing a system call needs x86-64 here";
  noLinkNames_ = true;
  killEverywhere(Then::aStartWithANewerBrokenUpdate);
}

TEST_P(Transaction, AnUndoKilledAnywhereIsDoneAgainByTheNextStart) {
  killEverywhere(Then::aStartWithTheSameBrokenUpdate);
}

TEST_P(Transaction, AStartFailingAnywhereLeavesTheInstallationAsItWas) {
  if (!canFail()) GTEST_SKIP() << "making a system call fail needs x86-64 here";
  const auto sameFileSystem = tmp_;
  stageUpdate(app_);
  const auto pristine = root_ / "pristine";
  copyTree(app_, pristine);
  ASSERT_EQ(runTraced().status, 0);
  const auto converged = snapshot(false);
  // What only the very file keeps, not a copy of it.
  const auto marked = app_ / kResources / "app.asar";
  const auto mark = [&marked] {
    // tmpfs holds only trusted attributes before Linux 6.6.
    ASSERT_TRUE(lsetxattr(marked.c_str(), "user.launcher-test", "kept", 4, 0) == 0 ||
                lsetxattr(marked.c_str(), "trusted.launcher-test", "kept", 4, 0) == 0)
        << std::strerror(errno);
    if (geteuid() == 0) {
      ASSERT_EQ(lchown(marked.c_str(), 65534, 65534), 0);
    }
  };

  for (const bool otherFileSystem : {false, true}) {
    SCOPED_TRACE(otherFileSystem ? "temporary directory on another file system" : "on the same");
    if (otherFileSystem && shm_.empty()) break;
    tmp_ = otherFileSystem ? root_ / "tmp" : sameFileSystem;
    long reached = 0;
    long failAt = GetParam() + 1;
    for (bool failed = true; failed && !HasFailure(); failAt += kShards) {
      SCOPED_TRACE("change " + std::to_string(failAt) + " failing");
      restore(pristine);
      forgetCalls();
      mark();
      const auto before = snapshot(true);
      failed = runTraced(-1, failAt).reached;
      if (failed) reached = failAt;
      // Undone; or failed once every entry was in place; or, told that an old version could not
      // go back, undone by the next start.
      if (snapshot(true) != before && calls("osascript").size() < 2) expectOldOrNew(true);
      expectOldOrNew();
      EXPECT_EQ(runTraced().status, 0);
      EXPECT_EQ(snapshot(false), converged);
      expectNothingLeft();
    }
    EXPECT_GT(reached, 20) << "fewer fail points than an update of this size has";
  }
  if (shm_.empty())
    GTEST_SKIP() << "no tmpfs at /dev/shm apart from the test's root: a temporary "
                    "directory on another file system is not tried";
}

INSTANTIATE_TEST_SUITE_P(Shard, Transaction, ::testing::Range(0, kShards));
// A Mac's exFAT disk: it ignores case, keeps the spelling it is given and has no second names.
TEST_F(Transaction, AnUpdateRespellingAnEntryIsUndoneToTheStoredSpellingWhereCaseIsIgnored) {
  if (!canFail()) GTEST_SKIP() << "making a system call fail needs x86-64 here";
  const auto volume = root_ / "volume";
  const auto unusable = mountExfat(volume);
  if (!unusable.empty()) GTEST_SKIP() << unusable;
  const std::shared_ptr<void> unmount(nullptr, [&volume](void*) { unmountExfat(volume); });
  app_ = volume / "app";
  fs::create_directories((app_ / kLobbyProgram).parent_path());
  installLauncher(app_);
  writeFile(app_ / kResources / "Foo.pak", "old");
  writeFile(app_ / "update_2" / kResources / "foo.pak", "new");
  writeFile(app_ / "update_2" / kResources / "added.pak", "added");
  const auto pristine = root_ / "pristine";
  copyTree(app_, pristine);
  const auto before = snapshot(false);
  ASSERT_EQ(runTraced().status, 0);
  // The update's spelling, put in place without second names.
  const auto converged = snapshot(false);
  EXPECT_EQ(std::count(converged.begin(), converged.end(),
                       (kResources / "foo.pak").string() + " 33279 new"),
            1);

  long failAt = 1;
  for (bool failed = true; failed && !HasFailure(); ++failAt) {
    SCOPED_TRACE("change " + std::to_string(failAt) + " failing");
    restore(pristine);
    failed = runTraced(-1, failAt).reached;
    // Undone to the spelling the volume stored, or failed once the update was in place, which
    // the next start finishes.
    if (snapshot(false) != before) {
      EXPECT_EQ(readFile(app_ / kResources / "foo.pak"), "new");
      EXPECT_EQ(runTraced().status, 0);
      EXPECT_EQ(snapshot(false), converged);
    }
  }
  EXPECT_GT(failAt, 10) << "fewer fail points than this update has";
  expectNothingLeft();
}
// TMPDIR on another mount of the installation's file system (systemd's PrivateTmp, containers),
// writable or not: old versions cannot move there, and are kept in the application folder.
TEST_F(Transaction, ATemporaryDirectoryOnABindMountIsPassedOver) {
  if (geteuid() != 0) GTEST_SKIP() << "a bind mount needs root";
  stageUpdate(app_);
  const auto pristine = root_ / "pristine";
  copyTree(app_, pristine);
  const auto store = app_.parent_path() / "store";
  for (const unsigned long readOnly : {0ul, static_cast<unsigned long>(MS_RDONLY)}) {
    SCOPED_TRACE(readOnly ? "read-only" : "writable");
    restore(pristine);
    tmp_ = app_.parent_path() / (readOnly ? "read-only" : "bound");
    fs::create_directories(store);
    fs::create_directories(tmp_);
    if (mount(store.c_str(), tmp_.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      GTEST_SKIP() << "cannot bind mount: " << std::strerror(errno);
    }
    mounts_.push_back(tmp_);
    ASSERT_EQ(mount(nullptr, tmp_.c_str(), nullptr, MS_REMOUNT | MS_BIND | readOnly, nullptr), 0);

    EXPECT_EQ(runTraced().status, 0);

    expectOldOrNew(true);
    expectNothingLeft();
  }
}
}  // namespace

// zent-unit as a program: it makes a pseudo-terminal and names it, the loader's link reaches
// it through ZENT_COM<n>, it prints the requests and its verdict, and its exit status says
// whether an application was started. Real clock: only paths that need no time-out.
#include "unit_rig.h"

#include "log_capture.h"

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

const std::string k_program = std::string(ZENT_BINARY_DIR) + "/bin/zent-unit";

/* zent-unit running with its standard output on a pipe, which a thread drains (the
** program writes a line per request and must never block on a full pipe). */
class UnitProgram {
public:
  explicit UnitProgram(std::vector<std::string> args) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);  // usage complaints
    args.insert(args.begin(), k_program);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, k_program.c_str(), &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    reader_ = std::thread([this, fd = fds[0]] { drain(fd); });
  }
  ~UnitProgram() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (reader_.joinable()) reader_.join();
  }
  /* The next output line without its line end into *p_line; false at the end. */
  bool next(std::string* p_line) {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [this] { return i_next_ < lines_.size() || ended_; });
    if (i_next_ == lines_.size()) return false;
    *p_line = lines_[i_next_++];
    return true;
  }
  std::string line() {
    std::string l;
    return next(&l) ? l : "";
  }
  /* Everything up to the end of the output. */
  std::string rest() {
    std::string s, l;
    while (next(&l)) s += l + "\n";
    return s;
  }
  /* The exit status, or -1 when it did not exit normally. */
  int wait() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void signal(int sig) { kill(pid_, sig); }

private:
  void drain(int fd) {
    FILE* f = fdopen(fd, "r");
    char buf[512];
    while (f && fgets(buf, sizeof buf, f)) {
      std::string s(buf);
      if (!s.empty() && s.back() == '\n') s.pop_back();
      std::lock_guard<std::mutex> lock(lock_);
      lines_.push_back(s);
      changed_.notify_all();
    }
    if (f) fclose(f);
    std::lock_guard<std::mutex> lock(lock_);
    ended_ = true;
    changed_.notify_all();
  }
  pid_t pid_ = -1;
  std::thread reader_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  size_t i_next_ = 0;
  bool ended_ = false;
};

/* Opens COM<n> on the program's pseudo-terminal. */
bool connect(LoaderSide* p_side, const std::string& path, int n_com) {
  setenv(("ZENT_COM" + std::to_string(n_com)).c_str(), path.c_str(), 1);
  LogCapture quiet;
  return p_side->open(("COM" + std::to_string(n_com)).c_str());
}

TEST(UnitProgram, DownloadOverItsPtyStartsTheApplicationAndExitsZero) {
  UnitProgram unit({"--pty"});
  std::string path = unit.line();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  EXPECT_EQ(unit.line(), "waiting: run the loader with ZENT_COM1=" + path);
  LoaderSide side;
  ASSERT_TRUE(connect(&side, path, 50));
  UnitMasterInput in = firmware_images().input();
  in.t_pause_ms = 0;
  UnitMasterResult res;
  EXPECT_EQ(UnitMaster_run(&side.rmc, &in, &res), RMC_RES_OK);
  std::string out = unit.rest();
  EXPECT_EQ(unit.wait(), 0);
  EXPECT_NE(out.find("#1 0x07 activate boot loader: ok"), std::string::npos);
  EXPECT_NE(out.find("0x12 jump to 0x400000: flash loader runs"), std::string::npos);
  EXPECT_NE(out.find("verdict: application started"), std::string::npos) << out;
}

TEST(UnitProgram, OtherCpuTypeAndAnInterruptExitOne) {
  UnitProgram unit({"--pty", "--cpu-type", "2", "--quiet"});
  std::string path = unit.line();
  LoaderSide side;
  ASSERT_TRUE(connect(&side, path, 51));
  UnitMasterInput in = firmware_images().input();
  in.t_pause_ms = 0;
  UnitMasterResult res;
  LogCapture quiet;
  EXPECT_EQ(UnitMaster_run(&side.rmc, &in, &res), RMC_RES_DEV_FAIL);
  EXPECT_EQ(res.cpu_type, 2u);
  unit.signal(SIGTERM);
  std::string out = unit.rest();
  EXPECT_EQ(unit.wait(), 1);
  EXPECT_EQ(out.find("#1 "), std::string::npos);  // quiet: no request lines
  EXPECT_NE(out.find("verdict: no start requested"), std::string::npos) << out;
}

TEST(UnitProgram, HelpAndBadOptions) {
  UnitProgram help({"--help"});
  EXPECT_EQ(help.line(), "Usage: zent-unit [options]");
  std::string text = help.rest();
  EXPECT_NE(text.find("--exception-from K:C"), std::string::npos);
  EXPECT_NE(text.find("Exit status: 0 an application was started"), std::string::npos);
  EXPECT_EQ(help.wait(), 0);
  for (auto bad : std::vector<std::vector<std::string>>{{"--exception-from", "3:9"},
                                                         {"--bit-errors", "1.5"},
                                                         {"--cpu-type", "x"},
                                                         {"stray"},
                                                         {"--device", "/dev/null"},
                                                         {"--device", "/nonexistent/tty"}}) {
    UnitProgram p(bad);
    EXPECT_EQ(p.wait(), 2) << bad[0];
  }
}

}  // namespace

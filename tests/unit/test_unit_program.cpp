// zent-unit as a program: it makes a pseudo-terminal and names it, the loader's link reaches
// it through ZENT_COM<n>, it prints the requests and its verdict, and its exit status says
// whether an application was started. The loader side runs on a virtual clock: it waits
// as long as the program needs, and a time-out passes only where a test runs the clock
// fast after the program has shown that no answer is coming.
#include "unit_rig.h"

#include "log_capture.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <future>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
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
    // A program that neither writes nor ends within a minute has hung: the test fails.
    changed_.wait_for(lock, std::chrono::seconds(60),
                      [this] { return i_next_ < lines_.size() || ended_; });
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

/* Runs the virtual clock at ratio times real time while it lives. At ratio 1 the loader
** side keeps real time, so that a lost byte ends in a link time-out, never in a hang. A
** Sleep(0) of the loader side naps for real instead of yielding: on a busy machine a thread
** that sleeps gets the processor back as soon as its byte comes, one that yields only
** after the other processes' time slices. */
class RunningClock {
public:
  explicit RunningClock(Win32VirtualClock* p_clock)
      : clock_(p_clock), thread_([this, p_clock] { run(p_clock); }) {
    clock_->set_sleep(&RunningClock::nap, clock_);
  }
  ~RunningClock() {
    clock_->set_sleep(nullptr, nullptr);
    stop_ = true;
    thread_.join();
  }
  void set_ratio(uint32_t ratio) { ratio_ = ratio; }
  /* The clock runs at 1/n of real time instead (the loader's time-outs n times longer). */
  void set_slow(uint32_t n) { slow_ = n; }

private:
  void run(Win32VirtualClock* p_clock) {
    auto t_last = std::chrono::steady_clock::now();
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      auto now = std::chrono::steady_clock::now();
      auto t_ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - t_last).count();
      if (t_ms < (int64_t)slow_) continue;
      t_last += std::chrono::milliseconds(t_ms);
      p_clock->advance((DWORD)(t_ms * ratio_ / slow_));
    }
  }
  static void nap(void* p, DWORD t_ms) {
    ((Win32VirtualClock*)p)->advance(t_ms);
    usleep(50);
  }
  Win32VirtualClock* clock_;
  std::atomic<bool> stop_{false};
  std::atomic<uint32_t> ratio_{1};
  std::atomic<uint32_t> slow_{1};
  std::thread thread_;
};

/* zent-unit with args on its pseudo-terminal and the loader side on COM<n_com>, on a
** virtual clock in real time until a test makes it run fast. The path line (and the
** waiting line) are read already. */
struct ProgramRig {
  ProgramRig(std::vector<std::string> args, int n_com) : unit(with_pty(std::move(args))) {
    path = unit.line();
    if (path.rfind("/dev/pts/", 0) != 0) return;
    if (!quiet) unit.line();
    connected = connect(&side, path, n_com);
  }
  std::vector<std::string> with_pty(std::vector<std::string> args) {
    for (auto& a : args) quiet = quiet || a == "--quiet";
    args.insert(args.begin(), "--pty");
    return args;
  }
  /* Output lines up to one that holds s; false when the output ended first. */
  bool wait_for(const std::string& s, std::string* p_seen = nullptr) {
    std::string l;
    while (unit.next(&l)) {
      if (p_seen) *p_seen += l + "\n";
      if (l.find(s) != std::string::npos) return true;
    }
    return false;
  }
  /* The whole sequence with the given images; pauses 0. */
  int run(const UnitMasterInput& in, UnitMasterResult* p_res) {
    UnitMasterInput i = in;
    i.t_pause_ms = 0;
    LogCapture quiet_log;
    return UnitMaster_run(&side.rmc, &i, p_res);
  }
  /* Ends the program; its exit status, the rest of its output in *p_rest. */
  int end(std::string* p_rest) {
    unit.signal(SIGTERM);
    *p_rest = unit.rest();
    return unit.wait();
  }
  Win32VirtualClock clock;
  RunningClock running{&clock};
  bool quiet = false;
  UnitProgram unit;
  std::string path;
  LoaderSide side;
  bool connected = false;
};

TEST(UnitProgram, DownloadOverItsPtyStartsTheApplicationAndExitsZero) {
  Win32VirtualClock clock;
  RunningClock running{&clock};
  running.set_slow(20);  // the program keeps real time; a busy machine may stall it for seconds
  UnitProgram unit({"--pty"});
  std::string path = unit.line();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  EXPECT_EQ(unit.line(), "waiting: run the loader with ZENT_COM1=" + path);
  LoaderSide side;
  ASSERT_TRUE(connect(&side, path, 50));
  UnitMasterInput in = firmware_images().input();
  in.t_pause_ms = 0;
  UnitMasterResult res;
  int r = UnitMaster_run(&side.rmc, &in, &res);
  EXPECT_EQ(r, RMC_RES_OK);
  if (r != RMC_RES_OK) unit.signal(SIGTERM);  // it would wait for the start for ever
  std::string out = unit.rest();
  EXPECT_EQ(unit.wait(), 0) << out;
  EXPECT_NE(out.find("#1 0x07 activate boot loader: ok"), std::string::npos);
  EXPECT_NE(out.find("0x12 jump to 0x400000: flash loader runs"), std::string::npos);
  EXPECT_NE(out.find("verdict: application started"), std::string::npos) << out;
}

TEST(UnitProgram, OtherCpuTypeAndAnInterruptExitOne) {
  Win32VirtualClock clock;
  RunningClock running{&clock};
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
  for (auto opt : {"--pty", "--device PATH", "--paced", "--cpu-type N", "--erase-ms N",
                   "--reply-delay-ms N", "--exception-from K:C", "--silent-from K",
                   "--bit-errors RATE", "--lost-bytes RATE", "--extra-bytes RATE", "--seed N",
                   "--collision-after K", "--no-expect", "--stay", "--timeout-s N", "--quiet",
                   "--help"})
    EXPECT_NE(text.find(std::string("  ") + opt + " "), std::string::npos) << opt;
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

TEST(UnitProgram, ExceptionFromTheKthRequestIsThatStepsResult) {
  ProgramRig rig({"--exception-from", "3:6"}, 52);
  ASSERT_TRUE(rig.connected);
  UnitMasterResult res;
  EXPECT_EQ(rig.run(test_images().input(), &res), RMC_RES_BUSY);
  EXPECT_EQ(res.step, UNIT_STEP_FLASH_LOADER);
  EXPECT_EQ(res.n_requests, 3);
  std::string out;
  EXPECT_EQ(rig.end(&out), 1);
  EXPECT_NE(out.find("#3 0x13 -> exception 6"), std::string::npos) << out;
  EXPECT_NE(out.find("requests 3, exceptions 1,"), std::string::npos) << out;
}

TEST(UnitProgram, SilenceFromTheKthRequestEndsThatStepAfterItsReplyTimeOut) {
  ProgramRig rig({"--silent-from", "2"}, 53);
  ASSERT_TRUE(rig.connected);
  UnitMasterResult res;
  auto run = std::async(std::launch::async, [&] { return rig.run(test_images().input(), &res); });
  std::string seen;
  EXPECT_TRUE(rig.wait_for("#2 0x05 -> no reply", &seen)) << seen;
  rig.running.set_ratio(100);  // the reply time-out of 1 s passes in 10 ms
  EXPECT_EQ(run.get(), RMC_RES_ERR_REC);
  EXPECT_EQ(res.step, UNIT_STEP_CPU_TYPE);
  std::string out;
  EXPECT_EQ(rig.end(&out), 1);
}

TEST(UnitProgram, ReplyDelayBeyondTheBootTimeOutFailsTheWakeUp) {
  ProgramRig rig({"--reply-delay-ms", "300"}, 54);
  ASSERT_TRUE(rig.connected);
  UnitMasterResult res;
  auto run = std::async(std::launch::async, [&] { return rig.run(test_images().input(), &res); });
  std::string seen;
  EXPECT_TRUE(rig.wait_for("#1 0x07 activate boot loader: ok", &seen)) << seen;  // before the delay
  rig.running.set_ratio(100);  // 300 ms of delay are 30 s here, the time-out 1 s
  EXPECT_EQ(run.get(), RMC_RES_ERR_REC);
  EXPECT_EQ(res.step, UNIT_STEP_ACTIVATE);
  std::string out;
  EXPECT_EQ(rig.end(&out), 1);
}

TEST(UnitProgram, SlowEraseAndReplyDelayWithinTheTimeOutsSucceed) {
  ProgramRig rig({"--no-expect", "--erase-ms", "150", "--reply-delay-ms", "2"}, 55);
  ASSERT_TRUE(rig.connected);
  Rmc* p_rmc = &rig.side.rmc;
  const TestImages& t = test_images();
  LogCapture quiet;
  EXPECT_EQ(Rmc_do_activate_bootloader(p_rmc), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_write_xbram(p_rmc, t.loader.a[2], t.loader.p[2], t.loader.n[2]), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_write_xbram(p_rmc, 0x400000, t.loader.p[1], 256), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_jump(p_rmc, 0x400000), RMC_RES_OK);
  p_rmc->t_receive_ms = 100000;
  EXPECT_EQ(Rmc_do_erase_flash(p_rmc), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_blank_check_flash(p_rmc), RMC_RES_OK);
  std::string out;
  EXPECT_EQ(rig.end(&out), 1);
  EXPECT_NE(out.find("requests 6, exceptions 0, collisions 0, starts 0"), std::string::npos) << out;
  EXPECT_NE(out.find("work 162 ms"), std::string::npos) << out;  // 150 + 6 x 2
}

TEST(UnitProgram, LineThatCarriesNoFrameFailsTheFirstRequest) {
  // Every byte lost, or each with a flipped bit (no STX or DLE survives), or each behind
  // a random one: no frame gets through. The link gives up or the send time-out passes.
  int n_com = 56;
  for (auto fault : {"--lost-bytes", "--bit-errors", "--extra-bytes"}) {
    ProgramRig rig({fault, "1", "--seed", "7"}, n_com++);
    ASSERT_TRUE(rig.connected) << fault;
    UnitMasterResult res;
    rig.running.set_ratio(100);
    int r = rig.run(test_images().input(), &res);
    EXPECT_TRUE(r == RMC_RES_ERR_SEND || r == RMC_RES_ERR_REC) << fault << ": " << r;
    EXPECT_EQ(res.step, UNIT_STEP_ACTIVATE) << fault;
    std::string out;
    EXPECT_EQ(rig.end(&out), 1) << fault;
    EXPECT_NE(out.find("requests 0, exceptions 0, collisions 0, starts 0"), std::string::npos)
        << fault << ": " << out;
  }
}

TEST(UnitProgram, CollisionAfterTheKthReplyIsResolvedAndTheRunSucceeds) {
  ProgramRig rig({"--no-expect", "--collision-after", "2"}, 60);
  ASSERT_TRUE(rig.connected);
  UnitMasterResult res;
  EXPECT_EQ(rig.run(test_images().input(), &res), RMC_RES_OK);
  std::string out = rig.unit.rest();
  EXPECT_EQ(rig.unit.wait(), 0);
  EXPECT_NE(out.find("#2 unsolicited frame against the partner's"), std::string::npos) << out;
  EXPECT_NE(out.find("collisions 1, starts 1"), std::string::npos) << out;
}

TEST(UnitProgram, PacedLineAnswersTheBootRequests) {
  ProgramRig rig({"--paced", "--quiet"}, 61);
  ASSERT_TRUE(rig.connected);
  uint32_t cpu = 0;
  EXPECT_EQ(Rmc_do_activate_bootloader(&rig.side.rmc), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_get_cpu_type(&rig.side.rmc, &cpu, nullptr, nullptr), RMC_RES_OK);
  EXPECT_EQ(cpu, 1u);
  std::string out;
  EXPECT_EQ(rig.end(&out), 1);
  EXPECT_NE(out.find("requests 2, exceptions 0"), std::string::npos) << out;
}

#ifdef ZENT_HAVE_FIRMWARE
TEST(UnitProgram, OnlyTheBuiltInFirmwareIsAcceptedUnlessNoExpect) {
  {
    ProgramRig rig({}, 62);  // expects the stand-in firmware; gets the tests' own images
    ASSERT_TRUE(rig.connected);
    UnitMasterResult res;
    EXPECT_EQ(rig.run(test_images().input(), &res), RMC_RES_DEV_FAIL);
    EXPECT_EQ(res.step, UNIT_STEP_JUMP);
    std::string out;
    EXPECT_EQ(rig.end(&out), 1);
    EXPECT_NE(out.find("0x12 jump: RAM does not hold the flash loader"), std::string::npos) << out;
  }
  ProgramRig rig({"--no-expect"}, 63);
  ASSERT_TRUE(rig.connected);
  UnitMasterResult res;
  EXPECT_EQ(rig.run(test_images().input(), &res), RMC_RES_OK);
  EXPECT_EQ(rig.unit.wait(), 0);
}
#endif

TEST(UnitProgram, StayKeepsAnsweringAndStillReportsTheStart) {
  ProgramRig rig({"--no-expect", "--stay"}, 64);
  ASSERT_TRUE(rig.connected);
  UnitMasterResult res;
  ASSERT_EQ(rig.run(test_images().input(), &res), RMC_RES_OK);
  // The started application hands back to the boot loader on a wake-up.
  EXPECT_EQ(Rmc_do_activate_bootloader(&rig.side.rmc), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_erase_flash(&rig.side.rmc), RMC_RES_ILL_FC);
  std::string out;
  EXPECT_EQ(rig.end(&out), 0);
  EXPECT_NE(out.find("exceptions 1, collisions 0, starts 1"), std::string::npos) << out;
}

TEST(UnitProgram, TimeLimitEndsAnIdleUnitWithExitOne) {
  UnitProgram unit({"--pty", "--quiet", "--timeout-s", "1"});
  unit.line();  // the path
  std::string out = unit.rest();
  EXPECT_EQ(unit.wait(), 1);
  EXPECT_NE(out.find("verdict: no start requested"), std::string::npos) << out;
}

TEST(UnitProgram, SerialDeviceIsServedUntilItGoesAway) {
  // The program on the slave of a pseudo-terminal given as --device; the test's link on
  // the master side, through the unit library's own descriptor transport.
  int master = -1, slave = -1;
  char name[256];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  termios tio;  // raw before the program opens it: no echo, no line editing meanwhile
  ASSERT_EQ(tcgetattr(slave, &tio), 0);
  cfmakeraw(&tio);
  ASSERT_EQ(tcsetattr(slave, TCSANOW, &tio), 0);
  close(slave);
  fcntl(master, F_SETFD, FD_CLOEXEC);  // the program must not hold the master too
  UnitProgram unit({"--device", name});
  Win32VirtualClock clock;
  RunningClock running(&clock);
  UnitFdPort fd_port;
  UnitFdPort_init(&fd_port, master, 0);
  UnitPort port = UnitFdPort_port(&fd_port);
  Bytes ib(384), ob(384), buf(384);
  Co3964 co;
  Rmc rmc;
  ASSERT_NE(Co3964_init(&co, nullptr, LoaderSide::now, LoaderSide::plus, LoaderSide::sleep_ms,
                        port.p, port.cb_receive_byte_nw, port.cb_send_byte,
                        port.cb_send_with_dle, 384, ib.data(), 384, ob.data(), 1, 1),
            nullptr);
  ASSERT_NE(Rmc_init_as_master(&rmc, 384, buf.data(), &co), nullptr);
  uint32_t cpu = 0;
  EXPECT_EQ(Rmc_do_activate_bootloader(&rmc), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_get_cpu_type(&rmc, &cpu, nullptr, nullptr), RMC_RES_OK);
  EXPECT_EQ(cpu, 1u);
  close(master);  // the device goes away: the program ends by itself
  std::string out = unit.rest();
  EXPECT_EQ(unit.wait(), 1);
  EXPECT_NE(out.find("#2 0x05 CPU type: 1"), std::string::npos) << out;
}

}  // namespace

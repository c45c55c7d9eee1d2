/*
** test_co3964_pty.cpp - two 3964R links over a real pseudo-terminal in raw mode, on the
** virtual clock, each driven by its own thread: messages full of DLE, STX and ETX bytes make
** the round trip through the kernel's tty layer, as they would through a serial port. The
** clock moves only while both links wait (idle_time.h), so no time-out runs out because
** one thread did not get the processor in time.
*/
#include "co3964.h"
#include "idle_time.h"
#include "link_pair.h"
#include "win32_time.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <fcntl.h>
#include <pty.h>
#include <random>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

/* Port callbacks over one non-blocking file descriptor. */
int fd_receive(void* p) {
  uint8_t b;
  return read(*(int*)p, &b, 1) == 1 ? b : -1;
}

bool fd_write_all(int fd, const uint8_t* p_bytes, size_t n) {
  while (n > 0) {
    ssize_t k = write(fd, p_bytes, n);
    if (k < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (k > 0) {
      p_bytes += k;
      n -= (size_t)k;
    }
  }
  return true;
}

int fd_send_byte(void* p, int ch) {
  uint8_t b = (uint8_t)ch;
  return fd_write_all(*(int*)p, &b, 1) ? ch : -1;
}

uint32_t fd_send_with_dle(void* p, int n, const uint8_t* p_bytes) {
  Bytes w;
  for (int i = 0; i < n; i++) {
    w.push_back(p_bytes[i]);
    if (p_bytes[i] == CO3964_DLE) w.push_back(CO3964_DLE);
  }
  return fd_write_all(*(int*)p, w.data(), w.size()) ? CO3964_SEND_OK : 0x15;
}

uint32_t tick(void*) { return GetTickCount(); }
uint32_t plus(void*, uint32_t t, uint32_t t_ms) { return t + t_ms; }
int nap(void*, uint32_t) {
  usleep(20);
  return 0;
}

class PtyTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&fd_a, &fd_b, nullptr, nullptr, nullptr), 0);
    termios t;
    ASSERT_EQ(tcgetattr(fd_b, &t), 0);
    cfmakeraw(&t);
    ASSERT_EQ(tcsetattr(fd_b, TCSANOW, &t), 0);
    for (int fd : {fd_a, fd_b}) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    ASSERT_TRUE(Co3964_init(&a, nullptr, tick, plus, nap, &fd_a, fd_receive, fd_send_byte,
                            fd_send_with_dle, 384, ib_a, 384, ob_a, 1, 1));
    ASSERT_TRUE(Co3964_init(&b, nullptr, tick, plus, nap, &fd_b, fd_receive, fd_send_byte,
                            nullptr, 384, ib_b, 384, ob_b, 1, 0));  // sends byte by byte
    hook_a = std::make_unique<IdleLinkHook>(&time, &a, IdleTime::LOADER);
    hook_b = std::make_unique<IdleLinkHook>(&time, &b, IdleTime::UNIT);
    time.set_fd(IdleTime::LOADER, fd_a);
    time.set_fd(IdleTime::UNIT, fd_b);
  }
  void TearDown() override {
    close(fd_a);
    close(fd_b);
  }

  int fd_a = -1, fd_b = -1;
  uint8_t ib_a[384], ob_a[384], ib_b[384], ob_b[384];
  Co3964 a, b;
  Win32VirtualClock clock;
  IdleTime time{&clock};  // a's end is the test's thread, b's the echo thread
  std::unique_ptr<IdleLinkHook> hook_a, hook_b;
};

TEST_F(PtyTest, MessagesMakeTheRoundTripThroughARawPty) {
  std::atomic<bool> stop{false};
  time.set_present(IdleTime::UNIT, true);
  std::thread echo([&] {
    uint8_t m[384];
    while (!stop) {
      Co3964_do(&b);
      int n = Co3964_ib_get_msg(&b, 384, m);
      if (n >= 0) Co3964_ob_set_msg(&b, n, m);
      time.idle_or_wait_input(IdleTime::UNIT);
    }
    time.set_present(IdleTime::UNIT, false);
  });
  struct Join {  // also when an assertion ends the test early
    std::atomic<bool>& stop;
    std::thread& t;
    ~Join() {
      stop = true;
      t.join();
    }
  } join{stop, echo};
  std::mt19937 rng(3);
  uint8_t got[384];
  for (int i = 0; i < 40; i++) {
    Bytes m(i == 0 ? 0 : rng() % 385);
    for (auto& x : m) x = (rng() % 4 == 0) ? CO3964_DLE : (uint8_t)(rng() % 6);
    static const uint8_t none = 0;
    ASSERT_EQ(Co3964_ob_set_msg(&a, (int32_t)m.size(), m.empty() ? &none : m.data()), 2);
    uint32_t t_end = GetTickCount() + 5000;
    while (Co3964_ib_get_n_msg(&a) < 0 && (int32_t)(t_end - GetTickCount()) > 0) {
      Co3964_do(&a);
      time.idle_or_wait_input(IdleTime::LOADER);
    }
    ASSERT_EQ(Co3964_ob_get_state(&a), 0) << "message " << i;
    int n = Co3964_ib_get_msg(&a, 384, got);
    ASSERT_EQ(n, (int)m.size()) << "message " << i;
    EXPECT_EQ(Bytes(got, got + n), m) << "message " << i;
  }
}

/* The clock passes a sleeping end's wake-up only once that end has run: a unit that keeps
** passing idle time beside it would otherwise carry the clock on while the sleeper waits for
** the processor, and a user's 300 ms answer would come seconds late. */
TEST(IdleTimeRig, SleepOfTheLoaderEndsAtItsTimeBesideAUnitPassingIdleTime) {
  Win32VirtualClock clock;
  IdleTime time{&clock};
  std::atomic<bool> stop{false};
  time.set_present(IdleTime::UNIT, true);
  std::thread unit([&] {
    while (!stop) time.idle(IdleTime::UNIT);
    time.set_present(IdleTime::UNIT, false);
  });
  for (DWORD t_ms : {1u, 300u, 3000u, 300u, 5000u, 1u, 300u}) {
    DWORD t_start = GetTickCount();
    Sleep(t_ms);
    EXPECT_EQ(GetTickCount() - t_start, t_ms);
  }
  stop = true;
  unit.join();
}

}  // namespace

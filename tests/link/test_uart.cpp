// The COM port over pseudo-terminals: line settings seen from the far side, raw bytes both
// ways, DLE doubling, immediate receive, exclusive open, and a far side that goes away.
#include "uart.h"

#include "log_capture.h"
#include "win32_comm.h"
#include "win32_handle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr DWORD k_rw = 0x80000000u | 0x40000000u;  // GENERIC_READ | GENERIC_WRITE

/* A pseudo-terminal reachable as COM20; the test holds the master, the Uart the slave. */
struct PtyPort {
  int master = -1;
  PtyPort() {
    int slave = -1;
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    close(slave);
    setenv("ZENT_COM20", name, 1);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPort() { hang_up(); }
  void hang_up() {
    if (master >= 0) close(master);
    master = -1;
  }
  /* Up to n bytes from the master, waiting at most 5 s of real time for the kernel. */
  std::vector<uint8_t> read_n(size_t n) {
    std::vector<uint8_t> v;
    for (int64_t t_end = now_ms() + 5000; v.size() < n && now_ms() < t_end;) {
      uint8_t buf[512];
      ssize_t r = read(master, buf, std::min(sizeof buf, n - v.size()));
      if (r > 0) v.insert(v.end(), buf, buf + r);
    }
    return v;
  }
  static int64_t now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
  }
};

/* The next byte from the Uart, polling until one arrives or 5 s have passed. */
int receive_byte(Uart* p) {
  for (int64_t t_end = PtyPort::now_ms() + 5000; PtyPort::now_ms() < t_end;) {
    int ch = Uart_receive_byte_nw(p);
    if (ch >= 0) return ch;
  }
  return -1;
}

class UartTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_GE(pty.master, 0);
    ASSERT_EQ(Uart_init(&uart), &uart);
  }
  void TearDown() override { Uart_close(&uart); }
  int open_8n1() { return Uart_open(&uart, "COM20", 115200, 8, 0, 0); }
  PtyPort pty;
  Uart uart;
};

TEST_F(UartTest, OpenSets115200_8N1AsTheFarSideSeesIt) {
  LogCapture log;
  ASSERT_EQ(open_8n1(), 1);
  EXPECT_EQ(log.text(), "info - src/link/uart.cpp - Uart_open: setting COM20 to baudrate=115200");
  struct termios tio;
  ASSERT_EQ(tcgetattr(pty.master, &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), (speed_t)B115200);
  EXPECT_EQ(cfgetispeed(&tio), (speed_t)B115200);
  EXPECT_EQ(tio.c_cflag & CSIZE, (tcflag_t)CS8);
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | INPCK), 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
}

/* A terminal program often leaves RTS/CTS on; the port then reads as CTS output flow with
** an RTS handshake. Switching CTS flow off must leave a port that opens, with no hardware
** flow control on the line (a pseudo-terminal has no CTS at all). */
TEST_F(UartTest, PortLeftWithRtsCtsFlowControlOpensWithoutIt) {
  struct termios tio;
  ASSERT_EQ(tcgetattr(pty.master, &tio), 0);
  tio.c_cflag |= CRTSCTS;
  ASSERT_EQ(tcsetattr(pty.master, TCSANOW, &tio), 0);
  LogCapture log;
  ASSERT_EQ(open_8n1(), 1) << log.text();
  ASSERT_EQ(tcgetattr(pty.master, &tio), 0);
  EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
  ASSERT_EQ(Uart_send_byte(&uart, 0x02), 0x02);
  EXPECT_EQ(pty.read_n(1), std::vector<uint8_t>{0x02});
  ASSERT_EQ(write(pty.master, "\x10", 1), 1);
  EXPECT_EQ(receive_byte(&uart), 0x10);
}

TEST_F(UartTest, EveryByteValueTravelsBothWaysUnchanged) {
  ASSERT_EQ(open_8n1(), 1);
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) {
    all[i] = (uint8_t)i;
    ASSERT_EQ(Uart_send_byte(&uart, i), i);
  }
  EXPECT_EQ(pty.read_n(256), all);
  ASSERT_EQ(write(pty.master, all.data(), 256), 256);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(receive_byte(&uart), i);
}

TEST_F(UartTest, BlockSendDoublesDleAndAnEmptyBlockWritesNothing) {
  ASSERT_EQ(open_8n1(), 1);
  const uint8_t block[] = {0x10, 0x41, 0x10, 0x10, 0x03};
  EXPECT_EQ(Uart_send_with_dle(&uart, 5, block), 0x80000000u);
  EXPECT_EQ(pty.read_n(8), (std::vector<uint8_t>{0x10, 0x10, 0x41, 0x10, 0x10, 0x10, 0x10, 0x03}));
  EXPECT_EQ(Uart_send_with_dle(&uart, 0, block), 0x80000000u);
  EXPECT_EQ(Uart_send_with_dle(&uart, -1, block), 0x15u);   // refused, nothing written
  EXPECT_EQ(Uart_send_with_dle(&uart, 3, nullptr), 0x15u);
  ASSERT_EQ(Uart_send_byte(&uart, 0x55), 0x55);  // the next byte on the line is the marker
  EXPECT_EQ(pty.read_n(1), std::vector<uint8_t>{0x55});
}

TEST_F(UartTest, ReceiveWithNothingWaitingGivesMinusOneSilently) {
  ASSERT_EQ(open_8n1(), 1);
  LogCapture log;
  EXPECT_EQ(Uart_receive_byte_nw(&uart), -1);
  EXPECT_EQ(Uart_receive_byte_nw(&uart), -1);
  EXPECT_EQ(log.text(), "");
}

TEST_F(UartTest, SecondOpenLogsAlreadyOpenedAndLeavesThePortClosed) {
  ASSERT_EQ(open_8n1(), 1);
  LogCapture log;
  EXPECT_EQ(open_8n1(), 0);
  EXPECT_EQ(log.text(), "error - src/link/uart.cpp - Uart_open: uart is already opened");
  EXPECT_EQ(uart.h_com, INVALID_HANDLE_VALUE);
  EXPECT_EQ(open_8n1(), 1);  // the port was released: a new open succeeds
}

TEST_F(UartTest, PortHeldByAnotherOpenerFails) {
  HANDLE h_other = win32_comm_open("COM20", k_rw);
  ASSERT_NE(h_other, INVALID_HANDLE_VALUE);
  LogCapture log;
  EXPECT_EQ(open_8n1(), 0);
  // 5 is ERROR_ACCESS_DENIED, printed by the line's own "%0x08x".
  EXPECT_EQ(log.text(),
            "error - src/link/uart.cpp - Uart_open: h_com == INVALID_HANDLE_VALUE; last_error=508x");
  EXPECT_EQ(uart.last_error, 5u);
  EXPECT_EQ(uart.h_com, INVALID_HANDLE_VALUE);
  CloseHandle(h_other);
  EXPECT_EQ(open_8n1(), 1);
}

TEST_F(UartTest, NameWithoutDeviceFailsAndAValidNameThenOpens) {
  setenv("ZENT_COM21", "/nonexistent/ttyX", 1);
  LogCapture log;
  EXPECT_EQ(Uart_open(&uart, "COM21", 115200, 8, 0, 0), 0);
  EXPECT_EQ(log.text(),
            "error - src/link/uart.cpp - Uart_open: h_com == INVALID_HANDLE_VALUE; last_error=208x");
  EXPECT_EQ(uart.last_error, 2u);
  EXPECT_EQ(open_8n1(), 1);
  unsetenv("ZENT_COM21");
}

TEST_F(UartTest, SettingsTheLineCannotTakeFailAtSetCommState) {
  LogCapture log;
  // A pseudo-terminal carries no parity; the port refuses rather than drop it silently.
  EXPECT_EQ(Uart_open(&uart, "COM20", 115200, 8, 2, 0), 0);
  EXPECT_EQ(log.text(), "error - src/link/uart.cpp - Uart_open: SetCommState failed; last_error=5708x");
  EXPECT_EQ(uart.h_com, INVALID_HANDLE_VALUE);
  log.clear();
  EXPECT_EQ(Uart_open(&uart, "COM20", 115200, 8, 0, 1), 0);  // 1.5 stop bits
  EXPECT_TRUE(log.contains("SetCommState failed; last_error=5708x"));
  EXPECT_EQ(open_8n1(), 1);
}

TEST_F(UartTest, FarSideGoneFailsReceiveAndSendWithoutHanging) {
  ASSERT_EQ(open_8n1(), 1);
  pty.hang_up();
  LogCapture log;
  EXPECT_EQ(Uart_receive_byte_nw(&uart), -1);
  EXPECT_TRUE(log.contains("error - src/link/uart.cpp - Uart_receive_byte_nw: ReadFile failed; Error="));
  EXPECT_NE(uart.last_error, 0u);
  log.clear();
  EXPECT_EQ(Uart_send_byte(&uart, 0x02), -1);
  EXPECT_TRUE(log.contains("error - src/link/uart.cpp - Uart_send_byte: WriteFile failed; Error="));
  const uint8_t block[] = {1, 2, 3};
  EXPECT_EQ(Uart_send_with_dle(&uart, 3, block), 0x15u);
  EXPECT_EQ(Uart_close(&uart), 0);
  EXPECT_EQ(uart.h_com, INVALID_HANDLE_VALUE);
}

TEST_F(UartTest, ClosedPortAndNullObject) {
  LogCapture log;
  EXPECT_EQ(Uart_receive_byte_nw(&uart), -1);
  EXPECT_EQ(Uart_send_byte(&uart, 0x41), -1);
  EXPECT_EQ(log.calls(), (std::vector<std::string>{
                             "error - src/link/uart.cpp - Uart_receive_byte_nw: uart is not open",
                             "error - src/link/uart.cpp - Uart_send_byte: uart is not open"}));
  log.clear();
  const uint8_t b = 0x41;
  EXPECT_EQ(Uart_send_with_dle(&uart, 1, &b), 0x15u);  // fails quietly
  EXPECT_EQ(Uart_close(&uart), 0);
  EXPECT_EQ(Uart_close(&uart), 0);
  EXPECT_EQ(Uart_init(nullptr), nullptr);
  EXPECT_EQ(Uart_open(nullptr, "COM20", 115200, 8, 0, 0), 0);
  EXPECT_EQ(Uart_close(nullptr), 0);
  EXPECT_EQ(Uart_receive_byte_nw(nullptr), -1);
  EXPECT_EQ(Uart_send_byte(nullptr, 1), -1);
  EXPECT_EQ(Uart_send_with_dle(nullptr, 1, &b), 0x15u);
  EXPECT_EQ(log.text(), "");
}

}  // namespace

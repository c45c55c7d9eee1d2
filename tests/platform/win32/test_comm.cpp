// Serial ports of the win32 stand-in over pseudo-terminals: names, exclusive open, line
// settings read back from termios, time-outs, raw transfer and a far side that goes away.
#include "win32_comm.h"
#include "win32_handle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr DWORD k_rw = 0x80000000u | 0x40000000u;  // GENERIC_READ | GENERIC_WRITE

/* A pseudo-terminal whose slave is reachable as COMn; the test keeps the master. */
struct PtyPort {
  int master = -1;
  std::string path;
  std::string com;
  explicit PtyPort(int n_com) {
    int slave = -1;
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    close(slave);  // only the port under test holds the slave
    path = name;
    com = "COM" + std::to_string(n_com);
    setenv(("ZENT_COM" + std::to_string(n_com)).c_str(), name, 1);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPort() {
    if (master >= 0) close(master);
  }
  void hang_up() {
    close(master);
    master = -1;
  }
};

/* Real time, only to bound how long a test waits for the kernel to pass bytes on. */
int64_t now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

void set_immediate_reads(HANDLE h) {
  COMMTIMEOUTS to = {MAXDWORD, 0, 0, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(h, &to));
}

DCB dcb_8n1(HANDLE h, DWORD baud) {
  DCB dcb;
  EXPECT_TRUE(GetCommState(h, &dcb));
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fParity = 0;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  return dcb;
}

TEST(CommName, PortNumbersOfComNames) {
  EXPECT_EQ(win32_comm_port_number("COM1"), 1);
  EXPECT_EQ(win32_comm_port_number("com8"), 8);
  EXPECT_EQ(win32_comm_port_number("CoM255"), 255);
  EXPECT_EQ(win32_comm_port_number("\\\\.\\COM12"), 12);
  for (const char* bad : {"COM0", "COM256", "COM01", "COM", "COM1x", "LPT1", "xCOM1", "", "COM-1"})
    EXPECT_EQ(win32_comm_port_number(bad), 0) << bad;
  EXPECT_EQ(win32_comm_port_number(nullptr), 0);
}

TEST(CommName, DevicePathFromEnvironmentElseTtyS) {
  char path[64];
  unsetenv("ZENT_COM3");
  ASSERT_TRUE(win32_comm_device_path("COM3", sizeof path, path));
  EXPECT_STREQ(path, "/dev/ttyS2");
  setenv("ZENT_COM3", "/dev/pts/77", 1);
  ASSERT_TRUE(win32_comm_device_path("\\\\.\\com3", sizeof path, path));
  EXPECT_STREQ(path, "/dev/pts/77");
  EXPECT_FALSE(win32_comm_device_path("COM3", 5, path));  // does not fit
  unsetenv("ZENT_COM3");
}

TEST(CommOpen, MissingDeviceOrNoTtyIsFileNotFound) {
  setenv("ZENT_COM9", "/nonexistent/tty", 1);
  EXPECT_EQ(win32_comm_open("COM9", k_rw), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  setenv("ZENT_COM9", "/dev/null", 1);  // exists, but is no serial line
  EXPECT_EQ(win32_comm_open("COM9", k_rw), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(win32_comm_open("NUL", k_rw), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  unsetenv("ZENT_COM9");
}

TEST(CommOpen, SecondOpenerIsDeniedUntilTheFirstCloses) {
  PtyPort pty(11);
  int n_handles = win32_handle_count();
  HANDLE h = win32_comm_open(pty.com.c_str(), k_rw);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(win32_comm_open(pty.com.c_str(), k_rw), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  // Another process would meet the same lock: a plain open plus flock fails too.
  EXPECT_EQ(win32_comm_open(("\\\\.\\" + pty.com).c_str(), k_rw), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(win32_handle_count(), n_handles);
  HANDLE h2 = win32_comm_open(pty.com.c_str(), k_rw);
  EXPECT_NE(h2, INVALID_HANDLE_VALUE);
  CloseHandle(h2);
}

TEST(CommState, Settings115200_8N1ReadBackOnTheFarSide) {
  PtyPort pty(12);
  HANDLE h = win32_comm_open(pty.com.c_str(), k_rw);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DCB dcb = dcb_8n1(h, 9600);
  ASSERT_TRUE(SetCommState(h, &dcb));
  dcb = dcb_8n1(h, 115200);
  ASSERT_TRUE(SetCommState(h, &dcb));

  struct termios tio;
  ASSERT_EQ(tcgetattr(pty.master, &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), (speed_t)B115200);
  EXPECT_EQ(tio.c_cflag & CSIZE, (tcflag_t)CS8);
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | INPCK | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);

  DCB back;
  ASSERT_TRUE(GetCommState(h, &back));
  EXPECT_EQ(back.BaudRate, 115200u);
  EXPECT_EQ(back.ByteSize, 8);
  EXPECT_EQ(back.Parity, NOPARITY);
  EXPECT_EQ(back.StopBits, ONESTOPBIT);
  EXPECT_EQ(back.fOutxCtsFlow, 0u);
  EXPECT_EQ(back.fOutX | back.fInX | back.fParity, 0u);
  CloseHandle(h);
}

TEST(CommState, ImpossibleSettingsAreRefusedAndLeaveThePortAsItWas) {
  PtyPort pty(13);
  HANDLE h = win32_comm_open(pty.com.c_str(), k_rw);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DCB dcb = dcb_8n1(h, 115200);
  ASSERT_TRUE(SetCommState(h, &dcb));

  DCB bad = dcb;
  bad.StopBits = ONE5STOPBITS;  // Linux has no 1.5 stop bits
  EXPECT_FALSE(SetCommState(h, &bad));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  bad = dcb;
  bad.BaudRate = 12345;
  EXPECT_FALSE(SetCommState(h, &bad));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  bad = dcb;
  bad.Parity = ODDPARITY;  // a pseudo-terminal drops parity: seen on read-back
  bad.fParity = 1;
  EXPECT_FALSE(SetCommState(h, &bad));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  bad = dcb;
  bad.ByteSize = 5;  // Windows refuses 5 data bits with 2 stop bits, too
  bad.StopBits = TWOSTOPBITS;
  EXPECT_FALSE(SetCommState(h, &bad));
  bad = dcb;
  bad.fDtrControl = 3;  // no such DTR control
  EXPECT_FALSE(SetCommState(h, &bad));

  DCB back;
  ASSERT_TRUE(GetCommState(h, &back));
  EXPECT_EQ(back.BaudRate, 115200u);
  EXPECT_EQ(back.Parity, NOPARITY);
  EXPECT_EQ(back.StopBits, ONESTOPBIT);
  CloseHandle(h);
}

/* Windows takes flags that a Linux tty cannot carry out; so does the stand-in, and gives
** them back. An RTS handshake without CTS flow leaves no flow control on the line. */
TEST(CommState, EveryFlagWindowsTakesIsTakenAndReadBack) {
  PtyPort pty(17);
  HANDLE h = win32_comm_open(pty.com.c_str(), k_rw);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DCB dcb = dcb_8n1(h, 115200);
  dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  dcb.fOutxDsrFlow = dcb.fDsrSensitivity = dcb.fErrorChar = dcb.fNull = dcb.fAbortOnError = 1;
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  ASSERT_TRUE(SetCommState(h, &dcb));
  struct termios tio;
  ASSERT_EQ(tcgetattr(pty.master, &tio), 0);
  EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
  DCB back;
  ASSERT_TRUE(GetCommState(h, &back));
  EXPECT_EQ(back.fRtsControl, (DWORD)RTS_CONTROL_HANDSHAKE);
  EXPECT_EQ(back.fOutxCtsFlow, 0u);
  EXPECT_EQ(back.fDtrControl, (DWORD)DTR_CONTROL_HANDSHAKE);
  EXPECT_EQ(back.fOutxDsrFlow & back.fDsrSensitivity & back.fErrorChar & back.fNull &
                back.fAbortOnError,
            1u);
  dcb.fOutxCtsFlow = 1;  // CTS output flow with RTS simply raised
  dcb.fRtsControl = RTS_CONTROL_TOGGLE;
  ASSERT_TRUE(SetCommState(h, &dcb));
  ASSERT_EQ(tcgetattr(pty.master, &tio), 0);
  EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
  ASSERT_TRUE(GetCommState(h, &back));
  EXPECT_EQ(back.fRtsControl, (DWORD)RTS_CONTROL_TOGGLE);
  CloseHandle(h);
}

TEST(CommState, CallsOnAHandleThatIsNoPortFail) {
  DCB dcb;
  COMMTIMEOUTS to;
  EXPECT_FALSE(GetCommState((HANDLE)(intptr_t)0x7FFF0, &dcb));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(SetCommTimeouts(INVALID_HANDLE_VALUE, &to));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(CommState, TermiosFormOfParityDataAndStopBits) {
  DCB dcb;
  memset(&dcb, 0, sizeof dcb);
  dcb.fBinary = 1;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.BaudRate = 19200;
  dcb.ByteSize = 7;
  dcb.StopBits = TWOSTOPBITS;
  struct {
    BYTE parity;
    tcflag_t flags;
  } cases[] = {{NOPARITY, 0},
               {ODDPARITY, PARENB | PARODD},
               {EVENPARITY, PARENB},
               {MARKPARITY, PARENB | PARODD | CMSPAR},
               {SPACEPARITY, PARENB | CMSPAR}};
  for (const auto& c : cases) {
    struct termios tio;
    memset(&tio, 0, sizeof tio);
    tio.c_cflag = PARENB | PARODD | CMSPAR | CS8;  // stale bits must go
    dcb.Parity = c.parity;
    ASSERT_EQ(win32_comm_dcb_to_termios(&dcb, &tio), 1);
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.flags) << (int)c.parity;
    EXPECT_EQ(tio.c_cflag & CSIZE, (tcflag_t)CS7);
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(cfgetospeed(&tio), (speed_t)B19200);
  }
  struct termios tio = {};
  dcb.ByteSize = 5;  // 1.5 stop bits: a UART makes them of CSTOPB with 5 data bits
  dcb.StopBits = ONE5STOPBITS;
  ASSERT_EQ(win32_comm_dcb_to_termios(&dcb, &tio), 1);
  EXPECT_EQ(tio.c_cflag & (CSIZE | CSTOPB), (tcflag_t)(CS5 | CSTOPB));
  dcb.ByteSize = 7;
  dcb.StopBits = TWOSTOPBITS;
  dcb.Parity = 5;
  EXPECT_EQ(win32_comm_dcb_to_termios(&dcb, &tio), 0);
  dcb.Parity = NOPARITY;
  dcb.ByteSize = 9;
  EXPECT_EQ(win32_comm_dcb_to_termios(&dcb, &tio), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CommTransfer, EveryByteValueTravelsBothWaysUnchanged) {
  PtyPort pty(14);
  HANDLE h = win32_comm_open(pty.com.c_str(), k_rw);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DCB dcb = dcb_8n1(h, 115200);  // XON/XOFF off, which a fresh tty has on
  ASSERT_TRUE(SetCommState(h, &dcb));
  set_immediate_reads(h);
  unsigned char all[256], got[300];
  for (int i = 0; i < 256; ++i) all[i] = (unsigned char)i;

  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, all, 256, &n, nullptr));
  EXPECT_EQ(n, 256u);
  size_t n_got = 0;
  for (int64_t t_end = now_ms() + 5000; n_got < 256 && now_ms() < t_end;) {
    ssize_t r = read(pty.master, got + n_got, sizeof got - n_got);
    if (r > 0) n_got += (size_t)r;
  }
  ASSERT_EQ(n_got, 256u);
  EXPECT_EQ(memcmp(got, all, 256), 0);

  ASSERT_EQ(write(pty.master, all, 256), 256);
  n_got = 0;
  for (int64_t t_end = now_ms() + 5000; n_got < 256 && now_ms() < t_end;) {
    ASSERT_TRUE(ReadFile(h, got + n_got, 1, &n, nullptr));
    n_got += n;
  }
  ASSERT_EQ(n_got, 256u);
  EXPECT_EQ(memcmp(got, all, 256), 0);
  CloseHandle(h);
}

TEST(CommTransfer, ImmediateReadsReturnAtOnceWithWhatIsThere) {
  PtyPort pty(15);
  HANDLE h = win32_comm_open(pty.com.c_str(), k_rw);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  set_immediate_reads(h);
  COMMTIMEOUTS to;
  ASSERT_TRUE(GetCommTimeouts(h, &to));
  EXPECT_EQ(to.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(to.WriteTotalTimeoutConstant, 0u);
  unsigned char buf[8];
  DWORD n = 99;
  EXPECT_TRUE(ReadFile(h, buf, 1, &n, nullptr));
  EXPECT_EQ(n, 0u);
  ASSERT_EQ(write(pty.master, "ab", 2), 2);
  // Data already waiting is taken at once, also with "wait for the first byte" time-outs.
  to = {MAXDWORD, MAXDWORD, 5000, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(h, &to));
  n = 0;
  for (int64_t t_end = now_ms() + 5000; n == 0 && now_ms() < t_end;) ASSERT_TRUE(ReadFile(h, buf, 8, &n, nullptr));
  EXPECT_GE(n, 1u);
  EXPECT_EQ(buf[0], 'a');
  CloseHandle(h);
}

TEST(CommTransfer, FarSideGoneMakesReadAndWriteFail) {
  PtyPort pty(16);
  HANDLE h = win32_comm_open(pty.com.c_str(), k_rw);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  set_immediate_reads(h);
  pty.hang_up();
  unsigned char b = 0x41;
  DWORD n = 7;
  EXPECT_FALSE(ReadFile(h, &b, 1, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_NE(GetLastError(), ERROR_SUCCESS);
  EXPECT_FALSE(WriteFile(h, &b, 1, &n, nullptr));
  EXPECT_NE(GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(CloseHandle(h));
}

}  // namespace

/*
** win32_comm.cpp - serial ports of the Win32 stand-in: a port is a Win32FdObject over a
** non-blocking tty descriptor, so ReadFile and WriteFile reach it through the handle table;
** this file adds the port's open, its DCB and time-out calls and the read and write that
** follow those time-outs. Waits inside a read or write are real time (poll), since they
** stand for the driver's own timing, not for a protocol time-out.
**
** A tty that hangs up (the master side of a pseudo-terminal closed) gives read() 0 and
** write() EIO; both become failures here, so the caller sees a broken line, not silence.
*/
#include "win32_comm.h"
#include "win32_file.h"

#include "win32_handle.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

/* A rate in bits per second and its termios speed constant. */
struct SpeedEntry {
  DWORD baud;    // bits per second
  speed_t code;  // B* constant
};

constexpr SpeedEntry k_speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

/* Flags of c_cflag and c_iflag that SetCommState sets and reads back. */
constexpr tcflag_t k_cflag_checked = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
constexpr tcflag_t k_iflag_checked = IXON | IXOFF | INPCK;

bool speed_of_baud(DWORD baud, speed_t* p_code) {
  for (const SpeedEntry& e : k_speeds)
    if (e.baud == baud) {
      *p_code = e.code;
      return true;
    }
  return false;
}

DWORD baud_of_speed(speed_t code) {
  for (const SpeedEntry& e : k_speeds)
    if (e.code == code) return e.baud;
  return 0;
}

/* Milliseconds of the monotonic clock, for the driver-level waits. */
int64_t mono_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

/* Waits up to t_ms (negative: without limit) for the descriptor to become ready. */
void wait_ready(int fd, short events, int64_t t_ms) {
  pollfd pfd = {fd, events, 0};
  int t = t_ms < 0 ? -1 : (t_ms > INT_MAX ? INT_MAX : (int)t_ms);
  (void)poll(&pfd, 1, t);
}

/* The port object: the descriptor plus what a DCB holds that termios does not, and the
** time-outs. */
class Win32CommObject : public Win32FdObject {
public:
  explicit Win32CommObject(int fd);
  ~Win32CommObject() override;
  BOOL read(void* p_buf, DWORD n, DWORD* p_n_read) override;
  BOOL write(const void* p_buf, DWORD n, DWORD* p_n_written) override;

  std::mutex lock_;        // guards the two below
  DCB kept_;               // DCB fields without a termios form, as last set
  COMMTIMEOUTS timeouts_;  // as last set; all 0 after the open

private:
  COMMTIMEOUTS timeouts();
  int64_t read_limit_ms(const COMMTIMEOUTS& to, DWORD n, DWORD done, int64_t t_start,
                        int64_t t_last);
};

Win32CommObject::Win32CommObject(int fd) : Win32FdObject(fd) {
  memset(&kept_, 0, sizeof kept_);
  kept_.DCBlength = sizeof(DCB);
  kept_.fBinary = 1;
  kept_.fDtrControl = DTR_CONTROL_ENABLE;
  kept_.fRtsControl = RTS_CONTROL_ENABLE;
  kept_.XonLim = 2048;
  kept_.XoffLim = 512;
  memset(&timeouts_, 0, sizeof timeouts_);
}

Win32CommObject::~Win32CommObject() {
  // The exclusive mark stays on the tty while any descriptor is open; lift it for the
  // next opener. The flock goes with the descriptor.
  if (fd_ >= 0) (void)ioctl(fd_, TIOCNXCL);
}

COMMTIMEOUTS Win32CommObject::timeouts() {
  std::lock_guard<std::mutex> lock(lock_);
  return timeouts_;
}

/* Milliseconds a read may still wait, 0 when it is to return now, -1 for no limit. */
int64_t Win32CommObject::read_limit_ms(const COMMTIMEOUTS& to, DWORD n, DWORD done,
                                       int64_t t_start, int64_t t_last) {
  const DWORD k_max = MAXDWORD;
  int64_t now = mono_ms();
  if (to.ReadIntervalTimeout == k_max && to.ReadTotalTimeoutMultiplier == k_max &&
      to.ReadTotalTimeoutConstant != 0 && to.ReadTotalTimeoutConstant != k_max) {
    // Wait for the first byte up to the constant, then return with what is there.
    if (done > 0) return 0;
    int64_t left = t_start + to.ReadTotalTimeoutConstant - now;
    return left > 0 ? left : 0;
  }
  if (to.ReadIntervalTimeout == k_max && to.ReadTotalTimeoutMultiplier == 0 &&
      to.ReadTotalTimeoutConstant == 0)
    return 0;  // return at once with what has arrived
  int64_t limit = -1;
  if (to.ReadTotalTimeoutMultiplier != 0 || to.ReadTotalTimeoutConstant != 0) {
    int64_t total = (int64_t)to.ReadTotalTimeoutMultiplier * n + to.ReadTotalTimeoutConstant;
    int64_t left = t_start + total - now;
    limit = left > 0 ? left : 0;
  }
  if (done > 0 && to.ReadIntervalTimeout != 0 && to.ReadIntervalTimeout != k_max) {
    int64_t left = t_last + to.ReadIntervalTimeout - now;
    if (left < 0) left = 0;
    if (limit < 0 || left < limit) limit = left;
  }
  return limit;
}

BOOL Win32CommObject::read(void* p_buf, DWORD n, DWORD* p_n_read) {
  unsigned char* p = (unsigned char*)p_buf;
  COMMTIMEOUTS to = timeouts();
  int64_t t_start = mono_ms(), t_last = t_start;
  DWORD done = 0;
  *p_n_read = 0;
  while (done < n) {
    ssize_t r = ::read(fd_, p + done, n - done);
    if (r > 0) {
      done += (DWORD)r;
      t_last = mono_ms();
      continue;
    }
    if (r == 0) {  // hung up: the far side of the line is gone
      if (done > 0) break;
      SetLastError(ERROR_GEN_FAILURE);
      return FALSE;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      *p_n_read = done;
      SetLastError(win32_error_from_errno(errno));
      return FALSE;
    }
    int64_t limit = read_limit_ms(to, n, done, t_start, t_last);
    if (limit == 0) break;
    wait_ready(fd_, POLLIN, limit);
  }
  *p_n_read = done;
  return TRUE;
}

BOOL Win32CommObject::write(const void* p_buf, DWORD n, DWORD* p_n_written) {
  const unsigned char* p = (const unsigned char*)p_buf;
  COMMTIMEOUTS to = timeouts();
  bool b_limited = to.WriteTotalTimeoutMultiplier != 0 || to.WriteTotalTimeoutConstant != 0;
  int64_t t_end = mono_ms() + (int64_t)to.WriteTotalTimeoutMultiplier * n +
                  to.WriteTotalTimeoutConstant;
  DWORD done = 0;
  *p_n_written = 0;
  while (done < n) {
    ssize_t r = ::write(fd_, p + done, n - done);
    if (r > 0) {
      done += (DWORD)r;
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      *p_n_written = done;
      SetLastError(win32_error_from_errno(errno));
      return FALSE;
    }
    int64_t left = b_limited ? t_end - mono_ms() : -1;
    if (b_limited && left <= 0) break;  // time-out: the count tells how far it got
    wait_ready(fd_, POLLOUT, left);
  }
  *p_n_written = done;
  return TRUE;
}

/* The port behind a handle, or NULL with ERROR_INVALID_HANDLE. */
std::shared_ptr<Win32CommObject> comm_of(HANDLE h) {
  auto p = std::dynamic_pointer_cast<Win32CommObject>(win32_handle_get(h));
  if (!p) SetLastError(ERROR_INVALID_HANDLE);
  return p;
}

/* Rejects what Windows refuses as well: an undefined DTR control, and stop bits that the
** data bits cannot have (1.5 only with 5 data bits, 2 not with 5). Flags without a Linux
** form are accepted, as Windows accepts them, and kept for GetCommState. */
bool dcb_flags_possible(const DCB* p) {
  if (p->fDtrControl > DTR_CONTROL_HANDSHAKE || p->ByteSize < 5 || p->ByteSize > 8 ||
      p->Parity > SPACEPARITY || p->StopBits > TWOSTOPBITS)
    return false;
  if (p->StopBits == ONE5STOPBITS) return p->ByteSize == 5;
  return !(p->StopBits == TWOSTOPBITS && p->ByteSize == 5);
}

tcflag_t csize_of(BYTE n_bits) {
  switch (n_bits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
  }
}

BYTE bits_of_csize(tcflag_t cflag) {
  switch (cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
  }
}

tcflag_t parity_cflag(BYTE parity) {
  switch (parity) {
    case ODDPARITY: return PARENB | PARODD;
    case EVENPARITY: return PARENB;
    case MARKPARITY: return PARENB | CMSPAR | PARODD;
    case SPACEPARITY: return PARENB | CMSPAR;
    default: return 0;
  }
}

BYTE parity_of_cflag(tcflag_t cflag) {
  if (!(cflag & PARENB)) return NOPARITY;
  if (cflag & CMSPAR) return (cflag & PARODD) ? MARKPARITY : SPACEPARITY;
  return (cflag & PARODD) ? ODDPARITY : EVENPARITY;
}

/* Raw transfer: no line editing, no echo, no signals, no translation of any byte value.
** VMIN 1 on the non-blocking descriptor makes "nothing yet" EAGAIN, so that a read of 0
** bytes can only mean a hang-up. */
void make_raw(struct termios* p_tio) {
  p_tio->c_iflag &= ~(tcflag_t)(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                IXANY | IMAXBEL | IUCLC);
  p_tio->c_oflag &= ~(tcflag_t)OPOST;
  p_tio->c_lflag &= ~(tcflag_t)(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  p_tio->c_cflag |= CLOCAL | CREAD;
  p_tio->c_cc[VMIN] = 1;
  p_tio->c_cc[VTIME] = 0;
}

/* Sets DTR and RTS as the DCB asks. A handshake or toggle that the line does not carry out
** leaves its line raised; RTS is the kernel's only while CTS flow control is on. Pseudo-
** terminals have no modem lines; a refusal is not an error of the settings. */
void apply_modem_lines(int fd, const DCB* p) {
  int dtr = TIOCM_DTR, rts = TIOCM_RTS;
  (void)ioctl(fd, p->fDtrControl == DTR_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &dtr);
  if (p->fRtsControl == RTS_CONTROL_DISABLE)
    (void)ioctl(fd, TIOCMBIC, &rts);
  else if (!p->fOutxCtsFlow)
    (void)ioctl(fd, TIOCMBIS, &rts);
}

/* True when the settings that SetCommState writes read back unchanged. */
bool same_settings(const struct termios& a, const struct termios& b) {
  return cfgetospeed(&a) == cfgetospeed(&b) && cfgetispeed(&a) == cfgetispeed(&b) &&
         (a.c_cflag & k_cflag_checked) == (b.c_cflag & k_cflag_checked) &&
         (a.c_iflag & k_iflag_checked) == (b.c_iflag & k_iflag_checked);
}

/* "\\.\" prefix skipped; then "COM" in any case and a number 1..255 without leading 0. */
int parse_port_number(const char* p) {
  if (strncmp(p, "\\\\.\\", 4) == 0) p += 4;
  if (strncasecmp(p, "COM", 3) != 0) return 0;
  p += 3;
  if (*p < '1' || *p > '9') return 0;
  int n = 0;
  for (; *p; ++p) {
    if (!isdigit((unsigned char)*p)) return 0;
    n = n * 10 + (*p - '0');
    if (n > 255) return 0;
  }
  return n;
}

int open_flags_of(DWORD dw_access) {
  int flags = O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
  bool r = (dw_access & GENERIC_READ) != 0, w = (dw_access & GENERIC_WRITE) != 0;
  if (r && w) return flags | O_RDWR;
  if (w) return flags | O_WRONLY;
  return flags | O_RDONLY;
}

/* Failure of an open step: closes fd (when open), sets the error, INVALID_HANDLE_VALUE. */
HANDLE open_failed(int fd, DWORD dw_err) {
  if (fd >= 0) close(fd);
  SetLastError(dw_err);
  return INVALID_HANDLE_VALUE;
}

/* Makes the fresh descriptor a raw line without changing its rate or framing. */
bool prepare_line(int fd) {
  struct termios tio;
  if (tcgetattr(fd, &tio) != 0) return false;
  make_raw(&tio);
  return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

int win32_comm_port_number(LPCSTR p_name) { return p_name ? parse_port_number(p_name) : 0; }

int win32_comm_device_path(LPCSTR p_name, int n_dst, char* p_dst) {
  int n_port = win32_comm_port_number(p_name);
  if (n_port == 0 || !p_dst || n_dst <= 0) return 0;
  char env_name[16];
  snprintf(env_name, sizeof env_name, "ZENT_COM%d", n_port);
  const char* p_env = getenv(env_name);
  int n;
  if (p_env && *p_env)
    n = snprintf(p_dst, (size_t)n_dst, "%s", p_env);
  else
    n = snprintf(p_dst, (size_t)n_dst, "/dev/ttyS%d", n_port - 1);
  return n >= 0 && n < n_dst;
}

HANDLE win32_comm_open(LPCSTR p_name, DWORD dw_access) {
  char path[4096];
  if (!win32_comm_device_path(p_name, (int)sizeof path, path))
    return open_failed(-1, ERROR_FILE_NOT_FOUND);
  int fd = open(path, open_flags_of(dw_access));
  if (fd < 0) {
    int err = errno;
    if (err == EBUSY || err == EACCES || err == EPERM) return open_failed(-1, ERROR_ACCESS_DENIED);
    if (err == ENOENT || err == ENOTDIR || err == ENXIO || err == ENODEV)
      return open_failed(-1, ERROR_FILE_NOT_FOUND);
    return open_failed(-1, win32_error_from_errno(err));
  }
  if (!isatty(fd)) return open_failed(fd, ERROR_FILE_NOT_FOUND);  // not a serial device
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return open_failed(fd, ERROR_ACCESS_DENIED);
  if (ioctl(fd, TIOCEXCL) != 0 || !prepare_line(fd))
    return open_failed(fd, win32_error_from_errno(errno));
  return win32_handle_add(std::make_shared<Win32CommObject>(fd));
}

int win32_comm_dcb_to_termios(const DCB* p_dcb, struct termios* p_tio) {
  speed_t speed;
  if (!p_dcb || !p_tio || !dcb_flags_possible(p_dcb) || !speed_of_baud(p_dcb->BaudRate, &speed)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  make_raw(p_tio);
  cfsetispeed(p_tio, speed);
  cfsetospeed(p_tio, speed);
  p_tio->c_cflag &= ~k_cflag_checked;
  p_tio->c_cflag |= csize_of(p_dcb->ByteSize) | parity_cflag(p_dcb->Parity);
  if (p_dcb->StopBits != ONESTOPBIT) p_tio->c_cflag |= CSTOPB;  // with CS5: 1.5 stop bits
  // Linux has one flag for RTS/CTS in both directions: CTS output flow sets it, an RTS
  // handshake without it has no flow control on the line.
  if (p_dcb->fOutxCtsFlow) p_tio->c_cflag |= CRTSCTS;
  p_tio->c_iflag &= ~k_iflag_checked;
  if (p_dcb->fOutX) p_tio->c_iflag |= IXON;
  if (p_dcb->fInX) p_tio->c_iflag |= IXOFF;
  if (p_dcb->fParity) p_tio->c_iflag |= INPCK;
  p_tio->c_cc[VSTART] = (cc_t)p_dcb->XonChar;
  p_tio->c_cc[VSTOP] = (cc_t)p_dcb->XoffChar;
  return 1;
}

BOOL GetCommState(HANDLE h_file, LPDCB p_dcb) {
  auto p = comm_of(h_file);
  if (!p) return FALSE;
  struct termios tio;
  if (!p_dcb) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (tcgetattr(p->fd(), &tio) != 0) {
    SetLastError(win32_error_from_errno(errno));
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(p->lock_);
    *p_dcb = p->kept_;
  }
  p_dcb->DCBlength = sizeof(DCB);
  p_dcb->BaudRate = baud_of_speed(cfgetospeed(&tio));
  p_dcb->fBinary = 1;
  p_dcb->fParity = (tio.c_iflag & INPCK) != 0;
  // RTS/CTS switched on or off by someone else (a terminal program) shows as both.
  bool cts = (tio.c_cflag & CRTSCTS) != 0;
  if (cts != (p_dcb->fOutxCtsFlow != 0)) {
    if (cts)
      p_dcb->fRtsControl = RTS_CONTROL_HANDSHAKE;
    else if (p_dcb->fRtsControl == RTS_CONTROL_HANDSHAKE)
      p_dcb->fRtsControl = RTS_CONTROL_ENABLE;
  }
  p_dcb->fOutxCtsFlow = cts;
  p_dcb->fOutX = (tio.c_iflag & IXON) != 0;
  p_dcb->fInX = (tio.c_iflag & IXOFF) != 0;
  p_dcb->ByteSize = bits_of_csize(tio.c_cflag);
  p_dcb->Parity = parity_of_cflag(tio.c_cflag);
  p_dcb->StopBits = !(tio.c_cflag & CSTOPB)      ? ONESTOPBIT
                    : p_dcb->ByteSize == 5 ? ONE5STOPBITS
                                           : TWOSTOPBITS;
  p_dcb->XonChar = (char)tio.c_cc[VSTART];
  p_dcb->XoffChar = (char)tio.c_cc[VSTOP];
  return TRUE;
}

BOOL SetCommState(HANDLE h_file, LPDCB p_dcb) {
  auto p = comm_of(h_file);
  if (!p) return FALSE;
  struct termios old_tio, new_tio, back_tio;
  if (tcgetattr(p->fd(), &old_tio) != 0) {
    SetLastError(win32_error_from_errno(errno));
    return FALSE;
  }
  new_tio = old_tio;
  if (!win32_comm_dcb_to_termios(p_dcb, &new_tio)) return FALSE;
  if (tcsetattr(p->fd(), TCSANOW, &new_tio) != 0 || tcgetattr(p->fd(), &back_tio) != 0) {
    DWORD dw_err = win32_error_from_errno(errno);
    (void)tcsetattr(p->fd(), TCSANOW, &old_tio);
    SetLastError(dw_err);
    return FALSE;
  }
  if (!same_settings(new_tio, back_tio)) {  // the device changed what it was given
    (void)tcsetattr(p->fd(), TCSANOW, &old_tio);
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  apply_modem_lines(p->fd(), p_dcb);
  std::lock_guard<std::mutex> lock(p->lock_);
  p->kept_ = *p_dcb;
  return TRUE;
}

BOOL GetCommTimeouts(HANDLE h_file, LPCOMMTIMEOUTS p_timeouts) {
  auto p = comm_of(h_file);
  if (!p) return FALSE;
  if (!p_timeouts) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(p->lock_);
  *p_timeouts = p->timeouts_;
  return TRUE;
}

BOOL SetCommTimeouts(HANDLE h_file, LPCOMMTIMEOUTS p_timeouts) {
  auto p = comm_of(h_file);
  if (!p) return FALSE;
  if (!p_timeouts) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(p->lock_);
  p->timeouts_ = *p_timeouts;
  return TRUE;
}

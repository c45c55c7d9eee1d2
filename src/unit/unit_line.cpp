/*
** unit_line.cpp - fault injection and byte counts between the unit's link and its
** transport, and the descriptor transport with pacing. Pacing keeps an absolute schedule
** per direction: a byte is due one byte time after the previous one, and a late wake-up
** sends every byte that is due at once, so the average rate is the line rate without drift.
*/
#include "unit_line.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <unistd.h>

namespace {

constexpr uint8_t k_dle = 0x10;

uint64_t next_random(uint64_t* p_state) {  // splitmix64
  uint64_t z = (*p_state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

bool happens(UnitLine* p, double rate) {
  if (rate <= 0) return false;
  double u = (double)(next_random(&p->rng) >> 11) * (1.0 / 9007199254740992.0);
  return u < rate;
}

bool has_faults(const UnitLine* p) {
  return p->faults.bit_error_rate > 0 || p->faults.lost_rate > 0 || p->faults.extra_rate > 0;
}

/* A byte on its way: maybe a flipped bit. */
int corrupt(UnitLine* p, int ch) {
  if (!happens(p, p->faults.bit_error_rate)) return ch;
  p->n_faults++;
  return ch ^ (1 << (next_random(&p->rng) % 8));
}

void port_send(UnitLine* p, int ch) {
  p->n_tx++;
  p->port.cb_send_byte(p->port.p, ch & 0xFF);
}

/* Sleeps until t_ns; the last stretch is spent yielding, since a timed sleep wakes some
** tens of microseconds late, which is a good part of one byte time at 115200 baud. */
void sleep_until_ns(int64_t t_ns) {
  constexpr int64_t k_spin_ns = 120000;
  int64_t t_wake = t_ns - k_spin_ns;
  if (t_wake > UnitLine_now_ns()) {
    timespec ts = {(time_t)(t_wake / 1000000000), (long)(t_wake % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
  }
  while (UnitLine_now_ns() < t_ns) sched_yield();
}

}  // namespace

int64_t UnitLine_now_ns(void) {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

UnitLine* UnitLine_init(UnitLine* p, const UnitPort* p_port, const UnitLineFaults* p_faults) {
  if (!p || !p_port) return nullptr;
  memset(p, 0, sizeof *p);
  p->port = *p_port;
  if (p_faults) p->faults = *p_faults;
  p->rng = p->faults.seed;
  p->pushback = -1;
  return p;
}

int UnitLine_receive(UnitLine* p) {
  if (p->pushback >= 0) {
    int ch = p->pushback;
    p->pushback = -1;
    return ch;
  }
  int ch = p->port.cb_receive_byte_nw(p->port.p);
  if (ch < 0) return -1;
  p->n_rx++;
  if (happens(p, p->faults.lost_rate)) {
    p->n_faults++;
    return -1;
  }
  ch = corrupt(p, ch);
  if (happens(p, p->faults.extra_rate)) {
    p->n_faults++;
    p->pushback = ch;
    return (int)(next_random(&p->rng) & 0xFF);
  }
  return ch;
}

void UnitLine_send_byte(UnitLine* p, int ch) {
  if (happens(p, p->faults.lost_rate)) {
    p->n_faults++;
    return;
  }
  if (happens(p, p->faults.extra_rate)) {
    p->n_faults++;
    port_send(p, (int)(next_random(&p->rng) & 0xFF));
  }
  port_send(p, corrupt(p, ch));
}

uint32_t UnitLine_send_with_dle(UnitLine* p, int n, const uint8_t* p_bytes) {
  if (!has_faults(p) && p->port.cb_send_with_dle) {
    uint32_t r = p->port.cb_send_with_dle(p->port.p, n, p_bytes);
    for (int i = 0; i < n; ++i) p->n_tx += p_bytes[i] == k_dle ? 2 : 1;
    return r;
  }
  for (int i = 0; i < n; ++i) {  // byte by byte, each wire byte open to the faults
    UnitLine_send_byte(p, p_bytes[i]);
    if (p_bytes[i] == k_dle) UnitLine_send_byte(p, k_dle);
  }
  return 0x80000000u;
}

void UnitLine_idle(UnitLine* p, uint32_t t_ms) {
  if (p->port.cb_idle) p->port.cb_idle(p->port.p, t_ms);
}

/* --- the descriptor transport ---------------------------------------------------- */

namespace {

/* Reads what the descriptor holds behind the bytes not yet taken. */
void fd_fill(UnitFdPort* p) {
  if (p->i_rx > 0) {
    memmove(p->rx, p->rx + p->i_rx, (size_t)(p->n_rx - p->i_rx));
    memmove(p->rx_t_ns, p->rx_t_ns + p->i_rx, sizeof(int64_t) * (size_t)(p->n_rx - p->i_rx));
    p->n_rx -= p->i_rx;
    p->i_rx = 0;
  }
  if (p->n_rx == UNIT_FD_PORT_N_RX) return;  // full: a read of 0 bytes would look like a hang-up
  ssize_t r = read(p->fd, p->rx + p->n_rx, (size_t)(UNIT_FD_PORT_N_RX - p->n_rx));
  if (r == 0 || (r < 0 && errno == EIO)) p->hung_up = 1;  // no far side (any more)
  if (r < 0 && errno == EAGAIN) p->hung_up = 0;          // a far side that is quiet
  if (r <= 0) return;
  int64_t now = UnitLine_now_ns();
  for (ssize_t i = 0; i < r; ++i) {
    int64_t t = p->paced ? (p->t_rx_free_ns > now ? p->t_rx_free_ns : now) + UNIT_LINE_NS_PER_BYTE
                         : now;
    p->t_rx_free_ns = t;
    p->rx_t_ns[p->n_rx++] = t;
  }
  p->hung_up = 0;
}

int fd_receive(void* pv) {
  UnitFdPort* p = (UnitFdPort*)pv;
  if (p->i_rx == p->n_rx) fd_fill(p);
  if (p->i_rx == p->n_rx) return -1;
  if (p->paced && p->rx_t_ns[p->i_rx] > UnitLine_now_ns()) return -1;  // still on the wire
  return p->rx[p->i_rx++];
}

/* Writes n bytes, each no earlier than its slot on the line when paced. */
void fd_write_paced(UnitFdPort* p, const uint8_t* p_bytes, int n) {
  int i = 0;
  while (i < n) {
    int64_t now = UnitLine_now_ns();
    if (p->t_tx_free_ns < now) p->t_tx_free_ns = now;  // the line was idle
    int n_due = 0;  // bytes whose slot has begun
    int64_t t = p->t_tx_free_ns;
    while (i + n_due < n && (!p->paced || t <= now)) {
      ++n_due;
      t += UNIT_LINE_NS_PER_BYTE;
    }
    if (n_due == 0) {
      sleep_until_ns(p->t_tx_free_ns);
      continue;
    }
    ssize_t r = write(p->fd, p_bytes + i, (size_t)n_due);
    if (r < 0) {
      if (errno != EAGAIN && errno != EINTR) {
        p->hung_up = 1;
        return;  // the far side is gone: the bytes are lost, as on a cut line
      }
      pollfd pfd = {p->fd, POLLOUT, 0};
      (void)poll(&pfd, 1, 10);
      continue;
    }
    i += (int)r;
    if (p->paced) p->t_tx_free_ns += (int64_t)r * UNIT_LINE_NS_PER_BYTE;
  }
}

int fd_send_byte(void* pv, int ch) {
  uint8_t b = (uint8_t)ch;
  fd_write_paced((UnitFdPort*)pv, &b, 1);
  return ch;
}

uint32_t fd_send_with_dle(void* pv, int n, const uint8_t* p_bytes) {
  uint8_t buf[1024];
  int i = 0;
  while (i < n) {  // in pieces, so a block of any size fits the buffer
    int n_buf = 0;
    while (i < n && n_buf < (int)sizeof buf - 1) {
      buf[n_buf++] = p_bytes[i];
      if (p_bytes[i++] == k_dle) buf[n_buf++] = k_dle;
    }
    fd_write_paced((UnitFdPort*)pv, buf, n_buf);
  }
  return ((UnitFdPort*)pv)->hung_up ? 0x15u : 0x80000000u;
}

int fd_idle(void* pv, uint32_t t_ms) {
  UnitFdPort* p = (UnitFdPort*)pv;
  int64_t t_end = UnitLine_now_ns() + (int64_t)t_ms * 1000000;
  if (p->i_rx < p->n_rx) {  // a byte is on the wire: wait for it, not for the descriptor
    sleep_until_ns(p->rx_t_ns[p->i_rx] < t_end ? p->rx_t_ns[p->i_rx] : t_end);
    return 0;
  }
  if (p->hung_up) {
    sleep_until_ns(t_end);
    return 0;
  }
  pollfd pfd = {p->fd, POLLIN, 0};
  (void)poll(&pfd, 1, (int)t_ms);
  return 0;
}

}  // namespace

UnitFdPort* UnitFdPort_init(UnitFdPort* p, int fd, int paced) {
  if (!p || fd < 0) return nullptr;
  memset(p, 0, sizeof *p);
  p->fd = fd;
  p->paced = paced;
  (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return p;
}

UnitPort UnitFdPort_port(UnitFdPort* p) {
  return UnitPort{p, fd_receive, fd_send_byte, fd_send_with_dle, fd_idle};
}

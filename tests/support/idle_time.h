/*
** idle_time.h - time for two ends of a real line (a pseudo-terminal) on two threads: the
** loader's end (the test's thread: link, RMC master, dialog) and the unit simulator (its
** own thread). The virtual clock moves 1 ms at a time, and only when each end present
** either waits idle with no byte on its way to it, or sleeps (Sleep with a time: the fixed
** pauses, a user who thinks, the unit's work) and its time has not yet come. An end that
** runs, has a byte to read, or is due to wake, holds the clock, so a sleep ends at its
** time. So a time-out of one end never runs out because the other end did not get the
** processor in time, however busy the machine is; and every time-out still ends,
** since time passes whenever both ends only wait.
**
** The ends report what they do: their idle passes (idle), the bytes they put on the line
** (sent) and take from it (got). IdleTime takes over Sleep of the installed Win32VirtualClock
** while it lives (nothing at all when no virtual clock is installed); Sleep(0) counts as an
** idle pass of the calling end, Sleep(t) as sleeping t ms. The unit's end is the thread that
** called unit_thread_here last; every other thread is the loader's. IdleLinkHook makes the
** reports for a link, IdleUnitPort (idle_unit_port.h) for a unit simulator's port.
*/
#ifndef ZENT_TEST_IDLE_TIME_H
#define ZENT_TEST_IDLE_TIME_H

#include "co3964.h"
#include "win32_time.h"

#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class IdleTime {
public:
  enum { LOADER = 0, UNIT = 1 };

  explicit IdleTime(Win32VirtualClock* p_clock = Win32VirtualClock::installed()) : clock_(p_clock) {
    if (clock_) clock_->set_sleep(&IdleTime::on_sleep, this);
  }
  ~IdleTime() {
    if (clock_) clock_->set_sleep(nullptr, nullptr);
  }
  IdleTime(const IdleTime&) = delete;
  IdleTime& operator=(const IdleTime&) = delete;

  bool active() const { return clock_ != nullptr; }
  /* Bytes a block takes on the wire, every DLE doubled. */
  static uint64_t wire_size(int n, const uint8_t* p_bytes) {
    uint64_t w = 0;
    for (int i = 0; i < n; i++) w += p_bytes[i] == CO3964_DLE ? 2 : 1;
    return w;
  }

  /* The end takes part (its thread runs) or not (not yet started, or stopped). The loader's
  ** end takes part from the start, the unit's from just before its thread starts. */
  void set_present(int side, bool present) {
    if (!clock_) return;
    std::lock_guard<std::mutex> lock(lock_);
    present_[side] = present;
    if (can_tick()) tick();
    cv_.notify_all();
  }
  /* The calling thread is the unit's. */
  void unit_thread_here() {
    std::lock_guard<std::mutex> lock(lock_);
    unit_thread_ = std::this_thread::get_id();
  }
  /* Descriptor whose input is the end's (poll waits on it while a byte is on its way). */
  void set_fd(int side, int fd) { fd_[side] = fd; }

  void sent(int side, uint64_t n) {
    std::lock_guard<std::mutex> lock(lock_);
    sent_[side] += n;
    cv_.notify_all();
  }
  /* A send that failed after it was counted (counted first: the far end may take the byte
  ** before the writer gets on). */
  void unsent(int side, uint64_t n) {
    std::lock_guard<std::mutex> lock(lock_);
    sent_[side] -= n;
  }
  void got(int side) {
    std::lock_guard<std::mutex> lock(lock_);
    got_[side]++;
  }
  /* Bytes on their way to the end: sent by the other, not yet taken. */
  uint64_t pending(int side) {
    std::lock_guard<std::mutex> lock(lock_);
    return pending_locked(side);
  }

  /* An idle pass of the end: nothing to do until a byte comes or the clock moves. Returns
  ** false at once when a byte is on its way to the end (the caller reads on); else true
  ** after the clock has moved, or after a short real time as a safeguard. */
  bool idle(int side) {
    if (!clock_) return false;
    std::unique_lock<std::mutex> lock(lock_);
    if (pending_locked(side)) return false;
    state_[side] = IDLE;
    uint64_t n_ticks = n_ticks_;
    cv_.notify_all();  // for wait_unit_quiet
    if (can_tick())
      tick();
    else
      cv_.wait_for(lock, std::chrono::milliseconds(2),
                   [&] { return n_ticks_ != n_ticks || pending_locked(side) != 0; });
    state_[side] = BUSY;
    return true;
  }
  /* Idle pass that also waits (up to 1 ms of real time) for a byte on its way to the end. */
  void idle_or_wait_input(int side) {
    if (idle(side)) return;
    if (fd_[side] >= 0) {
      pollfd pfd = {fd_[side], POLLIN, 0};
      (void)poll(&pfd, 1, 1);
    } else {
      sched_yield();
    }
  }
  /* The end sleeps t_ms of the clock; the other end goes on meanwhile. */
  void sleep(int side, uint32_t t_ms) {
    if (!clock_) return;
    std::unique_lock<std::mutex> lock(lock_);
    DWORD t_end = clock_->now() + t_ms;
    t_wake_[side] = t_end;
    state_[side] = AWAY;
    while ((int32_t)(t_end - clock_->now()) > 0) {
      if (can_tick())
        tick();
      else
        cv_.wait_for(lock, std::chrono::milliseconds(2));
    }
    state_[side] = BUSY;  // holds the clock while the bytes below come in
    lock.unlock();
    wait_arrived(side);
  }
  /* Waits (in real time, up to t_real_ms) until the unit has taken every byte sent to it and
  ** waits idle: its exchange is over or waits for time to pass. false when it did not. */
  bool wait_unit_quiet(int t_real_ms = 10000) {
    if (!clock_) return true;
    std::unique_lock<std::mutex> lock(lock_);
    return cv_.wait_for(lock, std::chrono::milliseconds(t_real_ms), [&] {
      return !present_[UNIT] || (pending_locked(UNIT) == 0 && state_[UNIT] != BUSY);
    });
  }

  /* Stops the unit's thread with stop(): once it has taken what was sent to it, time passes
  ** for it alone while it stops; then it no longer takes part. */
  template <class Stop>
  void stop_unit(Stop stop) {
    wait_unit_quiet();
    set_present(LOADER, false);
    stop();
    set_present(UNIT, false);
    set_present(LOADER, true);
  }

private:
  enum State { BUSY, IDLE, AWAY };

  uint64_t pending_locked(int side) const { return sent_[1 - side] - got_[side]; }
  /* After a sleep: on a real line every byte sent to the end while it slept has come by its
  ** wake-up, but a pseudo-terminal may still hold some back (the kernel moves them on when
  ** it gets round to it, late on a busy machine); so the end waits (in real time, up to a
  ** second) until its descriptor has them all. Else its link would see what no real line
  ** shows: a DLE without the NAK sent after it, silence where the partner long answered. */
  void wait_arrived(int side) {
    if (fd_[side] < 0) return;
    auto t_end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (;;) {
      int n_ready = 0;
      if (ioctl(fd_[side], FIONREAD, &n_ready) != 0 || (uint64_t)n_ready >= pending(side)) return;
      if (std::chrono::steady_clock::now() > t_end) return;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  }
  bool can_tick() const {
    for (int s = 0; s < 2; ++s) {
      if (!present_[s]) continue;
      if (state_[s] == BUSY) return false;
      if (state_[s] == IDLE && pending_locked(s)) return false;
      // A sleeper whose time has come holds the clock until it has run: else the other
      // end's idle passes would carry time past its wake-up while it waits for the processor.
      if (state_[s] == AWAY && (int32_t)(t_wake_[s] - clock_->now()) <= 0) return false;
    }
    return true;
  }
  /* One millisecond passes; an idle end has to come back idle before the next one. */
  void tick() {
    clock_->advance(1);
    n_ticks_++;
    for (auto& s : state_)
      if (s == IDLE) s = BUSY;
    cv_.notify_all();
  }
  static void on_sleep(void* p, DWORD t_ms) {
    IdleTime* t = (IdleTime*)p;
    int side = LOADER;
    {
      std::lock_guard<std::mutex> lock(t->lock_);
      if (std::this_thread::get_id() == t->unit_thread_) side = UNIT;
    }
    if (t_ms == 0)
      t->idle_or_wait_input(side);
    else
      t->sleep(side, t_ms);
  }

  Win32VirtualClock* clock_;
  std::mutex lock_;
  std::condition_variable cv_;
  State state_[2] = {BUSY, BUSY};
  bool present_[2] = {true, false};
  uint64_t sent_[2] = {0, 0}, got_[2] = {0, 0};
  uint64_t n_ticks_ = 0;
  DWORD t_wake_[2] = {0, 0};
  int fd_[2] = {-1, -1};
  std::thread::id unit_thread_;
};

/* Makes a link report to an IdleTime as one end (by default the loader's) while it lives:
** its port callbacks count the bytes, its sleep callback (after the original's work) is an
** idle pass. Nothing when the IdleTime is not active or the link is NULL. */
class IdleLinkHook {
public:
  IdleLinkHook(IdleTime* p_time, Co3964* p_co, int side = IdleTime::LOADER)
      : time_(p_time), side_(side) {
    if (!p_co || !time_->active()) return;
    co_ = p_co;
    saved_ = *co_;
    co_->p_time = this;
    co_->cb_time_sleep_ms = &IdleLinkHook::sleep_ms;
    co_->p_uart = this;
    co_->cb_uart_receive_byte_nw = &IdleLinkHook::receive;
    co_->cb_uart_send_byte = &IdleLinkHook::send_byte;
    co_->cb_uart_send_with_dle = saved_.cb_uart_send_with_dle ? &IdleLinkHook::send_with_dle : nullptr;
  }
  ~IdleLinkHook() {
    if (!co_) return;
    co_->p_time = saved_.p_time;
    co_->cb_time_sleep_ms = saved_.cb_time_sleep_ms;
    co_->p_uart = saved_.p_uart;
    co_->cb_uart_receive_byte_nw = saved_.cb_uart_receive_byte_nw;
    co_->cb_uart_send_byte = saved_.cb_uart_send_byte;
    co_->cb_uart_send_with_dle = saved_.cb_uart_send_with_dle;
  }
  IdleLinkHook(const IdleLinkHook&) = delete;
  IdleLinkHook& operator=(const IdleLinkHook&) = delete;

private:
  static int sleep_ms(void* p, uint32_t t_ms) {
    IdleLinkHook* h = (IdleLinkHook*)p;
    int r = h->saved_.cb_time_sleep_ms ? h->saved_.cb_time_sleep_ms(h->saved_.p_time, t_ms) : 0;
    h->time_->idle_or_wait_input(h->side_);
    return r;
  }
  static int receive(void* p) {
    IdleLinkHook* h = (IdleLinkHook*)p;
    int ch = h->saved_.cb_uart_receive_byte_nw(h->saved_.p_uart);
    if (ch >= 0) h->time_->got(h->side_);
    return ch;
  }
  /* Counted before the write (the unit may take the byte before this thread gets on), taken
  ** back when the port refused it. */
  static int send_byte(void* p, int ch) {
    IdleLinkHook* h = (IdleLinkHook*)p;
    h->time_->sent(h->side_, 1);
    int r = h->saved_.cb_uart_send_byte(h->saved_.p_uart, ch);
    if (r < 0) h->time_->unsent(h->side_, 1);
    return r;
  }
  static uint32_t send_with_dle(void* p, int n, const uint8_t* p_bytes) {
    IdleLinkHook* h = (IdleLinkHook*)p;
    uint64_t n_wire = IdleTime::wire_size(n, p_bytes);
    h->time_->sent(h->side_, n_wire);
    uint32_t r = h->saved_.cb_uart_send_with_dle(h->saved_.p_uart, n, p_bytes);
    if (r != CO3964_SEND_OK) h->time_->unsent(h->side_, n_wire);
    return r;
  }
  IdleTime* time_;
  int side_;
  Co3964* co_ = nullptr;
  Co3964 saved_ = {};
};

#endif

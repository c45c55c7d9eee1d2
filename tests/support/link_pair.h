/*
** link_pair.h - an in-memory serial line between two ends (0 and 1) on a virtual
** millisecond clock, with the callbacks that a Co3964 needs on either end. Header-only, for
** the link, RMC, unit-simulator tests and the link benchmark.
**
** Time moves only when an end waits: the sleep callback advances the clock by its
** milliseconds and lets the other end run. An end that is away (away(): a message box of
** the loader) lets the other end run alone until it is back. The other end is either
** nothing (a silent partner), bytes injected with an arrival time (a scripted partner,
** single-threaded and exact to the millisecond), or a partner thread (or fiber). The two
** never run at once: they pass one baton, so an exchange between two link objects is as
** repeatable as a script.
*/
#ifndef ZENT_TEST_LINK_PAIR_H
#define ZENT_TEST_LINK_PAIR_H

#include "co3964.h"
#include "win32_time.h"

#include <linux/futex.h>
#include <ucontext.h>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/common_interface_defs.h>
#endif
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

typedef std::vector<uint8_t> Bytes;

class LinkLine {
public:
  /* One end of the line: what it receives, what it sent, and its fault switches. */
  struct End {
    LinkLine* line = nullptr;
    int side = 0;
    std::deque<std::pair<uint32_t, int>> rx;  // (arrival tick, byte) for this end
    Bytes sent;                               // every byte this end put on the line
    std::vector<uint32_t> sent_t;             // the tick at which each of them was sent
    int n_sleep = 0;                          // calls of the sleep callback
    bool yield_on_empty_rx = false;           // an empty receive also waits 1 ms
    bool fail_block_send = false;             // the block send reports a failure
    uint32_t away_ms = 0;  // the next sleep lasts this long (the loader's may run a message box)
  };

  /* use_win32_clock: the clock is GetTickCount and waits move the Win32VirtualClock that is
  ** installed when the line is made (Sleep without one); else the line keeps its own tick,
  ** starting at t_start. */
  explicit LinkLine(uint32_t t_start = 0, bool use_win32_clock = false)
      : t_now_(t_start),
        win32_(use_win32_clock),
        vclock_(use_win32_clock ? Win32VirtualClock::installed() : nullptr) {
    for (int i = 0; i < 2; i++) {
      end_[i].line = this;
      end_[i].side = i;
    }
  }
  ~LinkLine() { stop_partner(); }
  LinkLine(const LinkLine&) = delete;
  LinkLine& operator=(const LinkLine&) = delete;

  End& end(int side) { return end_[side]; }

  /* --- the clock --- */
  uint32_t now() const { return win32_ ? GetTickCount() : t_now_.load(); }
  void advance(uint32_t t_ms) {
    if (!win32_)
      t_now_ += t_ms;
    else if (vclock_)
      vclock_->advance(t_ms);  // the turns order the ends: no yield as in its Sleep
    else
      Sleep(t_ms);
  }
  /* The end `side` waits t_ms: the clock moves and the other end gets its turn. */
  void idle(int side, uint32_t t_ms) {
    advance(t_ms);
    pass(side);
  }

  /* End `side` is away for t_ms (the loader's end in a message box): the other end runs
  ** alone meanwhile, the clock moving with its own waits, and hands the turn back once the
  ** time has come. As many ticks as t_ms of turns, at the cost of one. */
  void away(int side, uint32_t t_ms) {
    if (!partner_running_) return advance(t_ms);
    t_back_[side] = now() + t_ms;
    away_[side] = true;
    while (partner_running_ && (int32_t)(now() - t_back_[side]) < 0) pass(side);
    away_[side] = false;
  }

  /* --- the line --- */
  /* Puts bytes on the way to end `side`, arriving at tick t_arrival (default: now). */
  void inject(int side, const Bytes& bytes, int64_t t_arrival = -1) {
    uint32_t t = t_arrival < 0 ? now() : (uint32_t)t_arrival;
    std::lock_guard<std::mutex> lock(lock_);
    for (uint8_t b : bytes) end_[side].rx.push_back({t, b});
  }
  /* A raw value (e.g. outside 0..255) for end `side`, as a broken port might give it. */
  void inject_value(int side, int value, uint32_t t_arrival) {
    std::lock_guard<std::mutex> lock(lock_);
    end_[side].rx.push_back({t_arrival, value});
  }
  /* The next byte that has arrived at end `side`, or -1. */
  int take(int side) {
    std::lock_guard<std::mutex> lock(lock_);
    auto& q = end_[side].rx;
    if (q.empty() || (int32_t)(now() - q.front().first) < 0) return -1;
    int ch = q.front().second;
    q.pop_front();
    return ch;
  }
  void put(int side, int ch) {
    std::lock_guard<std::mutex> lock(lock_);
    uint32_t t = now();
    end_[side].sent.push_back((uint8_t)ch);
    end_[side].sent_t.push_back(t);
    uint32_t t_arrival = t + latency_ms;
    if (pace_ms) {  // behind the end's previous byte, pace_ms after it
      if ((int32_t)(t_paced_[side] - t_arrival) > 0) t_arrival = t_paced_[side];
      t_paced_[side] = t_arrival += pace_ms;
    }
    end_[1 - side].rx.push_back({t_arrival, ch});
  }
  /* Ticks between a byte leaving one end and arriving at the other. */
  uint32_t latency_ms = 0;
  /* Ticks each byte takes on the wire (0: none), so that a frame arrives byte by byte. */
  uint32_t pace_ms = 0;
  size_t n_waiting(int side) {
    std::lock_guard<std::mutex> lock(lock_);
    return end_[side].rx.size();
  }
  Bytes sent(int side) {
    std::lock_guard<std::mutex> lock(lock_);
    return end_[side].sent;
  }
  void clear_sent() {
    std::lock_guard<std::mutex> lock(lock_);
    for (auto& e : end_) {
      e.sent.clear();
      e.sent_t.clear();
    }
  }

  /* --- helpers for scripted partners (run inside a partner thread or the test) --- */
  /* Waits up to t_ms for a byte at end `side`; -1 when none came. */
  int read_byte(int side, uint32_t t_ms) {
    uint32_t t_end = now() + t_ms;
    for (;;) {
      int ch = take(side);
      if (ch >= 0) return ch;
      if ((int32_t)(t_end - now()) <= 0) return -1;
      idle(side, 1);
    }
  }
  void wait_ms(int side, uint32_t t_ms) {
    uint32_t t_end = now() + t_ms;
    while ((int32_t)(t_end - now()) > 0) idle(side, 1);
  }

  /* --- the partner thread --- */
  /* Runs body in a thread that takes turns with the calling thread (end 0); with fiber set,
  ** in a fiber of the calling thread instead, whose turns are switches of the stack: no
  ** thread waits for the kernel to wake it, so a test that takes millions of turns runs as
  ** fast beside other work as the share of one processor it gets allows. */
  void start_partner(std::function<void()> body) {
    stop_ = false;
    partner_running_ = true;
    turn_ = 0;
    if (fiber) {
      fiber_ = std::make_unique<Fiber>();
      fiber_->body = std::move(body);
      getcontext(&fiber_->ctx[1]);
      fiber_->ctx[1].uc_stack.ss_sp = fiber_->stack.data();
      fiber_->ctx[1].uc_stack.ss_size = fiber_->stack.size();
      fiber_->ctx[1].uc_link = nullptr;
      fiber_->bottom[1] = fiber_->stack.data();
      fiber_->size[1] = fiber_->stack.size();
      const uintptr_t self = (uintptr_t)this;
      makecontext(&fiber_->ctx[1], (void (*)())fiber_main, 2, (unsigned)(self >> 32),
                  (unsigned)self);
      return;
    }
    partner_ = std::thread([this, body] {
      wait_turn(1);
      body();
      partner_running_ = false;
      give_turn(0);
    });
  }
  /* Asks the partner to end (stopping() turns true) and gives it turns until it has. */
  void stop_partner() {
    if (!partner_.joinable() && !fiber_) return;
    stop_ = true;
    while (partner_running_) pass(0);
    if (fiber_)
      fiber_.reset();
    else
      partner_.join();
  }
  bool stopping() const { return stop_; }
  /* Hands the turn to the other end and waits until it comes back. */
  void pass(int side) {
    if (!partner_running_) return;
    if (away_[1 - side] && (int32_t)(now() - t_back_[1 - side]) < 0) return;  // runs alone
    if (fiber_) return switch_fiber(side, 1 - side, false);
    give_turn(1 - side);
    wait_turn(side);
  }
  /* start_partner runs the partner as a fiber of the calling thread. */
  bool fiber = false;

  /* --- Co3964 callbacks; the context of each is the End --- */
  static uint32_t cb_now(void* p) { return ((End*)p)->line->now(); }
  static uint32_t cb_plus(void*, uint32_t t, uint32_t t_ms) { return t + t_ms; }
  static int cb_sleep(void* p, uint32_t t_ms) {
    End* e = (End*)p;
    e->n_sleep++;
    if (e->away_ms) t_ms = e->away_ms;
    e->away_ms = 0;
    e->line->idle(e->side, t_ms);
    return 0;
  }
  static int cb_receive(void* p) {
    End* e = (End*)p;
    int ch = e->line->take(e->side);
    if (ch < 0 && e->yield_on_empty_rx) e->line->idle(e->side, 1);
    return ch;
  }
  static int cb_send_byte(void* p, int ch) {
    End* e = (End*)p;
    e->line->put(e->side, ch & 0xFF);
    return ch;
  }
  static uint32_t cb_send_with_dle(void* p, int n, const uint8_t* p_bytes) {
    End* e = (End*)p;
    if (e->fail_block_send) return 0x15;
    for (int i = 0; i < n; i++) {
      e->line->put(e->side, p_bytes[i]);
      if (p_bytes[i] == 0x10) e->line->put(e->side, 0x10);
    }
    return CO3964_SEND_OK;
  }

  /* Sets up a link object on end `side` with the given buffers. */
  Co3964* init_link(Co3964* p, int side, Bytes& ib, Bytes& ob, int with_bcc, int high_priority,
                    bool block_send = true) {
    End* e = &end_[side];
    return Co3964_init(p, e, cb_now, cb_plus, cb_sleep, e, cb_receive, cb_send_byte,
                       block_send ? cb_send_with_dle : nullptr, (int32_t)ib.size(), ib.data(),
                       (int32_t)ob.size(), ob.data(), with_bcc, high_priority);
  }

private:
  /* The partner's fiber: the two ends' contexts, its stack, and what the address sanitizer
  ** needs to follow the switches of the stack (the fake stack each end left, each stack's
  ** bounds; the test thread's are learnt at the first switch). */
  struct Fiber {
    ucontext_t ctx[2];
    std::vector<char> stack = std::vector<char>(4 << 20);
    std::function<void()> body;
    void* fake_stack[2] = {nullptr, nullptr};
    const void* bottom[2] = {nullptr, nullptr};
    size_t size[2] = {0, 0};
  };
  static void fiber_main(unsigned hi, unsigned lo) {
    LinkLine* l = (LinkLine*)((uintptr_t)hi << 32 | (uintptr_t)lo);
    Fiber* f = l->fiber_.get();
#ifdef __SANITIZE_ADDRESS__
    __sanitizer_finish_switch_fiber(nullptr, &f->bottom[0], &f->size[0]);
#endif
    f->body();
    l->partner_running_ = false;
    l->switch_fiber(1, 0, true);
  }
  /* From end `from` to end `to`; `ending`: the fiber of `from` never runs again. */
  void switch_fiber(int from, int to, bool ending) {
    Fiber* f = fiber_.get();
#ifdef __SANITIZE_ADDRESS__
    __sanitizer_start_switch_fiber(ending ? nullptr : &f->fake_stack[from], f->bottom[to],
                                   f->size[to]);
#else
    (void)ending;
#endif
    swapcontext(&f->ctx[from], &f->ctx[to]);
#ifdef __SANITIZE_ADDRESS__
    __sanitizer_finish_switch_fiber(f->fake_stack[from], nullptr, nullptr);
#endif
  }

  /* The turn goes to `side`; a thread that sleeps for it is woken. */
  void give_turn(int side) {
    turn_.store(side);
    if (n_sleepers_.load() > 0) syscall(SYS_futex, &turn_, FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr, nullptr, 0);
  }
  /* Sleeps until the turn comes (after a few looks): on a busy machine a thread that sleeps
  ** gets the processor back as soon as it is woken, while one that spins or yields waits
  ** out the time slices of the other processes at every turn, thousands of times a test. */
  void wait_turn(int side) {
    for (int n_spin = 0; n_spin < 50; ++n_spin)  // a turn handed back at once
      if (turn_.load() == side) return;
    n_sleepers_++;
    for (int t = turn_.load(); t != side; t = turn_.load())
      syscall(SYS_futex, &turn_, FUTEX_WAIT_PRIVATE, t, nullptr, nullptr, 0);
    n_sleepers_--;
  }

  std::atomic<uint32_t> t_now_;
  bool away_[2] = {false, false};  // an end that is away (see away()) and when it is back
  uint32_t t_back_[2] = {0, 0};
  uint32_t t_paced_[2] = {0, 0};  // with pace_ms: when each end's last byte arrives
  bool win32_;
  Win32VirtualClock* vclock_;  // the virtual clock behind GetTickCount when the line was made
  End end_[2];
  std::mutex lock_;
  std::thread partner_;
  std::unique_ptr<Fiber> fiber_;
  std::atomic<int> turn_{0};  // the end whose turn it is; a futex word
  std::atomic<int> n_sleepers_{0};  // threads asleep in wait_turn
  std::atomic<bool> partner_running_{false};
  std::atomic<bool> stop_{false};
};

/* The bytes of a frame after the partner's DLE: data with every 0x10 doubled, DLE ETX and,
** with a block check, the XOR of all of them (computed here on its own, from the wire). */
inline Bytes frame_wire(const Bytes& msg, bool with_bcc = true) {
  Bytes w;
  for (uint8_t b : msg) {
    w.push_back(b);
    if (b == 0x10) w.push_back(0x10);
  }
  w.push_back(0x10);
  w.push_back(0x03);
  if (with_bcc) {
    uint8_t x = 0;
    for (uint8_t b : w) x ^= b;
    w.push_back(x);
  }
  return w;
}

inline Bytes cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

#endif

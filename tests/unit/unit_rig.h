/*
** unit_rig.h - what the unit-simulator tests share: a small flash loader and application
** of their own (code-like bytes, the application compressed in mode 144 behind the code
** image header), and two rigs that put an RMC master in front of a Unit on a virtual clock:
** LineRig over the in-memory line of link_pair.h (the unit on the partner thread, exact to
** the millisecond), PtyRig over a pseudo-terminal with the real Uart on the master side
** and the unit on its own thread.
*/
#ifndef ZENT_TEST_UNIT_RIG_H
#define ZENT_TEST_UNIT_RIG_H

#include "idle_unit_port.h"
#include "link_pair.h"
#include "rmc.h"
#include "uart.h"
#include "unit.h"
#include "unit_image.h"
#include "unit_master.h"
#include "win32_time.h"

#ifdef ZENT_HAVE_FIRMWARE
#include "embedded_sets.h"
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <pty.h>
#include <random>
#include <sched.h>
#include <string>
#include <unistd.h>
#include <vector>

/* A set of partitions with its tables, in the shape of the embedded sets. */
struct TestSet {
  std::vector<uint32_t> a, n;
  std::vector<std::vector<uint8_t>> bytes;
  std::vector<const uint8_t*> p;
  void add(uint32_t adr, std::vector<uint8_t> b) {
    a.push_back(adr);
    n.push_back((uint32_t)b.size());
    bytes.push_back(std::move(b));
    p.clear();
    for (auto& v : bytes) p.push_back(v.data());
  }
  uint32_t size() const { return (uint32_t)a.size(); }
};

/* Bytes that look like machine code: a few opcodes, small operands, some zero runs. */
inline std::vector<uint8_t> code_like(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  static const uint8_t ops[] = {0x4E, 0x75, 0x20, 0x3C, 0x61, 0x00, 0x48, 0xE7, 0x10, 0x02};
  for (size_t i = 0; i < n; ++i) {
    uint32_t r = rng();
    v[i] = (r % 4 == 0) ? (uint8_t)(r >> 8) : ops[(r >> 4) % sizeof ops];
  }
  return v;
}

/* The tests' own firmware: a flash loader of three partitions (not in address order) and
** an application of five, compressed into a code image. */
struct TestImages {
  TestSet loader, appl;
  std::vector<uint8_t> appl_image = std::vector<uint8_t>(UNIT_APPL_N);
  std::vector<uint8_t> code = std::vector<uint8_t>(UNIT_FLASH_N);
  int32_t n_src = 0;
  int32_t n_code_used = 0;
  TestImages() {
    loader.add(0x400400, code_like(40, 1));
    loader.add(0x400000, code_like(700, 2));
    loader.add(0x401000, code_like(3, 3));
    appl.add(0x400100, code_like(9000, 4));
    appl.add(0x400000, code_like(200, 5));
    appl.add(0x402400, code_like(3000, 6));
    appl.add(0x403000, std::vector<uint8_t>(2000, 0x10));  // DLE doubling in every frame
    appl.add(0x404000, code_like(1500, 7));
    n_src = UnitImage_appl_from_set(appl.size(), appl.a.data(), appl.n.data(), appl.p.data(),
                                    appl_image.data());
    n_code_used = UnitImage_code_from_appl(n_src, appl_image.data(), code.data());
  }
  void expect_in(UnitConfig* c) const {
    c->n_loader_set = loader.size();
    c->p_loader_a = loader.a.data();
    c->p_loader_n = loader.n.data();
    c->p_loader_p = loader.p.data();
    c->n_expected_appl = n_src;
    c->p_expected_appl = appl_image.data();
  }
  UnitMasterInput input() const {
    UnitMasterInput in;
    UnitMasterInput_init(&in);
    in.n_loader_set = loader.size();
    in.p_loader_a = loader.a.data();
    in.p_loader_n = loader.n.data();
    in.p_loader_p = loader.p.data();
    in.p_code = code.data();
    return in;
  }
};

inline const TestImages& test_images() {
  static TestImages images;
  return images;
}

/* The images of the build's stand-in firmware (when it has them: ZENT_HAVE_FIRMWARE), as
** the loader sends them: the flash-loader set as it is, the application compressed. */
struct FirmwareImages {
  uint32_t n_loader_set = 0;
  const uint32_t *p_loader_a = nullptr, *p_loader_n = nullptr;
  const uint8_t* const* p_loader_p = nullptr;
  std::vector<uint8_t> appl_image = std::vector<uint8_t>(UNIT_APPL_N);
  std::vector<uint8_t> code = std::vector<uint8_t>(UNIT_FLASH_N);
  int32_t n_src = 0;
  void expect_in(UnitConfig* c) const {
    c->n_loader_set = n_loader_set;
    c->p_loader_a = p_loader_a;
    c->p_loader_n = p_loader_n;
    c->p_loader_p = p_loader_p;
    c->n_expected_appl = n_src;
    c->p_expected_appl = appl_image.data();
  }
  UnitMasterInput input() const {
    UnitMasterInput in;
    UnitMasterInput_init(&in);
    in.n_loader_set = n_loader_set;
    in.p_loader_a = p_loader_a;
    in.p_loader_n = p_loader_n;
    in.p_loader_p = p_loader_p;
    in.p_code = code.data();
    return in;
  }
};

/* Collects the unit's trace lines. */
struct TraceLog {
  std::vector<std::string> lines;
  static void put(void* p, const char* p_line) { ((TraceLog*)p)->lines.push_back(p_line); }
  bool contains(const std::string& s) const {
    for (const auto& l : lines)
      if (l.find(s) != std::string::npos) return true;
    return false;
  }
  /* The lines, one a line, for a test's failure message. */
  std::string text() const {
    std::string s = "unit trace:\n";
    for (const auto& l : lines) s += "  " + l + "\n";
    return s;
  }
};

/* The firmware images, made once; the tests' own images when the build has no firmware. */
inline const FirmwareImages& firmware_images() {
  static FirmwareImages f = [] {
    FirmwareImages g;
#ifdef ZENT_HAVE_FIRMWARE
    g.n_loader_set = fld_02_get_n_set();
    g.p_loader_a = fld_02_get_p_set_a_bytes();
    g.p_loader_n = fld_02_get_p_set_n_bytes();
    g.p_loader_p = fld_02_get_p_set_p_bytes();
    g.n_src = UnitImage_appl_from_set(zent_get_n_set(), zent_get_p_set_a_bytes(),
                                      zent_get_p_set_n_bytes(), zent_get_p_set_p_bytes(),
                                      g.appl_image.data());
    UnitImage_code_from_appl(g.n_src, g.appl_image.data(), g.code.data());
#else
    const TestImages& t = test_images();
    g.n_loader_set = t.loader.size();
    g.p_loader_a = t.loader.a.data();
    g.p_loader_n = t.loader.n.data();
    g.p_loader_p = t.loader.p.data();
    g.appl_image = t.appl_image;
    g.code = t.code;
    g.n_src = t.n_src;
#endif
    return g;
  }();
  return f;
}

/* The unit's work passes 1 ms at a time on end 1 of the line, each a turn for the master. */
inline void unit_spend_ms_on_line(void* p, uint32_t t_ms) {
  for (uint32_t i = 0; i < t_ms; ++i) LinkLine::cb_sleep(p, 1);
}

/* Makes a unit on end 1 of the line, tracing into `trace`, and polls it on the line's
** partner thread until the line stops. NULL when the unit cannot be made. */
inline Unit* start_unit_on_line(LinkLine& line, UnitConfig cfg, TraceLog& trace) {
  cfg.p_trace = &trace;
  cfg.cb_trace = TraceLog::put;
  LinkLine::End* e = &line.end(1);
  cfg.p_clock = e;
  cfg.cb_spend_ms = unit_spend_ms_on_line;
  UnitPort port = {e, LinkLine::cb_receive, LinkLine::cb_send_byte, LinkLine::cb_send_with_dle,
                   LinkLine::cb_sleep};
  Unit* unit = Unit_alloc(&cfg, &port);
  if (unit)
    line.start_partner([&line, unit] {
      while (!line.stopping()) Unit_poll(unit);
    });
  return unit;
}

/* An RMC master on end 0 of an in-memory line, the unit on end 1, on a virtual clock. */
class LineRig {
public:
  LineRig() : line_(0, true) {
    line_.end(0).yield_on_empty_rx = true;
    line_.init_link(&co_, 0, ib_, ob_, 1, 1);
    Rmc_init_as_master(&rmc_, 384, buf_.data(), &co_);
  }
  ~LineRig() {
    line_.stop_partner();
    Unit_free(unit_);
  }
  /* Makes the unit and starts it on the partner thread. */
  Unit* start(UnitConfig cfg) { return unit_ = start_unit_on_line(line_, cfg, trace); }
  /* Stops the unit's thread so that its state may be read. */
  void stop() { line_.stop_partner(); }
  /* One raw request; the reply bytes, or {} when none came within t_ms. */
  Bytes raw(const Bytes& req, uint32_t t_ms = 1000) {
    if (Co3964_ob_set_msg(&co_, (int32_t)req.size(), req.data()) != 2) return {0xEE};
    uint32_t t_end = GetTickCount() + t_ms;
    while ((int32_t)(t_end - GetTickCount()) > 0 && Co3964_ib_get_n_msg(&co_) < 0) Co3964_do(&co_);
    Bytes m(400);
    int n = Co3964_ib_get_msg(&co_, (int32_t)m.size(), m.data());
    m.resize(n < 0 ? 0 : n);
    return m;
  }
  Rmc* rmc() { return &rmc_; }
  LinkLine& line() { return line_; }
  DWORD now() const { return clock_.now(); }
  TraceLog trace;

private:
  Win32VirtualClock clock_;  // first made, last gone: the line runs on it
  LinkLine line_;
  Bytes ib_ = Bytes(384), ob_ = Bytes(384), buf_ = Bytes(384);
  Co3964 co_;
  Rmc rmc_;
  Unit* unit_ = nullptr;
};

/* The master side of the loader over a real COM port: Uart, Co3964 (block check, high
** priority) and Rmc, on a virtual clock; its link's sleep callback naps 50 us of real time
** (a thread that sleeps gets on at once when woken, also on a busy machine). */
struct LoaderSide {
  Uart uart;
  Co3964 co;
  Rmc rmc;
  Bytes ib = Bytes(384), ob = Bytes(384), buf = Bytes(384);
  static uint32_t now(void*) { return GetTickCount(); }
  static uint32_t plus(void*, uint32_t t, uint32_t t_ms) { return t + t_ms; }
  static int sleep_ms(void*, uint32_t) {
    usleep(50);
    return 0;
  }
  bool open(const char* p_com) {
    Uart_init(&uart);
    if (!Uart_open(&uart, p_com, 115200, 8, 0, 0)) return false;
    Co3964_init(&co, nullptr, now, plus, sleep_ms, &uart, Uart_receive_byte_nw, Uart_send_byte,
                Uart_send_with_dle, 384, ib.data(), 384, ob.data(), 1, 1);
    return Rmc_init_as_master(&rmc, 384, buf.data(), &co) != nullptr;
  }
  ~LoaderSide() { Uart_close(&uart); }
};

/* A pseudo-terminal: the unit on the master side on its own thread, the loader side on the
** slave through COM<n_com>. The virtual clock moves only while both sides wait
** (idle_time.h), so the time-outs of either side pass however the threads are scheduled. */
class PtyRig {
public:
  explicit PtyRig(int n_com = 30) : com_("COM" + std::to_string(n_com)) {
    int slave = -1;
    char name[256];
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) return;
    close(slave);
    setenv(("ZENT_COM" + std::to_string(n_com)).c_str(), name, 1);
  }
  ~PtyRig() {
    stop();
    Unit_free(unit_);
    link_hook_.reset();
    loader_.reset();
    if (master_ >= 0) close(master_);
  }
  Unit* start(UnitConfig cfg, int paced = 0) {
    cfg.p_trace = &trace;
    cfg.cb_trace = TraceLog::put;
    UnitFdPort_init(&fd_port_, master_, paced);
    unit_port_ = std::make_unique<IdleUnitPort>(&time_, UnitFdPort_port(&fd_port_));
    UnitPort port = unit_port_->port();
    unit_ = Unit_alloc(&cfg, &port);
    if (!unit_) return nullptr;
    loader_ = std::make_unique<LoaderSide>();
    if (!loader_->open(com_.c_str())) return nullptr;
    link_hook_ = std::make_unique<IdleLinkHook>(&time_, &loader_->co);
    time_.set_present(IdleTime::UNIT, true);
    if (Unit_start(unit_)) return unit_;
    time_.set_present(IdleTime::UNIT, false);
    return nullptr;
  }
  /* Stops the unit's thread once it has taken what the loader sent and waits. */
  void stop() {
    if (!unit_) return;
    time_.stop_unit([this] { Unit_stop(unit_); });
  }
  Rmc* rmc() { return &loader_->rmc; }
  DWORD now() const { return clock_.now(); }
  TraceLog trace;

private:
  Win32VirtualClock clock_;
  IdleTime time_{&clock_};
  std::string com_;
  int master_ = -1;
  UnitFdPort fd_port_;
  std::unique_ptr<IdleUnitPort> unit_port_;
  Unit* unit_ = nullptr;
  std::unique_ptr<LoaderSide> loader_;
  std::unique_ptr<IdleLinkHook> link_hook_;
};

#endif

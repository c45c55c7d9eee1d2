/*
** bench_unit.cpp - the download's request sequence (wake-up, CPU type, flash loader into
** RAM, jump, erase, blank check, programming, signature, start) issued by an RMC master
** over the real Uart, against the unit simulator on the master side of a pseudo-terminal,
** real clock, no pauses. Paced, the unit moves bytes at 115200 baud 8N1 each way, so the
** run can be set beside the line-rate limit: every byte that crossed the wire, framing and
** handshakes included, at 11,520 bytes a second (request and reply never overlap), plus the
** unit's configured processing time. "ratio" is that limit over the wall time; 1.0 would be
** a line that never idles. The unpaced run shows what the two ends cost by themselves.
** Images: the stand-in firmware when the build has it, else a 20 KiB application.
*/
#include "rmc.h"
#include "uart.h"
#include "unit.h"
#include "unit_image.h"
#include "unit_master.h"
#include "win32_time.h"

#ifdef ZENT_HAVE_FIRMWARE
#include "embedded_sets.h"
#endif

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <pty.h>
#include <random>
#include <sched.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr double k_bytes_per_s = 11520.0;  // 115200 baud, 10 bits a byte
constexpr uint32_t k_erase_ms = 0;          // the unit's configured processing time

/* What the master sends and the unit expects. */
struct Images {
  uint32_t n_set = 0;
  std::vector<uint32_t> a, n;
  std::vector<const uint8_t*> p;
  std::vector<std::vector<uint8_t>> own;  // the bytes of a set made here
  std::vector<uint8_t> appl = std::vector<uint8_t>(UNIT_APPL_N);
  std::vector<uint8_t> code = std::vector<uint8_t>(UNIT_FLASH_N);
  int32_t n_src = 0;
};

#ifndef ZENT_HAVE_FIRMWARE
/* A small set of code-like partitions, for builds without the firmware. */
void make_small(std::vector<uint32_t>* p_a, std::vector<uint32_t>* p_n,
                std::vector<std::vector<uint8_t>>* p_bytes, uint32_t a0, uint32_t n_total) {
  std::mt19937 rng(a0);
  for (uint32_t a = a0; a < a0 + n_total; a += 4096) {
    std::vector<uint8_t> b(4000);
    for (auto& x : b) x = (rng() % 3 == 0) ? (uint8_t)rng() : (uint8_t)(0x40 + rng() % 8);
    p_a->push_back(a);
    p_n->push_back((uint32_t)b.size());
    p_bytes->push_back(std::move(b));
  }
}
#endif

const Images& images() {
  static Images m = [] {
    Images g;
#ifdef ZENT_HAVE_FIRMWARE
    g.n_set = fld_02_get_n_set();
    g.a.assign(fld_02_get_p_set_a_bytes(), fld_02_get_p_set_a_bytes() + g.n_set);
    g.n.assign(fld_02_get_p_set_n_bytes(), fld_02_get_p_set_n_bytes() + g.n_set);
    g.p.assign(fld_02_get_p_set_p_bytes(), fld_02_get_p_set_p_bytes() + g.n_set);
    g.n_src = UnitImage_appl_from_set(zent_get_n_set(), zent_get_p_set_a_bytes(),
                                      zent_get_p_set_n_bytes(), zent_get_p_set_p_bytes(), g.appl.data());
#else
    std::vector<uint32_t> aa, an;
    std::vector<const uint8_t*> ap;
    std::vector<std::vector<uint8_t>> appl_bytes;
    make_small(&g.a, &g.n, &g.own, 0x400000, 8192);
    for (auto& b : g.own) g.p.push_back(b.data());
    g.n_set = (uint32_t)g.a.size();
    make_small(&aa, &an, &appl_bytes, 0x400000, 20480);
    for (auto& b : appl_bytes) ap.push_back(b.data());
    g.n_src = UnitImage_appl_from_set((uint32_t)aa.size(), aa.data(), an.data(), ap.data(), g.appl.data());
#endif
    UnitImage_code_from_appl(g.n_src, g.appl.data(), g.code.data());
    return g;
  }();
  return m;
}

uint32_t now(void*) { return GetTickCount(); }
uint32_t plus(void*, uint32_t t, uint32_t t_ms) { return t + t_ms; }
int sleep_ms(void*, uint32_t) { return 0; }  // as the loader's: no sleep inside the link

/* One pseudo-terminal with the unit on the master side and the master's link on the
** slave through COM60. */
class Rig {
public:
  explicit Rig(int paced) {
    int slave = -1;
    char name[256];
    if (openpty(&fd_master_, &slave, name, nullptr, nullptr) != 0) return;
    close(slave);
    setenv("ZENT_COM60", name, 1);
    const Images& m = images();
    UnitConfig cfg;
    UnitConfig_init(&cfg);
    cfg.t_erase_ms = k_erase_ms;
    cfg.n_loader_set = m.n_set;
    cfg.p_loader_a = m.a.data();
    cfg.p_loader_n = m.n.data();
    cfg.p_loader_p = m.p.data();
    cfg.n_expected_appl = m.n_src;
    cfg.p_expected_appl = m.appl.data();
    UnitFdPort_init(&fd_port_, fd_master_, paced);
    UnitPort port = UnitFdPort_port(&fd_port_);
    unit_ = Unit_alloc(&cfg, &port);
    Uart_init(&uart_);
    ok_ = unit_ && Uart_open(&uart_, "COM60", 115200, 8, 0, 0) &&
          Co3964_init(&co_, nullptr, now, plus, sleep_ms, &uart_, Uart_receive_byte_nw,
                      Uart_send_byte, Uart_send_with_dle, 384, ib_.data(), 384, ob_.data(), 1, 1) &&
          Rmc_init_as_master(&rmc_, 384, buf_.data(), &co_) && Unit_start(unit_);
  }
  ~Rig() {
    Unit_free(unit_);
    Uart_close(&uart_);
    if (fd_master_ >= 0) close(fd_master_);
  }
  bool ok() const { return ok_; }
  Rmc* rmc() { return &rmc_; }
  Unit* unit() { return unit_; }
  void stop() { Unit_stop(unit_); }

private:
  int fd_master_ = -1;
  UnitFdPort fd_port_;
  Unit* unit_ = nullptr;
  Uart uart_;
  Co3964 co_;
  Rmc rmc_;
  std::vector<uint8_t> ib_ = std::vector<uint8_t>(384), ob_ = std::vector<uint8_t>(384),
                       buf_ = std::vector<uint8_t>(384);
  bool ok_ = false;
};

double now_s() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

void BM_sequence(benchmark::State& state) {
  int paced = (int)state.range(0);
  UnitMasterInput in;
  UnitMasterInput_init(&in);
  const Images& m = images();
  in.n_loader_set = m.n_set;
  in.p_loader_a = m.a.data();
  in.p_loader_n = m.n.data();
  in.p_loader_p = m.p.data();
  in.p_code = m.code.data();
  in.t_pause_ms = 0;
  double wall = 0, limit = 0;
  UnitStats st = {};
  for (auto _ : state) {
    Rig rig(paced);
    if (!rig.ok()) {
      state.SkipWithError("no pseudo-terminal or port");
      return;
    }
    UnitMasterResult res;
    double t0 = now_s();
    int r = UnitMaster_run(rig.rmc(), &in, &res);
    wall = now_s() - t0;
    rig.stop();
    st = Unit_get_stats(rig.unit());
    if (r != RMC_RES_OK || Unit_get_state(rig.unit()) != UNIT_APPLICATION) {
      state.SkipWithError("the sequence did not start the application");
      return;
    }
    limit = (double)(st.n_rx + st.n_tx) / k_bytes_per_s + st.t_work_ms / 1000.0;
    state.SetIterationTime(wall);
  }
  state.counters["requests"] = st.n_requests;
  state.counters["collisions"] = st.n_collisions;
  state.counters["replies"] = st.n_replies;
  state.counters["bytes_to_unit"] = (double)st.n_rx;
  state.counters["bytes_from_unit"] = (double)st.n_tx;
  state.counters["limit_s"] = limit;
  state.counters["wall_s"] = wall;
  state.counters["ratio"] = wall > 0 ? limit / wall : 0;
  state.SetLabel(paced ? "paced at 115200 baud" : "unpaced");
}

BENCHMARK(BM_sequence)->Arg(1)->Arg(0)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();

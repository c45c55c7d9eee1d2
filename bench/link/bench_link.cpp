/*
** bench_link.cpp - throughput of the RMC master over the 3964R link: 256-byte
** Rmc_do_write_xbram requests (the download's flash-loader step) answered by a second link
** object over the in-memory line, and one-way 256-byte frames between two links. The two
** ends take turns on one baton, so the figures are the cost of the protocol code itself:
** framing, DLE doubling, block check, state machine passes and the master's polling.
** A real 115200-baud line carries about 40 such transactions a second.
*/
#include "co3964.h"
#include "link_pair.h"
#include "rmc.h"
#include "rmc_responder.h"

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

double process_cpu_s() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

/* Data of the flash-loader kind, with the DLE bytes that a real image holds (1 in 256). */
Bytes chunk(int n) {
  Bytes b(n);
  for (int i = 0; i < n; i++) b[i] = (uint8_t)(i * 37 + 11);
  return b;
}

void BM_WriteXbram256(benchmark::State& state) {
  LinkLine line;
  RmcResponder r(line);
  r.start([](const Bytes& req) {
    return std::vector<RmcReply>{{Bytes(req.begin(), req.begin() + 9)}};
  });
  Bytes data = chunk(256);
  uint32_t adr = 0x400000;
  int n_failed = 0;
  double t_cpu0 = process_cpu_s();
  for (auto _ : state) {
    if (Rmc_do_write_xbram(&r.rmc, adr, data.data(), 256) != RMC_RES_OK) n_failed++;
    adr += 256;
  }
  double t_cpu = process_cpu_s() - t_cpu0;
  r.stop();
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * 256);
  state.counters["failed"] = n_failed;
  state.counters["cpu_us_per_tx_both_threads"] = 1e6 * t_cpu / (double)state.iterations();
}
BENCHMARK(BM_WriteXbram256)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_Frame256OneWay(benchmark::State& state) {
  LinkLine line;
  Bytes ib_a(384), ob_a(384), ib_b(384), ob_b(384);
  Co3964 a, b;
  line.init_link(&a, 0, ib_a, ob_a, 1, 1);
  line.init_link(&b, 1, ib_b, ob_b, 1, 0);
  line.end(0).yield_on_empty_rx = true;
  long n_got = 0;
  line.start_partner([&] {
    uint8_t m[384];
    while (!line.stopping()) {
      Co3964_do(&b);
      if (Co3964_ib_get_msg(&b, 384, m) >= 0) n_got++;
      line.idle(1, 1);
    }
  });
  Bytes data = chunk(256);
  for (auto _ : state) {
    Co3964_ob_set_msg(&a, 256, data.data());
    Co3964_do(&a);
  }
  line.stop_partner();
  state.SetItemsProcessed(state.iterations());
  state.counters["received"] = (double)n_got;
}
BENCHMARK(BM_Frame256OneWay)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

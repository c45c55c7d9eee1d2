/*
** bench_download.cpp - one whole download through the main dialog, headless, against the
** unit simulator on a pseudo-terminal with the real Uart and the real clock. Paced, the
** unit moves bytes at 115200 baud 8N1 (86.8 us each, each way), so the run can be set
** beside the line-rate limit: every byte that crossed the wire, framing and handshakes
** included, times 86.8 us, since request and reply never overlap. The two fixed 500 ms
** pauses are taken out of the wall time before the ratio. The unpaced run shows what the
** loader's own side costs. CPU time is given for the process and for the dialog's thread.
*/
#include "test_download_rig.h"

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

double now_s(clockid_t id) {
  timespec ts;
  clock_gettime(id, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

void run_download(benchmark::State& state, int paced) {
  Root* root = rig_root();
  if (!root) {
    state.SkipWithError("Root_alloc failed");
    return;
  }
  Root_get_p_vm(root);  // the image preparation is not part of the download's time
  for (auto _ : state) {
    UnitRig unit(nullptr, paced);
    if (!unit.ok()) {
      state.SkipWithError("no unit");
      return;
    }
    DialogRig rig;
    rig.create();
    double t0 = now_s(CLOCK_MONOTONIC), c0 = now_s(CLOCK_PROCESS_CPUTIME_ID);
    double u0 = now_s(CLOCK_THREAD_CPUTIME_ID);
    rig.download();
    double wall = now_s(CLOCK_MONOTONIC) - t0;
    double cpu = now_s(CLOCK_PROCESS_CPUTIME_ID) - c0;
    double cpu_ui = now_s(CLOCK_THREAD_CPUTIME_ID) - u0;
    unit.stop();
    UnitStats st = Unit_get_stats(unit.unit());
    const UnitVerdict* v = Unit_get_verdict(unit.unit());
    if (!v || v->code != UNIT_VERDICT_OK) {
      state.SkipWithError("the unit did not start the application");
      return;
    }
    double bytes = (double)(st.n_rx + st.n_tx);
    double limit = bytes * UNIT_LINE_NS_PER_BYTE * 1e-9;
    double link_wall = wall - 1.0;  // without the two fixed pauses
    state.SetIterationTime(wall);
    state.counters["wall_s"] = wall;
    state.counters["line_limit_s"] = limit;
    state.counters["ratio_of_line"] = limit / link_wall;
    state.counters["cpu_process_s"] = cpu;
    state.counters["cpu_dialog_thread_s"] = cpu_ui;
    state.counters["bytes_on_wire"] = bytes;
    state.counters["requests"] = st.n_requests;
  }
}

}  // namespace

void BM_DownloadPaced115200(benchmark::State& state) { run_download(state, 1); }
void BM_DownloadUnpaced(benchmark::State& state) { run_download(state, 0); }

BENCHMARK(BM_DownloadPaced115200)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_DownloadUnpaced)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();

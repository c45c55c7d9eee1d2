/*
** bench_prep.cpp - the image preparation runs inside the first download while the user
** waits, so it is measured beside a familiar yardstick: `compress -b16` (the same 16-bit
** LZW family) on the same bytes, the used part of the application image. Both in one run;
** the preparation must stay below the compress run. The compress time includes starting
** the program, which a user of it would pay as well; no shell is involved.
*/
#include "root.h"
#include "root_prep.h"
#include "std_io.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string g_path_src;  // the used part of the application image, as a file for compress
int g_n_src = 0;         // its length
int g_n_vmc = 0;         // the code image's used blocks, as the preparation made them

/* One preparation, to learn n_src and write those bytes to a temporary file. */
bool make_source_file() {
  RootPrep_forget();
  Root* p = Root_alloc();
  if (p == nullptr) return false;
  UvMem* p_vm = Root_get_p_vm(p);
  g_n_src = get_n_bytes_used(p_vm);
  g_n_vmc = Root_get_n_vmc(p);
  char path[] = "/tmp/zent_bench_prep_XXXXXX";
  int fd = mkstemp(path);
  bool ok = fd >= 0 && write(fd, UvMem_get_p_vmem(p_vm), (size_t)g_n_src) == g_n_src;
  if (fd >= 0) close(fd);
  g_path_src = path;
  Root_free(p);
  return ok;
}

void BM_PrepareFromFreshRoot(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    RootPrep_forget();
    Root* p = Root_alloc();
    state.ResumeTiming();
    benchmark::DoNotOptimize(check_is_loaded(p));
    state.PauseTiming();
    if (Root_get_n_vmc(p) <= 0) state.SkipWithError("preparation failed");
    Root_free(p);
    state.ResumeTiming();
  }
  state.counters["n_src"] = g_n_src;
  state.counters["n_vmc"] = g_n_vmc;
  state.SetBytesProcessed(state.iterations() * (int64_t)g_n_src);
}
BENCHMARK(BM_PrepareFromFreshRoot)->Unit(benchmark::kMillisecond)->UseRealTime();

/* The preparation's own scans, outside the writer and the coder, on prepared images: the
** used blocks of both images and the used length of the application image. */
void BM_OwnScansOfPreparedImages(benchmark::State& state) {
  RootPrep_forget();
  Root* p = Root_alloc();
  UvMem* p_vm = Root_get_p_vm(p);
  UvMem* p_vmc = Root_get_p_vmc(p);
  StdIo_set_stdout(nullptr, nullptr);
  for (auto _ : state) {
    benchmark::DoNotOptimize(get_n_bytes_in_used_blocks(p_vm, 256));
    benchmark::DoNotOptimize(get_n_bytes_in_used_blocks(p_vmc, 256));
    benchmark::DoNotOptimize(get_n_bytes_used(p_vm));
  }
  Root_free(p);
  RootPrep_forget();
}
BENCHMARK(BM_OwnScansOfPreparedImages)->Unit(benchmark::kMicrosecond);

/* compress -b16 -c < source > /dev/null; 0 when it ran and succeeded. */
int run_compress() {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, g_path_src.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  char* argv[] = {(char*)"compress", (char*)"-b16", (char*)"-c", nullptr};
  pid_t pid;
  int rc = posix_spawnp(&pid, "compress", &fa, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  // compress exits with 2 when the output would be larger; anything but a crash is a run.
  return WIFEXITED(status) && WEXITSTATUS(status) <= 2 ? 0 : -1;
}

void BM_CompressB16SameBytes(benchmark::State& state) {
  for (auto _ : state)
    if (run_compress() != 0) state.SkipWithError("compress -b16 did not run (package ncompress)");
  state.counters["n_src"] = g_n_src;
  state.SetBytesProcessed(state.iterations() * (int64_t)g_n_src);
}
BENCHMARK(BM_CompressB16SameBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!make_source_file()) {
    fprintf(stderr, "bench_prep: no application image to measure\n");
    return 1;
  }
  StdIo_set_stdout(nullptr, nullptr);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  unlink(g_path_src.c_str());
  return 0;
}

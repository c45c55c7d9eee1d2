/*
** bench_lzw.cpp - speed of the LZW coder: encoding (with and without the making of the
** unit, whose tables are set up once per coding) and decoding of 1 MiB of code-like data
** and of the first 1 MiB of a real executable, in mode 144 (the code image) and mode 12.
** "bench_lzw --write-sample=FILE" writes the code-like sample for bench/lzw/compare.sh.
** ZENT_BENCH_EXE names the executable (default /usr/bin/cmake).
*/
#include "ulzw.h"
#include "ulzw_reference.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;
const size_t k_n_sample = 1 << 20;

const Bytes& code_like_sample() {
  static const Bytes v = ulzw_ref::code_like(k_n_sample, 2026);
  return v;
}

/* The first MiB of a real executable; empty when it cannot be read. */
const Bytes& executable_sample() {
  static const Bytes v = [] {
    const char* p_path = getenv("ZENT_BENCH_EXE") ? getenv("ZENT_BENCH_EXE") : "/usr/bin/cmake";
    Bytes b(k_n_sample);
    FILE* f = fopen(p_path, "rb");
    b.resize(f ? fread(b.data(), 1, b.size(), f) : 0);
    if (f) fclose(f);
    return b;
  }();
  return v;
}

const Bytes& sample(int64_t i) { return i == 0 ? code_like_sample() : executable_sample(); }

void set_label(benchmark::State& st, const Bytes& src, int64_t n_stream) {
  st.SetBytesProcessed((int64_t)st.iterations() * (int64_t)src.size());
  std::string kind = st.range(0) == 0 ? "code-like" : "executable";
  st.SetLabel(kind + ", stream " + std::to_string(n_stream) + " bytes");
}

void BM_encode(benchmark::State& st) {
  const Bytes& src = sample(st.range(0));
  int mode = (int)st.range(1);
  Bytes dst(src.size() * 3);
  int n = 0;
  for (auto _ : st) {
    UlzwUnit* p = UlzwUnit_alloc(mode);
    n = Ulzw_encode(p, (int)dst.size(), dst.data(), (int)src.size(), src.data());
    UlzwUnit_free(p);
    benchmark::DoNotOptimize(n);
  }
  if (n < 0 || src.empty()) st.SkipWithError("no sample or the encoder failed");
  set_label(st, src, n);
}

void BM_decode(benchmark::State& st) {
  const Bytes& src = sample(st.range(0));
  int mode = (int)st.range(1);
  Bytes stream(src.size() * 3), out(src.size());
  UlzwUnit* p = UlzwUnit_alloc(mode);
  int n_stream = Ulzw_encode(p, (int)stream.size(), stream.data(), (int)src.size(), src.data());
  UlzwUnit_free(p);
  int n = 0;
  for (auto _ : st) {
    UlzwUnit* u = UlzwUnit_alloc(mode);
    n = Ulzw_decode(u, (int)out.size(), out.data(), n_stream, stream.data());
    UlzwUnit_free(u);
    benchmark::DoNotOptimize(n);
  }
  if (n != (int)src.size() || src.empty()) st.SkipWithError("no sample or the round trip failed");
  set_label(st, src, n_stream);
}

void BM_unit_alloc(benchmark::State& st) {
  for (auto _ : st) {
    UlzwUnit* p = UlzwUnit_alloc((int)st.range(0));
    benchmark::DoNotOptimize(p);
    UlzwUnit_free(p);
  }
}

BENCHMARK(BM_encode)->ArgsProduct({{0, 1}, {144, 12}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_decode)->ArgsProduct({{0, 1}, {144, 12}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_unit_alloc)->Arg(144)->Arg(12)->Unit(benchmark::kMicrosecond);

/* --write-sample=FILE: the code-like sample, for the comparison script. */
int write_sample(const char* p_path) {
  FILE* f = fopen(p_path, "wb");
  const Bytes& v = code_like_sample();
  bool ok = f != NULL && fwrite(v.data(), 1, v.size(), f) == v.size();
  if (f != NULL) ok = fclose(f) == 0 && ok;
  if (!ok) fprintf(stderr, "bench_lzw: cannot write %s\n", p_path);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* k_opt = "--write-sample=";
  for (int i = 1; i < argc; i++)
    if (strncmp(argv[i], k_opt, strlen(k_opt)) == 0) return write_sample(argv[i] + strlen(k_opt));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

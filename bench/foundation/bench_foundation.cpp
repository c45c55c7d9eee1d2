// Speed of the foundation's hot paths: a log line onto the 160 x 200 debug terminal (with
// and without the log sink in front), 4-byte records through the buffered file against one
// file call each, and a byte translation through a table.
#include "db_term.h"
#include "fc.h"
#include "fs.h"
#include "fs_w32.h"
#include "mem_rt.h"
#include "std_io.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* const LINE =
    "info - src/link/co3964.cpp - Co3964_do: frame sent, 256 data bytes, block check 0x5A\n";

void BM_DbTermPrintLine(benchmark::State& state) {
  DbTerm* p = DbTerm_alloc(160, 200);
  for (auto _ : state) DbTerm_print(p, LINE);
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)strlen(LINE));
  DbTerm_free(p);
}
BENCHMARK(BM_DbTermPrintLine);

void BM_StdIoPrintfToDbTerm(benchmark::State& state) {
  DbTerm* p = DbTerm_alloc(160, 200);
  StdIo_set_stdout(DbTerm_print, p);
  for (auto _ : state) StdIo_printf("info - Rmc_do_write_xbram: a=0x%06x n=%d\n", 0x400100, 256);
  StdIo_set_stdout(nullptr, nullptr);
  DbTerm_free(p);
}
BENCHMARK(BM_StdIoPrintfToDbTerm);

std::string temp_name() {
  char tmpl[] = "/tmp/zent_bench_XXXXXX";
  int fd = mkstemp(tmpl);
  if (fd >= 0) close(fd);
  return tmpl;
}

/* 1 MiB written as 4-byte records: through an Fc of 10240 bytes, or one file call each. */
void BM_FcWrite4ByteRecords(benchmark::State& state) {
  Fs* fs = FsW32_alloc();
  std::string name = temp_name();
  const int n_records = 1 << 18;
  for (auto _ : state) {
    Fc* p = FcOpenCreate(fs, name.c_str(), (int)state.range(0));
    for (int i = 0; i < n_records; i++) FcWrite(p, &i, 4);
    FcClose(p);
  }
  state.SetBytesProcessed((int64_t)state.iterations() * n_records * 4);
  unlink(name.c_str());
  FsW32_free(fs);
}
BENCHMARK(BM_FcWrite4ByteRecords)->Arg(10240)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_MemXlat88(benchmark::State& state) {
  std::vector<uint8_t> src(1 << 16), dst(1 << 16), tab(256);
  for (size_t i = 0; i < src.size(); i++) src[i] = (uint8_t)(i * 7);
  for (int i = 0; i < 256; i++) tab[i] = (uint8_t)(255 - i);
  for (auto _ : state) {
    mem_xlat_8_8(dst.data(), src.data(), (int)src.size(), tab.data());
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)src.size());
}
BENCHMARK(BM_MemXlat88);

}  // namespace

BENCHMARK_MAIN();

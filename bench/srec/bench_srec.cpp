/*
** bench_srec.cpp - the S-record reader's speed beside srec_cat, in one run on one file: a
** 16 MiB S3 file (32 data bytes a line, one start address, no record count) that srec_cat
** writes from deterministic bytes. BM_LoadAndPartitions reads it with MsRecIn_load_file and
** joins it with MsrPart_create_coherent_partitions; BM_SrecCatToBinary has srec_cat turn
** the same file into binary. Both are wall-clock times of one whole file.
*/
#include "ms_rec.h"
#include "ms_rec_in.h"
#include "msr_part.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

/* Bytes of data that make about 16 MiB of S3 lines of 79 characters with 32 bytes each. */
constexpr size_t kDataBytes = (16u << 20) / 79 * 32;

const fs::path kDir = fs::path(ZENT_BINARY_DIR) / "tmp" / "bench_srec";

/* Writes the S3 file once per run; its path. */
const std::string& big_file() {
  static std::string path;
  if (!path.empty()) return path;
  fs::create_directories(kDir);
  fs::path bin = kDir / "data.bin";
  std::mt19937 rng(2024);
  std::string bytes(kDataBytes, '\0');
  for (auto& c : bytes) c = (char)rng();
  std::ofstream(bin, std::ios::binary) << bytes;
  fs::path s3 = kDir / "big.s3";
  std::string cmd = "srec_cat " + bin.string() + " -binary -offset 0x00400000 " +
                    "-execution-start-address 0x00400000 -o " + s3.string() +
                    " -motorola -address-length=4 -line-length=79 -disable=data-count";
  if (std::system(cmd.c_str()) != 0) {
    fprintf(stderr, "bench_srec: srec_cat failed: %s\n", cmd.c_str());
    exit(1);
  }
  path = s3.string();
  return path;
}

void BM_LoadAndPartitions(benchmark::State& state) {
  const std::string& in = big_file();
  for (auto _ : state) {
    MsRecSet* p_raw = MsRecSet_alloc();
    MsRecSet* p_coh = MsRecSet_alloc();
    if (MsRecIn_load_file(p_raw, in.c_str()) != 1 ||
        MsrPart_create_coherent_partitions(p_coh, p_raw) != 1 || Us_get_n_elem(p_coh) != 1) {
      state.SkipWithError("reading the file failed");
    }
    Us_free(p_coh);
    Us_free(p_raw);
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)fs::file_size(in));
}
BENCHMARK(BM_LoadAndPartitions)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SrecCatToBinary(benchmark::State& state) {
  const std::string& in = big_file();
  std::string cmd = "srec_cat " + in + " -o " + (kDir / "out.bin").string() + " -binary";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("srec_cat failed");
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)fs::file_size(in));
}
BENCHMARK(BM_SrecCatToBinary)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Speed of the image model on the loader's own workload: an application set of 693
// partitions and 513835 bytes laid into the 1 MiB application image, the 256-byte block
// scan of that image, and appends to a record set.
#include "ms_rec.h"
#include "uv_mem_presets.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

/* A set of the application set's shape: 693 partitions back to back from 0x400000 with
** small gaps, 513835 bytes in all. */
struct ApplShape {
  ApplShape() {
    const int n_set = 693;
    const uint32_t n_heap = 513835;
    uint32_t a = 0x400000;
    for (int k = 0; k < n_set; k++) {
      uint32_t len = k < n_set - 1 ? n_heap / n_set : n_heap - (n_heap / n_set) * (n_set - 1);
      adr.push_back(a);
      len_.push_back(len);
      a += len + 4;
    }
    heap.assign(n_heap, 0x5A);
    size_t off = 0;
    for (uint32_t len : len_) {
      ptr.push_back(heap.data() + off);
      off += len;
    }
    MsrLin_init_val(&set, n_set, adr.data(), len_.data(), nullptr, ptr.data(), (int)n_heap,
                    heap.data());
  }
  std::vector<uint32_t> adr, len_;
  std::vector<uint8_t> heap;
  std::vector<const uint8_t*> ptr;
  MsrLin set;
};

void BM_MsrLinWriteApplication(benchmark::State& state) {
  ApplShape s;
  UvMem* p = UvMem_alloc_as_zent_appl();
  for (auto _ : state) {
    UvMem_fill(p, 0xFF);
    benchmark::DoNotOptimize(UvMem_MsrLin_write(p, &s.set, nullptr));
  }
  state.SetBytesProcessed(state.iterations() * 513835);
  UvMem_free(p);
}
BENCHMARK(BM_MsrLinWriteApplication)->Unit(benchmark::kMillisecond);

void BM_ScanErasedBlocks(benchmark::State& state) {
  UvMem* p = UvMem_alloc_as_zent_appl();
  UvMem_fill(p, 0xFF);
  for (auto _ : state) {
    uint32_t n_used = 0;
    for (uint32_t a = 0x400000; a < 0x500000; a += 256)
      if (!UvMem_is_filled_with(p, a, 256, 0xFF)) n_used += 256;
    benchmark::DoNotOptimize(n_used);
  }
  state.SetBytesProcessed(state.iterations() * 0x100000);
  UvMem_free(p);
}
BENCHMARK(BM_ScanErasedBlocks)->Unit(benchmark::kMillisecond);

void BM_RecordSetAppend(benchmark::State& state) {
  const uint8_t bytes[32] = {};
  for (auto _ : state) {
    MsRecSet* p = MsRecSet_alloc();
    for (int i = 0; i < state.range(0); i++)
      MsRecSet_postfix_val(p, MSREC_TAG_DATA, (uint32_t)i * 32, 32, bytes);
    Us_free(p);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RecordSetAppend)->Arg(1000)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();

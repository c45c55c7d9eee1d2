// The memory image: range edges, write-protect zones, reads outside, fill tests, and the
// cleanup and lines of a failed allocation.
#include "alloc_seam.h"
#include "log_capture.h"
#include "uv_mem.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct UvMemDeleter {
  void operator()(UvMem* p) const { UvMem_free(p); }
};
using UvMemPtr = std::unique_ptr<UvMem, UvMemDeleter>;

const uint32_t kZoneA[] = {0xFFA000};
const uint32_t kZoneN[] = {0x2000};

TEST(UvMem, RangeEdgesOfTheApplicationArea) {
  UvMemPtr p(UvMem_alloc_val(1, 0x400000, 0x100000, 0, nullptr, nullptr));
  ASSERT_TRUE(p);
  ASSERT_EQ(UvMem_fill(p.get(), 0x00), 1);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x3FFFFF), 0xFF);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x500000), 0xFF);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x4FFFFF), 0x00);
  EXPECT_EQ(UvMem_write_byte(p.get(), 0x4FFFFF, 0x5A), 1);
  EXPECT_EQ(p->p_vmem[0xFFFFF], 0x5A);
  EXPECT_EQ(UvMem_write_byte(p.get(), 0x500000, 0x5A), 0);
  EXPECT_EQ(UvMem_write_byte(p.get(), 0x3FFFFF, 0x5A), 0);  // wraps to a huge index
  EXPECT_EQ(UvMem_adr_to_idx(p.get(), 0x3FFFFF), 0xFFFFFFFFu);
  EXPECT_EQ(UvMem_adr_is_valid(p.get(), 0x3FFFFF), 0);
  EXPECT_EQ(UvMem_idx_is_valid(p.get(), 0x100000), 0);
  EXPECT_EQ(UvMem_idx_to_adr(p.get(), 0xFFFFF), 0x4FFFFFu);
  EXPECT_EQ(UvMem_adr_to_wpz(p.get(), 0x400000), -1);
  EXPECT_EQ(UvMem_get_p_wpz_a_mem(p.get()), nullptr);
  EXPECT_EQ(UvMem_is_kind_set(p.get()), 1);
}

TEST(UvMem, ZoneRefusesWritesButReadsThrough) {
  UvMemPtr p(UvMem_alloc_val(0, 0xFF0000, 0x10000, 1, kZoneA, kZoneN));
  ASSERT_TRUE(p);
  UvMem_fill(p.get(), 0x11);
  EXPECT_EQ(UvMem_write_byte(p.get(), 0xFF9FFF, 1), 1);
  EXPECT_EQ(UvMem_write_byte(p.get(), 0xFFA000, 1), 0);
  EXPECT_EQ(UvMem_write_byte(p.get(), 0xFFBFFF, 1), 0);
  EXPECT_EQ(UvMem_write_byte(p.get(), 0xFFC000, 1), 1);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0xFFA000), 0x11);  // zone bytes still readable
  EXPECT_EQ(UvMem_adr_to_wpz(p.get(), 0xFFBFFF), 0);
  EXPECT_EQ(UvMem_idx_is_writable(p.get(), 0xA000), 0);
  EXPECT_EQ(UvMem_idx_is_writable(p.get(), 0x9FFF), 1);
  EXPECT_EQ(UvMem_idx_is_writable(p.get(), 0x10000), 0);
  EXPECT_NE(UvMem_get_p_wpz_a_mem(p.get()), kZoneA);  // copied, owned by the image
  EXPECT_EQ(UvMem_is_kind_set(p.get()), 0);
}

TEST(UvMem, FirstCoveringZoneWinsAndTopOfAddressSpaceIsProtected) {
  uint32_t a[] = {0x100, 0x80, 0xFFFFF000};
  uint32_t n[] = {0x10, 0x100, 0x1000};  // the second overlaps the first; the third ends
                                        // at 2^32
  uint8_t bytes[16];
  UvMem vm;
  ASSERT_EQ(UvMem_init(&vm, 0, 0xFFFFFFF0, 16, bytes, 3, a, n), &vm);
  EXPECT_EQ(UvMem_adr_to_wpz(&vm, 0x100), 0);
  EXPECT_EQ(UvMem_adr_to_wpz(&vm, 0x110), 1);
  EXPECT_EQ(UvMem_adr_to_wpz(&vm, 0x180), -1);
  EXPECT_EQ(UvMem_adr_to_wpz(&vm, 0xFFFFFFFF), 2);
  EXPECT_EQ(UvMem_write_byte(&vm, 0xFFFFFFFF, 0), 0);
  EXPECT_EQ(UvMem_adr_is_writable(&vm, 0xFFFFFFF0), 0);
}

TEST(UvMem, FilledWithCountsOutsideBytesAsErased) {
  UvMemPtr p(UvMem_alloc_val(1, 0x180000, 0x60000, 0, nullptr, nullptr));
  ASSERT_TRUE(p);
  UvMem_fill(p.get(), 0xFF);
  UvMem_write_byte(p.get(), 0x1DFF00, 0x00);
  EXPECT_EQ(UvMem_is_filled_with(p.get(), 0x1DFF00, 256, 0xFF), 0);
  EXPECT_EQ(UvMem_is_filled_with(p.get(), 0x1DFF01, 512, 0xFF), 1);  // runs past the end
  EXPECT_EQ(UvMem_is_filled_with(p.get(), 0x1DFF00, 0, 0x12), 1);
  EXPECT_EQ(UvMem_is_filled_with(p.get(), 0x1DFF00, -5, 0x12), 1);
  EXPECT_EQ(UvMem_is_filled_with(p.get(), 0x1DFF01, 1, 0x00), 0);
}

TEST(UvMem, NullImageIsAnEmptyImageAtZero) {
  EXPECT_EQ(UvMem_read_byte(nullptr, 0), 0xFF);
  EXPECT_EQ(UvMem_write_byte(nullptr, 0, 1), 0);
  EXPECT_EQ(UvMem_fill(nullptr, 0), 0);
  EXPECT_EQ(UvMem_adr_to_wpz(nullptr, 0), -1);
  EXPECT_EQ(UvMem_adr_is_valid(nullptr, 0), 0);
  EXPECT_EQ(UvMem_adr_to_idx(nullptr, 7), 7u);
  EXPECT_EQ(UvMem_get_p_vmem(nullptr), nullptr);
  EXPECT_EQ(UvMem_free(nullptr), 1);
  EXPECT_EQ(UvMem_is_filled_with(nullptr, 0, 4, 0xFF), 1);
}

TEST(UvMem, InitChecksBuffersAndKeepsTheFields) {
  LogCapture log;
  UvMem vm;
  EXPECT_EQ(UvMem_init(nullptr, 0, 0, 1, nullptr, 0, nullptr, nullptr), nullptr);
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(UvMem_init(&vm, 1, 0x1000, 16, nullptr, 1, nullptr, nullptr), nullptr);
  const std::string pre = "error - src/image/uv_mem.cpp - UvMem_init: ";
  EXPECT_EQ(log.text(), pre + "p -> p_vmem = p_vmem)" + pre +
                            "p -> p_wpz_a_mem = p_wpz_a_mem)" + pre +
                            "p -> p_wpz_n_mem = p_wpz_n_mem)");
  EXPECT_EQ(vm.a_vmem, 0x1000u);
  EXPECT_EQ(UvMem_write_byte(&vm, 0x1000, 0), 0);  // no bytes: refused, not a crash
  EXPECT_EQ(UvMem_read_byte(&vm, 0x1000), 0xFF);
  uint8_t bytes[4];
  log.clear();
  EXPECT_EQ(UvMem_init(&vm, 0, 0, 4, bytes, 0, nullptr, nullptr), &vm);  // no zones: no check
  EXPECT_EQ(log.text(), "");
}

TEST(UvMem, FailedAllocationsLogEachBufferAndLeaveNothing) {
  LogCapture log;
  AllocSeam_fail_mask(0b1110);  // the object succeeds; bytes and both zone tables fail
  EXPECT_EQ(UvMem_alloc_val(0, 0xFF0000, 0x10000, 1, kZoneA, kZoneN), nullptr);
  AllocSeam_fail_mask(0b0001);  // the object itself: no line
  EXPECT_EQ(UvMem_alloc_val(0, 0xFF0000, 0x10000, 1, kZoneA, kZoneN), nullptr);
  AllocSeam_fail_mask(0);
  EXPECT_EQ(log.text(),
            "error - src/image/uv_mem.cpp - UvMem_alloc_val: "
            "p -> p_vmem = __ALLOC (p -> n_vmem * sizeof (*p -> p_vmem)))"
            "error - src/image/uv_mem.cpp - UvMem_alloc_val: "
            "p -> p_wpz_a_mem = __ALLOC (p -> n_wpz * sizeof (* p -> p_wpz_a_mem)))"
            "error - src/image/uv_mem.cpp - UvMem_alloc_val: "
            "p -> p_wpz_n_mem = __ALLOC (p -> n_wpz * sizeof (* p -> p_wpz_n_mem)))");
}

TEST(UvMem, ZonesWithoutInitialTablesCoverNothing) {
  UvMemPtr p(UvMem_alloc_val(0, 0, 16, 2, kZoneA, nullptr));
  ASSERT_TRUE(p);
  EXPECT_EQ(UvMem_get_n_wpz(p.get()), 2);
  EXPECT_EQ(UvMem_adr_to_wpz(p.get(), 0), -1);
  EXPECT_EQ(UvMem_write_byte(p.get(), 0, 3), 1);
}

}  // namespace

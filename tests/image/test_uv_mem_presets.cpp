// Memory-image presets and writers: the fixed areas, the trace lines and refusal address of
// the image-set writer, and the record-set writers with their multiple-write detection.
#include "alloc_seam.h"
#include "log_capture.h"
#include "uv_mem_presets.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct UvMemDeleter {
  void operator()(UvMem* p) const { UvMem_free(p); }
};
using UvMemPtr = std::unique_ptr<UvMem, UvMemDeleter>;

struct RecSet {
  RecSet() : p(MsRecSet_alloc()) {}
  ~RecSet() { Us_free(p); }
  MsRecSet* p;
};

/* A borrowed image set over vectors, laid back to back as the embedded sets are. */
struct LinSet {
  LinSet(std::vector<uint32_t> a_in, std::vector<uint32_t> n_in) : a(a_in), n(n_in) {
    for (uint32_t k : n)
      for (uint32_t j = 0; j < k; j++) heap.push_back((uint8_t)(heap.size() + 1));
    size_t off = 0;
    for (uint32_t k : n) {
      p.push_back(heap.data() + off);
      off += k;
    }
    MsrLin_init_val(&set, (int)a.size(), a.data(), n.data(), nullptr, p.data(), (int)heap.size(),
                    heap.data());
  }
  std::vector<uint32_t> a, n;
  std::vector<uint8_t> heap;
  std::vector<const uint8_t*> p;
  MsrLin set;
};

TEST(UvMemPresets, AreasKindsAndZones) {
  struct {
    UvMem* (*fn)(void);
    uint32_t kind, a, n;
    int n_wpz;
  } const presets[] = {
      {UvMem_alloc_as_zent_appl, 1, 0x400000, 0x100000, 0},
      {UvMem_alloc_as_zent_code_504, 1, 0x180000, 0x60000, 0},
      {UvMem_alloc_as_ff0000, 0, 0xFF0000, 0x10000, 1},
      {UvMem_alloc_as_1e0000, 1, 0x1E0000, 0x14000, 0},
      {UvMem_alloc_as_080000, 1, 0x80000, 0x74000, 0},
      {UvMem_alloc_as_000000, 1, 0, 0x20000, 0},
  };
  for (const auto& e : presets) {
    UvMemPtr p(e.fn());
    ASSERT_TRUE(p);
    EXPECT_EQ(UvMem_get_kind(p.get()), e.kind);
    EXPECT_EQ(UvMem_get_a_vmem(p.get()), e.a);
    EXPECT_EQ(UvMem_get_n_vmem(p.get()), e.n);
    EXPECT_EQ(UvMem_get_n_wpz(p.get()), e.n_wpz);
  }
  UvMemPtr p(UvMem_alloc_as_ff0000());
  EXPECT_EQ(UvMem_adr_is_writable(p.get(), 0xFF9FFF), 1);
  EXPECT_EQ(UvMem_adr_is_writable(p.get(), 0xFFA000), 0);
  EXPECT_EQ(UvMem_adr_is_writable(p.get(), 0xFFBFFF), 0);
  EXPECT_EQ(UvMem_adr_is_writable(p.get(), 0xFFC000), 1);
}

TEST(UvMemPresets, FailedPresetGivesNullAfterTheImageLine) {
  LogCapture log;
  AllocSeam_fail_mask(0b10);
  EXPECT_EQ(UvMem_alloc_as_zent_appl(), nullptr);
  AllocSeam_fail_mask(0);
  EXPECT_TRUE(log.contains("UvMem_alloc_val: p -> p_vmem = __ALLOC"));
}

TEST(UvMemMsrLinWrite, SetInsideTheImageIsWrittenInTableOrder) {
  UvMemPtr p(UvMem_alloc_as_zent_appl());
  UvMem_fill(p.get(), 0xFF);
  LinSet s({0x400010, 0x400000, 0x4FFFFE}, {3, 2, 2});  // table order is not address order
  LogCapture log;
  uint32_t a_fail = 0x12345678;
  EXPECT_EQ(UvMem_MsrLin_write(p.get(), &s.set, &a_fail), 0);
  EXPECT_EQ(log.text(), "**** a_vm=00400000 e_vm=00500000\n");  // no partition notes
  EXPECT_EQ(a_fail, 0x12345678u);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x400010), 1);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x400012), 3);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x400000), 4);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x4FFFFF), 7);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x400002), 0xFF);
}

TEST(UvMemMsrLinWrite, PartitionOnePastTheEndWritesUpToTheEndThenStops) {
  UvMemPtr p(UvMem_alloc_as_zent_code_504());
  UvMem_fill(p.get(), 0xFF);
  LinSet s({0x1DFFFC, 0x180000}, {5, 1});
  LogCapture log;
  uint32_t a_fail = 0;
  EXPECT_EQ(UvMem_MsrLin_write(p.get(), &s.set, &a_fail), 2);
  EXPECT_EQ(a_fail, 0x1E0000u);
  EXPECT_EQ(log.text(), "**** a_vm=00180000 e_vm=001e0000\n");  // both tests 0: no note
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x1DFFFF), 4);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x180000), 0xFF);  // the partition after it: not written
}

TEST(UvMemMsrLinWrite, PartitionEndingInTheZoneIsNotedAndRefusedThere) {
  UvMemPtr p(UvMem_alloc_as_ff0000());
  UvMem_fill(p.get(), 0x00);
  LinSet s({0xFF9FF0}, {0x11});  // last byte 0xFFA000
  LogCapture log;
  uint32_t a_fail = 0;
  EXPECT_EQ(UvMem_MsrLin_write(p.get(), &s.set, &a_fail), 2);
  EXPECT_EQ(a_fail, 0xFFA000u);
  EXPECT_EQ(log.text(), "**** a_vm=00ff0000 e_vm=01000000\n"
                        "partition: a_mem=00ff9ff0 e_mem=00ffa001, is_valid_0=1, is_valid_1=0\n");
  EXPECT_EQ(UvMem_read_byte(p.get(), 0xFF9FFF), 0x10);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0xFFA000), 0x00);
  EXPECT_EQ(UvMem_MsrLin_write(p.get(), &s.set, nullptr), 2);  // no out-parameter: fine
}

TEST(UvMemMsrLinWrite, BadArgumentsAndIncompleteSetsDoNothing) {
  UvMemPtr p(UvMem_alloc_as_000000());
  LinSet s({0}, {1});
  LogCapture log;
  EXPECT_EQ(UvMem_MsrLin_write(nullptr, &s.set, nullptr), 1);
  EXPECT_EQ(UvMem_MsrLin_write(p.get(), nullptr, nullptr), 1);
  MsrLin broken = s.set;
  broken.p_set_p_bytes = nullptr;  // a borrowed set is taken as it comes
  EXPECT_EQ(UvMem_MsrLin_write(p.get(), &broken, nullptr), 1);
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(UvMem_MsRecSet_write(nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(UvMem_MsRecSet_write_ex(p.get(), nullptr, 0xFF, nullptr), 1);
}

TEST(UvMemMsRecSetWrite, RecordsInSetOrderEndRecordAddsNothing) {
  UvMemPtr p(UvMem_alloc_as_000000());
  UvMem_fill(p.get(), 0xFF);
  RecSet rs;
  const uint8_t b[] = {0xA1, 0xA2, 0xB1};
  MsRecSet_postfix_val(rs.p, MSREC_TAG_DATA, 0x10, 2, b);
  MsRecSet_postfix_val(rs.p, MSREC_TAG_DATA, 0x11, 1, b + 2);  // later record overwrites
  MsRecSet_postfix_val(rs.p, MSREC_TAG_START, 0x30, 0, nullptr);
  EXPECT_EQ(UvMem_MsRecSet_write(p.get(), rs.p, nullptr), 0);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x10), 0xA1);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x11), 0xB1);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x30), 0xFF);
  MsRecSet_postfix_val(rs.p, MSREC_TAG_DATA, 0x1FFFF, 2, b);
  uint32_t a_fail = 0;
  EXPECT_EQ(UvMem_MsRecSet_write(p.get(), rs.p, &a_fail), 2);
  EXPECT_EQ(a_fail, 0x20000u);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x1FFFF), 0xA1);
}

TEST(UvMemMsRecSetWriteEx, OverlapIsWarnedPerAddressFirstWriterKeepsIt) {
  UvMemPtr p(UvMem_alloc_as_000000());
  UvMem_fill(p.get(), 0xFF);
  RecSet rs;
  const uint8_t first[] = {1, 2, 3, 4};
  const uint8_t second[] = {9, 9, 9};
  const uint8_t third[] = {7};
  MsRecSet_postfix_val(rs.p, MSREC_TAG_DATA, 0x100, 4, first);
  MsRecSet_postfix_val(rs.p, MSREC_TAG_DATA, 0x102, 3, second);  // 0x102, 0x103 overlap
  MsRecSet_postfix_val(rs.p, MSREC_TAG_DATA, 0x200, 1, third);   // written after the overlap
  LogCapture log;
  uint32_t a_fail = 0;
  EXPECT_EQ(UvMem_MsRecSet_write_ex(p.get(), rs.p, 0xFF, &a_fail), 3);
  EXPECT_EQ(a_fail, 0x103u);  // the latest address found written
  const std::string pre =
      "warning - src/image/uv_mem_presets.cpp - UvMem_MsRecSet_write_ex: ";
  EXPECT_EQ(log.text(), pre + "multiple write access at address 00000102" + pre +
                            "multiple write access at address 00000103");
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x102), 3);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x103), 4);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x104), 9);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0x200), 7);
}

TEST(UvMemMsRecSetWriteEx, RefusalWinsOverAnEarlierMultipleWrite) {
  UvMemPtr p(UvMem_alloc_as_ff0000());
  UvMem_fill(p.get(), 0x00);
  RecSet rs;
  const uint8_t b[] = {5, 6};
  MsRecSet_postfix_val(rs.p, MSREC_TAG_DATA, 0xFF0000, 1, b);
  MsRecSet_postfix_val(rs.p, MSREC_TAG_DATA, 0xFF0000, 1, b + 1);  // multiple write
  MsRecSet_postfix_val(rs.p, MSREC_TAG_DATA, 0xFF9FFF, 2, b);      // into the zone
  uint32_t a_fail = 0;
  EXPECT_EQ(UvMem_MsRecSet_write_ex(p.get(), rs.p, 0x00, &a_fail), 2);
  EXPECT_EQ(a_fail, 0xFFA000u);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0xFF0000), 5);
  EXPECT_EQ(UvMem_read_byte(p.get(), 0xFF9FFF), 5);
}

}  // namespace

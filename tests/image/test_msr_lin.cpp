// Linear image sets: built from record sets (data records only, record order, heap laid
// back to back), borrowed tables, and the cleanup and lines of a failed allocation.
#include "alloc_seam.h"
#include "log_capture.h"
#include "msr_lin.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const uint8_t kBytes[] = {1, 2, 3, 4, 5, 6};

struct RecSet {
  RecSet() : p(MsRecSet_alloc()) {}
  ~RecSet() { Us_free(p); }
  MsRecSet* p;
};

TEST(MsrLin, FromRecordSetTakesDataRecordsInOrder) {
  RecSet rs;
  MsRecSet_postfix_val(rs.p, MSREC_TAG_START, 0x999, 0, nullptr);  // leading end record
  MsRecSet_postfix_val(rs.p, MSREC_TAG_DATA, 0x500, 4, kBytes);
  MsRecSet_postfix_val(rs.p, MSREC_TAG_DATA, 0x100, 0, nullptr);
  MsRecSet_postfix_val(rs.p, MSREC_TAG_DATA, 0x300, 2, kBytes + 4);
  MsRecSet_postfix_val(rs.p, MSREC_TAG_START, 0x500, 0, nullptr);
  EXPECT_EQ(MsrLin_count_sets(rs.p), 3);
  EXPECT_EQ(MsrLin_count_heap(rs.p), 6);
  MsrLin* p = MsrLin_alloc_from_msrec_set(rs.p);
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(MsrLin_get_n_set(p), 3);
  EXPECT_EQ(MsrLin_get_n_heap(p), 6);
  const uint32_t* a = MsrLin_get_p_set_a_bytes(p);
  const uint32_t* n = MsrLin_get_p_set_n_bytes(p);
  const uint32_t* i = MsrLin_get_p_set_i_bytes(p);
  const uint8_t* const* pb = MsrLin_get_p_set_p_bytes(p);
  EXPECT_EQ(a[0], 0x500u);  // record order, not address order
  EXPECT_EQ(a[1], 0x100u);
  EXPECT_EQ(a[2], 0x300u);
  EXPECT_EQ(n[0] + n[1] + n[2], 6u);
  EXPECT_EQ(i[0], 0u);
  EXPECT_EQ(i[1], 4u);
  EXPECT_EQ(i[2], 4u);
  for (int k = 0; k < 3; k++) EXPECT_EQ(pb[k], MsrLin_get_p_heap(p) + i[k]);
  EXPECT_EQ(std::string((const char*)MsrLin_get_p_heap(p), 6),
            std::string((const char*)kBytes, 6));
  EXPECT_NE(MsrLin_get_p_heap(p), kBytes);
  MsrLin_free(p);
}

TEST(MsrLin, EmptyRecordSetGivesEmptySetNullGivesNull) {
  RecSet rs;
  MsrLin* p = MsrLin_alloc_from_msrec_set(rs.p);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(MsrLin_get_n_set(p), 0);
  EXPECT_EQ(MsrLin_get_n_heap(p), 0);
  MsrLin_free(p);
  EXPECT_EQ(MsrLin_alloc_from_msrec_set(nullptr), nullptr);
  EXPECT_EQ(MsrLin_count_sets(nullptr), 0);
  EXPECT_EQ(MsrLin_count_heap(nullptr), 0);
  EXPECT_EQ(MsrLin_free(nullptr), 1);
  EXPECT_EQ(MsrLin_get_p_heap(nullptr), nullptr);
}

TEST(MsrLin, HeapSumThatDoesNotFitIsRefused) {
  RecSet rs;
  for (int k = 0; k < 3; k++) MsRecSet_postfix_val(rs.p, MSREC_TAG_DATA, 0, 1, kBytes);
  // Counts of 2 GiB, 2 GiB and 1, claimed without buffers: their 32-bit sum wraps to 1, and
  // nothing may size a heap from it and then copy the records into it.
  MsRecSet_idx_to_ptr(rs.p, 0)->n_bytes = 0x80000000u;
  MsRecSet_idx_to_ptr(rs.p, 1)->n_bytes = 0x80000000u;
  EXPECT_EQ(MsrLin_count_heap(rs.p), -1);
  LogCapture log;
  EXPECT_EQ(MsrLin_alloc_from_msrec_set(rs.p), nullptr);
  EXPECT_TRUE(log.contains("MsrLin_alloc: p -> p_heap = __ALLOC"));
}

TEST(MsrLin, InitValBorrowsTablesAsTheyCome) {
  static const uint32_t a[] = {0x400100, 0x400000};
  static const uint32_t n[] = {2, 1};
  static const uint8_t heap[] = {7, 8, 9};
  static const uint8_t* const pb[] = {heap, heap + 2};
  MsrLin set;
  EXPECT_EQ(MsrLin_init_val(nullptr, 2, a, n, nullptr, pb, 3, heap), nullptr);
  ASSERT_EQ(MsrLin_init_val(&set, 2, a, n, nullptr, pb, 3, heap), &set);
  EXPECT_EQ(MsrLin_get_p_set_a_bytes(&set), a);
  EXPECT_EQ(MsrLin_get_p_set_i_bytes(&set), nullptr);
  EXPECT_EQ(MsrLin_get_p_set_p_bytes(&set)[1][0], 9);
  EXPECT_EQ(MsrLin_get_p_heap(&set), heap);
}

TEST(MsrLin, FailedAllocationsAreAllAttemptedLoggedAndReleased) {
  LogCapture log;
  AllocSeam_fail_mask(0b111110);  // the object succeeds; four tables and the heap fail
  EXPECT_EQ(MsrLin_alloc(3, 10), nullptr);
  EXPECT_EQ(AllocSeam_get_n_calls(), 6);
  AllocSeam_fail_mask(0b000100);  // one table only: the others are released again
  EXPECT_EQ(MsrLin_alloc(3, 10), nullptr);
  AllocSeam_fail_mask(0);
  const std::string pre = "error - src/image/msr_lin.cpp - MsrLin_alloc: ";
  EXPECT_EQ(log.text(),
            pre + "p -> p_set_a_bytes = __ALLOC (n_set * sizeof (* p -> p_set_a_bytes)))" +
            pre + "p -> p_set_n_bytes = __ALLOC (n_set * sizeof (* p -> p_set_n_bytes)))" +
            pre + "p -> p_set_i_bytes = __ALLOC (n_set * sizeof (* p -> p_set_i_bytes)))" +
            pre + "p -> p_set_p_bytes = __ALLOC (n_set * sizeof (* p -> p_set_p_bytes)))" +
            pre + "p -> p_heap = __ALLOC (n_heap * sizeof (* p -> p_heap)))" +
            pre + "p -> p_set_n_bytes = __ALLOC (n_set * sizeof (* p -> p_set_n_bytes)))");
}

}  // namespace

// Memory records and record sets: buffer ownership, copies, append order, the end record,
// tag filters, and the cleanup after a failed allocation.
#include "alloc_seam.h"
#include "log_capture.h"
#include "ms_rec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const uint8_t kBytes[] = {1, 2, 3, 4, 5, 6};

std::string tags(const MsRecSet* p) {
  std::string s;
  for (int i = 0; i < Us_get_n_elem(p); i++) {
    MsRec* r = MsRecSet_idx_to_ptr(p, i);
    s += std::to_string(MsRec_get_tag(r)) + "@" + std::to_string(MsRec_get_adr(r)) + ",";
  }
  return s;
}

TEST(MsRec, RecordOwnsACopyOfItsBytes) {
  uint8_t src[4] = {9, 8, 7, 6};
  MsRec* p = MsRec_alloc_val(MSREC_TAG_DATA, 0x400000, 4, src);
  ASSERT_NE(p, nullptr);
  src[0] = 0;
  EXPECT_NE(MsRec_get_p_bytes(p), src);
  EXPECT_EQ(MsRec_get_p_bytes(p)[0], 9);
  EXPECT_EQ(MsRec_get_n_bytes(p), 4u);
  MsRec* q = MsRec_alloc_copy(p);
  ASSERT_NE(q, nullptr);
  EXPECT_NE(MsRec_get_p_bytes(q), MsRec_get_p_bytes(p));
  EXPECT_EQ(memcmp(MsRec_get_p_bytes(q), MsRec_get_p_bytes(p), 4), 0);
  MsRec_free(p);
  EXPECT_EQ(MsRec_get_p_bytes(q)[3], 6);  // the copy outlives its origin
  MsRec_free(q);
}

TEST(MsRec, EndRecordHasOneByteBufferAndCopiesNothing) {
  AllocSeam_fail_mask(0);
  MsRec* p = MsRec_alloc_val(MSREC_TAG_START, 0x400100, 0, nullptr);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(AllocSeam_get_n_calls(), 2);
  ASSERT_NE(MsRec_get_p_bytes(p), nullptr);
  MsRec_free(p);
  // n_bytes 0 with a source reads nothing from it (a one-byte source would not do for more)
  uint8_t one = 0xAB;
  p = MsRec_alloc_val(MSREC_TAG_DATA, 0, 0, &one);
  ASSERT_NE(p, nullptr);
  MsRec_free(p);
  MsRec_free(nullptr);
  EXPECT_EQ(MsRec_alloc_copy(nullptr), nullptr);
  EXPECT_EQ(MsRec_get_tag(nullptr), 0u);
  EXPECT_EQ(MsRec_get_p_bytes(nullptr), nullptr);
}

TEST(MsRec, FailedBufferLogsAndReleasesTheRecord) {
  LogCapture log;
  AllocSeam_fail_mask(1u << 1);  // the record succeeds, its buffer fails
  EXPECT_EQ(MsRec_alloc_val(MSREC_TAG_DATA, 0, 6, kBytes), nullptr);
  AllocSeam_fail_mask(1u << 0);  // the record itself fails: no line
  EXPECT_EQ(MsRec_alloc_val(MSREC_TAG_DATA, 0, 6, kBytes), nullptr);
  AllocSeam_fail_mask(0);
  EXPECT_EQ(log.text(), "error - src/image/ms_rec.cpp - MsRec_alloc_val: "
                        "p -> p_bytes = __ALLOC (U_MAX (1, n_bytes)))");
}

TEST(MsRecSet, AppendKeepsOrderAndTheSetOwnsItsRecords) {
  MsRecSet* p = MsRecSet_alloc();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(MsRecSet_postfix_val(p, MSREC_TAG_DATA, 30, 2, kBytes), 0);
  EXPECT_EQ(MsRecSet_postfix_val(p, MSREC_TAG_DATA, 10, 6, kBytes), 1);
  MsRec* mine = MsRec_alloc_val(MSREC_TAG_START, 20, 0, nullptr);
  EXPECT_EQ(MsRecSet_postfix_copy(p, mine), 2);
  EXPECT_NE(MsRecSet_idx_to_ptr(p, 2), mine);  // a copy; ours is still ours
  MsRec_free(mine);
  EXPECT_EQ(tags(p), "10@30,10@10,11@20,");  // append order, not address order
  EXPECT_EQ(MsRecSet_idx_to_ptr(p, 3), nullptr);
  EXPECT_EQ(MsRec_get_p_bytes(MsRecSet_idx_to_ptr(p, 1))[5], 6);
  Us* p_copy = Us_copy(p);  // the set's callbacks make deep copies
  EXPECT_EQ(tags(p_copy), tags(p));
  EXPECT_NE(MsRecSet_idx_to_ptr(p_copy, 0), MsRecSet_idx_to_ptr(p, 0));
  Us_free(p_copy);
  Us_free(p);  // frees the records (the sanitizer build checks for leaks)
}

TEST(MsRecSet, FailedAppendsLeaveNothingBehind) {
  AllocSeam_fail_mask(0);
  EXPECT_EQ(MsRecSet_postfix_val(nullptr, MSREC_TAG_DATA, 0, 2, kBytes), -1);
  EXPECT_EQ(AllocSeam_get_n_calls(), 0);  // no record made for a NULL set
  MsRecSet* p = MsRecSet_alloc();
  LogCapture log;
  AllocSeam_fail_mask(1u << 2);  // record and buffer succeed, the first carrier fails
  EXPECT_EQ(MsRecSet_postfix_val(p, MSREC_TAG_DATA, 0, 2, kBytes), -1);
  AllocSeam_fail_mask(0);
  EXPECT_TRUE(log.contains("Us_infix_ptr: __adjust_carrier failed"));
  EXPECT_EQ(Us_get_n_elem(p), 0);
  EXPECT_EQ(MsRecSet_postfix_copy(nullptr, nullptr), -1);
  Us_free(p);
}

TEST(MsRecSet, CopyTagAppendsMatchesInSourceOrder) {
  MsRecSet* src = MsRecSet_alloc();
  MsRecSet* dst = MsRecSet_alloc();
  MsRecSet_postfix_val(dst, 5, 1, 0, nullptr);
  for (uint32_t t : {10u, 11u, 10u, 12u})
    MsRecSet_postfix_val(src, t, t * 100 + Us_get_n_elem(src), 1, kBytes);
  EXPECT_EQ(MsRecSet_postfix_copy_tag(dst, src, 99), 0);
  EXPECT_EQ(tags(dst), "5@1,");
  EXPECT_EQ(MsRecSet_postfix_copy_tag(dst, src, 10), 2);
  EXPECT_EQ(tags(dst), "5@1,10@1000,10@1002,");
  EXPECT_EQ(MsRecSet_postfix_copy_tag(src, src, 11), 1);  // onto itself: ends
  EXPECT_EQ(Us_get_n_elem(src), 5);
  EXPECT_EQ(MsRecSet_postfix_copy_tag(nullptr, src, 10), -1);
  Us_free(src);
  Us_free(dst);
}

TEST(MsRecSet, DeleteTagsNotInListWalksFromTheEnd) {
  MsRecSet* p = MsRecSet_alloc();
  MsRecSet_postfix_val(p, 10, 1, 1, kBytes);
  MsRecSet_postfix_val(p, 11, 2, 0, nullptr);
  MsRecSet_postfix_val(p, 10, 3, 1, kBytes);
  const uint32_t list[] = {10};
  LogCapture log;
  EXPECT_EQ(MsRecSet_del_tags_not_in_list(p, 1, list), 1);
  EXPECT_EQ(log.text(), "tag 11 is not in list, delete it\n");
  EXPECT_EQ(tags(p), "10@1,10@3,");
  EXPECT_EQ(MsRecSet_del_tags_not_in_list(p, 1, nullptr), 0);
  EXPECT_EQ(Us_get_n_elem(p), 2);
  MsRecSet_postfix_val(p, 12, 4, 0, nullptr);
  log.clear();
  EXPECT_EQ(MsRecSet_del_tags_not_in_list(p, 0, list), 1);  // empty list: all go
  EXPECT_EQ(log.text(), "tag 12 is not in list, delete it\n"
                        "tag 10 is not in list, delete it\n"
                        "tag 10 is not in list, delete it\n");
  EXPECT_EQ(Us_get_n_elem(p), 0);
  EXPECT_EQ(MsRecSet_del_tags_not_in_list(nullptr, 1, list), 0);
  Us_free(p);
}

}  // namespace

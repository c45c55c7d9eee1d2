// The pointer container: carrier paging, inserts and deletes at the range edges, ownership
// on failure, range copies and appends, sorting. Elements are counted ints so that every
// copy and release shows.
#include "alloc_seam.h"
#include "log_capture.h"
#include "us.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int n_live = 0;    // elements made by the test and not yet released
int n_copies = 0;  // calls of the copy callback
int n_frees = 0;   // calls of the free callback
bool copy_fails = false;

int* make(int v) {
  n_live++;
  return new int(v);
}

void* cb_copy(void* po) {
  n_copies++;
  if (copy_fails) return nullptr;
  return make(*(int*)po);
}

void cb_free(void* po) {
  n_frees++;
  n_live--;
  delete (int*)po;
}

int cb_compare(void* a, void* b) { return *(int*)a - *(int*)b; }

int val(const Us* p, int idx) { return *(int*)Us_idx_to_ptr(p, idx); }

std::string vals(const Us* p) {
  std::string s;
  for (int i = 0; i < Us_get_n_elem(p); i++) s += std::to_string(val(p, i)) + ",";
  return s;
}

class UsTest : public ::testing::Test {
protected:
  void SetUp() override {
    n_live = n_copies = n_frees = 0;
    copy_fails = false;
    AllocSeam_fail_mask(0);
    p = Us_alloc(cb_copy, cb_free, nullptr, nullptr, cb_compare);
    ASSERT_NE(p, nullptr);
  }
  void TearDown() override {
    AllocSeam_fail_mask(0);
    Us_free(p);
    EXPECT_EQ(n_live, 0) << "elements leaked or released twice";
  }
  // Appends n elements holding their positions.
  void fill(int n) {
    for (int i = 0; i < n; i++) {
      int32_t idx = Us_get_n_elem(p);
      ASSERT_EQ(Us_postfix_ptr(p, make(idx)), idx);
    }
  }
  Us* p = nullptr;
};

const char* const kSrc = "src/foundation/us.cpp - ";

TEST_F(UsTest, CarrierGrowsOnePageAtTheSeventeenthAndThirtyThirdElement) {
  EXPECT_EQ(p->n_tab, 0);
  EXPECT_EQ(p->m_tab, 0);
  EXPECT_EQ(p->p_tab, nullptr);
  fill(1);
  EXPECT_EQ(p->m_tab, 16);
  fill(15);
  EXPECT_EQ(p->m_tab, 16);
  ASSERT_EQ(Us_postfix_ptr(p, make(16)), 16);
  EXPECT_EQ(p->m_tab, 32);
  for (int i = 17; i < 32; i++) Us_postfix_ptr(p, make(i));
  EXPECT_EQ(p->m_tab, 32);
  Us_postfix_ptr(p, make(32));
  EXPECT_EQ(p->m_tab, 48);
}

TEST_F(UsTest, CarrierShrinksOnlyBeyondOneSparePage) {
  fill(33);
  ASSERT_EQ(p->m_tab, 48);
  while (Us_get_n_elem(p) > 17) ASSERT_EQ(Us_del_idx(p, 0), 1);
  EXPECT_EQ(p->m_tab, 48);  // 17 need two pages: no spare page beyond one yet
  ASSERT_EQ(Us_del_idx(p, 0), 1);
  EXPECT_EQ(p->m_tab, 32);  // 16 left
  while (Us_get_n_elem(p) > 1) Us_del_idx(p, 0);
  EXPECT_EQ(p->m_tab, 32);
  Us_del_idx(p, 0);
  EXPECT_EQ(p->m_tab, 16);  // a carrier stays until Us_free
  EXPECT_EQ(n_frees, 33);
}

TEST_F(UsTest, ClearReleasesInOrderAndKeepsOnePage) {
  fill(40);
  Us_clear(p);
  EXPECT_EQ(Us_get_n_elem(p), 0);
  EXPECT_EQ(p->m_tab, 16);
  EXPECT_EQ(n_live, 0);
  EXPECT_EQ(Us_clear(nullptr), nullptr);
  EXPECT_EQ(Us_free(nullptr), 1);
}

TEST_F(UsTest, InsertAtBothEdgesAndInTheMiddleKeepsOrder) {
  fill(3);                                  // 0,1,2
  EXPECT_EQ(Us_infix_ptr(p, make(9), 3), 3);  // at n_tab: append
  EXPECT_EQ(Us_prefix_ptr(p, make(7)), 0);
  EXPECT_EQ(Us_infix_ptr(p, make(8), 2), 2);
  EXPECT_EQ(vals(p), "7,0,8,1,2,9,");
  ASSERT_EQ(Us_del_idx(p, 5), 1);  // last
  ASSERT_EQ(Us_del_idx(p, 0), 1);  // first
  EXPECT_EQ(vals(p), "0,8,1,2,");
}

TEST_F(UsTest, InsertPastTheEndFailsWithRangeLineAndCallerKeepsElement) {
  fill(2);
  LogCapture log;
  int* po = make(5);
  EXPECT_EQ(Us_infix_ptr(p, po, 3), -1);
  EXPECT_EQ(log.text(), std::string("error - ") + kSrc +
                            "Us_infix_ptr: idx=3 out of range, valid range is [0..2]");
  EXPECT_EQ(Us_infix_ptr(p, po, -1), -1);
  EXPECT_EQ(Us_get_n_elem(p), 2);
  EXPECT_EQ(Us_ptr_to_idx(p, po), -1);
  EXPECT_EQ(n_frees, 0);
  cb_free(po);  // still ours
}

TEST_F(UsTest, InsertRefusesNullElementAndNullContainer) {
  LogCapture log;
  EXPECT_EQ(Us_postfix_ptr(p, nullptr), -1);
  int* po = make(1);
  EXPECT_EQ(Us_postfix_ptr(nullptr, po), -1);
  EXPECT_EQ(Us_postfix_copy(nullptr, po), -1);  // no copy callback to reach: refused
  EXPECT_EQ(n_copies, 0);
  EXPECT_TRUE(log.contains("Us_infix_ptr: po == NULL"));
  EXPECT_TRUE(log.contains("Us_infix_ptr: p == NULL"));
  EXPECT_TRUE(log.contains("Us_infix_copy: p == NULL"));
  cb_free(po);
}

TEST_F(UsTest, FailedCarrierGrowthKeepsContainerAndElementWithCaller) {
  fill(16);
  void** p_tab_old = p->p_tab;
  LogCapture log;
  AllocSeam_fail_mask(1);
  int* po = make(16);
  EXPECT_EQ(Us_postfix_ptr(p, po), -1);
  EXPECT_EQ(log.text(), std::string("error - ") + kSrc +
                            "__realloc_carrier: p_tab_new == NULL (__k_pages_new = 2)"
                            "error - " + kSrc + "Us_infix_ptr: __adjust_carrier failed");
  EXPECT_EQ(p->p_tab, p_tab_old);
  EXPECT_EQ(p->m_tab, 16);
  EXPECT_EQ(Us_get_n_elem(p), 16);
  EXPECT_EQ(val(p, 15), 15);
  cb_free(po);
}

TEST_F(UsTest, FailedCopyInsertReleasesTheCopy) {
  fill(16);
  int v = 3;
  LogCapture log;
  AllocSeam_fail_mask(1);  // the copy is made outside the seam; the carrier growth fails
  EXPECT_EQ(Us_postfix_copy(p, &v), -1);
  EXPECT_TRUE(log.contains("Us_infix_copy: Us_infix_ptr failed"));
  EXPECT_EQ(n_copies, 1);
  EXPECT_EQ(n_frees, 1);  // the copy, not the caller's element
  EXPECT_EQ(Us_get_n_elem(p), 16);
}

TEST_F(UsTest, CopyCallbackReturningNullCallsNothingElse) {
  copy_fails = true;
  int v = 3;
  LogCapture log;
  EXPECT_EQ(Us_prefix_copy(p, &v), -1);
  EXPECT_EQ(log.text(), std::string("error - ") + kSrc + "Us_infix_copy: po_new == NULL");
  EXPECT_EQ(n_frees, 0);
  EXPECT_EQ(p->p_tab, nullptr);
}

TEST_F(UsTest, DeleteOutOfRangeShowsUpperBound) {
  LogCapture log;
  EXPECT_EQ(Us_del_idx(p, 0), 0);
  fill(2);
  EXPECT_EQ(Us_del_idx(p, 2), 0);
  EXPECT_EQ(log.text(), std::string("error - ") + kSrc +
                            "Us_del_idx: idx=0 out of range, valid range is [0..-1]"
                            "error - " + kSrc +
                            "Us_del_idx: idx=2 out of range, valid range is [0..1]");
  EXPECT_EQ(n_frees, 0);
}

TEST_F(UsTest, LookupsSilentOutsideAndByIdentity) {
  fill(2);
  int same_value = 1;
  LogCapture log;
  EXPECT_EQ(Us_idx_to_ptr(p, -1), nullptr);
  EXPECT_EQ(Us_idx_to_ptr(p, 2), nullptr);
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(Us_ptr_to_idx(p, &same_value), -1);  // equal contents, other pointer
  EXPECT_EQ(Us_ptr_to_idx(p, Us_idx_to_ptr(p, 1)), 1);
  EXPECT_EQ(Us_idx_to_ptr(nullptr, 0), nullptr);
  EXPECT_EQ(Us_ptr_to_idx(nullptr, &same_value), -1);
  EXPECT_EQ(Us_is_empty(nullptr), 1);
}

TEST_F(UsTest, RangeCopyPastTheEndFailsAndLeavesNothing) {
  fill(4);
  LogCapture log;
  EXPECT_EQ(Us_copy_n_elem_from_idx(p, 2, 3), nullptr);
  EXPECT_TRUE(log.contains("Us_copy_n_elem_from_idx: p_src == NULL"));
  EXPECT_EQ(n_copies, 2);
  EXPECT_EQ(n_live, 4);  // both copies released again
}

TEST_F(UsTest, RangeCopiesKeepCallbacksAndOrder) {
  fill(4);
  Us* p_empty = Us_copy_n_elem_from_idx(p, 2, 0);
  ASSERT_NE(p_empty, nullptr);
  EXPECT_EQ(Us_get_n_elem(p_empty), 0);
  EXPECT_EQ(p_empty->cb_copy, p->cb_copy);
  EXPECT_EQ(p_empty->cb_compare, cb_compare);
  EXPECT_EQ(p_empty->cb_reserved_1, Us_default_reserved_1);
  Us* p_mid = Us_copy_n_elem_from_idx(p, 1, 2);
  Us* p_all = Us_copy(p);
  EXPECT_EQ(vals(p_mid), "1,2,");
  EXPECT_EQ(vals(p_all), "0,1,2,3,");
  EXPECT_NE(Us_idx_to_ptr(p_all, 0), Us_idx_to_ptr(p, 0));  // deep
  Us_free(p_empty);
  Us_free(p_mid);
  Us_free(p_all);
}

TEST_F(UsTest, AppendFromItselfDoublesOnce) {
  fill(3);
  EXPECT_EQ(Us_postfix_n_elem_from_idx(p, p, 0, -1), 1);
  EXPECT_EQ(vals(p), "0,1,2,0,1,2,");
}

TEST_F(UsTest, AppendRangePastTheEndKeepsWhatWasAppended) {
  fill(1);
  Us* p_src = Us_alloc(cb_copy, cb_free, nullptr, nullptr, nullptr);
  for (int v : {5, 6, 7}) Us_postfix_ptr(p_src, make(v));
  LogCapture log;
  EXPECT_EQ(Us_postfix_n_elem_from_idx(p, p_src, 1, 5), 0);
  EXPECT_TRUE(log.contains("Us_postfix_n_elem_from_idx: p_el == NULL"));
  EXPECT_EQ(vals(p), "0,6,7,");
  EXPECT_EQ(Us_postfix_n_elem_from_idx(p, nullptr, 0, -1), 0);
  EXPECT_EQ(Us_postfix_n_elem_from_idx(nullptr, p_src, 0, -1), 0);
  Us_free(p_src);
}

TEST_F(UsTest, RangesNearTheLargestIndexFailInsteadOfWrapping) {
  fill(2);
  LogCapture log;
  // idx + n - 1 passes the largest int: a wrapped end would skip the loop and report a
  // range that was never appended as done.
  EXPECT_EQ(Us_postfix_n_elem_from_idx(p, p, INT32_MAX, 2), 0);
  EXPECT_EQ(Us_copy_n_elem_from_idx(p, INT32_MAX, INT32_MAX), nullptr);
  EXPECT_EQ(log.calls(), (std::vector<std::string>{
                             std::string("error - ") + kSrc + "Us_postfix_n_elem_from_idx: p_el == NULL",
                             std::string("error - ") + kSrc + "Us_copy_n_elem_from_idx: p_src == NULL"}));
  EXPECT_EQ(Us_get_n_elem(p), 2);
  log.clear();
  EXPECT_EQ(Us_copy(nullptr), nullptr);
  EXPECT_EQ(log.text(), std::string("error - ") + kSrc + "Us_alloc_inherit: p_base == NULL" +
                            "error - " + kSrc + "Us_copy_n_elem_from_idx: pUs_new == NULL");
  EXPECT_EQ(n_copies, 0);
}

TEST_F(UsTest, SortOrdersByCompareAndDefaultStaysInBounds) {
  for (int v : {5, 3, 9, 1, 7, 3, 0, 8, 2, 6, 4, 11, 10, 15, 12, 14, 13, 16, 18, 17})
    Us_postfix_ptr(p, make(v));
  EXPECT_EQ(Us_sort(p), 1);
  EXPECT_EQ(vals(p), "0,1,2,3,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,");
  Us* q = Us_alloc(cb_copy, cb_free, nullptr, nullptr, nullptr);
  for (int i = 0; i < 100; i++) Us_postfix_ptr(q, make(i));
  EXPECT_EQ(Us_sort(q), 1);  // "-1 for every pair": any order, but all elements kept
  int sum = 0;
  for (int i = 0; i < 100; i++) sum += val(q, i);
  EXPECT_EQ(sum, 4950);
  Us_free(q);
  EXPECT_EQ(Us_sort(nullptr), 0);
}

TEST(UsAlloc, FailedAllocationLogsAndDefaultsAreInPlace) {
  LogCapture log;
  AllocSeam_fail_mask(1);
  EXPECT_EQ(Us_alloc(cb_copy, cb_free, nullptr, nullptr, nullptr), nullptr);
  AllocSeam_fail_mask(0);
  EXPECT_EQ(log.text(), "error - src/foundation/us.cpp - Us_alloc: p == NULL");
  EXPECT_EQ(Us_alloc_inherit(nullptr), nullptr);
  EXPECT_TRUE(log.contains("Us_alloc_inherit: p_base == NULL"));
  Us* p = Us_alloc(nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(p->cb_reserved_1(nullptr), -1);
  EXPECT_EQ(p->cb_reserved_2(nullptr), 0);
  EXPECT_EQ(p->cb_compare(nullptr, nullptr), -1);
  EXPECT_EQ(Us_unimplemented_1(), -1);
  EXPECT_EQ(Us_unimplemented_2(), -1);
  Us_free(p);
}

}  // namespace

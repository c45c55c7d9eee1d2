// String functions: NULL tolerance, trailing-blank rules, the bounded copy and in-place trims.
#include "strx.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(Strx, LengthsCountOnlyTheBlankAsBlank) {
  EXPECT_EQ(strx_len(nullptr), 0);
  EXPECT_EQ(strx_len_trim(nullptr), 0);
  EXPECT_EQ(strx_len("abc"), 3);
  EXPECT_EQ(strx_len_trim("ab  "), 2);
  EXPECT_EQ(strx_len_trim("   "), 0);
  EXPECT_EQ(strx_len_trim(""), 0);
  EXPECT_EQ(strx_len_trim("a\t"), 2);
  EXPECT_EQ(strx_len_trim(" a b "), 4);
}

TEST(Strx, BoundedCopyKeepsAtMostTwoLessThanTheRoom) {
  char buf[16];
  memset(buf, '#', sizeof(buf));
  EXPECT_EQ(strx_cpy_n(10, buf, "abcdefghij"), buf);
  EXPECT_STREQ(buf, "abcdefgh");
  EXPECT_EQ(buf[9], '#');  // the last byte of the room is never used
  strx_cpy_n(10, buf, "abcdefg");
  EXPECT_STREQ(buf, "abcdefg");
  strx_cpy_n(2, buf, "abc");
  EXPECT_STREQ(buf, "");
  memset(buf, '#', sizeof(buf));
  strx_cpy_n(1, buf, "abc");
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(buf[1], '#');
  memset(buf, '#', sizeof(buf));
  EXPECT_EQ(strx_cpy_n(0, buf, "abc"), buf);
  EXPECT_EQ(strx_cpy_n(-5, buf, "abc"), buf);
  EXPECT_EQ(buf[0], '#');
  LogCapture log;
  EXPECT_EQ(strx_cpy_n(10, nullptr, "abc"), nullptr);
  EXPECT_EQ(strx_cpy_n(10, buf, nullptr), buf);
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(log.text(), "");
}

TEST(Strx, CopyAndAppendWithTheirNullLines) {
  char buf[32];
  EXPECT_EQ(strx_cpy(buf, "ab"), buf);
  EXPECT_EQ(strx_cat_n(buf, "xyz", 2), buf);
  EXPECT_STREQ(buf, "abxy");
  strx_cpy(buf, "ab");
  strx_cat_n(buf, "xyz", 5);
  EXPECT_STREQ(buf, "abxyz");
  strx_cat(buf, "\\data\\param.dat");
  EXPECT_STREQ(buf, "abxyz\\data\\param.dat");
  strx_cpy(buf, "ab");
  strx_cat_n(buf, "xyz", -1);  // nothing taken from the source, nothing overrun
  EXPECT_STREQ(buf, "ab");

  LogCapture log;
  EXPECT_EQ(strx_cat(nullptr, "x"), nullptr);
  EXPECT_EQ(log.text(), "error - src/foundation/strx.cpp - strx_cat_n: p_dst == NULL");
  log.clear();
  EXPECT_EQ(strx_cat_n(buf, nullptr, 3), buf);
  EXPECT_EQ(log.text(), "error - src/foundation/strx.cpp - strx_cat_n: p_src == NULL");
  log.clear();
  EXPECT_EQ(strx_cpy(nullptr, nullptr), nullptr);  // the destination is reported first
  EXPECT_EQ(log.text(), "error - src/foundation/strx.cpp - strx_cpy: p_dst == NULL");
  log.clear();
  EXPECT_EQ(strx_cpy(buf, nullptr), buf);
  EXPECT_EQ(log.text(), "error - src/foundation/strx.cpp - strx_cpy: p_src == NULL");
  EXPECT_STREQ(buf, "ab");
}

TEST(Strx, EqualityTests) {
  EXPECT_EQ(strx_is_equal(nullptr, nullptr), 0);
  EXPECT_EQ(strx_is_equal("a", nullptr), 0);
  EXPECT_EQ(strx_is_equal("", ""), 1);
  EXPECT_EQ(strx_is_equal("ab", "abc"), 0);
  EXPECT_EQ(strx_is_equal("abc", "ab"), 0);
  EXPECT_EQ(strx_is_equal("abc", "abc"), 1);
  EXPECT_EQ(strx_is_same("abc", "abd"), 0);
  EXPECT_EQ(strx_is_same("abc", "abc"), 1);
  EXPECT_EQ(strx_is_equal_trim("ab  ", "ab"), 1);
  EXPECT_EQ(strx_is_equal_trim(" ab", "ab"), 0);
  EXPECT_EQ(strx_is_equal_trim("ab\t", "ab"), 0);
  EXPECT_EQ(strx_is_equal_trim("   ", ""), 1);
  EXPECT_EQ(strx_is_equal_trim("ab ", "AB"), 0);
  EXPECT_EQ(strx_is_equal_trim(nullptr, ""), 0);
  EXPECT_EQ(strx_is_equal_trim_nocase("ABC ", "abc"), 1);
  EXPECT_EQ(strx_is_equal_trim_nocase("ABC", "abd"), 0);
  EXPECT_EQ(strx_is_equal_trim_nocase("\xC4", "\xE4"), 0);  // only A-Z fold
  EXPECT_EQ(strx_is_equal_trim_nocase("[", "{"), 0);
  EXPECT_EQ(strx_is_equal_trim_nocase("", nullptr), 0);
}

TEST(Strx, TrimsWorkInPlace) {
  char buf[16];
  strx_cpy(buf, "  ab  ");
  EXPECT_EQ(strx_cpy_trim(buf, buf), buf);
  EXPECT_STREQ(buf, "ab");
  strx_cpy(buf, "    ");
  strx_cpy_trim(buf, buf);
  EXPECT_STREQ(buf, "");
  strx_cpy(buf, " a b  ");
  strx_cpy_trim_right(buf, buf);
  EXPECT_STREQ(buf, " a b");
  char out[16];
  strx_cpy_trim(out, "\t x ");
  EXPECT_STREQ(out, "\t x");
  LogCapture log;
  EXPECT_EQ(strx_cpy_trim(nullptr, "a"), nullptr);
  EXPECT_EQ(strx_cpy_trim_right(out, nullptr), out);
  EXPECT_STREQ(out, "\t x");
  EXPECT_EQ(log.text(), "");
}

TEST(Strx, DupMakesAnIndependentCopy) {
  char src[] = "hello";
  char* p = strx_dup(src);
  ASSERT_NE(p, nullptr);
  src[0] = 'j';
  EXPECT_STREQ(p, "hello");
  EXPECT_EQ(strx_free(p), 1);
  EXPECT_EQ(strx_dup(nullptr), nullptr);
  EXPECT_EQ(strx_free(nullptr), 1);
}

}  // namespace

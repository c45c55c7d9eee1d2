// The bounded little-endian serialiser: byte order, the bound, the sticky overflow.
#include "ez_serial.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

TEST(EzSerial, RefusedPutWritesNothingAndStaysRefused) {
  std::array<uint8_t, 3> buf{0xAA, 0xAA, 0xAA};
  EzSerial s;
  ASSERT_EQ(EzSerial_init_write(&s, 3, buf.data()), &s);
  EXPECT_EQ(EzSerial_write_u16(&s, 0x1234), 1);
  EXPECT_EQ(EzSerial_get_pos(&s), 2);
  EXPECT_EQ(EzSerial_write_u16(&s, 0x5678), 0);
  EXPECT_EQ(buf[2], 0xAA);  // not even the byte that would have fitted
  EXPECT_EQ(EzSerial_get_pos(&s), 3);
  EXPECT_EQ(EzSerial_get_error(&s), EZSERIAL_ERR_OVERFLOW);
  EXPECT_EQ(EzSerial_write_u8(&s, 1), 0);  // sticky, though one byte is free
  EXPECT_EQ(EzSerial_write_n(&s, 0, "x"), 0);
  EXPECT_EQ(buf[0], 0x34);
  EXPECT_EQ(buf[1], 0x12);
}

TEST(EzSerial, ValuesGoLeastSignificantByteFirstAndComeBack) {
  std::array<uint8_t, 4 + 2 + 1 + 4 + 2 + 1 + 3> buf{};
  EzSerial s;
  EzSerial_init_write(&s, (int32_t)buf.size(), buf.data());
  EXPECT_EQ(EzSerial_write_u32(&s, 0x12345678u), 1);
  EXPECT_EQ(EzSerial_write_u16(&s, 0xBEEF), 1);
  EXPECT_EQ(EzSerial_write_u8(&s, 0x7F), 1);
  EXPECT_EQ(EzSerial_write_i32(&s, -2), 1);
  EXPECT_EQ(EzSerial_write_i16(&s, -300), 1);
  EXPECT_EQ(EzSerial_write_i8(&s, -1), 1);
  EXPECT_EQ(EzSerial_write_n(&s, 3, "abc"), 1);
  EXPECT_EQ(EzSerial_get_pos(&s), (int32_t)buf.size());  // ends exactly at the end: fine
  EXPECT_EQ(EzSerial_get_error(&s), 0);
  const uint8_t head[] = {0x78, 0x56, 0x34, 0x12, 0xEF, 0xBE, 0x7F, 0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(memcmp(buf.data(), head, sizeof head), 0);

  ASSERT_EQ(EzSerial_init_read(&s, (int32_t)buf.size(), buf.data()), &s);
  EXPECT_EQ(EzSerial_read_u32(&s), 0x12345678u);
  EXPECT_EQ(EzSerial_read_u16(&s), 0xBEEF);
  EXPECT_EQ(EzSerial_read_u8(&s), 0x7F);
  EXPECT_EQ(EzSerial_read_i32(&s), -2);
  EXPECT_EQ(EzSerial_read_i16(&s), -300);
  EXPECT_EQ(EzSerial_read_i8(&s), -1);
  char text[4] = {};
  EXPECT_EQ(EzSerial_read_n(&s, 3, text), 1);
  EXPECT_STREQ(text, "abc");
  EXPECT_EQ(EzSerial_read_u8(&s), 0);  // one past the end
  EXPECT_EQ(EzSerial_get_error(&s), EZSERIAL_ERR_OVERFLOW);
}

TEST(EzSerial, RefusedGetCopiesNothingAndReadsZero) {
  const uint8_t buf[2] = {0x11, 0x22};
  EzSerial s;
  EzSerial_init_read(&s, 2, buf);
  uint8_t dst[4] = {9, 9, 9, 9};
  EXPECT_EQ(EzSerial_read_n(&s, 4, dst), 0);
  EXPECT_EQ(dst[0], 9);
  EXPECT_EQ(EzSerial_read_u8(&s), 0);  // overflowed: zero whatever the buffer holds
  EXPECT_EQ(EzSerial_read_i8(&s), 0);
  EXPECT_EQ(EzSerial_get_pos(&s), 2);
}

TEST(EzSerial, CountingSerialiserMeasuresLayout) {
  EzSerial s;
  ASSERT_EQ(EzSerial_init_write(&s, 1023, NULL), &s);
  EXPECT_EQ(EzSerial_write_n(&s, 1000, NULL), 1);
  for (int i = 0; i < 23; i++) EXPECT_EQ(EzSerial_write_u8(&s, 0), 1);
  EXPECT_EQ(EzSerial_get_pos(&s), 1023);
  EXPECT_EQ(EzSerial_get_error(&s), 0);
  EXPECT_EQ(EzSerial_write_u8(&s, 0), 0);
  EXPECT_EQ(EzSerial_get_pos(&s), 1023);
  EXPECT_EQ(EzSerial_get_error(&s), 1);
  // It holds no bytes to get: a get is refused instead of reading through NULL.
  uint8_t dst[4] = {7, 7, 7, 7};
  ASSERT_EQ(EzSerial_init_write(&s, 8, NULL), &s);
  EXPECT_EQ(EzSerial_read_u32(&s), 0u);
  EXPECT_EQ(EzSerial_read_i8(&s), 0);
  EXPECT_EQ(EzSerial_read_n(&s, 4, dst), 0);
  EXPECT_EQ(dst[0], 7);
  EXPECT_EQ(EzSerial_get_pos(&s), 0);
}

TEST(EzSerial, NullAndNegativeArgumentsGiveNeutralResults) {
  LogCapture log;
  EzSerial s;
  EXPECT_EQ(EzSerial_init_write(NULL, 4, NULL), nullptr);
  EXPECT_EQ(EzSerial_get_pos(NULL), -1);
  EXPECT_EQ(EzSerial_get_error(NULL), -1);
  EXPECT_EQ(EzSerial_write_u32(NULL, 1), 0);
  EXPECT_EQ(EzSerial_read_u32(NULL), 0u);
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(EzSerial_init_read(&s, 4, NULL), nullptr);
  EXPECT_EQ(log.text(),
            "error - src/image/ez_serial.cpp - EzSerial_init_read: p -> p_buffer = p_buffer)");
  EXPECT_EQ(s.m_buffer, 4);  // the fields are set all the same

  uint8_t buf[8] = {};
  EzSerial_init_write(&s, 8, buf);
  EzSerial_write_u32(&s, 1);
  EXPECT_EQ(EzSerial_write_n(&s, -2, buf), 0);  // never moves the position back
  EXPECT_EQ(EzSerial_get_pos(&s), 8);
  EXPECT_EQ(EzSerial_get_error(&s), 1);
}

}  // namespace

// The tick count and Sleep over the real and the replaceable clock.
#include "win32_time.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(Win32Time, VirtualClockMovesOnlyWhenSleptOrAdvanced) {
  Win32VirtualClock clock(500);
  EXPECT_EQ(GetTickCount(), 500u);
  Sleep(2000);  // a protocol time-out, passed in no time
  EXPECT_EQ(GetTickCount(), 2500u);
  Sleep(0);
  EXPECT_EQ(GetTickCount(), 2500u);
  clock.advance(10);
  EXPECT_EQ(clock.now(), 2510u);
  std::thread([] { Sleep(90); }).join();  // one clock for the whole process
  EXPECT_EQ(GetTickCount(), 2600u);
}

TEST(Win32Time, TickWrapsAtTwoToThe32) {
  Win32VirtualClock clock(0xFFFFFF00u);
  DWORD t0 = GetTickCount();
  Sleep(0x200);
  EXPECT_EQ(GetTickCount(), 0x100u);
  EXPECT_EQ(GetTickCount() - t0, 0x200u);  // differences still measure the time
}

TEST(Win32Time, RealClockComesBackAfterTheVirtualOne) {
  { Win32VirtualClock clock(7); }
  DWORD t0 = GetTickCount();
  Sleep(5);
  DWORD dt = GetTickCount() - t0;
  EXPECT_GE(dt, 4u);  // real milliseconds (tick granularity allows one less)
  EXPECT_LT(dt, 5000u);
}

struct Fake {
  DWORD t = 42;
  DWORD slept = 0;
};

TEST(Win32Time, CustomClockGetsItsContext) {
  Fake fake;
  Win32Clock c = {[](void* p) { return ((Fake*)p)->t; },
                  [](void* p, DWORD ms) { ((Fake*)p)->slept += ms; }, &fake};
  win32_clock_set(&c);
  EXPECT_EQ(GetTickCount(), 42u);
  Sleep(3);
  Sleep(4);
  win32_clock_set(nullptr);
  EXPECT_EQ(fake.slept, 7u);
}

}  // namespace

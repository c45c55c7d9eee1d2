/*
** test_download_recovery.cpp - a download whose user answers the Close question slowly: the
** question comes up inside a frame exchange (the link's sleep callback dispatches the
** click), so the unit's frame timers run out while it is open. The run must still program
** the unit: the late answer may cost the link a retry, never a reply time-out. Against the
** unit simulator over a pseudo-terminal with the real Uart, on a virtual clock that runs on
** by itself (faster than real time), so that every wait of either side ends as it would.
*/
#include "test_download_rig.h"

#include "log_capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

const char k_success[] = "Application successfully downloaded !";

struct DownloadRecovery : ::testing::Test {
  void SetUp() override {
    ASSERT_NE(rig_root(), nullptr);
    win32_msg_clear();
  }
  /* The user thinks for t_ms of the running clock while the unit goes on. */
  void think(uint32_t t_ms) {
    DWORD t_end = clock.now() + t_ms;
    while ((int32_t)(t_end - clock.now()) > 0)
      std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  /* The virtual clock runs on by itself, 1 ms per 100 us of real time, as a real one would:
  ** the link's waits end even while both sides only poll. */
  void start_ticking() {
    ticking = true;
    ticker = std::thread([this] {
      while (ticking) {
        clock.advance(1);
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
    });
  }
  void TearDown() override {
    ticking = false;
    if (ticker.joinable()) ticker.join();
  }
  Win32VirtualClock clock{1000};
  std::atomic<bool> ticking{false};
  std::thread ticker;
};

TEST_F(DownloadRecovery, SlowNoToTheQuestionDuringTheEraseCostsNoTimeOut) {
  start_ticking();
  for (uint32_t t_think : {300u, 3000u}) {
    UnitRig unit;
    ASSERT_TRUE(unit.ok());
    DialogRig rig;
    ASSERT_TRUE(rig.create());
    rig.on_upper = [&](const std::string& t) {
      if (t == "Erasing application sectors...") mfc_post_click(rig.item(IDCANCEL));
    };
    rig.answer = [&](const RigBox& b) {
      if (b.caption != "Warning") return IDOK;
      think(t_think);
      return IDNO;
    };
    LogCapture log;
    DWORD t0 = clock.now();
    rig.download();
    DWORD t_run = clock.now() - t0;
    unit.stop();
    ASSERT_GE(rig.boxes.size(), 2u);
    EXPECT_EQ(rig.boxes.back().text, k_success) << t_think << "\n" << log.text() << unit.trace();
    EXPECT_EQ(Unit_get_verdict(unit.unit())->code, UNIT_VERDICT_OK);
    EXPECT_EQ(unit.count("exception"), 0) << unit.trace();
    EXPECT_LT(t_run, 60000u) << "a reply time-out of the erase (100 s) was waited out";
    EXPECT_EQ(rig.text(IDC_STATIC_UPPER), "ready");
  }
}

}  // namespace

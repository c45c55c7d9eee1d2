/*
** test_download_recovery.cpp - a download whose user answers the Close question slowly: the
** question comes up inside a frame exchange (the link's sleep callback dispatches the
** click), so the unit's frame timers run out while it is open. The run must still program
** the unit: the late answer may cost the link a retry, never a reply time-out. Against the
** unit simulator over a pseudo-terminal with the real Uart, on the virtual clock of the rig,
** which moves whenever both sides wait: the user's thinking is a sleep of the dialog's
** thread, during which the unit goes on by its own time-outs.
*/
#include "test_download_rig.h"

#include "log_capture.h"

#include <gtest/gtest.h>

namespace {

const char k_success[] = "Application successfully downloaded !";

struct DownloadRecovery : ::testing::Test {
  void SetUp() override {
    ASSERT_NE(rig_root(), nullptr);
    win32_msg_clear();
  }
  Win32VirtualClock clock{1000};
};

TEST_F(DownloadRecovery, SlowNoToTheQuestionDuringTheEraseCostsNoTimeOut) {
  for (uint32_t t_think : {300u, 3000u}) {
    SCOPED_TRACE(t_think);
    UnitRig unit;
    ASSERT_TRUE(unit.ok());
    DialogRig rig;
    ASSERT_TRUE(rig.create());
    rig.on_upper = [&](const std::string& t) {
      if (t == "Erasing application sectors...") mfc_post_click(rig.item(IDCANCEL));
    };
    DWORD t_thought = 0;
    rig.answer = [&](const RigBox& b) {
      if (b.caption != "Warning") return IDOK;
      DWORD t = clock.now();
      Sleep(t_think);  // the user thinks it over while the unit goes on
      t_thought = clock.now() - t;
      return IDNO;
    };
    LogCapture log;
    DWORD t0 = clock.now();
    rig.download();
    DWORD t_run = clock.now() - t0;
    unit.stop();
    ASSERT_EQ(rig.boxes.size(), 2u) << rig.box_texts() << unit.report(log.text());
    EXPECT_EQ(rig.boxes.back().text, k_success) << unit.report(log.text());
    ASSERT_NE(Unit_get_verdict(unit.unit()), nullptr) << unit.report(log.text());
    EXPECT_EQ(Unit_get_verdict(unit.unit())->code, UNIT_VERDICT_OK);
    EXPECT_EQ(unit.count("exception"), 0) << unit.trace();
    EXPECT_EQ(t_thought, t_think);
    EXPECT_LT(t_run, 60000u) << "a reply time-out of the erase (100 s) was waited out\n"
                             << unit.report(log.text());
    EXPECT_EQ(rig.text(IDC_STATIC_UPPER), "ready");
  }
}

}  // namespace

// The unit simulator over a pseudo-terminal, with the loader's real COM port (Uart) and
// link on the other end, on a virtual clock: the whole request sequence with the stand-in
// firmware, an exception reply and a silent unit.
#include "unit_rig.h"

#include "log_capture.h"

namespace {

UnitConfig expecting_firmware() {
  UnitConfig cfg;
  UnitConfig_init(&cfg);
  firmware_images().expect_in(&cfg);
  return cfg;
}

TEST(UnitPty, WholeSequenceWithTheFirmwareStartsTheApplication) {
  PtyRig rig(40);
  Unit* p_unit = rig.start(expecting_firmware());
  ASSERT_NE(p_unit, nullptr);
  UnitMasterInput in = firmware_images().input();
  UnitMasterResult res;
  LogCapture log;
  int r = UnitMaster_run(rig.rmc(), &in, &res);
  rig.stop();
  EXPECT_EQ(r, RMC_RES_OK);
  EXPECT_EQ(res.step, UNIT_STEP_DONE);
  EXPECT_EQ(Unit_get_state(p_unit), UNIT_APPLICATION);
  ASSERT_NE(Unit_get_verdict(p_unit), nullptr) << rig.trace.text() << "log:\n" << log.text();
  EXPECT_EQ(Unit_get_verdict(p_unit)->code, UNIT_VERDICT_OK);
  EXPECT_EQ(Unit_get_verdict(p_unit)->n_expanded, firmware_images().n_src);
  UnitStats s = Unit_get_stats(p_unit);
  EXPECT_EQ(s.n_requests, res.n_requests);
  EXPECT_EQ(s.n_replies, res.n_requests);
#ifdef ZENT_HAVE_FIRMWARE
  // 156 chunks of the flash loader, and one request per non-blank chunk of the image.
  int n_chunks = 0;
  for (uint32_t i = 0; i < UNIT_FLASH_N; i += 256) {
    std::vector<uint8_t> c(firmware_images().code.begin() + i, firmware_images().code.begin() + i + 256);
    if (i == 0) c[16] = 0xFF;
    for (uint8_t b : c)
      if (b != 0xFF) {
        ++n_chunks;
        break;
      }
  }
  EXPECT_EQ(res.n_requests, 2 + 156 + 1 + 2 + n_chunks + 1 + 1);
#endif
}

TEST(UnitPty, ExceptionReplyEndsTheSequenceWithItsCode) {
  PtyRig rig(41);
  UnitConfig cfg = expecting_firmware();
  cfg.k_fault = 2;
  cfg.fault_exception = RMC_RES_ILL_DATA_VAL;
  ASSERT_NE(rig.start(cfg), nullptr);
  UnitMasterInput in = firmware_images().input();
  UnitMasterResult res;
  LogCapture log;
  EXPECT_EQ(UnitMaster_run(rig.rmc(), &in, &res), RMC_RES_ILL_DATA_VAL);
  EXPECT_EQ(res.step, UNIT_STEP_CPU_TYPE);
  EXPECT_TRUE(log.contains("send_and_receive returned 3 (RMC_RES_ILL_DATA_VAL)"));
}

TEST(UnitPty, SilentUnitFailsTheWakeUpAfterTheBootTimeOut) {
  PtyRig rig(42);
  UnitConfig cfg = expecting_firmware();
  cfg.k_fault = 1;
  cfg.fault_exception = 0;
  cfg.t_idle_advance_ms = 20;  // the master's reply time-out passes while the unit is quiet
  ASSERT_NE(rig.start(cfg), nullptr);
  UnitMasterInput in = firmware_images().input();
  UnitMasterResult res;
  DWORD t_start = rig.now();
  LogCapture log;
  EXPECT_EQ(UnitMaster_run(rig.rmc(), &in, &res), RMC_RES_ERR_REC);
  EXPECT_EQ(res.step, UNIT_STEP_ACTIVATE);
  EXPECT_GE(rig.now() - t_start, 1000u);
  rig.stop();
  EXPECT_TRUE(rig.trace.contains("#1 0x07 -> no reply")) << rig.trace.text() << "log:\n" << log.text();
}

TEST(UnitPty, PacedLineCarriesTheBootRequestsWithTheirFraming) {
  // Each exchange: the master's STX, the unit's DLE, the frame (data, DLE ETX, block check),
  // the unit's DLE; then the same for the reply the other way.
  PtyRig rig(43);
  Unit* p_unit = rig.start(expecting_firmware(), 1);
  ASSERT_NE(p_unit, nullptr);
  ASSERT_EQ(Rmc_do_activate_bootloader(rig.rmc()), RMC_RES_OK);
  uint32_t cpu = 0;
  ASSERT_EQ(Rmc_do_get_cpu_type(rig.rmc(), &cpu, nullptr, nullptr), RMC_RES_OK);
  EXPECT_EQ(cpu, 1u);
  rig.stop();
  UnitStats s = Unit_get_stats(p_unit);
  // To the unit: 0x07: STX + 4 (07 DLE ETX BCC) + DLE for the reply's STX + DLE for the
  // reply = 7; 0x05: the same, 7. From the unit: 0x07: DLE + DLE + STX + 4 = 7; 0x05: DLE
  // + DLE + STX + 13 data + DLE ETX BCC = 19.
  EXPECT_EQ(s.n_rx, 14u);
  EXPECT_EQ(s.n_tx, 26u);
}

}  // namespace

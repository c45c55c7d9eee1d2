// The unit simulator as the partner of an RMC master over the in-memory line, on a virtual
// clock: the whole request sequence, what each loader state accepts and refuses, the
// flash semantics, the verdict on start, and every fault it can inject.
#include "unit_rig.h"

#include "log_capture.h"

namespace {

UnitConfig expecting_test_images() {
  UnitConfig cfg;
  UnitConfig_init(&cfg);
  test_images().expect_in(&cfg);
  return cfg;
}

/* The unit's trace, for the message of a failed expectation. */
std::string trace_of(const TraceLog& t) {
  std::string s;
  for (const auto& l : t.lines) s += l + "\n";
  return s;
}

/* The boot-loader steps up to the running flash loader. */
void boot_into_flash_loader(Rmc* p_rmc) {
  const TestImages& t = test_images();
  ASSERT_EQ(Rmc_do_activate_bootloader(p_rmc), RMC_RES_OK);
  for (uint32_t k = 0; k < t.loader.size(); ++k)
    for (uint32_t i = 0; i < t.loader.n[k]; i += 256)
      ASSERT_EQ(Rmc_do_write_xbram(p_rmc, t.loader.a[k] + i, t.loader.p[k] + i,
                                   std::min<uint32_t>(256, t.loader.n[k] - i)),
                RMC_RES_OK);
  ASSERT_EQ(Rmc_do_jump(p_rmc, 0x400000), RMC_RES_OK);
}

class UnitRequests : public ::testing::Test {
protected:
  Unit* start(UnitConfig cfg) { return p_unit = rig.start(cfg); }
  UnitMasterResult run(UnitConfig cfg, int* p_r = nullptr) {
    LogCapture quiet;
    start(cfg);
    UnitMasterInput in = test_images().input();
    UnitMasterResult res;
    int r = UnitMaster_run(rig.rmc(), &in, &res);
    if (p_r) *p_r = r;
    rig.stop();
    return res;
  }
  void boot_into_flash_loader() { ::boot_into_flash_loader(rig.rmc()); }
  LineRig rig;
  Unit* p_unit = nullptr;
};

TEST_F(UnitRequests, WholeSequenceEndsWithAStartedApplication) {
  int r = -1;
  UnitMasterResult res = run(expecting_test_images(), &r);
  ASSERT_EQ(r, RMC_RES_OK);
  EXPECT_EQ(res.step, UNIT_STEP_DONE);
  EXPECT_EQ(Unit_get_state(p_unit), UNIT_APPLICATION);
  const UnitVerdict* p_v = Unit_get_verdict(p_unit);
  ASSERT_NE(p_v, nullptr) << trace_of(rig.trace);
  EXPECT_EQ(p_v->code, UNIT_VERDICT_OK);
  EXPECT_EQ(p_v->n_expanded, test_images().n_src);
  UnitStats s = Unit_get_stats(p_unit);
  EXPECT_EQ(s.n_requests, res.n_requests);
  EXPECT_EQ(s.n_replies, res.n_requests);
  EXPECT_EQ(s.n_exceptions, 0);
  // The programmed flash is the code image, byte for byte.
  EXPECT_EQ(memcmp(UnitMem_get_p_flash(Unit_get_mem(p_unit)), test_images().code.data(), UNIT_FLASH_N), 0);
  EXPECT_TRUE(rig.trace.contains("0x08 start application: verdict: application started"));
}

TEST_F(UnitRequests, AnyNonEmptyLoaderIsAcceptedWhenNoneIsExpected) {
  UnitConfig cfg;
  UnitConfig_init(&cfg);
  int r = -1;
  run(cfg, &r);
  EXPECT_EQ(r, RMC_RES_OK);
  EXPECT_EQ(Unit_get_state(p_unit), UNIT_APPLICATION);
}

TEST_F(UnitRequests, OtherCpuTypeStopsTheSequenceAtTheCheck) {
  UnitConfig cfg = expecting_test_images();
  cfg.cpu_type = 2;
  int r = -1;
  UnitMasterResult res = run(cfg, &r);
  EXPECT_EQ(r, RMC_RES_DEV_FAIL);
  EXPECT_EQ(res.step, UNIT_STEP_CPU_TYPE);
  EXPECT_EQ(res.cpu_type, 2u);
  EXPECT_EQ(Unit_get_stats(p_unit).n_requests, 2);
}

TEST_F(UnitRequests, ExceptionFromTheKthRequestIsTheResultOfThatStep) {
  // Request 3 is the first write of the flash loader.
  UnitConfig cfg = expecting_test_images();
  cfg.k_fault = 3;
  cfg.fault_exception = RMC_RES_BUSY;
  int r = -1;
  UnitMasterResult res = run(cfg, &r);
  EXPECT_EQ(r, RMC_RES_BUSY);
  EXPECT_EQ(res.step, UNIT_STEP_FLASH_LOADER);
  EXPECT_EQ(res.n_requests, 3);
  EXPECT_EQ(Unit_get_stats(p_unit).n_exceptions, 1);
}

TEST_F(UnitRequests, SilenceAtTheEraseEndsAfterTheFullReplyTimeOut) {
  // 2 boot requests, 3 loader chunks (700 bytes: 3 chunks, 40, 3: one each = 5), the jump.
  UnitConfig cfg = expecting_test_images();
  cfg.k_fault = 2 + 5 + 1 + 1;  // the erase
  DWORD t_start = rig.now();
  int r = -1;
  UnitMasterResult res = run(cfg, &r);
  EXPECT_EQ(r, RMC_RES_ERR_REC);
  EXPECT_EQ(res.step, UNIT_STEP_ERASE);
  EXPECT_GE(rig.now() - t_start, 100000u);
  EXPECT_TRUE(rig.trace.contains("0x23 -> no reply"));
}

TEST_F(UnitRequests, SlowEraseWithinTheTimeOutSucceedsBeyondItFails) {
  UnitConfig cfg = expecting_test_images();
  cfg.t_erase_ms = 30000;
  DWORD t_start = rig.now();
  int r = -1;
  run(cfg, &r);
  EXPECT_EQ(r, RMC_RES_OK);
  EXPECT_GE(rig.now() - t_start, 30000u);
  EXPECT_EQ(Unit_get_stats(p_unit).t_work_ms, 30000u);
}

TEST_F(UnitRequests, EraseLongerThanTheReplyTimeOutIsAReceiveError) {
  UnitConfig cfg = expecting_test_images();
  cfg.t_erase_ms = 150000;
  int r = -1;
  UnitMasterResult res = run(cfg, &r);
  EXPECT_EQ(r, RMC_RES_ERR_REC);
  EXPECT_EQ(res.step, UNIT_STEP_ERASE);
}

TEST_F(UnitRequests, ReplyDelayBeyondTheBootTimeOutFailsTheWakeUp) {
  UnitConfig cfg = expecting_test_images();
  cfg.t_reply_delay_ms = 1500;
  int r = -1;
  UnitMasterResult res = run(cfg, &r);
  EXPECT_EQ(r, RMC_RES_ERR_REC);
  EXPECT_EQ(res.step, UNIT_STEP_ACTIVATE);
}

TEST_F(UnitRequests, EachLoaderKnowsOnlyItsOwnRequests) {
  LogCapture quiet;
  start(expecting_test_images());
  EXPECT_EQ(Rmc_do_erase_flash(rig.rmc()), RMC_RES_ILL_FC);            // boot loader
  EXPECT_EQ(Rmc_do_start_application(rig.rmc()), RMC_RES_ILL_FC);
  EXPECT_EQ(Rmc_do_read_mem(rig.rmc(), 0x400000, nullptr, 0), RMC_RES_ILL_FC);
  boot_into_flash_loader();
  EXPECT_EQ(Rmc_do_activate_bootloader(rig.rmc()), RMC_RES_ILL_FC);    // flash loader
  uint8_t b = 0;
  EXPECT_EQ(Rmc_do_write_xbram(rig.rmc(), 0x400000, &b, 1), RMC_RES_ILL_FC);
  EXPECT_EQ(Rmc_do_jump(rig.rmc(), 0x400000), RMC_RES_ILL_FC);
}

TEST_F(UnitRequests, MalformedRequestsGetExceptionThree) {
  start(expecting_test_images());
  EXPECT_EQ(rig.raw({0x07, 0x00}), (Bytes{0x87, 3}));
  // 0x13 that announces 4 bytes but carries 3.
  EXPECT_EQ(rig.raw({0x13, 0x00, 0x00, 0x40, 0x00, 0x04, 0, 0, 0, 1, 2, 3}), (Bytes{0x93, 3}));
  EXPECT_EQ(rig.raw({0x12, 0x00, 0x00, 0x40}), (Bytes{0x92, 3}));
  EXPECT_EQ(rig.raw({0x7E}), (Bytes{0xFE, 1}));
  EXPECT_EQ(rig.raw({0x07}), (Bytes{0x07}));  // and it still answers
}

TEST_F(UnitRequests, RamWritesOutsideTheRamAreRefused) {
  LogCapture quiet;
  start(expecting_test_images());
  uint8_t b[4] = {1, 2, 3, 4};
  EXPECT_EQ(Rmc_do_write_xbram(rig.rmc(), 0x3FFFFE, b, 4), RMC_RES_ILL_DATA_ADR);
  EXPECT_EQ(Rmc_do_write_xbram(rig.rmc(), 0x4FFFFE, b, 4), RMC_RES_ILL_DATA_ADR);
  EXPECT_EQ(Rmc_do_write_xbram(rig.rmc(), 0xFFFFFFFE, b, 4), RMC_RES_ILL_DATA_ADR);
  EXPECT_EQ(Rmc_do_write_xbram(rig.rmc(), 0x4FFFFC, b, 4), RMC_RES_OK);
}

TEST_F(UnitRequests, JumpNeedsTheFlashLoaderInRam) {
  LogCapture quiet;
  start(expecting_test_images());
  const TestImages& t = test_images();
  EXPECT_EQ(Rmc_do_jump(rig.rmc(), 0x400000), RMC_RES_DEV_FAIL);  // nothing written yet
  // All but the last byte of one partition: still no flash loader.
  ASSERT_EQ(Rmc_do_write_xbram(rig.rmc(), t.loader.a[0], t.loader.p[0], t.loader.n[0] - 1), RMC_RES_OK);
  ASSERT_EQ(Rmc_do_write_xbram(rig.rmc(), t.loader.a[2], t.loader.p[2], t.loader.n[2]), RMC_RES_OK);
  for (uint32_t i = 0; i < t.loader.n[1]; i += 256)
    ASSERT_EQ(Rmc_do_write_xbram(rig.rmc(), t.loader.a[1] + i, t.loader.p[1] + i,
                                 std::min<uint32_t>(256, t.loader.n[1] - i)),
              RMC_RES_OK);
  EXPECT_EQ(Rmc_do_jump(rig.rmc(), 0x400000), RMC_RES_DEV_FAIL);
  EXPECT_EQ(Rmc_do_jump(rig.rmc(), 0x400004), RMC_RES_ILL_DATA_ADR);
  uint8_t last = t.loader.p[0][t.loader.n[0] - 1];
  ASSERT_EQ(Rmc_do_write_xbram(rig.rmc(), t.loader.a[0] + t.loader.n[0] - 1, &last, 1), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_jump(rig.rmc(), 0x400000), RMC_RES_OK);
}

TEST_F(UnitRequests, FlashNeedsEraseAndProgramsLikeNorFlash) {
  LogCapture quiet;
  start(expecting_test_images());
  boot_into_flash_loader();
  uint8_t ones[4] = {0xFF, 0xFF, 0xFF, 0xFF}, data[4] = {0x0F, 0xF0, 0x55, 0xAA};
  EXPECT_EQ(Rmc_do_blank_check_flash(rig.rmc()), RMC_RES_DEV_FAIL);   // an old application
  EXPECT_EQ(Rmc_do_write_flash(rig.rmc(), 0x180100, data, 4), RMC_RES_DEV_FAIL);
  ASSERT_EQ(Rmc_do_erase_flash(rig.rmc()), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_blank_check_flash(rig.rmc()), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_write_flash(rig.rmc(), 0x180100, ones, 4), RMC_RES_OK);  // changes nothing
  EXPECT_EQ(Rmc_do_blank_check_flash(rig.rmc()), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_write_flash(rig.rmc(), 0x180100, data, 4), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_write_flash(rig.rmc(), 0x180100, data, 4), RMC_RES_OK);  // same again: fine
  uint8_t other[4] = {0xF0, 0x0F, 0x55, 0xAA};
  EXPECT_EQ(Rmc_do_write_flash(rig.rmc(), 0x180100, other, 4), RMC_RES_DEV_FAIL);  // 0 -> 1
  EXPECT_EQ(Rmc_do_blank_check_flash(rig.rmc()), RMC_RES_DEV_FAIL);
  EXPECT_EQ(Rmc_do_write_flash(rig.rmc(), 0x17FFFE, ones, 4), RMC_RES_ILL_DATA_ADR);
  EXPECT_EQ(Rmc_do_write_flash(rig.rmc(), 0x1DFFFE, ones, 4), RMC_RES_ILL_DATA_ADR);
  EXPECT_EQ(Rmc_do_write_flash(rig.rmc(), 0x1DFFFC, ones, 4), RMC_RES_OK);
  rig.stop();
  const uint8_t* p_flash = UnitMem_get_p_flash(Unit_get_mem(p_unit));
  EXPECT_EQ(p_flash[0x100], 0x00);  // 0x0F AND 0xF0
  EXPECT_EQ(p_flash[0x102], 0x55);
}

TEST_F(UnitRequests, IncompleteFlashIsNeverStarted) {
  LogCapture quiet;
  start(expecting_test_images());
  boot_into_flash_loader();
  const TestImages& t = test_images();
  ASSERT_EQ(Rmc_do_erase_flash(rig.rmc()), RMC_RES_OK);
  // Everything but one chunk in the middle of the stream, then the signature byte.
  std::vector<uint8_t> image = t.code;
  image[UNIT_CODE_I_SIGNATURE] = 0xFF;
  for (uint32_t i = 0; i < (uint32_t)t.n_code_used; i += 256) {
    if (i == 0x1000) continue;
    ASSERT_EQ(Rmc_do_write_flash(rig.rmc(), 0x180000 + i, image.data() + i, 256), RMC_RES_OK);
  }
  EXPECT_EQ(Rmc_do_start_application(rig.rmc()), RMC_RES_DEV_FAIL);  // no signature yet
  ASSERT_EQ(Rmc_do_write_flash(rig.rmc(), 0x180010, t.code.data() + 0x10, 1), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_start_application(rig.rmc()), RMC_RES_DEV_FAIL);
  rig.stop();
  EXPECT_EQ(Unit_get_state(p_unit), UNIT_FLASH_LOADER);
  ASSERT_NE(Unit_get_verdict(p_unit), nullptr) << trace_of(rig.trace);
  EXPECT_NE(Unit_get_verdict(p_unit)->code, UNIT_VERDICT_OK);
  EXPECT_TRUE(rig.trace.contains("verdict: signature byte missing"));
}

// Masters of the test's own that program the sound image, each with one mistake in the
// order of its download: the unit refuses the start and its verdict names the mistake.
TEST(UnitDownloadOrder, EachMistakeInTheOrderOfTheDownloadRefusesTheStart) {
  const TestImages& t = test_images();
  const uint32_t n_used = (uint32_t)t.n_code_used;  // the non-blank chunks lie below
  std::vector<uint8_t> cleared = t.code;
  cleared[UNIT_CODE_I_SIGNATURE] = 0xFF;
  struct Chunk {
    uint32_t i;  // offset in the area
    const uint8_t* p_image;
  };
  std::vector<Chunk> ascending;
  for (uint32_t i = 0; i < n_used; i += 256) ascending.push_back({i, cleared.data()});
  struct Case {
    const char* p_what;
    std::vector<Chunk> chunks;  // then the signature byte alone, then the start
    int code;
    uint32_t a_order;
  };
  std::vector<Case> cases;
  std::vector<Chunk> c = ascending;
  c[0].p_image = t.code.data();  // the first chunk carries the signature byte
  cases.push_back({"signature inside a chunk", c, UNIT_VERDICT_SIGNATURE_IN_CHUNK, 0x180000});
  c = ascending;
  c.push_back({n_used, cleared.data()});  // the first blank chunk behind the stream
  cases.push_back({"all-0xFF chunk", c, UNIT_VERDICT_BLANK_CHUNK, 0x180000 + n_used});
  c.assign(ascending.rbegin(), ascending.rend());
  cases.push_back({"descending", c, UNIT_VERDICT_CHUNK_ORDER, 0x180000 + n_used - 512});
  for (const Case& k : cases) {
    LineRig rig;
    LogCapture quiet;
    Unit* p_unit = rig.start(expecting_test_images());
    ASSERT_NE(p_unit, nullptr);
    boot_into_flash_loader(rig.rmc());
    ASSERT_EQ(Rmc_do_erase_flash(rig.rmc()), RMC_RES_OK);
    for (const Chunk& ch : k.chunks)
      ASSERT_EQ(Rmc_do_write_flash(rig.rmc(), 0x180000 + ch.i, ch.p_image + ch.i, 256), RMC_RES_OK)
          << k.p_what;
    ASSERT_EQ(Rmc_do_write_flash(rig.rmc(), 0x180010, t.code.data() + 0x10, 1), RMC_RES_OK);
    EXPECT_EQ(Rmc_do_start_application(rig.rmc()), RMC_RES_DEV_FAIL) << k.p_what;
    rig.stop();
    // The flash holds the sound image all the same: only the order was wrong.
    EXPECT_EQ(memcmp(UnitMem_get_p_flash(Unit_get_mem(p_unit)), t.code.data(), UNIT_FLASH_N), 0);
    const UnitVerdict* p_v = Unit_get_verdict(p_unit);
    ASSERT_NE(p_v, nullptr) << k.p_what << "\n" << trace_of(rig.trace);
    EXPECT_EQ(p_v->code, k.code) << k.p_what << "\n" << trace_of(rig.trace);
    EXPECT_EQ(p_v->a_order, k.a_order) << k.p_what;
    char line[128];
    snprintf(line, sizeof line, "verdict: %s at adr=0x%06x", UnitVerdict_text(k.code), (unsigned)k.a_order);
    EXPECT_TRUE(rig.trace.contains(line)) << line << "\n" << trace_of(rig.trace);
    EXPECT_NE(Unit_get_state(p_unit), UNIT_APPLICATION) << k.p_what;
  }
}

TEST_F(UnitRequests, StartedApplicationHandsBackToTheBootLoaderOnWakeUp) {
  LogCapture quiet;
  start(expecting_test_images());
  UnitMasterInput in = test_images().input();
  UnitMasterResult res;
  ASSERT_EQ(UnitMaster_run(rig.rmc(), &in, &res), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_erase_flash(rig.rmc()), RMC_RES_ILL_FC);  // the application knows no erase
  // A second download runs through again, from the wake-up on.
  EXPECT_EQ(UnitMaster_run(rig.rmc(), &in, &res), RMC_RES_OK);
  EXPECT_EQ(res.step, UNIT_STEP_DONE);
}

// Noise is mostly repaired by block checks and repeats, but not always: a lost or extra
// 0x00 byte leaves the block check as it was, so the unit meets a request of the wrong
// length and answers exception 3; and a corrupted acknowledgement of a reply makes the unit
// repeat that reply, which a master that holds the repeat while it sends its next request
// cannot take in, so that it answers the next reply with NAK until the unit gives up (a
// receive error after the full reply time-out). Whatever happens, noise never starts a
// corrupt application.
TEST(UnitNoise, LineNoiseIsRepairedOrFailsButNeverStartsACorruptImage) {
  int n_ok = 0;
  uint64_t n_faults = 0;
  for (uint64_t seed = 1; seed <= 6; ++seed) {
    LineRig rig;
    UnitConfig cfg = expecting_test_images();
    cfg.line_faults = {0.0004, 0.0002, 0.0002, seed};
    LogCapture quiet;
    Unit* p_unit = rig.start(cfg);
    ASSERT_NE(p_unit, nullptr);
    UnitMasterInput in = test_images().input();
    UnitMasterResult res;
    int r = UnitMaster_run(rig.rmc(), &in, &res);
    rig.stop();
    n_faults += Unit_get_stats(p_unit).n_line_faults;
    if (r == RMC_RES_OK) {
      ++n_ok;
      ASSERT_NE(Unit_get_verdict(p_unit), nullptr) << seed << "\n" << trace_of(rig.trace);
      EXPECT_EQ(Unit_get_verdict(p_unit)->code, UNIT_VERDICT_OK) << seed;
      EXPECT_EQ(memcmp(UnitMem_get_p_flash(Unit_get_mem(p_unit)), test_images().code.data(), UNIT_FLASH_N), 0);
    } else {
      EXPECT_NE(Unit_get_state(p_unit), UNIT_APPLICATION) << seed;
    }
  }
  EXPECT_GE(n_ok, 3);
  EXPECT_GT(n_faults, 20u);
}

TEST_F(UnitRequests, LineThatLosesMostBytesFailsTheFirstRequest) {
  UnitConfig cfg = expecting_test_images();
  cfg.line_faults = {0, 0.6, 0, 3};
  int r = -1;
  UnitMasterResult res = run(cfg, &r);
  EXPECT_TRUE(r == RMC_RES_ERR_REC || r == RMC_RES_ERR_SEND) << r;
  EXPECT_EQ(res.step, UNIT_STEP_ACTIVATE);
  EXPECT_EQ(Unit_get_state(p_unit), UNIT_BOOT_LOADER);
}

TEST_F(UnitRequests, UnsolicitedFrameCollidesAndTheUnitGivesWay) {
  UnitConfig cfg = expecting_test_images();
  cfg.k_collision = 2;
  int r = -1;
  run(cfg, &r);
  EXPECT_EQ(r, RMC_RES_OK);
  EXPECT_EQ(Unit_get_stats(p_unit).n_collisions, 1);
  EXPECT_EQ(Unit_get_state(p_unit), UNIT_APPLICATION);
  EXPECT_TRUE(rig.trace.contains("#2 unsolicited frame against the partner's"));
}

}  // namespace

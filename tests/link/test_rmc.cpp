/*
** test_rmc.cpp - the RMC master's transaction over a real link against a scripted
** responder: signature matching, discarded messages and their fresh time-out, exception
** replies and their look-alikes, wrong lengths, oversized replies, late replies, the send
** and reply time-outs, set-up and the result line. The virtual Win32 clock drives both the
** master's deadlines (GetTickCount) and the links' time callbacks.
*/
#include "link_pair.h"
#include "log_capture.h"
#include "rmc.h"
#include "rmc_core.h"
#include "rmc_responder.h"
#include "win32_time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

size_t count_byte(const Bytes& b, uint8_t v) { return (size_t)std::count(b.begin(), b.end(), v); }

const std::string RESULT_LINE = "error - src/link/rmc.cpp -: send_and_receive returned ";

class RmcTest : public ::testing::Test {
protected:
  RmcTest() : clock(1000), line(0, true), r(line) {}

  /* Runs 0x05 and returns its result; the three values land in v. */
  int get_cpu_type() { return Rmc_do_get_cpu_type(&r.rmc, &v[0], &v[1], &v[2]); }
  /* Lets the master's link take in what the responder sends during t_ms. */
  void drive_master(uint32_t t_ms) {
    uint32_t t_end = GetTickCount() + t_ms;
    while ((int32_t)(t_end - GetTickCount()) > 0) Co3964_do(&r.a);
  }

  Win32VirtualClock clock;
  LinkLine line;
  RmcResponder r;
  uint32_t v[3] = {0, 0, 0};
  const Bytes cpu_reply = cat(cat(cat({0x05}, le32(1)), le32(0x504)), le32(0xA1B2C3D4));
};

TEST_F(RmcTest, MatchingReplyOfTheExpectedLengthSucceeds) {
  r.table[{0x05}] = {{cpu_reply}};
  r.start();
  LogCapture log;
  EXPECT_EQ(get_cpu_type(), RMC_RES_OK);
  EXPECT_EQ(v[0], 1u);
  EXPECT_EQ(v[1], 0x504u);
  EXPECT_EQ(v[2], 0xA1B2C3D4u);
  EXPECT_EQ(r.rmc.n_msg, 13);
  EXPECT_EQ(log.text(), "");
  r.stop();
  EXPECT_EQ(r.requests, (std::vector<Bytes>{{0x05}}));
}

TEST_F(RmcTest, ReplyOneByteShortOrLongEndsAtOnceWithErrRec) {
  for (int delta : {-1, +1}) {
    Bytes bad = cpu_reply;
    if (delta < 0)
      bad.pop_back();
    else
      bad.push_back(0);
    r.table[{0x05}] = {{bad}, {cpu_reply, 10}};  // a good reply follows, too late
    if (delta < 0) r.start();
    LogCapture log;
    uint32_t t0 = GetTickCount();
    EXPECT_EQ(get_cpu_type(), RMC_RES_ERR_REC) << delta;
    EXPECT_LT(GetTickCount() - t0, 100u) << "no wait for a further message";
    EXPECT_EQ(r.rmc.n_msg, (int)bad.size());
    EXPECT_EQ(log.text(), RESULT_LINE + "9 (RMC_RES_ERR_REC     )");
    drive_master(100);  // the late good reply is left in the link ...
    ASSERT_EQ(Co3964_ib_get_n_msg(&r.a), 13);
    uint8_t m[64];
    Co3964_ib_get_msg(&r.a, 64, m);  // ... and thrown away before the next round
  }
}

TEST_F(RmcTest, DiscardedMessagesAreSkippedWithinOneReplyDeadline) {
  // Every kind of message that answers nothing, 400 ms apart, then the reply: it still counts.
  const uint8_t fc = 0x13;
  Bytes req = cat(cat({fc}, le32(0x400000)), le32(2));
  req.push_back(0xAA);
  req.push_back(0xBB);
  Bytes echo(req.begin(), req.begin() + 9);
  Bytes wrong_n = cat(cat({fc}, le32(0x400000)), le32(3));
  r.table[req] = {
      {{}, 400},                  // empty
      {{fc}, 800},                // shorter than the signature
      {wrong_n, 1200},            // does not echo the signature
      {{fc | 0x80, 0}, 1600},     // exception look-alike: code 0
      {{fc | 0x80, 8}, 2000},     // code 8
      {{0x12 | 0x80, 3}, 2400},   // another request's function code
      {{fc | 0x80, 3, 0}, 2800},  // three bytes
      {echo, 3200},
  };
  r.start();
  r.rmc.t_receive_ms = 5000;
  LogCapture log;
  uint32_t t0 = GetTickCount();
  const uint8_t data[2] = {0xAA, 0xBB};
  EXPECT_EQ(Rmc_do_write_xbram(&r.rmc, 0x400000, data, 2), RMC_RES_OK);
  EXPECT_GE(GetTickCount() - t0, 3200u);
  EXPECT_EQ(log.text(), "");
  r.stop();
  EXPECT_EQ(r.requests.size(), 1u);
}

/* A device that takes our request (DLE to our STX and to our frame), never answers it and
** sends a telegram of its own every so often: each one is discarded, but the request ends
** at its reply time-out, in the boot loader's phase and in the flash loader's. */
TEST(RmcTelegrams, PartnerSendingItsOwnTelegramsCannotHoldTheRequest) {
  struct Case { uint32_t period_ms, t_receive_ms; };
  for (Case c : {Case{500, 1000}, Case{90000, 100000}}) {
    Win32VirtualClock clock{1000};
    LinkLine line(0, true);
    RmcResponder device(line);
    std::vector<RmcReply> telegrams;
    for (uint32_t t = c.period_ms; t < 400000; t += c.period_ms)
      telegrams.push_back({{0x7F, 0}, t});
    device.table[{0x07}] = telegrams;
    device.start();
    device.rmc.t_receive_ms = c.t_receive_ms;
    const uint32_t t0 = GetTickCount();
    EXPECT_EQ(Rmc_do_activate_bootloader(&device.rmc), RMC_RES_ERR_REC) << c.period_ms;
    EXPECT_LT(GetTickCount() - t0, c.t_receive_ms + 50) << c.period_ms;
  }
}

TEST_F(RmcTest, NoReplyEndsWithErrRecAfterTheReplyTimeOut) {
  r.start();  // the responder takes the request and says nothing
  r.rmc.t_receive_ms = 3000;
  LogCapture log;
  uint32_t t0 = GetTickCount();
  EXPECT_EQ(Rmc_do_activate_bootloader(&r.rmc), RMC_RES_ERR_REC);
  uint32_t t_used = GetTickCount() - t0;
  EXPECT_GE(t_used, 3000u);
  EXPECT_LT(t_used, 3100u);
  EXPECT_EQ(log.text(), RESULT_LINE + "9 (RMC_RES_ERR_REC     )");
  EXPECT_EQ(r.rmc.n_msg, 1);  // no message taken: still the request
}

TEST_F(RmcTest, ExceptionRepliesEndWithTheirCode) {
  const char* names[] = {"RMC_RES_ILL_FC      ", "RMC_RES_ILL_DATA_ADR", "RMC_RES_ILL_DATA_VAL",
                         "RMC_RES_DEV_FAIL    ", "RMC_RES_ACK         ", "RMC_RES_BUSY        ",
                         "RMC_RES_NAK         "};
  int code = 0;
  r.start([&](const Bytes& req) {
    return std::vector<RmcReply>{{{(uint8_t)(req[0] | 0x80), (uint8_t)code}}};
  });
  for (code = 1; code <= 7; code++) {
    LogCapture log;
    v[0] = 77;
    EXPECT_EQ(get_cpu_type(), code);  // whatever length the command expects
    EXPECT_EQ(log.text(), RESULT_LINE + std::to_string(code) + " (" + names[code - 1] + ")");
    EXPECT_EQ(v[0], (uint32_t)code);  // outputs come from the buffer whatever the result
  }
}

TEST_F(RmcTest, LateReplyIsTakenFirstByTheNextTransaction) {
  r.table[{0x07}] = {{{0x07}, 500}};
  r.table[{0x08}] = {{{0x08}, 5}};  // after the master's link is idle again: while the
                                    // late echo is held, a new frame would get no DLE
  r.start();
  r.rmc.t_receive_ms = 200;
  EXPECT_EQ(Rmc_do_activate_bootloader(&r.rmc), RMC_RES_ERR_REC);
  drive_master(600);  // the late echo of 0x07 now waits in the link
  ASSERT_EQ(Co3964_ib_get_n_msg(&r.a), 1);
  // A different request: the late echo does not match and is discarded.
  r.rmc.t_receive_ms = 5000;
  EXPECT_EQ(Rmc_do_start_application(&r.rmc), RMC_RES_OK);
  EXPECT_EQ(r.rmc.p_msg_buffer[0], 0x08);

  // The same function code: the late echo ends the next request as if it were its reply.
  r.rmc.t_receive_ms = 200;
  EXPECT_EQ(Rmc_do_activate_bootloader(&r.rmc), RMC_RES_ERR_REC);
  drive_master(600);
  uint32_t t0 = GetTickCount();
  r.rmc.t_receive_ms = 0;  // a message that already waits is judged even with no time
  EXPECT_EQ(Rmc_do_activate_bootloader(&r.rmc), RMC_RES_OK);
  EXPECT_LT(GetTickCount() - t0, 50u);
}

/* The partner repeats its reply (as a unit does when our acknowledgement of it was
** damaged): the repeat comes in while the next request is sent, and the next reply right
** behind it. Both requests succeed without any link time-out on either side. */
TEST_F(RmcTest, RepeatedReplyDoesNotBlockTheNextReply) {
  r.table[{0x07}] = {{{0x07}}, {{0x07}}};
  r.table[{0x05}] = {{cpu_reply}};
  r.start();
  LogCapture log;
  uint32_t t0 = GetTickCount();
  EXPECT_EQ(Rmc_do_activate_bootloader(&r.rmc), RMC_RES_OK);
  EXPECT_EQ(get_cpu_type(), RMC_RES_OK);
  EXPECT_EQ(v[1], 0x504u);
  EXPECT_LT(GetTickCount() - t0, 100u);
  EXPECT_EQ(log.text(), "");
  r.stop();
  EXPECT_EQ(r.requests, (std::vector<Bytes>{{0x07}, {0x05}}));
  for (int side : {0, 1}) EXPECT_EQ(count_byte(line.sent(side), 0x15), 0u) << "NAK from " << side;
}

/* A late reply waits in the link when the partner opens yet another frame before the next
** request has left: the late reply cannot answer that request and gives way to the newer
** frame, so the request goes out at once and its reply is taken. */
TEST_F(RmcTest, StaleMessageGivesWayToANewerFrameBeforeTheRequestLeaves) {
  r.table[{0x07}] = {{{0x07}, 500}, {{0x7F, 0x00}, 700}};
  r.table[{0x08}] = {{{0x08}}};
  r.start();
  r.rmc.t_receive_ms = 200;
  EXPECT_EQ(Rmc_do_activate_bootloader(&r.rmc), RMC_RES_ERR_REC);
  drive_master(400);
  ASSERT_EQ(Co3964_ib_get_n_msg(&r.a), 1);  // the late echo of 0x07
  line.wait_ms(0, 200);                      // the unsolicited frame's STX is on the line
  r.rmc.t_receive_ms = 5000;
  LogCapture log;
  uint32_t t0 = GetTickCount();
  EXPECT_EQ(Rmc_do_start_application(&r.rmc), RMC_RES_OK);
  EXPECT_LT(GetTickCount() - t0, 100u);
  EXPECT_EQ(log.text(), "");
  r.stop();
  EXPECT_EQ(count_byte(line.sent(0), 0x15), 0u);
}

TEST_F(RmcTest, ZeroReplyTimeOutWithNothingWaitingFailsAtOnce) {
  r.table[{0x07}] = {{{0x07}, 5}};  // not yet there when the frame has left
  r.start();
  r.rmc.t_receive_ms = 0;
  EXPECT_EQ(Rmc_do_activate_bootloader(&r.rmc), RMC_RES_ERR_REC);
  EXPECT_EQ(r.rmc.n_msg, 1);
}

TEST_F(RmcTest, ReplyTooLongForTheBufferEndsAtOnceWithErrRec) {
  LinkLine line2(0, true);
  RmcResponder small(line2, 32);
  Bytes big(40, 0x11);
  big[0] = 0x07;
  small.table[{0x07}] = {{big}, {{0x07}, 10}};
  small.start();
  LogCapture log;
  EXPECT_EQ(Rmc_do_activate_bootloader(&small.rmc), RMC_RES_ERR_REC);
  EXPECT_EQ(log.text(), RESULT_LINE + "9 (RMC_RES_ERR_REC     )");
  EXPECT_EQ(Co3964_ib_get_n_msg(&small.a), -1);                           // the link dropped it
  for (int i = 1; i < 32; i++) ASSERT_EQ(small.rmc_buffer()[i], 0) << i;  // nothing copied
}

TEST_F(RmcTest, SilentPartnerIsTreatedAsSentAndEndsWithErrRec) {
  // No responder thread: the link gives up after 6 STX; that counts as sent.
  r.rmc.t_receive_ms = 1000;
  uint32_t t0 = GetTickCount();
  EXPECT_EQ(Rmc_do_activate_bootloader(&r.rmc), RMC_RES_ERR_REC);
  EXPECT_EQ(Co3964_ob_get_state(&r.a), 1);
  EXPECT_GE(GetTickCount() - t0, 12000u + 1000u);
}

TEST_F(RmcTest, ChattyLineAfterALongSleepFailsTheRequestWithinTheConnectLimit) {
  // After one long sleep the link finds a byte and waits for a quiet line before its next
  // STX; a DLE every 150 ms for ten minutes never gives it one.
  line.end(0).away_ms = 1000;
  const uint32_t t0 = GetTickCount();
  for (uint32_t t = 20; t < 600000; t += 150) line.inject(0, {0x10}, t0 + t);
  r.rmc.t_receive_ms = 1000;
  LogCapture log;
  EXPECT_EQ(Rmc_do_activate_bootloader(&r.rmc), RMC_RES_ERR_REC);
  EXPECT_LT(GetTickCount() - t0, 12000u + 1000u + 100u);
  EXPECT_EQ(Co3964_ob_get_state(&r.a), 1);
  const LinkLine::End& e = line.end(0);
  ASSERT_GE(e.sent.size(), 2u);
  EXPECT_EQ(e.sent[0], 0x02);
  EXPECT_EQ(e.sent[1], 0x15) << "no data and no further STX on a stale DLE";
  EXPECT_LE(e.sent_t[1] - e.sent_t[0], 12000u) << "gave up after the connect limit";
  EXPECT_EQ(log.text(), RESULT_LINE + "9 (RMC_RES_ERR_REC     )");
}

/* A device that keeps sending: from t_from on, `packet` bytes arrive together every
** period_ms (a USB adapter hands them over so), or with period 0 a byte is always there,
** faster than the link takes them; at most n_max bytes. The line's scripted bytes come first.
** Installed as the receive callback of the link on end 0. */
struct Flood {
  LinkLine* line;
  uint32_t t_from, period_ms, packet;
  uint8_t byte;
  uint64_t n_max = 4000000, n_taken = 0;

  static Flood* installed;
  static int receive(void* p_end) {
    Flood* f = installed;
    int ch = f->line->take(0);
    if (ch >= 0) return ch;
    const uint32_t t = GetTickCount() - f->t_from;
    const uint64_t n_come = f->period_ms ? (t / f->period_ms + 1) * (uint64_t)f->packet : f->n_max;
    if ((int32_t)t < 0 || f->n_taken >= std::min(n_come, f->n_max)) {
      ((LinkLine::End*)p_end)->line->idle(0, 1);
      return -1;
    }
    f->n_taken++;
    return f->byte;
  }
  void install(Co3964* p_co) {
    installed = this;
    p_co->cb_uart_receive_byte_nw = &Flood::receive;
  }
};
Flood* Flood::installed = nullptr;

/* The master's pause between two link steps takes a millisecond (Sleep(0) included): with
** bytes always waiting it is the only time that passes. */
void sleep_at_least_1ms(void* p_clock, DWORD t_ms) {
  ((Win32VirtualClock*)p_clock)->advance(t_ms ? t_ms : 1);
}

TEST(RmcStream, PartnerThatNeverFallsQuietFailsTheRequestWithinOneFrameAndTheTimeOut) {
  // A device on the wrong port takes the request as a unit would, then opens a frame and
  // keeps sending: text or STX, a byte at a time, in packets as USB adapters deliver them,
  // or faster than the link takes them. Each frame ends at the byte that overflows the
  // 512-byte inbound buffer, and each call of the link hands back after one exchange, so
  // the request fails within the reply time-out and one frame's worth of the stream.
  struct Stream { uint32_t period_ms, packet; uint8_t byte; };
  for (Stream s : {Stream{1, 1, 'A'}, Stream{150, 1, 0x02}, Stream{5, 62, 0x02},
                   Stream{0, 1, 0x02}, Stream{0, 1, 'A'}}) {
    Win32VirtualClock clock{1000};
    clock.set_sleep(&sleep_at_least_1ms, &clock);
    LinkLine line(0, true);
    RmcResponder quiet(line);  // its partner never runs: the stream is scripted
    const uint32_t t0 = GetTickCount();
    line.inject(0, {0x10}, t0 + 1);  // our STX acknowledged ...
    line.inject(0, {0x10}, t0 + 5);  // ... and our frame
    line.inject(0, {0x02}, t0 + 10);
    Flood flood{&line, t0 + 10 + std::max(s.period_ms, 1u), s.period_ms, s.packet, s.byte};
    flood.install(&quiet.a);
    quiet.rmc.t_receive_ms = 1000;
    LogCapture log;
    EXPECT_EQ(Rmc_do_activate_bootloader(&quiet.rmc), RMC_RES_ERR_REC) << s.period_ms;
    const uint32_t t_frame = (513 + s.packet - 1) / s.packet * s.period_ms;  // 512 + 1 bytes
    EXPECT_LT(GetTickCount() - t0, 10 + t_frame + 1000 + 10) << s.period_ms;
    EXPECT_LT(flood.n_taken, flood.n_max) << s.period_ms << ": a call ran through the stream";
    EXPECT_EQ(log.text(), RESULT_LINE + "9 (RMC_RES_ERR_REC     )");
  }
}

/* Frames back to back from before the request could leave until after t_send_ms: the
** request fails to get off and is withdrawn. It never reaches the line, and the next
** request, with a sound partner, goes out and succeeds. */
TEST_F(RmcTest, RequestThatCannotLeaveIsWithdrawnAndTheNextOneSucceeds) {
  clock.set_sleep(&sleep_at_least_1ms, &clock);
  const uint32_t t0 = GetTickCount();
  Flood flood{&line, t0, 0, 1, 0x02};  // enough for about 7.8 s of frames
  flood.install(&r.a);
  LogCapture log;
  EXPECT_EQ(Rmc_do_activate_bootloader(&r.rmc), RMC_RES_ERR_SEND);
  EXPECT_LT(GetTickCount() - t0, 5000u + 10);
  EXPECT_EQ(log.text(), RESULT_LINE + "8 (RMC_RES_ERR_SEND    )");
  EXPECT_EQ(Co3964_ob_get_state(&r.a), 1);
  flood.n_max = flood.n_taken;  // the partner falls quiet
  drive_master(3000);           // the link has nothing to send
  EXPECT_EQ(count_byte(line.sent(0), 0x02), 0u);
  line.end(1).rx.clear();  // the stream's answers are no business of the partner's
  r.table[{0x08}] = {{{0x08}}};
  r.start();
  EXPECT_EQ(Rmc_do_start_application(&r.rmc), RMC_RES_OK);
  r.stop();
  EXPECT_EQ(r.requests, (std::vector<Bytes>{{0x08}}));
}

TEST_F(RmcTest, BusyLinkEndsWithErrSendAtOnce) {
  const uint8_t other = 0x42;
  ASSERT_EQ(Co3964_ob_set_msg(&r.a, 1, &other), 2);  // someone else's message is pending
  LogCapture log;
  uint32_t t0 = GetTickCount();
  EXPECT_EQ(Rmc_do_start_application(&r.rmc), RMC_RES_ERR_SEND);
  EXPECT_EQ(GetTickCount(), t0);
  EXPECT_EQ(log.calls(), (std::vector<std::string>{
                             "error - src/link/rmc.cpp - send_message: unexpected result 1",
                             RESULT_LINE + "8 (RMC_RES_ERR_SEND    )"}));
  EXPECT_EQ(Co3964_ob_get_state(&r.a), 2) << "not ours to withdraw";
}

TEST_F(RmcTest, RequestLongerThanTheLinkSlotEndsWithErrSend) {
  Co3964 small_link;
  Bytes ib(16), ob(16);
  LinkLine line2(0, true);
  line2.init_link(&small_link, 0, ib, ob, 1, 1);
  Rmc m;
  uint8_t buf[64];
  ASSERT_TRUE(Rmc_init_as_master(&m, 64, buf, &small_link));
  LogCapture log;
  uint8_t data[20] = {};
  EXPECT_EQ(Rmc_do_write_xbram(&m, 0, data, 20), RMC_RES_ERR_SEND);
  EXPECT_TRUE(log.contains("send_message: unexpected result 3"));
}

TEST(RmcWrap, WaitSurvivesTheWrapOfTheTick) {
  Win32VirtualClock clock(0xFFFFFFFFu - 500);
  LinkLine line(0, true);
  RmcResponder r(line);
  r.start();
  r.rmc.t_receive_ms = 2000;
  uint32_t t0 = GetTickCount();
  EXPECT_EQ(Rmc_do_erase_flash(&r.rmc), RMC_RES_ERR_REC);
  uint32_t t_used = GetTickCount() - t0;
  EXPECT_LT(GetTickCount(), t0);  // wrapped
  EXPECT_GE(t_used, 2000u);
  EXPECT_LT(t_used, 2100u);
}

TEST(RmcInit, BadArgumentsAreEachLoggedAndEveryFieldIsWritten) {
  LogCapture log;
  Rmc m;
  memset(&m, 0x5A, sizeof(m));
  EXPECT_EQ(Rmc_init_as_master(&m, 0, nullptr, nullptr), nullptr);
  const std::string pre = "error - src/link/rmc.cpp - Rmc_init_as_slave: ";
  EXPECT_EQ(log.calls(), (std::vector<std::string>{pre + "p -> m_msg_buffer = m_msg_buffer)",
                                                   pre + "p -> p_msg_buffer = p_msg_buffer)",
                                                   pre + "p -> p_co = p_co)"}));
  EXPECT_EQ(m.n_msg, 0);
  EXPECT_EQ(m.t_send_ms, 5000u);
  EXPECT_EQ(m.t_receive_ms, 5000u);
  EXPECT_EQ(m.slave_cfg_a[2], -1);
  EXPECT_EQ(m.slave_const[1], 1u);
  EXPECT_EQ(m.slave_cfg_b[22], 0u);
  log.clear();
  EXPECT_EQ(Rmc_init_as_master(nullptr, 384, nullptr, nullptr), nullptr);
  EXPECT_EQ(log.text(), "");
}

TEST(RmcResult, LinesCarryTheCodeAndThePaddedName) {
  LogCapture log;
  EXPECT_EQ(rmc_core::log_result(0), 0);
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(rmc_core::log_result(9), 9);
  EXPECT_EQ(rmc_core::log_result(10), 10);
  EXPECT_EQ(rmc_core::log_result(-1), -1);
  EXPECT_EQ(rmc_core::log_result(11), 11);
  EXPECT_EQ(log.calls(),
            (std::vector<std::string>{RESULT_LINE + "9 (RMC_RES_ERR_REC     )",
                                      RESULT_LINE + "10 (RMC_RES_ERR_ELSE    )",
                                      RESULT_LINE + "-1 (?]", RESULT_LINE + "11 (?]"}));
  for (int i = 1; i <= 10; i++) EXPECT_EQ(strlen(Rmc_res_get_name(i)), 20u) << i;
  EXPECT_EQ(Rmc_res_get_name(0), nullptr);
}

TEST(RmcTransaction, BadSignatureLengthsAreRefusedWithALine) {
  LogCapture log;
  uint8_t buf[32] = {0x05};
  Rmc m;
  Co3964 c;
  memset(&c, 0, sizeof(c));
  Rmc_init_as_master(&m, 32, buf, &c);
  EXPECT_EQ(rmc_core::send_and_receive(nullptr, 1, 1), RMC_RES_ERR_ELSE);
  EXPECT_EQ(rmc_core::send_and_receive(&m, -1, 1), RMC_RES_ERR_ELSE);
  EXPECT_EQ(rmc_core::send_and_receive(&m, 17, 1), RMC_RES_ERR_ELSE);
  EXPECT_EQ(log.calls(), (std::vector<std::string>{
                             "error - src/link/rmc.cpp - send_and_receive: p == NULL",
                             "error - src/link/rmc.cpp - send_and_receive: n_signa < 0",
                             "error - src/link/rmc.cpp - send_and_receive: n_signa > N_SIGNA"}));
  log.clear();
  uint8_t x[2] = {1, 2}, y[2] = {1, 3};
  EXPECT_EQ(rmc_core::signa_is_ok(1, x, y), 1);
  EXPECT_EQ(rmc_core::signa_is_ok(2, x, y), 0);
  EXPECT_EQ(rmc_core::signa_is_ok(0, x, x), 0);
  EXPECT_EQ(rmc_core::signa_is_ok(1, nullptr, x), 0);
  EXPECT_EQ(rmc_core::signa_is_ok(1, x, nullptr), 0);
  EXPECT_EQ(log.calls(), (std::vector<std::string>{
                             "error - src/link/rmc.cpp - signa_is_ok: p_signa_a == NULL",
                             "error - src/link/rmc.cpp - signa_is_ok: p_signa_b == NULL"}));
  EXPECT_EQ(Rmc_do_get_cpu_type(nullptr, nullptr, nullptr, nullptr), RMC_RES_ERR_ELSE);
}

}  // namespace

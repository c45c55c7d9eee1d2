/*
** test_co3964.cpp - the 3964R link layer against what a partner can provoke: exact wire
** bytes, DLE doubling, limits, time-outs, collisions, busy buffers and line noise. Link
** objects run over the in-memory line of link_pair.h on its virtual clock, against a
** scripted partner (bytes injected with arrival ticks, or a partner thread) or a second
** link object.
*/
#include "co3964.h"
#include "link_pair.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

constexpr uint8_t STX = 0x02, ETX = 0x03, DLE = 0x10, NAK = 0x15;

Bytes repeat(const Bytes& b, int n) {
  Bytes r;
  for (int i = 0; i < n; i++) r = cat(r, b);
  return r;
}

size_t count(const Bytes& b, uint8_t v) { return (size_t)std::count(b.begin(), b.end(), v); }

/* One link object on end 0 of a line, the partner on end 1. */
class LinkTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(line.init_link(&a, 0, ib, ob, 1, 1)); }

  /* The held inbound message of a, fetched. */
  Bytes fetch(Co3964* p = nullptr) {
    Bytes m(400);
    int n = Co3964_ib_get_msg(p ? p : &a, (int32_t)m.size(), m.data());
    if (n < 0) return Bytes{0xEE, 0xEE, 0xEE};
    m.resize(n);
    return m;
  }
  /* Calls the link until it has nothing more to do at once (one exchange per call). */
  int drive() {
    int r;
    while ((r = Co3964_do(&a)) == CO3964_DO_AGAIN) {
    }
    return r;
  }
  /* Runs the link as an owner that does not fetch while the link waits for its buffer. */
  void do_without_fetch() {
    while (drive() == CO3964_DO_IB_WANTED) {
    }
  }
  int send(const Bytes& m) {
    static const uint8_t none = 0;  // an empty vector has no data pointer
    return Co3964_ob_set_msg(&a, (int32_t)m.size(), m.empty() ? &none : m.data());
  }

  LinkLine line;
  Bytes ib = Bytes(384), ob = Bytes(384);
  Co3964 a;
};

/* --- the wire ------------------------------------------------------------------- */

struct BccCase {
  Bytes msg;
  uint8_t bcc;
};

void PrintTo(const BccCase& c, std::ostream* os) {
  *os << c.msg.size() << " bytes, BCC " << (int)c.bcc;
}

class WireTest : public LinkTest, public ::testing::WithParamInterface<BccCase> {};

TEST_P(WireTest, SenderPutsTheFrameOnTheWireByteForByte) {
  const BccCase& c = GetParam();
  ASSERT_EQ(send(c.msg), 2);
  line.inject(0, {DLE}, 1);  // the partner acknowledges the STX ...
  line.inject(0, {DLE}, 2);  // ... and the frame
  Co3964_do(&a);
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);
  EXPECT_EQ(line.sent(0), cat({STX}, frame_wire(c.msg)));
  EXPECT_EQ(line.sent(0).back(), c.bcc);  // the BCC is one byte, also when it is 0x10
  const uint8_t* p_msg = c.msg.empty() ? (const uint8_t*)"" : c.msg.data();
  EXPECT_EQ(Co3964_calc_bcc((int32_t)c.msg.size(), p_msg), c.bcc);
  EXPECT_TRUE(Co3964_assert_state(&a));
}

TEST_P(WireTest, ReceiverTakesTheFrameAndAcknowledgesTwice) {
  const BccCase& c = GetParam();
  line.inject(0, {STX}, 0);
  line.inject(0, frame_wire(c.msg), 1);
  Co3964_do(&a);
  EXPECT_EQ(line.sent(0), (Bytes{DLE, DLE}));
  EXPECT_EQ(Co3964_ib_get_n_msg(&a), (int)c.msg.size());
  EXPECT_EQ(fetch(), c.msg);
  EXPECT_EQ(Co3964_ib_get_n_msg(&a), -1);
}

INSTANTIATE_TEST_SUITE_P(BlockCheckExamples, WireTest,
                         ::testing::Values(BccCase{{}, 0x13}, BccCase{{0x07}, 0x14},
                                           BccCase{{0x61, 0x62, 0x63}, 0x73},
                                           BccCase{{0x10, 0x41}, 0x52}, BccCase{{0x01, 0x02}, 0x10},
                                           BccCase{{0x10, 0x10, 0x10}, 0x13}));

TEST_F(LinkTest, OneByteMessageTravelsExactlyAsDocumented) {
  ASSERT_EQ(send({0x07}), 2);
  line.inject(0, {DLE}, 1);
  line.inject(0, {DLE}, 2);
  Co3964_do(&a);
  EXPECT_EQ(line.sent(0), (Bytes{0x02, 0x07, 0x10, 0x03, 0x14}));
  EXPECT_EQ(Co3964_calc_bcc(2, nullptr), 0);
}

TEST_F(LinkTest, ByteBySendingWithoutBlockCallbackDoublesDleAndGivesWay) {
  ASSERT_TRUE(line.init_link(&a, 0, ib, ob, 1, 1, false));
  ASSERT_EQ(send({0x10, 0x41, 0x10}), 2);
  line.inject(0, {DLE}, 1);
  line.inject(0, {DLE}, 2);
  Co3964_do(&a);
  EXPECT_EQ(line.sent(0), cat({STX}, frame_wire({0x10, 0x41, 0x10})));
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);

  // A byte from the partner in the middle of the data stops the attempt; it is consumed.
  // (Each empty receive takes 1 ms, so 0x55 comes just after the DLE was found fresh.)
  line.clear_sent();
  line.end(0).yield_on_empty_rx = true;
  ASSERT_EQ(send({0x41, 0x42}), 2);
  line.inject(0, {DLE}, line.now() + 1);
  line.inject(0, {0x55}, line.now() + 2);  // 0x55 waits when the data starts
  line.inject(0, {DLE}, line.now() + 20);
  line.inject(0, {DLE}, line.now() + 40);
  Co3964_do(&a);
  Bytes s = line.sent(0);
  EXPECT_EQ(Bytes(s.begin(), s.begin() + 2), (Bytes{STX, NAK}));  // stopped before any data
  EXPECT_EQ(Bytes(s.begin() + 2, s.end()), cat({STX}, frame_wire({0x41, 0x42})));
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);
  EXPECT_EQ(a.n_try_tx, 2);
}

/* --- two link objects ------------------------------------------------------------- */

/* A second link on end 1 run by the partner thread; it echoes every message it gets. */
class PairTest : public LinkTest {
protected:
  void start_echo(int with_bcc = 1, int high_priority = 0) {
    ASSERT_TRUE(line.init_link(&b, 1, ib_b, ob_b, with_bcc, high_priority));
    line.start_partner([this] {
      Bytes m(384);
      while (!line.stopping()) {
        Co3964_do(&b);
        int n = Co3964_ib_get_msg(&b, (int32_t)m.size(), m.data());
        if (n >= 0) {
          std::reverse(m.begin(), m.begin() + n);
          Co3964_ob_set_msg(&b, n, m.data());
        }
        line.idle(1, 1);
      }
    });
  }
  /* Drives a until it holds a message or t_ms have passed. */
  bool wait_for_msg(uint32_t t_ms) {
    uint32_t t_end = line.now() + t_ms;
    while (Co3964_ib_get_n_msg(&a) < 0 && (int32_t)(t_end - line.now()) > 0) {
      Co3964_do(&a);
      line.idle(0, 1);
    }
    return Co3964_ib_get_n_msg(&a) >= 0;
  }

  Bytes ib_b = Bytes(384), ob_b = Bytes(384);
  Co3964 b;
};

TEST_F(PairTest, RandomMessagesRoundTripThroughASecondLink) {
  start_echo();
  std::mt19937 rng(7);
  for (int i = 0; i < 60; i++) {
    Bytes m(rng() % 385);
    for (auto& x : m) x = (rng() % 3 == 0) ? DLE : (uint8_t)rng();  // many DLEs, STX, ETX
    if (i == 0) m.clear();
    if (i == 1) m.assign(384, DLE);
    ASSERT_EQ(send(m), 2);
    ASSERT_TRUE(wait_for_msg(5000)) << "message " << i;
    EXPECT_EQ(Co3964_ob_get_state(&a), 0);
    std::reverse(m.begin(), m.end());
    ASSERT_EQ(fetch(), m) << "message " << i;
  }
  line.stop_partner();
  EXPECT_TRUE(Co3964_assert_state(&a));
  EXPECT_TRUE(Co3964_assert_state(&b));
}

TEST_F(PairTest, MessageOfExactlyTheCapacityPassesAndOneByteMoreIsRefused) {
  start_echo();
  Bytes m(384, 0x5A);
  EXPECT_EQ(send(cat(m, {0x01})), 3);
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);  // unchanged
  ASSERT_EQ(send(m), 2);
  LogCapture log;
  EXPECT_EQ(send({0x01}), 1);  // still pending: refused without a line
  EXPECT_EQ(log.text(), "");
  ASSERT_TRUE(wait_for_msg(5000));
  EXPECT_EQ(fetch(), m);
}

/* A frame one byte longer than the inbound buffer is refused, also when the block check
** could not see it (the extra byte is 0x00) and when there is no block check at all; the
** NAK goes out at the byte that does not fit, not at the frame's end. */
TEST_F(LinkTest, FrameLongerThanTheInboundBufferIsRefusedNeverCut) {
  for (int with_bcc : {1, 0}) {
    Bytes small_ib(4);
    LinkLine l;
    ASSERT_TRUE(l.init_link(&a, 0, small_ib, ob, with_bcc, 1));
    l.inject(0, {STX}, 0);
    l.inject(0, frame_wire({1, 2, 3, 4}, with_bcc), 1);
    Co3964_do(&a);
    EXPECT_EQ(fetch(), (Bytes{1, 2, 3, 4}));  // exactly the capacity
    l.clear_sent();
    const uint32_t t = l.now();
    l.inject(0, {STX}, t);
    Bytes w = frame_wire({1, 2, 3, 4, 0x00}, with_bcc);
    for (size_t i = 0; i < w.size(); i++) l.inject(0, {w[i]}, t + 10 * (i + 1));
    Co3964_do(&a);
    const Bytes sent = l.sent(0);
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 2), (Bytes{DLE, NAK})) << "with_bcc " << with_bcc;
    EXPECT_EQ(l.end(0).sent_t[1], t + 50) << "refused at the fifth byte";
    EXPECT_EQ(Co3964_ib_get_n_msg(&a), -1);
  }
}

/* --- limits against partners that do not cooperate -------------------------------- */

/* Bytes that are always there (a port that hands over faster than the link takes them, on a
** clock that stands still meanwhile) hold no call for longer than one exchange: a refused
** frame, a stray byte, a NAK, a message given up, or two frames that our message gave way to.
** Each case gets 20000 bytes at once; a call must take only its exchange's share. */
TEST_F(LinkTest, EveryCallEndsAfterOneExchangeWhateverWaitsBehindIt) {
  const size_t n_frame = 1 + 2 * 384 + 3;  // STX and a full buffer of doubled bytes
  struct Case { const char* what; uint8_t byte; bool pending; int high_priority; size_t n_max; };
  for (Case c : {Case{"STX stream", STX, false, 1, n_frame}, Case{"text", 'A', false, 1, 1},
                 Case{"NAKs", NAK, false, 1, 1},
                 Case{"STX stream, message pending", STX, true, 1, n_frame},
                 Case{"DLE flood after our STX", DLE, true, 1, 16 + 6 * (n_frame + 1)},
                 Case{"STX flood, we give way", STX, true, 0, 2 * n_frame}}) {
    LinkLine l;
    ASSERT_TRUE(l.init_link(&a, 0, ib, ob, 1, c.high_priority));
    if (c.pending) {
      ASSERT_EQ(send({0x41}), 2);
    }
    const bool answers_our_stx = c.pending && c.byte != STX;
    l.inject(0, Bytes(20000, c.byte), answers_our_stx ? 1 : 0);
    EXPECT_EQ(Co3964_do(&a), CO3964_DO_AGAIN) << c.what;
    EXPECT_LE(20000 - l.n_waiting(0), c.n_max) << c.what;
    if (answers_our_stx) {
      EXPECT_EQ(Co3964_ob_get_state(&a), 1) << c.what << ": given up";
    }
  }
}

TEST_F(LinkTest, SilentPartnerGetsSixStxTwoSecondsApartThenNak) {
  ASSERT_EQ(send({0x41}), 2);
  uint32_t t0 = line.now();
  Co3964_do(&a);
  EXPECT_EQ(Co3964_ob_get_state(&a), 1);
  Bytes expect = cat(repeat({STX}, 6), {NAK});
  EXPECT_EQ(line.sent(0), expect);
  auto& t = line.end(0).sent_t;
  for (int i = 1; i < 7; i++) EXPECT_EQ(t[i] - t[i - 1], 2001u) << i;  // wait of 2000 ms
  EXPECT_GE(line.now() - t0, 12000u);
  EXPECT_EQ(Co3964_ob_get_state(&a), 1);
  EXPECT_EQ(a.state, 0);
}

TEST_F(LinkTest, DeadlineBeyondTheWrapOfTheTickStillLastsItsTime) {
  LinkLine wrap_line(0xFFFFFFFFu - 3000);
  ASSERT_TRUE(wrap_line.init_link(&a, 0, ib, ob, 1, 1));
  ASSERT_EQ(send({0x41}), 2);
  Co3964_do(&a);
  auto& t = wrap_line.end(0).sent_t;
  ASSERT_EQ(t.size(), 7u);
  EXPECT_GT(t[0], 0xF0000000u);
  EXPECT_LT(t[6], 0x10000u);  // the tick wrapped during the waits
  for (int i = 1; i < 7; i++) EXPECT_EQ(t[i] - t[i - 1], 2001u) << i;
}

TEST_F(LinkTest, PartnerAnsweringStxWithJunkCostsConnectAttemptsAndFailsAtOnce) {
  ASSERT_EQ(send({0x41}), 2);
  line.start_partner([this] {
    while (!line.stopping()) {
      int ch = line.read_byte(1, 10);
      if (ch == STX) line.put(1, 0x41);
    }
  });
  uint32_t t0 = line.now();
  Co3964_do(&a);
  uint32_t t_used = line.now() - t0;
  line.stop_partner();
  EXPECT_EQ(line.sent(0), cat(repeat({STX}, 6), {NAK}));  // six connects, one transmission
  EXPECT_EQ(Co3964_ob_get_state(&a), 1);
  EXPECT_EQ(a.n_try_tx, 1);
  EXPECT_LT(t_used, 100u);  // no acknowledgement time-out was waited out
}

static int reject_all(void* p, int, const uint8_t*) {
  ++*(int*)p;
  return 0;
}

/* Five failed connects cost nothing beyond their attempt: every transmission attempt starts
** with a fresh connect count, so a frame refused once still gets its five spare STX. */
TEST_F(LinkTest, EveryTransmissionAttemptStartsWithAFreshConnectCount) {
  ASSERT_EQ(send({0x41}), 2);
  int n_frames = 0;
  line.start_partner([&] {
    int n_stx = 0;
    while (!line.stopping()) {
      int ch = line.read_byte(1, 10);
      if (ch != STX) continue;
      if (++n_stx % 6 != 0) {
        line.put(1, 0x41);  // junk: a failed connect
        continue;
      }
      line.put(1, DLE);
      for (size_t i = 0; i < frame_wire({0x41}).size(); i++) line.read_byte(1, 10);
      line.put(1, ++n_frames == 1 ? NAK : DLE);  // the first frame is refused
    }
  });
  Co3964_do(&a);
  line.stop_partner();
  Bytes attempt = cat(repeat({STX}, 6), frame_wire({0x41}));
  EXPECT_EQ(line.sent(0), repeat(attempt, 2));
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);
  EXPECT_EQ(a.n_try_tx, 2);
  EXPECT_EQ(a.n_try_connect, 6);
}

TEST_F(PairTest, PartnerRejectingEveryFrameGetsSixFramesThenNak) {
  ASSERT_TRUE(line.init_link(&b, 1, ib_b, ob_b, 1, 0));
  int n_checks = 0;
  Co3964_set_cb_ib_check(&b, &n_checks, reject_all);
  line.start_partner([this] {
    while (!line.stopping()) {
      Co3964_do(&b);
      line.idle(1, 1);
    }
  });
  ASSERT_EQ(send({0x41, 0x10}), 2);
  Co3964_do(&a);
  line.stop_partner();
  EXPECT_EQ(Co3964_ob_get_state(&a), 1);
  Bytes frame = cat({STX}, frame_wire({0x41, 0x10}));
  EXPECT_EQ(line.sent(0), cat(repeat(frame, 6), {NAK}));
  EXPECT_EQ(line.sent(1), repeat({DLE, NAK}, 6));
  EXPECT_EQ(n_checks, 6);
  EXPECT_EQ(Co3964_ib_get_n_msg(&b), -1);
}

TEST_F(PairTest, InboundCheckIsNeverAskedWithoutBlockCheck) {
  ASSERT_TRUE(line.init_link(&a, 0, ib, ob, 0, 1));
  ASSERT_TRUE(line.init_link(&b, 1, ib_b, ob_b, 0, 0));
  int n_checks = 0;
  Co3964_set_cb_ib_check(&b, &n_checks, reject_all);
  line.start_partner([this] {
    while (!line.stopping()) {
      Co3964_do(&b);
      line.idle(1, 1);
    }
  });
  ASSERT_EQ(send({0x41}), 2);
  Co3964_do(&a);
  line.stop_partner();
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);
  EXPECT_EQ(n_checks, 0);
  EXPECT_EQ(fetch(&b), (Bytes{0x41}));
}

TEST_F(LinkTest, FailedBlockSendCostsATransmissionAttempt) {
  line.end(0).fail_block_send = true;
  line.start_partner([this] {
    while (!line.stopping())
      if (line.read_byte(1, 10) == STX) line.put(1, DLE);
  });
  ASSERT_EQ(send({0x41}), 2);
  Co3964_do(&a);
  line.stop_partner();
  EXPECT_EQ(line.sent(0), cat(repeat({STX, NAK}, 6), {NAK}));
  EXPECT_EQ(Co3964_ob_get_state(&a), 1);
}

/* --- collisions ------------------------------------------------------------------- */

TEST_F(LinkTest, HighPriorityCollisionSwallowsPartnerStxAndRestartsTheWait) {
  ASSERT_EQ(send({0x41}), 2);
  line.inject(0, {STX}, 1500);  // the partner opens a frame at the same time
  line.inject(0, {DLE}, 3000);  // and gives way: 3000 > 2000 after our STX, < 2000 after its
  line.inject(0, {DLE}, 3001);
  Co3964_do(&a);
  EXPECT_EQ(line.sent(0), cat({STX}, frame_wire({0x41})));  // one STX only
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);
  EXPECT_EQ(Co3964_ib_get_n_msg(&a), -1);
  EXPECT_EQ(a.tx_pending, 0);

  // A partner that opens frame after frame never gives way: each swallowed STX costs a
  // connect attempt, and the sixth gives the message up.
  line.clear_sent();
  ASSERT_EQ(send({0x41}), 2);
  const uint32_t t = line.now();
  for (uint32_t i = 1; i < 4000; i++) line.inject(0, {STX}, t + 150 * i);
  Co3964_do(&a);
  EXPECT_EQ(line.sent(0), (Bytes{STX, NAK}));
  EXPECT_EQ(line.end(0).sent_t[1], t + 6 * 150);
  EXPECT_EQ(Co3964_ob_get_state(&a), 1);
}

TEST_F(LinkTest, LowPriorityCollisionReceivesThePartnerFrameFirst) {
  ASSERT_TRUE(line.init_link(&a, 0, ib, ob, 1, 0));
  ASSERT_EQ(send({0x41}), 2);
  line.inject(0, {STX}, 1);
  line.inject(0, frame_wire({0x55, 0x10}), 2);
  line.inject(0, {DLE}, 10);
  line.inject(0, {DLE}, 11);
  Co3964_do(&a);
  Bytes expect = cat({STX, DLE, DLE, STX}, frame_wire({0x41}));
  EXPECT_EQ(line.sent(0), expect);
  EXPECT_EQ(fetch(), (Bytes{0x55, 0x10}));
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);
  EXPECT_EQ(a.tx_pending, 0);
  EXPECT_EQ(a.n_try_tx, 1);
}

/* The reception this side gave way to ends without passing "reception over" (its buffer
** stays held); the deferred message then goes out from idle. It must not go out a second
** time when the next inbound frame ends. */
TEST_F(LinkTest, DeferredMessageSentFromIdleIsNotSentAgainAfterTheNextFrame) {
  ASSERT_TRUE(line.init_link(&a, 0, ib, ob, 1, 0));
  line.inject(0, {STX}, 0);
  line.inject(0, frame_wire({0x01}), 1);
  Co3964_do(&a);  // a now holds {0x01}
  ASSERT_EQ(Co3964_ib_get_n_msg(&a), 1);
  line.clear_sent();
  ASSERT_EQ(send({0x41}), 2);
  uint32_t t = line.now();
  line.inject(0, {STX}, t + 1);     // collision: we give way, but our buffer is held
  line.inject(0, {DLE}, t + 2100);  // after our NAK at about t + 2002 we send from idle
  line.inject(0, {DLE}, t + 2101);
  do_without_fetch();
  EXPECT_EQ(line.sent(0), cat({STX, NAK, STX}, frame_wire({0x41})));
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);
  EXPECT_EQ(fetch(), (Bytes{0x01}));

  line.clear_sent();
  line.inject(0, {STX});
  line.inject(0, frame_wire({0x02}), line.now() + 1);
  drive();
  EXPECT_EQ(line.sent(0), (Bytes{DLE, DLE}));  // no second copy of our frame
  EXPECT_EQ(fetch(), (Bytes{0x02}));
  EXPECT_EQ(a.tx_pending, 0);
}

TEST_F(PairTest, RealCollisionBetweenTwoLinksDeliversBothMessages) {
  line.latency_ms = 5;  // both STX are on their way before either arrives
  ASSERT_TRUE(line.init_link(&b, 1, ib_b, ob_b, 1, 0));
  Bytes got_b;
  line.start_partner([&] {
    Bytes m = {0xB0, 0x10};
    Co3964_ob_set_msg(&b, (int32_t)m.size(), m.data());
    while (!line.stopping()) {
      Co3964_do(&b);
      if (Co3964_ib_get_n_msg(&b) >= 0) got_b = fetch(&b);
      line.idle(1, 1);
    }
  });
  ASSERT_EQ(send({0xA0}), 2);
  ASSERT_TRUE(wait_for_msg(10000));
  EXPECT_EQ(fetch(), (Bytes{0xB0, 0x10}));
  line.stop_partner();
  EXPECT_EQ(got_b, (Bytes{0xA0}));
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);
  EXPECT_EQ(Co3964_ob_get_state(&b), 0);
  EXPECT_EQ(count(line.sent(0), STX), 1u);  // the high-priority side sent once
}

/* --- receiving: busy buffer, time-outs, bad frames, noise ------------------------- */

TEST_F(LinkTest, BusyInboundBufferIsAnsweredWithNakAfterTwoSeconds) {
  line.inject(0, {STX}, 0);
  line.inject(0, frame_wire({0x01}), 1);
  Co3964_do(&a);
  line.clear_sent();
  uint32_t t = line.now();
  line.inject(0, {STX}, t);
  EXPECT_EQ(Co3964_do(&a), CO3964_DO_IB_WANTED);  // handed back at once, no answer yet
  EXPECT_EQ(line.now(), t);
  do_without_fetch();
  EXPECT_EQ(line.sent(0), (Bytes{NAK}));
  EXPECT_EQ(line.end(0).sent_t[0] - t, 2001u);
  EXPECT_EQ(a.state, 0);
  EXPECT_EQ(fetch(), (Bytes{0x01}));  // the held message was not touched
}

/* A single-threaded owner can only fetch between calls of Co3964_do: the link hands it
** back while a new frame waits, and acknowledges that frame at the next call. */
TEST_F(LinkTest, OwnerFetchesBetweenCallsAndTheWaitingFrameGetsItsDle) {
  line.inject(0, {STX}, 0);
  line.inject(0, frame_wire({0x01}), 1);
  line.inject(0, {STX}, 1);  // the partner's next frame follows at once
  EXPECT_EQ(drive(), CO3964_DO_IB_WANTED);
  EXPECT_EQ(line.sent(0), (Bytes{DLE, DLE}));  // the second STX has no answer yet
  uint32_t t_fetch = line.now() + 500;
  line.advance(500);                  // the owner takes its time, well within 2000 ms
  EXPECT_EQ(fetch(), (Bytes{0x01}));
  line.inject(0, frame_wire({0x02}), t_fetch + 1);  // its data follow our DLE
  EXPECT_EQ(drive(), 1);
  EXPECT_EQ(line.sent(0), (Bytes{DLE, DLE, DLE, DLE}));
  EXPECT_EQ(line.end(0).sent_t[2], t_fetch);  // acknowledged as soon as it was fetched
  EXPECT_EQ(fetch(), (Bytes{0x02}));
}

TEST_F(LinkTest, BusyInboundBufferGetsItsDleOnlyAfterTheFetch) {
  // The receiving link runs in the partner thread on end 1; the test is its owner and
  // fetches while the link waits (the two threads never run at once).
  Co3964 r;
  Bytes ib_r(384), ob_r(384);
  ASSERT_TRUE(line.init_link(&r, 1, ib_r, ob_r, 1, 1));
  line.start_partner([&] {
    while (!line.stopping()) {
      Co3964_do(&r);
      line.idle(1, 1);
    }
  });
  line.put(0, STX);
  EXPECT_EQ(line.read_byte(0, 10), DLE);
  for (uint8_t x : frame_wire({0x01})) line.put(0, x);
  while (Co3964_ib_get_n_msg(&r) < 0) line.idle(0, 1);
  while (line.take(0) >= 0) {
  }
  line.put(0, STX);
  line.wait_ms(0, 1500);
  EXPECT_EQ(line.sent(1), (Bytes{DLE, DLE}));  // nothing yet for the second STX
  EXPECT_EQ(fetch(&r), (Bytes{0x01}));
  EXPECT_EQ(line.read_byte(0, 10), DLE);
  for (uint8_t x : frame_wire({0x02})) line.put(0, x);
  EXPECT_EQ(line.read_byte(0, 10), DLE);
  EXPECT_EQ(fetch(&r), (Bytes{0x02}));
  line.stop_partner();
}

struct GapCase {
  const char* where;
  uint32_t gap_ms;
  bool accepted;
};

void PrintTo(const GapCase& c, std::ostream* os) { *os << c.where << " " << c.gap_ms << " ms"; }

class CharDelayTest : public LinkTest, public ::testing::WithParamInterface<GapCase> {};

TEST_P(CharDelayTest, GapInsideTheFrameBeyond220msEndsTheReception) {
  const GapCase& c = GetParam();
  Bytes w = frame_wire({0x41, 0x42});  // 41 42 10 03 bcc
  size_t i_gap = std::string(c.where) == "data" ? 1 : std::string(c.where) == "dle" ? 3 : 4;
  line.inject(0, {STX}, 0);
  line.inject(0, Bytes(w.begin(), w.begin() + i_gap), 1);
  line.inject(0, Bytes(w.begin() + i_gap, w.end()), 1 + c.gap_ms);
  Co3964_do(&a);
  if (c.accepted) {
    EXPECT_EQ(line.sent(0), (Bytes{DLE, DLE}));
    EXPECT_EQ(fetch(), (Bytes{0x41, 0x42}));
  } else {
    EXPECT_EQ(line.sent(0)[1], NAK);
    EXPECT_EQ(Co3964_ib_get_n_msg(&a), -1);
  }
}

INSTANTIATE_TEST_SUITE_P(Gaps, CharDelayTest,
                         ::testing::Values(GapCase{"data", 220, true}, GapCase{"data", 240, false},
                                           GapCase{"dle", 220, true}, GapCase{"dle", 240, false},
                                           GapCase{"bcc", 220, true}, GapCase{"bcc", 240, false}));

/* The partner repeats its STX every 2 s while the owner keeps the link away from the line
** (a question open in the sleep callback). The STXs that wait are answered once, for the last,
** and the frame is what the partner sends after our DLE. Another byte behind them shows that
** they are stale: no DLE for them, and that byte is taken as on the idle line. */
TEST_F(LinkTest, StxRepeatsThatWaitGetOneDleAndOnlyTheFrameAfterItIsHeld) {
  for (int n = 1; n <= 7; n++) {
    SCOPED_TRACE(n);
    line.clear_sent();
    line.inject(0, repeat({STX}, n), line.now());
    line.inject(0, frame_wire({0x23}), line.now() + 1);
    drive();
    EXPECT_EQ(line.sent(0), (Bytes{DLE, DLE}));
    EXPECT_EQ(fetch(), (Bytes{0x23}));
  }

  line.clear_sent();
  line.inject(0, {STX, STX, 0x41, STX}, line.now());  // a stray byte inside the run
  line.inject(0, frame_wire({0x24}), line.now() + 1);
  drive();
  EXPECT_EQ(line.sent(0), (Bytes{NAK, DLE, DLE}));
  EXPECT_EQ(fetch(), (Bytes{0x24}));

  // The same after the owner fetched a held message, and at a repeat after a NAK.
  line.inject(0, {STX}, line.now());
  line.inject(0, frame_wire({0x25}), line.now() + 1);
  drive();
  line.inject(0, repeat({STX}, 3), line.now());
  EXPECT_EQ(drive(), CO3964_DO_IB_WANTED);
  EXPECT_EQ(fetch(), (Bytes{0x25}));
  line.inject(0, frame_wire({0x26}), line.now() + 1);
  line.clear_sent();
  drive();
  Bytes bad = frame_wire({0x27});
  bad.back() ^= 0x01;
  uint32_t t = line.now();
  line.inject(0, {STX}, t);
  line.inject(0, bad, t + 1);
  line.inject(0, repeat({STX}, 3), t + 1000);
  line.inject(0, frame_wire({0x27}), t + 1001);
  EXPECT_EQ(drive(), CO3964_DO_IB_WANTED);
  EXPECT_EQ(fetch(), (Bytes{0x26}));
  drive();
  EXPECT_EQ(line.sent(0), (Bytes{DLE, DLE, DLE, NAK, DLE, DLE}));
  EXPECT_EQ(fetch(), (Bytes{0x27}));

  line.clear_sent();
  line.inject(0, cat(repeat({STX}, 6), {NAK}), line.now());  // the partner gave up
  drive();
  EXPECT_EQ(line.sent(0), Bytes{});
  EXPECT_EQ(Co3964_ib_get_n_msg(&a), -1);
  EXPECT_EQ(a.state, 0);
}

/* The owner keeps the link away in its sleep callback while the partner's frame arrives. The
** partner waits 2 s for our verdict, then repeats its STX every 2 s; our late DLE answers its
** latest STX, and it sends the frame again at once: already waiting when the link reads again
** (0 ms), or a few ms later. The owner fetches the first message and hands over its next one
** at once. No NAK: the repeat is held as a frame and acknowledged, and the message goes out
** at once, once. */
struct LateCase {
  uint32_t away_ms;    // the link's absence, from just after the DLE that opened the frame
  uint32_t repeat_ms;  // the partner's repeat arrives this long after our late DLE
};

void PrintTo(const LateCase& c, std::ostream* os) {
  *os << "away " << c.away_ms << " ms, repeat after " << c.repeat_ms << " ms";
}

class LateAckTest : public LinkTest, public ::testing::WithParamInterface<LateCase> {};

TEST_P(LateAckTest, PartnersRepeatAfterOurLateDleIsHeldAsAFrame) {
  const LateCase c = GetParam();
  const Bytes reply = {0x25, 0x10, 0x41}, request = {0x24, 0x01};
  line.inject(0, {STX}, 0);
  line.end(0).away_ms = c.away_ms;  // the first sleep, in the wait for the frame's first byte
  line.inject(0, frame_wire(reply), 1);
  for (uint32_t t = 1 + 2001; t < c.away_ms; t += 2001) line.inject(0, {STX}, t);
  EXPECT_EQ(drive(), CO3964_DO_IB_WANTED);
  EXPECT_EQ(line.sent(0), (Bytes{DLE, DLE}));
  EXPECT_EQ(Co3964_get_t_away_ms(&a), c.away_ms);  // the one absence; 1 ms sleeps are none
  const uint32_t t_dle = line.now(), t_repeat = t_dle + c.repeat_ms;
  line.inject(0, frame_wire(reply), t_repeat);  // the partner's repeat on our DLE
  line.inject(0, {DLE}, t_repeat + 1);          // its DLE to our STX
  line.inject(0, {DLE}, t_repeat + 2);          // and to our frame
  EXPECT_EQ(fetch(), reply);
  ASSERT_EQ(send(request), 2);
  line.clear_sent();
  EXPECT_EQ(drive(), 1);
  EXPECT_EQ(line.sent(0), cat({DLE, STX}, frame_wire(request)));
  EXPECT_EQ(line.end(0).sent_t[1], t_repeat);  // our STX at once after the repeat's DLE
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);
  EXPECT_EQ(fetch(), reply);  // the repeat, held like any frame
}

INSTANTIATE_TEST_SUITE_P(SlowOwner, LateAckTest,
                         ::testing::Values(LateCase{3000, 0}, LateCase{3000, 4},
                                           LateCase{5000, 0}, LateCase{5000, 4},
                                           LateCase{9000, 0}, LateCase{9000, 4},
                                           LateCase{11000, 0}, LateCase{11000, 4}));

/* A repeat STX that crosses our late DLE on the wire: the partner takes the DLE as leave to
** send, so the data behind that STX are its repeat, taken with no NAK and no second DLE. A
** partner that gave up (its NAK behind its STXs) gets no DLE, and its frame is still held. */
TEST_F(LinkTest, RepeatBehindAnStxThatCrossedOurLateDleIsHeldAndAPartnerThatGaveUpGetsNoDle) {
  line.inject(0, {STX}, 0);
  line.end(0).away_ms = 2001;
  line.inject(0, frame_wire({0x31}), 1);
  EXPECT_EQ(drive(), 1);
  EXPECT_EQ(fetch(), (Bytes{0x31}));
  uint32_t t = line.now();
  line.inject(0, {STX}, t + 1);
  line.inject(0, frame_wire({0x31}), t + 2);
  line.advance(3);  // both wait when the owner calls again
  EXPECT_EQ(drive(), 1);
  EXPECT_EQ(line.sent(0), (Bytes{DLE, DLE, DLE}));
  EXPECT_EQ(fetch(), (Bytes{0x31}));

  line.clear_sent();
  t = line.now();
  line.inject(0, {STX}, t);
  line.end(0).away_ms = 15000;
  line.inject(0, frame_wire({0x32}), t + 1);
  for (int k = 1; k <= 6; k++) line.inject(0, {STX}, t + 1 + 2001 * k);
  line.inject(0, {NAK}, t + 1 + 2001 * 7);
  EXPECT_EQ(drive(), 1);
  EXPECT_EQ(line.sent(0), (Bytes{DLE}));
  EXPECT_EQ(fetch(), (Bytes{0x32}));
}

/* A repeat STX of the partner that crosses our DLE on the wire: we answered the STX that
** waited, the partner took the DLE for its latest and sends the frame behind it. The STX
** comes in as the frame's first byte; the block check holds only without it, so it is
** dropped and the frame held with no NAK. A frame that truly begins with 0x02 keeps it, and
** a broken frame behind such an STX is still refused. */
TEST_F(LinkTest, StxThatCrossedOurDleIsNoPartOfTheFrame) {
  const struct {
    Bytes wire, held, sent;
  } cases[] = {
      {cat({STX}, frame_wire({0x13, 0x02, 0x41})), {0x13, 0x02, 0x41}, {DLE, DLE}},
      {frame_wire({STX, 0x41}), {STX, 0x41}, {DLE, DLE}},
      {cat({STX}, frame_wire({STX, 0x41})), {STX, 0x41}, {DLE, DLE}},
  };
  for (const auto& c : cases) {
    line.clear_sent();
    const uint32_t t = line.now();
    line.inject(0, {STX}, t);  // the partner's STX, waiting since it was sent
    line.inject(0, c.wire, t + 1);
    drive();
    EXPECT_EQ(line.sent(0), c.sent);
    EXPECT_EQ(fetch(), c.held);
  }
  line.clear_sent();
  Bytes bad = cat({STX}, frame_wire({0x13, 0x41}));
  bad.back() ^= 0x01;
  const uint32_t t = line.now();
  line.inject(0, {STX}, t);
  line.inject(0, bad, t + 1);
  drive();
  EXPECT_EQ(line.sent(0), (Bytes{DLE, NAK}));
  EXPECT_EQ(Co3964_ib_get_n_msg(&a), -1);
}

TEST_F(LinkTest, WrongBlockCheckIsRejectedAndTheRepeatAccepted) {
  Bytes bad = frame_wire({0x41});
  bad.back() ^= 0x01;
  line.inject(0, {STX}, 0);
  line.inject(0, bad, 1);
  line.inject(0, {STX}, 1500);  // the repeat, within t_repeat_ms
  line.inject(0, frame_wire({0x41}), 1501);
  Co3964_do(&a);
  EXPECT_EQ(line.sent(0), (Bytes{DLE, NAK, DLE, DLE}));
  EXPECT_EQ(fetch(), (Bytes{0x41}));
}

TEST_F(LinkTest, AfterTheFifthFailedReceptionTheLinkStopsWaiting) {
  Bytes bad = frame_wire({0x41});
  bad.back() ^= 0x01;
  line.start_partner([&] {
    for (int i = 0; i < 5; i++) {
      line.put(1, STX);
      EXPECT_EQ(line.read_byte(1, 100), DLE);
      for (uint8_t x : bad) line.put(1, x);
      EXPECT_EQ(line.read_byte(1, 100), NAK);
    }
    while (!line.stopping()) line.idle(1, 1);
  });
  line.pass(0);
  Co3964_do(&a);  // all five receptions in one run: the link waits for each repeat
  uint32_t t_back = line.now();
  line.stop_partner();
  EXPECT_EQ(line.sent(0), repeat({DLE, NAK}, 5));
  EXPECT_EQ(a.n_try_rx, 5);
  EXPECT_EQ(t_back, line.end(0).sent_t.back());  // no further 2000 ms wait for a repeat

  // A later STX opens a new frame from idle.
  line.inject(0, {STX});
  line.inject(0, frame_wire({0x42}), line.now() + 1);
  Co3964_do(&a);
  EXPECT_EQ(a.n_try_rx, 1);
  EXPECT_EQ(fetch(), (Bytes{0x42}));
}

/* While the link waits for the repeat of a frame it refused, anything but STX or NAK is a
** stray byte: NAK, back to idle, and the reception counted. */
TEST_F(LinkTest, StrayByteWhileWaitingForTheRepeatIsAnsweredWithNak) {
  Bytes bad = frame_wire({0x41});
  bad.back() ^= 0x01;
  line.inject(0, {STX}, 0);
  line.inject(0, bad, 1);
  line.inject(0, {0x41}, 1000);  // within t_repeat_ms, but no STX
  Co3964_do(&a);
  EXPECT_EQ(line.sent(0), (Bytes{DLE, NAK, NAK}));
  EXPECT_EQ(line.end(0).sent_t[2], 1000u);
  EXPECT_EQ(a.n_try_rx, 2);
  EXPECT_EQ(a.state, 0);
  EXPECT_EQ(Co3964_ib_get_n_msg(&a), -1);
}

TEST_F(LinkTest, DleFollowedByJunkOrABadValueRejectsTheFrameAtItsEndOrTheBuffersEnd) {
  // The BCC is right for the stored bytes 41 42: only the DLE 0x55 pair is wrong.
  const uint8_t bcc = 0x41 ^ 0x42 ^ DLE ^ ETX;
  Bytes w = {0x41, DLE, 0x55, 0x42, DLE, ETX, bcc};
  line.inject(0, {STX}, 0);
  line.inject(0, w, 1);
  Co3964_do(&a);
  EXPECT_EQ(line.sent(0), (Bytes{DLE, NAK}));
  EXPECT_EQ(Co3964_ib_get_n_msg(&a), -1);

  line.clear_sent();
  uint32_t t = line.now() + 3000;
  line.inject(0, {STX}, t);
  line.inject(0, {0x41}, t + 1);
  line.inject_value(0, 300, t + 1);  // the port gives a value outside 0..255
  line.inject(0, {0x42, DLE, ETX, bcc}, t + 1);
  line.advance(3000);
  Co3964_do(&a);
  EXPECT_EQ(line.sent(0), (Bytes{DLE, NAK}));
  EXPECT_EQ(Co3964_ib_get_n_msg(&a), -1);

  // Bad pairs without end: each takes a place in the buffer, so the frame ends at its size.
  line.clear_sent();
  t = line.now();
  line.inject(0, {STX}, t);
  for (uint32_t i = 1; i < 20000; i++) line.inject(0, {i % 2 ? DLE : (uint8_t)0x55}, t + 100 * i);
  Co3964_do(&a);
  ASSERT_GE(line.sent(0).size(), 2u);
  EXPECT_EQ(line.end(0).sent_t[1], t + 100 * 2 * (384 + 1)) << "NAK at the pair that does not fit";
}

TEST_F(LinkTest, StrayByteOnTheIdleLineIsAnsweredWithNakAndNakIsIgnored) {
  line.inject(0, {0x41, NAK, DLE}, 0);
  drive();
  EXPECT_EQ(line.sent(0), (Bytes{NAK, NAK}));  // for 0x41 and DLE, not for the NAK
  EXPECT_EQ(a.state, 0);
  EXPECT_EQ(Co3964_ib_get_n_msg(&a), -1);
}

TEST_F(LinkTest, ByteWaitingAtIdleIsHandledBeforeOurOwnStx) {
  ASSERT_EQ(send({0x41}), 2);
  line.inject(0, {STX}, 0);
  line.inject(0, frame_wire({0x55}), 1);
  line.inject(0, {DLE}, 10);
  line.inject(0, {DLE}, 11);
  EXPECT_EQ(Co3964_do(&a), CO3964_DO_AGAIN);  // the partner's frame first, held
  EXPECT_EQ(Co3964_ob_get_state(&a), 2);
  drive();
  EXPECT_EQ(line.sent(0), cat({DLE, DLE, STX}, frame_wire({0x41})));
  EXPECT_EQ(fetch(), (Bytes{0x55}));
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);
}

/* A DLE found after the link was away from the line for longer than the character delay may
** be older than the partner's patience: the partner has answered our silence with NAK and
** would take our data for stray bytes. No data go out on it; the next STX follows once the
** line has been quiet for 220 ms. */
TEST_F(LinkTest, DleFoundAfterALongSleepIsNotTakenAsLeaveToSend) {
  line.end(0).away_ms = 600;
  ASSERT_EQ(send({0x41}), 2);
  line.inject(0, {DLE}, 1);    // the partner's DLE for our STX ...
  line.inject(0, {NAK}, 221);  // ... and its NAK when no data came within 220 ms
  line.inject(0, {DLE}, 900);  // the DLE for our next STX
  line.inject(0, {DLE}, 901);  // and the verdict
  Co3964_do(&a);
  EXPECT_EQ(line.sent(0), cat({STX, STX}, frame_wire({0x41})));
  EXPECT_EQ(line.end(0).sent_t[1], 600u + 220u + 1u);
  EXPECT_EQ(a.n_try_connect, 2);
  EXPECT_EQ(a.n_try_tx, 1);
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);
}

/* The same DLE handed over late by a port or a process that was held up, with no long sleep
** of our own: the partner's NAK already waits behind it. Sent on it, the frame would meet
** the partner's idle line and its NAK for every byte would use up all connect attempts. */
TEST_F(LinkTest, DleWithTheNakAlreadyBehindItIsNotTakenAsLeaveToSend) {
  ASSERT_EQ(send({0x41}), 2);
  line.inject(0, {DLE, NAK}, 1);  // both arrive together
  line.inject(0, {DLE}, 500);
  line.inject(0, {DLE}, 501);
  Co3964_do(&a);
  EXPECT_EQ(line.sent(0), cat({STX, STX}, frame_wire({0x41})));
  EXPECT_EQ(line.end(0).sent_t[1], 1u + 220u + 1u);  // once the line was quiet
  EXPECT_EQ(a.n_try_connect, 2);
  EXPECT_EQ(a.n_try_tx, 1);
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);
}

/* Bytes that keep coming after the return hold the next STX back until the line is quiet;
** a long sleep in which nothing came changes nothing; a short one is no absence. */
TEST_F(LinkTest, QuietLineBeforeTheNextStxAndNoCostWithoutStaleInput) {
  line.end(0).away_ms = 600;
  ASSERT_EQ(send({0x41}), 2);
  line.inject(0, {DLE}, 1);
  line.inject(0, {NAK, NAK, NAK}, 700);  // leftovers still arriving
  line.inject(0, {DLE}, 1000);
  line.inject(0, {DLE}, 1001);
  Co3964_do(&a);
  EXPECT_EQ(line.sent(0), cat({STX, STX}, frame_wire({0x41})));
  EXPECT_EQ(line.end(0).sent_t[1], 700u + 220u + 1u);

  for (uint32_t t_away : {600u, 220u}) {
    line.clear_sent();
    line.end(0).away_ms = t_away;
    uint32_t t = line.now();
    ASSERT_EQ(send({0x42}), 2);
    if (t_away == 220) line.inject(0, {DLE}, t + 100);  // came while away, but not stale
    line.inject(0, {DLE}, t + 700);
    line.inject(0, {DLE}, t + 701);
    Co3964_do(&a);
    EXPECT_EQ(line.sent(0), cat({STX}, frame_wire({0x42}))) << t_away;
    EXPECT_EQ(a.n_try_connect, 1) << t_away;
    EXPECT_EQ(Co3964_ob_get_state(&a), 0) << t_away;
    while (line.take(0) >= 0) {
    }
  }
}

TEST_F(LinkTest, VerdictOtherThanDleCostsAnAttemptAndTheNextSucceeds) {
  ASSERT_EQ(send({0x41}), 2);
  line.inject(0, {DLE}, 1);
  line.inject(0, {NAK}, 2);
  line.inject(0, {DLE}, 3);
  line.inject(0, {DLE}, 4);
  Co3964_do(&a);
  Bytes frame = cat({STX}, frame_wire({0x41}));
  EXPECT_EQ(line.sent(0), repeat(frame, 2));
  EXPECT_EQ(Co3964_ob_get_state(&a), 0);
  EXPECT_EQ(a.n_try_tx, 2);
}

/* --- the interface ---------------------------------------------------------------- */

TEST_F(LinkTest, BadArgumentsAreLoggedAndChangeNothing) {
  LogCapture log;
  uint8_t m[4] = {1, 2, 3, 4};
  EXPECT_EQ(Co3964_ob_set_msg(nullptr, 1, m), 1);
  EXPECT_EQ(Co3964_ob_set_msg(&a, -1, m), 1);
  EXPECT_EQ(Co3964_ob_set_msg(&a, 1, nullptr), 1);
  EXPECT_EQ(Co3964_ib_get_msg(nullptr, 4, m), -1);
  EXPECT_EQ(Co3964_ib_get_msg(&a, -1, m), -1);
  EXPECT_EQ(Co3964_ib_get_msg(&a, 4, nullptr), -1);
  EXPECT_EQ(log.calls(), (std::vector<std::string>{
                             "error - src/link/co3964.cpp - Co3964_ob_set_msg: p == NULL",
                             "error - src/link/co3964.cpp - Co3964_ob_set_msg: n_msg < 0",
                             "error - src/link/co3964.cpp - Co3964_ob_set_msg: p_msg == NULL",
                             "error - src/link/co3964.cpp - Co3964_ib_get_msg: p == NULL",
                             "error - src/link/co3964.cpp - Co3964_ib_get_msg: n_msg < 0",
                             "error - src/link/co3964.cpp - Co3964_ib_get_msg: p_msg == NULL"}));
  log.clear();
  EXPECT_EQ(Co3964_ib_get_msg(&a, 4, m), -1);  // nothing held: no line
  EXPECT_EQ(Co3964_ob_get_state(nullptr), 1);
  EXPECT_EQ(Co3964_ib_get_n_msg(nullptr), -1);
  EXPECT_EQ(Co3964_do(nullptr), 0);
  EXPECT_EQ(a.ob_state, 0);
  EXPECT_EQ(log.text(), "");
}

TEST_F(LinkTest, TooSmallFetchBufferDropsTheMessage) {
  line.inject(0, {STX}, 0);
  line.inject(0, frame_wire({1, 2, 3}), 1);
  Co3964_do(&a);
  uint8_t m[3];
  EXPECT_EQ(Co3964_ib_get_msg(&a, 2, m), -2);
  EXPECT_EQ(Co3964_ib_get_n_msg(&a), -1);
  EXPECT_EQ(Co3964_ib_get_msg(&a, 3, m), -1);
}

TEST(Co3964Init, MissingRequiredPointersAreEachLoggedAndFieldsStillSet) {
  LogCapture log;
  Co3964 c;
  uint8_t buf[8];
  EXPECT_EQ(Co3964_init_ex(&c, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr, 8, nullptr, 8, buf, 1, 1),
            nullptr);
  const char* pre = "error - src/link/co3964.cpp - Co3964_init_ex: ";
  std::vector<std::string> expect;
  for (const char* t :
       {"p -> cb_time_get_t_now = cb_time_get_t_now)", "p -> cb_time_plus_ms = cb_time_plus_ms)",
        "p -> cb_uart_receive_byte_nw = cb_uart_receive_byte_nw)",
        "p -> cb_uart_send_byte = cb_uart_send_byte)", "p -> ib_p_msg = ib_p_msg)"})
    expect.push_back(std::string(pre) + t);
  EXPECT_EQ(log.calls(), expect);
  EXPECT_EQ(c.ob_p_msg, buf);
  EXPECT_EQ(c.ib_n_msg, -1);
  EXPECT_EQ(c.t_char_ms, 220u);
  EXPECT_EQ(c.n_max_rx, 6);
  log.clear();
  EXPECT_EQ(Co3964_init_ex(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr, 8, buf, 8, buf, 1, 1),
            nullptr);
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(Co3964_set_cb_ib_check(nullptr, nullptr, reject_all), 0);
  EXPECT_EQ(Co3964_get_cb_ib_check_fn(nullptr), nullptr);
  int ctx = 0;
  EXPECT_EQ(Co3964_set_cb_ib_check(&c, &ctx, reject_all), 1);
  void* p_ctx = nullptr;
  tyCo3964_cb_ib_check cb = nullptr;
  EXPECT_EQ(Co3964_get_cb_ib_check(&c, &p_ctx, &cb), 1);
  EXPECT_EQ(Co3964_get_cb_ib_check(&c, nullptr, nullptr), 1);
  EXPECT_EQ(p_ctx, &ctx);
  EXPECT_EQ(cb, reject_all);
}

}  // namespace

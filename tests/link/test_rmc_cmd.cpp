/*
** test_rmc_cmd.cpp - the 27 RMC commands over a real link against a scripted responder:
** each builds exactly the request bytes of its function code, accepts exactly its
** signature and reply length, and copies each returned value from its own reply offset;
** optional outputs are skipped when NULL; counts that do not fit the buffer are refused.
*/
#include "link_pair.h"
#include "log_capture.h"
#include "rmc.h"
#include "rmc_responder.h"
#include "win32_time.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

constexpr uint32_t ADR = 0x12345678, V1 = 0x89ABCDEF, V2 = 0x10203040, V3 = 0xFFFFFFFE;
const uint8_t SRC[3] = {0xDE, 0x10, 0x02};  // data with DLE and STX in it
const uint32_t SENTINEL = 0x5A5A5A5A;
const char TEXT[] = "The unit's own text, 39 characters long";  // 39 characters

/* Everything a command can write. */
struct Out {
  uint32_t v[16];
  uint8_t data[16];
  char text[RMC_N_TEXT];
  Out() {
    for (auto& x : v) x = SENTINEL;
    memset(data, 0x5A, sizeof(data));
    memset(text, 0x5A, sizeof(text));
  }
};

/* One command: how to call it, the request it must build, its signature and reply length,
** and where its outputs come from: (index into Out::v, reply offset) pairs, data bytes. */
struct Cmd {
  const char* name;
  Bytes request;
  int n_signa;
  int n_reply;
  std::vector<std::pair<int, int>> values;  // Out::v index, reply offset
  std::function<int(Rmc*, Out&, bool with_outputs)> call;
  int data_offset = -1;  // bytes copied into Out::data from here
  int n_data = 0;
};

void PrintTo(const Cmd& c, std::ostream* os) { *os << c.name; }

Bytes req(uint8_t fc, std::vector<uint32_t> params, Bytes data = {}) {
  Bytes b{fc};
  for (uint32_t p : params) b = cat(b, le32(p));
  return cat(b, data);
}

uint32_t* o(Out& out, int i, bool on) { return on ? &out.v[i] : nullptr; }

/* A call of a command: p the object, x the outputs, y whether optional outputs are given. */
#define CALL(expr) [](Rmc* p, Out& x, bool y) { (void)x, (void)y; return expr; }

std::vector<Cmd> commands() {
  Bytes src(SRC, SRC + 3);
  Bytes text(TEXT, TEXT + 39);
  const std::vector<std::pair<int, int>> at_1_5_9 = {{0, 1}, {1, 5}, {2, 9}};
  const std::vector<std::pair<int, int>> at_5_9_13 = {{0, 5}, {1, 9}, {2, 13}};
  // clang-format off
  return {
    {"get_cpu_type", req(0x05, {}), 1, 13, at_1_5_9,
     CALL(Rmc_do_get_cpu_type(p, o(x, 0, y), o(x, 1, y), o(x, 2, y)))},
    {"fc06", req(0x06, {}), 1, 13, at_1_5_9,
     CALL(Rmc_do_fc06(p, o(x, 0, y), o(x, 1, y), o(x, 2, y)))},
    {"activate_bootloader", req(0x07, {}), 1, 1, {}, CALL(Rmc_do_activate_bootloader(p))},
    {"start_application", req(0x08, {}), 1, 1, {}, CALL(Rmc_do_start_application(p))},
    {"read_mem", req(0x09, {ADR, 5}), 9, 14, {}, CALL(Rmc_do_read_mem(p, ADR, x.data, 5)), 9, 5},
    {"jump", req(0x12, {ADR}), 5, 5, {}, CALL(Rmc_do_jump(p, ADR))},
    {"write_xbram", req(0x13, {ADR, 3}, src), 9, 9, {}, CALL(Rmc_do_write_xbram(p, ADR, SRC, 3))},
    {"erase_flash", req(0x23, {}), 1, 1, {}, CALL(Rmc_do_erase_flash(p))},
    {"blank_check_flash", req(0x24, {}), 1, 1, {}, CALL(Rmc_do_blank_check_flash(p))},
    {"write_flash", req(0x25, {ADR, 3}, src), 9, 9, {}, CALL(Rmc_do_write_flash(p, ADR, SRC, 3))},
    {"fc40", req(0x40, {}), 1, 1, {}, CALL(Rmc_do_fc40(p))},
    {"fc41", req(0x41, {}), 1, 1, {}, CALL(Rmc_do_fc41(p))},
    {"write_fc42", req(0x42, {ADR, 3}, src), 9, 9, {}, CALL(Rmc_do_write_fc42(p, ADR, SRC, 3))},
    {"fc43", req(0x43, {V1}), 5, 13, {{0, 5}, {1, 9}},
     CALL(Rmc_do_fc43(p, V1, o(x, 0, y), o(x, 1, y)))},
    {"fc44", req(0x44, {V1, V2, V3}), 5, 5, {}, CALL(Rmc_do_fc44(p, V1, V2, V3))},
    {"fc45", req(0x45, {}), 1, 37,
     {{0, 1}, {1, 5}, {2, 9}, {3, 13}, {4, 17}, {5, 21}, {6, 25}, {7, 29}, {8, 33}},
     CALL(Rmc_do_fc45(p, o(x, 0, y), o(x, 1, y), o(x, 2, y), o(x, 8, y)))},
    {"fc46", req(0x46, {1, 2, 3, 4, 5, 6, 7, V1}), 1, 1, {},
     CALL(Rmc_do_fc46(p, 1, 2, 3, 4, 5, 6, 7, V1))},
    {"read_text", req(0x47, {}), 1, 41, {}, CALL(Rmc_do_read_text(p, x.text))},
    {"write_text", req(0x48, {}, cat(text, {0})), 1, 1, {}, CALL(Rmc_do_write_text(p, TEXT))},
    {"fc50", req(0x50, {}), 1, 13, at_1_5_9,
     CALL(Rmc_do_fc50(p, o(x, 0, y), o(x, 1, y), o(x, 2, y)))},
    {"fc51", req(0x51, {V2}), 5, 17, at_5_9_13,
     CALL(Rmc_do_fc51(p, V2, o(x, 0, y), o(x, 1, y), o(x, 2, y)))},
    {"fc52", req(0x52, {}), 1, 13, at_1_5_9,
     CALL(Rmc_do_fc52(p, o(x, 0, y), o(x, 1, y), o(x, 2, y)))},
    {"fc53", req(0x53, {V3}), 5, 17, at_5_9_13,
     CALL(Rmc_do_fc53(p, V3, o(x, 0, y), o(x, 1, y), o(x, 2, y)))},
    {"fram_read", req(0x54, {2, ADR, 4}), 13, 17, {}, CALL(Rmc_do_fram_read(p, 2, ADR, 4, x.data)),
     13, 4},
    {"fram_write", req(0x55, {2, ADR, 3}, src), 13, 13, {},
     CALL(Rmc_do_fram_write(p, 2, ADR, 3, SRC))},
    {"fc56", req(0x56, {}), 1, 25, {{0, 1}, {1, 5}, {2, 9}, {3, 13}, {4, 17}, {5, 21}},
     CALL(Rmc_do_fc56(p, o(x, 0, y), o(x, 1, y), o(x, 2, y), o(x, 3, y), o(x, 4, y), o(x, 5, y)))},
    {"fc57", req(0x57, {1, 2, 3, 4, 5, V1}), 1, 1, {}, CALL(Rmc_do_fc57(p, 1, 2, 3, 4, 5, V1))},
  };
  // clang-format on
}

/* The reply: the signature echoed, then bytes that differ at every offset. */
Bytes reply_for(const Cmd& c, const Bytes& request, int n_reply) {
  Bytes r(request.begin(), request.begin() + c.n_signa);
  for (int i = c.n_signa; i < n_reply; i++) r.push_back((uint8_t)(0x31 + 13 * i));
  return r;
}

class RmcCmdTest : public ::testing::TestWithParam<Cmd> {
protected:
  RmcCmdTest() : clock(0), line(0, true), r(line) {
    r.start([this](const Bytes& request) { return std::vector<RmcReply>{{answer(request)}}; });
    r.rmc.t_receive_ms = 100;
  }
  Win32VirtualClock clock;
  LinkLine line;
  RmcResponder r;
  std::function<Bytes(const Bytes&)> answer;
};

TEST_P(RmcCmdTest, BuildsItsRequestAndCopiesEachValueFromItsOffset) {
  const Cmd& c = GetParam();
  Bytes reply;
  answer = [&](const Bytes& request) { return reply = reply_for(c, request, c.n_reply); };
  Out out;
  LogCapture log;
  ASSERT_EQ(c.call(&r.rmc, out, true), RMC_RES_OK);
  EXPECT_EQ(log.text(), "");
  ASSERT_EQ(r.requests.size(), 1u);
  EXPECT_EQ(r.requests[0], c.request);
  for (auto [i, offset] : c.values) {
    uint32_t expect = reply[offset] | reply[offset + 1] << 8 | reply[offset + 2] << 16 |
                      (uint32_t)reply[offset + 3] << 24;
    EXPECT_EQ(out.v[i], expect) << "value " << i << " at offset " << offset;
  }
  for (int i = 0; i < c.n_data; i++) EXPECT_EQ(out.data[i], reply[c.data_offset + i]) << i;
  if (c.request[0] == 0x47) {
    EXPECT_EQ(0, memcmp(out.text, reply.data() + 1, 39));
    EXPECT_EQ(out.text[39], 0);  // terminated, byte 40 of the reply is not copied
  }
  if (c.values.empty() && c.n_data == 0 && c.request[0] != 0x47) {
    for (uint32_t x : out.v) EXPECT_EQ(x, SENTINEL);
  }
}

TEST_P(RmcCmdTest, NullOutputsAreSkipped) {
  const Cmd& c = GetParam();
  answer = [&](const Bytes& request) { return reply_for(c, request, c.n_reply); };
  Out out;
  ASSERT_EQ(c.call(&r.rmc, out, false), RMC_RES_OK);
  for (uint32_t x : out.v) EXPECT_EQ(x, SENTINEL);
}

TEST_P(RmcCmdTest, SignatureAndLengthAreExactlyItsOwn) {
  const Cmd& c = GetParam();
  Out out;
  // The last signature byte differs: discarded, so the reply wait runs out.
  answer = [&](const Bytes& request) {
    Bytes b = reply_for(c, request, c.n_reply);
    b[c.n_signa - 1] ^= 0x40;
    return b;
  };
  EXPECT_EQ(c.call(&r.rmc, out, true), RMC_RES_ERR_REC);
  // The first byte after the signature is no part of it.
  if (c.n_reply > c.n_signa) {
    answer = [&](const Bytes& request) {
      Bytes b = reply_for(c, request, c.n_reply);
      b[c.n_signa] ^= 0x40;
      return b;
    };
    EXPECT_EQ(c.call(&r.rmc, out, true), RMC_RES_OK);
  }
  // One byte more than expected.
  answer = [&](const Bytes& request) { return reply_for(c, request, c.n_reply + 1); };
  LogCapture log;
  EXPECT_EQ(c.call(&r.rmc, out, true), RMC_RES_ERR_REC);
  EXPECT_TRUE(log.contains("send_and_receive returned 9 (RMC_RES_ERR_REC     )"));
}

INSTANTIATE_TEST_SUITE_P(AllCommands, RmcCmdTest, ::testing::ValuesIn(commands()),
                         [](const ::testing::TestParamInfo<Cmd>& info) {
                           return std::string(info.param.name);
                         });

class RmcCmdSingle : public ::testing::Test {
protected:
  RmcCmdSingle() : clock(0), line(0, true), r(line) { r.rmc.t_receive_ms = 100; }
  Win32VirtualClock clock;
  LinkLine line;
  RmcResponder r;
};

TEST_F(RmcCmdSingle, NullObjectOrTextGivesErrElseWithoutALine) {
  LogCapture log;
  char text[40];
  memset(text, 'x', sizeof text);
  EXPECT_EQ(Rmc_do_jump(nullptr, 0), RMC_RES_ERR_ELSE);
  EXPECT_EQ(Rmc_do_write_flash(nullptr, 0, SRC, 1), RMC_RES_ERR_ELSE);
  EXPECT_EQ(Rmc_do_read_text(nullptr, text), RMC_RES_ERR_ELSE);
  EXPECT_EQ(text[0], 0);  // an empty text, terminated
  EXPECT_EQ(text[39], 0);
  EXPECT_EQ(Rmc_do_read_text(&r.rmc, nullptr), RMC_RES_ERR_ELSE);
  EXPECT_EQ(Rmc_do_write_text(&r.rmc, nullptr), RMC_RES_ERR_ELSE);
  EXPECT_EQ(log.text(), "");
  EXPECT_TRUE(line.sent(0).empty());
}

TEST_F(RmcCmdSingle, ZeroAndOneDataByteGiveRequestsOfNineAndTen) {
  r.start([](const Bytes& request) {
    return std::vector<RmcReply>{{Bytes(request.begin(), request.begin() + 9)}};
  });
  EXPECT_EQ(Rmc_do_write_xbram(&r.rmc, 0x400000, nullptr, 0), RMC_RES_OK);
  const uint8_t g = 'G';
  EXPECT_EQ(Rmc_do_write_flash(&r.rmc, 0x180010, &g, 1), RMC_RES_OK);
  r.stop();
  ASSERT_EQ(r.requests.size(), 2u);
  EXPECT_EQ(r.requests[0], req(0x13, {0x400000, 0}));
  EXPECT_EQ(r.requests[1], req(0x25, {0x180010, 1}, {'G'}));
}

TEST_F(RmcCmdSingle, Fc45WithoutItsArraySkipsOnlyTheArray) {
  r.start([](const Bytes&) {
    Bytes b{0x45};
    for (uint32_t i = 0; i < 9; i++) b = cat(b, le32(100 + i));
    return std::vector<RmcReply>{{b}};
  });
  uint32_t v1 = 0, v2 = 0, v4 = 0;
  EXPECT_EQ(Rmc_do_fc45(&r.rmc, &v1, &v2, nullptr, &v4), RMC_RES_OK);
  EXPECT_EQ(v1, 100u);
  EXPECT_EQ(v2, 101u);
  EXPECT_EQ(v4, 108u);
}

TEST_F(RmcCmdSingle, FailedReadsStillFillTheDestinationFromTheBuffer) {
  r.start();  // no answers
  LogCapture log;
  uint8_t data[8];
  memset(r.rmc_buffer(), 0x77, r.n_rmc_buffer());
  EXPECT_EQ(Rmc_do_fram_read(&r.rmc, 1, 0x20, 8, data), RMC_RES_ERR_REC);
  EXPECT_EQ(log.calls(),
            (std::vector<std::string>{
                "error - src/link/rmc.cpp -: send_and_receive returned 9 (RMC_RES_ERR_REC     )",
                "error - src/link/rmc_cmd.cpp - Rmc_do_fram_read: i_fram=1 a_fram=32 n_data=8"}));
  for (int i = 0; i < 8; i++) EXPECT_EQ(data[i], 0x77);  // behind the 13-byte request
  EXPECT_EQ(Rmc_do_read_mem(&r.rmc, 0x400000, data, 8), RMC_RES_ERR_REC);
  EXPECT_EQ(data[0], 8);  // n_data of the fram_read request, still at offset 9
  EXPECT_EQ(data[4], 0x77);
}

TEST_F(RmcCmdSingle, TextIsSentAsItStandsThenAZero) {
  r.start([](const Bytes&) { return std::vector<RmcReply>{{{0x48}}}; });
  char text[40];
  memset(text, 'x', sizeof(text));
  strcpy(text, "short");
  EXPECT_EQ(Rmc_do_write_text(&r.rmc, text), RMC_RES_OK);
  r.stop();
  Bytes expect = {0x48, 's', 'h', 'o', 'r', 't', 0};
  expect.resize(40, 'x');
  expect.push_back(0);
  EXPECT_EQ(r.requests[0], expect);
}

/* A request or an expected reply that does not fit the buffer is refused before anything
** goes out; one that fits exactly is sent. */
TEST(RmcCmdLimits, CountsBeyondTheBufferAreRefusedAndNothingIsSent) {
  Win32VirtualClock clock(0);
  LinkLine line(0, true);
  RmcResponder r(line, 64);
  r.start([](const Bytes& request) {
    int n_signa = request[0] >= 0x54 ? 13 : 9;
    Bytes b(request.begin(), request.begin() + n_signa);
    if (request[0] == 0x09 || request[0] == 0x54) b.resize(64, 0x33);  // a full read
    return std::vector<RmcReply>{{b}};
  });
  uint8_t data[80] = {};
  struct Limit {
    const char* fn;
    std::function<int(uint32_t)> call;
    uint32_t n_fit;
  } limits[] = {
      {"Rmc_do_read_mem", [&](uint32_t n) { return Rmc_do_read_mem(&r.rmc, 0, data, n); }, 55},
      {"Rmc_do_write_xbram", [&](uint32_t n) { return Rmc_do_write_xbram(&r.rmc, 0, data, n); },
       55},
      {"Rmc_do_write_flash", [&](uint32_t n) { return Rmc_do_write_flash(&r.rmc, 0, data, n); },
       55},
      {"Rmc_do_write_fc42", [&](uint32_t n) { return Rmc_do_write_fc42(&r.rmc, 0, data, n); }, 55},
      {"Rmc_do_fram_read", [&](uint32_t n) { return Rmc_do_fram_read(&r.rmc, 0, 0, n, data); }, 51},
      {"Rmc_do_fram_write", [&](uint32_t n) { return Rmc_do_fram_write(&r.rmc, 0, 0, n, data); },
       51},
  };
  for (const Limit& l : limits) {
    size_t n_requests = r.requests.size();
    EXPECT_EQ(l.call(l.n_fit), RMC_RES_OK) << l.fn;
    EXPECT_EQ(r.requests.size(), n_requests + 1) << l.fn;
    for (uint32_t n : {l.n_fit + 1, 0xFFFFFFF8u}) {
      LogCapture log;
      line.clear_sent();
      EXPECT_EQ(l.call(n), RMC_RES_ERR_ELSE) << l.fn;
      EXPECT_TRUE(log.contains(std::string("error - src/link/rmc_cmd.cpp - ") + l.fn + ": "))
          << log.text();
      EXPECT_TRUE(line.sent(0).empty()) << l.fn;
      EXPECT_EQ(Co3964_ob_get_state(&r.a), 0);
    }
  }
  LogCapture log;
  EXPECT_EQ(Rmc_do_write_xbram(&r.rmc, 0, data, 56), RMC_RES_ERR_ELSE);
  EXPECT_EQ(log.text(),
            "error - src/link/rmc_cmd.cpp - Rmc_do_write_xbram: request of 65 or "
            "reply of 9 bytes does not fit m_msg_buffer=64\n");
  log.clear();
  EXPECT_EQ(Rmc_do_write_xbram(&r.rmc, 0, nullptr, 4), RMC_RES_ERR_ELSE);
  EXPECT_EQ(log.text(),
            "error - src/link/rmc_cmd.cpp - Rmc_do_write_xbram: data pointer == "
            "NULL for 4 bytes\n");
}

TEST(RmcCmdLimits, FixedSizeCommandsAreRefusedByATinyBuffer) {
  Win32VirtualClock clock(0);
  LinkLine line(0, true);
  RmcResponder r(line, 16);
  LogCapture log;
  char text[40];
  memset(text, 'x', sizeof text);
  uint32_t v[6];
  EXPECT_EQ(Rmc_do_read_text(&r.rmc, text), RMC_RES_ERR_ELSE);
  EXPECT_EQ(text[0], 0);  // an empty text, terminated
  EXPECT_EQ(text[39], 0);
  EXPECT_EQ(Rmc_do_write_text(&r.rmc, "abc"), RMC_RES_ERR_ELSE);
  EXPECT_EQ(Rmc_do_fc45(&r.rmc, v, v, v, v), RMC_RES_ERR_ELSE);
  EXPECT_EQ(Rmc_do_fc46(&r.rmc, 1, 2, 3, 4, 5, 6, 7, 8), RMC_RES_ERR_ELSE);
  EXPECT_EQ(Rmc_do_fc56(&r.rmc, v, v, v, v, v, v), RMC_RES_ERR_ELSE);
  EXPECT_EQ(Rmc_do_fc57(&r.rmc, 1, 2, 3, 4, 5, 6), RMC_RES_ERR_ELSE);
  EXPECT_EQ(Rmc_do_fc51(&r.rmc, 1, v, v, v), RMC_RES_ERR_ELSE);
  EXPECT_TRUE(line.sent(0).empty());
  EXPECT_TRUE(log.contains(
      "Rmc_do_fc57: request of 25 or reply of 1 bytes does not fit m_msg_buffer=16\n"));
}

}  // namespace

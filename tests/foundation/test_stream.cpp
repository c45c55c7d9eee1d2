// Streams and file streams: counting streams, callback pass-through and the byte counter,
// neutral answers with their lines for bad use, and file streams over an Fs of the test's own.
#include "alloc_seam.h"
#include "fc.h"
#include "fcs.h"
#include "fs_recorder.h"
#include "log_capture.h"
#include "stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

#define ERR_LINE(fn, text) "error - src/foundation/stream.cpp - " fn ": " text

TEST(Stream, CountingStreamOnlyCounts) {
  Stream* p = StreamOpenCount();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(StreamWrite(p, "1234567", 7), 7);
  EXPECT_EQ(StreamWrite(p, nullptr, 7), 7);
  EXPECT_EQ(StreamGetCount(p), 14);
  EXPECT_EQ(StreamFlush(p), 1);
  EXPECT_EQ(StreamSeek(p, 2, 0), 0);
  char c;
  EXPECT_EQ(StreamRead(p, &c, 1), 0);
  EXPECT_EQ(StreamPrintf(p, "%05d", 42), 5);
  EXPECT_EQ(StreamGetCount(p), 19);
  EXPECT_EQ(StreamClose(p), nullptr);
}

/* A context that records what the callbacks got. */
struct Sink {
  std::string data;
  std::vector<std::string> calls;
  static int write(void* ctx, const void* p_src, int n) {
    auto* s = (Sink*)ctx;
    s->data.append((const char*)p_src, (size_t)n);
    return n;
  }
  static int read(void* ctx, void* p_dst, int n) {
    auto* s = (Sink*)ctx;
    int k = std::min(n, (int)s->data.size());
    memcpy(p_dst, s->data.data(), (size_t)k);
    s->data.erase(0, (size_t)k);
    return k;
  }
  static int flush(void* ctx) {
    ((Sink*)ctx)->calls.push_back("flush");
    return 0;
  }
  static int seek(void* ctx, int origin, int offset) {
    ((Sink*)ctx)->calls.push_back("seek " + std::to_string(origin) + " " + std::to_string(offset));
    return 77;
  }
};

TEST(Stream, CallbacksGetTheContextAndTheirResultsPassUp) {
  Sink sink;
  Stream* w = StreamOpenWrite(&sink, Sink::write, Sink::seek, Sink::flush);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(StreamWrite(w, "abc", 3), 3);
  EXPECT_EQ(StreamPrintf(w, "<%s=%d>", "x", 5), 5);
  EXPECT_EQ(StreamFlush(w), 0);
  EXPECT_EQ(StreamSeek(w, 1, -2), 77);
  EXPECT_EQ(StreamGetCount(w), 8);  // flush and seek leave the counter alone
  EXPECT_EQ(sink.data, "abc<x=5>");
  EXPECT_EQ(sink.calls, (Calls{"flush", "seek 1 -2"}));
  EXPECT_EQ(StreamClose(w), &sink);

  Stream* r = StreamOpenRead(&sink, Sink::read, Sink::seek);
  char buf[16];
  EXPECT_EQ(StreamRead(r, buf, 5), 5);
  EXPECT_EQ(StreamRead(r, buf, 16), 3);
  EXPECT_EQ(StreamGetCount(r), 8);
  Stream_free(r);
}

TEST(Stream, PrintfNeverWritesPastItsBuffer) {
  Sink sink;
  Stream* w = StreamOpenWrite(&sink, Sink::write, Sink::seek, Sink::flush);
  std::string big(3000, 'b');
  EXPECT_EQ(StreamPrintf(w, "%s", big.c_str()), 1023);
  EXPECT_EQ(sink.data, std::string(1023, 'b'));
  LogCapture log;
  EXPECT_EQ(StreamPrintf(w, nullptr), -1);
  EXPECT_EQ(log.calls().size(), 1u);
  StreamClose(w);
}

TEST(Stream, NullContextOrNoMemoryGiveNoStream) {
  LogCapture log;
  EXPECT_EQ(StreamOpenRead(nullptr, Sink::read, Sink::seek), nullptr);
  EXPECT_EQ(log.text(), ERR_LINE("StreamOpenRead", "p == NULL\n"));
  log.clear();
  EXPECT_EQ(StreamOpenWrite(nullptr, Sink::write, Sink::seek, Sink::flush), nullptr);
  EXPECT_EQ(log.text(), ERR_LINE("StreamOpenWrite", "p == NULL\n"));
  log.clear();
  AllocSeam_fail_mask(1);
  EXPECT_EQ(StreamOpenCount(), nullptr);
  EXPECT_EQ(log.text(), ERR_LINE("Stream_alloc", "p == NULL\n") ERR_LINE("StreamOpenCount", "p == NULL\n"));
  log.clear();
  Sink sink;
  AllocSeam_fail_mask(1);
  EXPECT_EQ(StreamOpenRead(&sink, Sink::read, Sink::seek), nullptr);
  EXPECT_EQ(log.text(), ERR_LINE("Stream_alloc", "p == NULL\n") ERR_LINE("StreamOpenRead", "p == NULL\n"));
  AllocSeam_fail_mask(0);
}

TEST(Stream, NullStreamAndWrongDirectionGiveNeutralResults) {
  LogCapture log;
  char c;
  EXPECT_EQ(StreamRead(nullptr, &c, 1), -1);
  EXPECT_EQ(StreamWrite(nullptr, "x", 1), -1);
  EXPECT_EQ(StreamFlush(nullptr), 0);
  EXPECT_EQ(StreamSeek(nullptr, 0, 0), 0);
  EXPECT_EQ(log.text(), ERR_LINE("StreamRead", "p == NULL\n") ERR_LINE("StreamWrite", "p == NULL\n")
                            ERR_LINE("StreamFlush", "p == NULL\n") ERR_LINE("StreamSeek", "p == NULL\n"));
  EXPECT_EQ(StreamGetCount(nullptr), 0);
  EXPECT_EQ(StreamClose(nullptr), nullptr);
  Stream_free(nullptr);
  log.clear();
  Sink sink;
  Stream* r = StreamOpenRead(&sink, Sink::read, Sink::seek);
  EXPECT_EQ(StreamWrite(r, "x", 1), -1);
  EXPECT_EQ(StreamFlush(r), 0);
  Stream* w = StreamOpenWrite(&sink, Sink::write, Sink::seek, Sink::flush);
  EXPECT_EQ(StreamRead(w, &c, 1), -1);
  EXPECT_EQ(StreamWrite(w, "x", -1), -1);
  EXPECT_EQ(StreamGetCount(r) + StreamGetCount(w), 0);
  EXPECT_EQ(log.calls().size(), 4u);
  StreamClose(r);
  StreamClose(w);
}

class FcsTest : public ::testing::Test {
protected:
  void SetUp() override { Fs_set_default(rec_.fs()); }
  void TearDown() override { Fs_set_default(nullptr); }
  std::string name(const char* s) const { return rec_.path(s); }
  FsRecorder rec_;
};

TEST_F(FcsTest, WriteStreamReachesTheFileAtClose) {
  Stream* ps = FcsOpenCreate(nullptr, name("param.dat").c_str(), -1);
  ASSERT_NE(ps, nullptr);
  EXPECT_EQ(((Fc*)ps->ctx)->n_buf, 10240);
  EXPECT_EQ(StreamWrite(ps, "\x05\x00\x00\x00", 4), 4);
  EXPECT_EQ(rec_.calls, (Calls{"create"}));
  EXPECT_EQ(FcsClose(ps), 1);
  EXPECT_EQ(rec_.calls, (Calls{"create", "write 4", "close"}));
  EXPECT_EQ(rec_.contents("param.dat"), std::string("\x05\x00\x00\x00", 4));
}

TEST_F(FcsTest, ReadStreamCountsWhatItGot) {
  rec_.put_file("two", "ab");
  Stream* ps = FcsOpenRead(rec_.fs(), name("two").c_str(), 16);
  ASSERT_NE(ps, nullptr);
  EXPECT_EQ(((Fc*)ps->ctx)->n_buf, 16);
  char buf[4];
  EXPECT_EQ(StreamRead(ps, buf, 4), 2);
  EXPECT_EQ(StreamGetCount(ps), 2);
  EXPECT_EQ(StreamSeek(ps, 0, 1), 1);
  EXPECT_EQ(StreamRead(ps, buf, 4), 1);
  EXPECT_EQ(StreamGetCount(ps), 3);
  EXPECT_EQ(FcsClose(ps), 1);
}

TEST_F(FcsTest, MissingFileLogsItsName) {
  LogCapture log;
  std::string n = name("missing.dat");
  EXPECT_EQ(FcsOpenRead(nullptr, n.c_str(), -1), nullptr);
  EXPECT_EQ(log.text(), "error - src/foundation/fcs.cpp - FcsOpenRead: pc == NULL cannot open file <" +
                            n + ">\n");
  log.clear();
  std::string bad = name("no_dir/x.dat");
  EXPECT_EQ(FcsOpenCreate(nullptr, bad.c_str(), -1), nullptr);
  EXPECT_EQ(log.text(), "error - src/foundation/fcs.cpp - FcsOpenCreate: pc == NULL cannot open "
                        "file <" + bad + ">\n");
  log.clear();
  EXPECT_EQ(FcsOpenRead(nullptr, nullptr, -1), nullptr);
  EXPECT_TRUE(log.contains("<(null)>"));
  EXPECT_EQ(FcsClose(nullptr), 0);
}

TEST_F(FcsTest, NoMemoryForTheStreamClosesTheFile) {
  rec_.put_file("f", "x");
  LogCapture log;
  AllocSeam_fail_mask(1u << 2);  // the Fc record and buffer come first, then the stream
  EXPECT_EQ(FcsOpenRead(nullptr, name("f").c_str(), -1), nullptr);
  AllocSeam_fail_mask(0);
  EXPECT_EQ(log.text(), ERR_LINE("Stream_alloc", "p == NULL\n") ERR_LINE("StreamOpenRead", "p == NULL\n")
                            "error - src/foundation/fcs.cpp - FcsOpenRead: ps == NULL");
  EXPECT_EQ(rec_.calls, (Calls{"open", "close"}));
}

TEST_F(FcsTest, StreamCloseHandsBackTheOpenFile) {
  Stream* ps = FcsOpenCreate(nullptr, name("k").c_str(), -1);
  StreamWrite(ps, "kept", 4);
  Fc* pc = (Fc*)StreamClose(ps);
  ASSERT_NE(pc, nullptr);
  EXPECT_EQ(FcOpenRead(nullptr, name("k").c_str(), 8), nullptr);  // still held
  EXPECT_EQ(FcClose(pc), 1);
  EXPECT_EQ(rec_.contents("k"), "kept");
}

}  // namespace

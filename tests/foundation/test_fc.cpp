// The buffered file: the exact file calls of the buffering edge cases (counted through an Fs
// of the test's own over real files), short writes that keep their bytes, and the seeks.
#include "alloc_seam.h"
#include "fc.h"
#include "fs_recorder.h"
#include "fs_w32.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

class FcTest : public ::testing::Test {
protected:
  Fc* create(int n_buf) { return FcOpenCreate(rec_.fs(), rec_.path("f").c_str(), n_buf); }
  Fc* open_read(int n_buf) { return FcOpenRead(rec_.fs(), rec_.path("f").c_str(), n_buf); }
  FsRecorder rec_;
};

TEST_F(FcTest, SmallWritesFillTheBufferBeforeOneFileCall) {
  Fc* p = create(4);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(FcWrite(p, "abc", 3), 3);
  EXPECT_EQ(rec_.calls, (Calls{"create"}));
  EXPECT_EQ(FcWrite(p, "def", 3), 3);
  EXPECT_EQ(rec_.calls, (Calls{"create", "write 4"}));
  EXPECT_EQ(p->i_pos, 2);
  EXPECT_EQ(FcClose(p), 1);
  EXPECT_EQ(rec_.calls, (Calls{"create", "write 4", "write 2", "close"}));
  EXPECT_EQ(rec_.contents("f"), "abcdef");
}

TEST_F(FcTest, LargeRequestGoesStraightToTheFile) {
  Fc* p = create(4);
  EXPECT_EQ(FcWrite(p, "0123456789", 10), 10);
  EXPECT_EQ(rec_.calls, (Calls{"create", "write 10"}));
  EXPECT_EQ(FcWrite(p, "ab", 2), 2);
  EXPECT_EQ(FcWrite(p, "cdefghij", 8), 8);  // 2 fill the buffer, 6 go straight
  EXPECT_EQ(rec_.calls, (Calls{"create", "write 10", "write 4", "write 6"}));
  FcClose(p);
  EXPECT_EQ(rec_.contents("f"), "0123456789abcdefghij");
}

TEST_F(FcTest, OneSmallWriteIsOneFileWriteAtClose) {
  Fc* p = create(10240);
  EXPECT_EQ(FcWrite(p, "\x01\x02\x03\x04", 4), 4);
  FcClose(p);
  EXPECT_EQ(rec_.calls, (Calls{"create", "write 4", "close"}));
}

TEST_F(FcTest, FlushThenMoreWritesStoresEveryByteOnce) {
  Fc* p = create(8);
  FcWrite(p, "abc", 3);
  EXPECT_EQ(FcFlush(p), 1);
  EXPECT_EQ(FcFlush(p), 1);  // nothing waiting: no file call
  FcWrite(p, "defghijklm", 10);
  FcWrite(p, "n", 1);
  FcClose(p);
  EXPECT_EQ(rec_.calls, (Calls{"create", "write 3", "write 10", "write 1", "close"}));
  EXPECT_EQ(rec_.contents("f"), "abcdefghijklmn");
}

TEST_F(FcTest, ShortWritesKeepTheRestWithoutDuplicates) {
  Fc* p = create(4);
  FcWrite(p, "ab", 2);
  rec_.n_write_limit = 1;
  EXPECT_EQ(FcWrite(p, "cdef", 4), 2);  // buffer full, the file takes only "a"
  EXPECT_EQ(FcFlush(p), 0);             // takes "b"; "cd" still waiting
  EXPECT_EQ(FcSeek(p, 0, 0), -1);       // takes "c"; the seek is not made
  rec_.n_write_limit = -1;
  EXPECT_EQ(FcFlush(p), 1);
  EXPECT_EQ(rec_.contents("f"), "abcd");
  EXPECT_EQ(FcSeek(p, 0, 1), 1);
  FcWrite(p, "X", 1);
  rec_.n_write_limit = 0;
  EXPECT_EQ(FcClose(p), 1);  // the file refuses: the byte is lost, close still succeeds
  EXPECT_EQ(rec_.contents("f"), "abcd");
  EXPECT_EQ(rec_.calls.back(), "close");
}

/* Sets this process's file-size limit (at most the hard one); a write past it fails with
** EFBIG while SIGXFSZ is ignored. */
void limit_file_size(rlim_t n) {
  struct rlimit rl;
  getrlimit(RLIMIT_FSIZE, &rl);
  rl.rlim_cur = n < rl.rlim_max ? n : rl.rlim_max;
  setrlimit(RLIMIT_FSIZE, &rl);
}

TEST_F(FcTest, ShortWriteOfTheRealFileIsNeverOfferedTwice) {
  // The file takes 4 of 8 bytes at its size limit; only the other 4 may follow once the
  // limit is raised. Run in a child: the limit belongs to the process.
  std::string path = rec_.path("limited");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    limit_file_size(10);
    Fs* fs = FsW32_alloc();
    Fc* p = FcOpenCreate(fs, path.c_str(), 64);
    if (!p) _exit(99);
    FcWrite(p, "ABCDEF", 6);
    int r1 = FcFlush(p);
    FcWrite(p, "01234567", 8);
    int r2 = FcFlush(p);
    limit_file_size(RLIM_INFINITY);
    int r3 = FcFlush(p);
    FcClose(p);
    FsW32_free(fs);
    _exit(r1 | r2 << 1 | r3 << 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0b101);  // flushes: 1, then 0 at the limit, then 1
  EXPECT_EQ(rec_.contents("limited"), "ABCDEF01234567");
}

TEST_F(FcTest, WriteModeSeekFlushesFirst) {
  Fc* p = create(16);
  FcWrite(p, "hello", 5);
  EXPECT_EQ(FcSeek(p, 0, 1), 1);
  FcWrite(p, "E", 1);
  FcClose(p);
  EXPECT_EQ(rec_.calls, (Calls{"create", "write 5", "seek 0 1", "write 1", "close"}));
  EXPECT_EQ(rec_.contents("f"), "hEllo");
}

TEST_F(FcTest, OpenWriteOverwritesWithoutEmptying) {
  rec_.put_file("f", "0123456789");
  Fc* p = FcOpenWrite(rec_.fs(), rec_.path("f").c_str(), 16);
  ASSERT_NE(p, nullptr);
  FcWrite(p, "ab", 2);
  FcClose(p);
  EXPECT_EQ(rec_.contents("f"), "ab23456789");
  EXPECT_EQ(rec_.calls.front(), "open");
}

TEST_F(FcTest, ReadsRefillOncePerCallAndStopAtTheEnd) {
  rec_.put_file("f", "xy");
  Fc* p = open_read(10240);
  char buf[8] = {};
  EXPECT_EQ(FcRead(p, buf, 4), 2);
  EXPECT_EQ(std::string(buf, 2), "xy");
  EXPECT_EQ(FcRead(p, buf, 4), 0);
  FcClose(p);
  EXPECT_EQ(rec_.calls, (Calls{"open", "read 10240", "read 10240", "close"}));
}

TEST_F(FcTest, ReadsServeFromTheBufferThenRefill) {
  rec_.put_file("f", "0123456789");
  Fc* p = open_read(4);
  char buf[16] = {};
  EXPECT_EQ(FcRead(p, buf, 3), 3);    // refill of 4, hand out 3
  EXPECT_EQ(FcRead(p, buf + 3, 3), 3); // 1 buffered, then one refill of 4 for the rest
  EXPECT_EQ(FcRead(p, buf + 6, 6), 4); // 2 buffered, the rest of 4 goes straight: 2 left
  EXPECT_EQ(std::string(buf, 10), "0123456789");
  FcClose(p);
  EXPECT_EQ(rec_.calls, (Calls{"open", "read 4", "read 4", "read 4", "close"}));
}

TEST_F(FcTest, LargeReadFromEmptyBufferGoesStraightToTheFile) {
  rec_.put_file("f", "0123456789");
  Fc* p = open_read(4);
  char buf[16] = {};
  EXPECT_EQ(FcRead(p, buf, 8), 8);
  EXPECT_EQ(rec_.calls, (Calls{"open", "read 8"}));
  FcClose(p);
}

TEST_F(FcTest, ReadSeekCountsFromTheFilesOwnPosition) {
  rec_.put_file("f", std::string(100, 'z'));
  Fc* p = open_read(10240);
  char c;
  EXPECT_EQ(FcRead(p, &c, 1), 1);
  EXPECT_EQ(FcSeek(p, 1, 0), 100);
  EXPECT_EQ(FcRead(p, &c, 1), 0);
  EXPECT_EQ(FcSeek(p, 0, 98), 98);
  char two[2];
  EXPECT_EQ(FcRead(p, two, 2), 2);
  FcClose(p);
}

TEST_F(FcTest, WrongDirectionAndZeroCountsDoNothing) {
  rec_.put_file("f", "abc");
  Fc* r = open_read(8);
  char buf[4];
  EXPECT_EQ(FcWrite(r, "x", 1), 0);
  EXPECT_EQ(FcFlush(r), 1);
  EXPECT_EQ(FcRead(r, buf, 0), 0);
  FcClose(r);
  Fc* w = create(8);
  EXPECT_EQ(FcRead(w, buf, 1), 0);
  EXPECT_EQ(FcWrite(w, "x", 0), 0);
  FcClose(w);
  EXPECT_EQ(rec_.calls, (Calls{"open", "close", "create", "close"}));
}

TEST_F(FcTest, FailedOpensGiveNullAndReleaseEverything) {
  EXPECT_EQ(open_read(16), nullptr);  // missing
  EXPECT_EQ(create(-1), nullptr);
  Fc* w = create(16);
  EXPECT_EQ(FcOpenRead(rec_.fs(), rec_.path("f").c_str(), 16), nullptr);  // held
  FcClose(w);
  Fc* u = create(0);  // no buffer: every request goes straight to the file
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(FcWrite(u, "ab", 2), 2);
  EXPECT_EQ(rec_.calls.back(), "write 2");
  FcClose(u);
  EXPECT_EQ(FcClose(nullptr), 1);
  rec_.calls.clear();
  AllocSeam_fail_mask(0b10);  // no buffer: the file is still opened, then closed again
  EXPECT_EQ(create(16), nullptr);
  AllocSeam_fail_mask(0);
  EXPECT_EQ(rec_.calls, (Calls{"create", "close"}));
}

TEST_F(FcTest, BadArgumentsTakeNothingWithoutALine) {
  LogCapture log;
  EXPECT_EQ(FcRead(nullptr, nullptr, 1), 0);
  EXPECT_EQ(FcWrite(nullptr, "x", 1), 0);
  EXPECT_EQ(FcFlush(nullptr), 0);
  EXPECT_EQ(FcSeek(nullptr, 0, 0), -1);
  Fc* w = create(4);
  EXPECT_EQ(FcWrite(w, "x", -1), 0);
  EXPECT_EQ(FcWrite(w, nullptr, 3), 0);
  FcClose(w);
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(rec_.contents("f"), "");
}

}  // namespace

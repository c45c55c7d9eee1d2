// The file-system interface and its Win32 backend over real files: exclusive opens,
// create-or-empty, open-existing, origins, 32-bit positions, backslash names, the default.
#include "fs.h"
#include "fs_recorder.h"
#include "fs_w32.h"
#include "log_capture.h"
#include "win32_handle.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class FsW32Test : public ::testing::Test {
protected:
  void SetUp() override {
    p_w32_ = FsW32_alloc();
    ASSERT_NE(p_w32_, nullptr);
    EXPECT_EQ(Fs_set_default(p_w32_), 1);
    n_handles_ = win32_handle_count();
  }
  void TearDown() override {
    EXPECT_EQ(win32_handle_count(), n_handles_);
    Fs_set_default(nullptr);
    FsW32_free(p_w32_);
  }
  std::string name(const std::string& s) const { return rec_.path(s); }
  FsRecorder rec_;  // only for its directory and file helpers here
  Fs* p_w32_ = nullptr;
  int n_handles_ = 0;
};

TEST_F(FsW32Test, OpenOfMissingFileFailsAndLeavesNothing) {
  EXPECT_EQ(FsFile_open(nullptr, name("missing").c_str()), nullptr);
  struct stat st;
  EXPECT_NE(stat(name("missing").c_str(), &st), 0);
  EXPECT_EQ(FsFile_open(nullptr, nullptr), nullptr);
  EXPECT_EQ(FsFile_create(nullptr, nullptr), nullptr);
}

TEST_F(FsW32Test, CreateEmptiesOpenKeepsFromTheStart) {
  rec_.put_file("f", "old contents");
  FsFile* f = FsFile_open(nullptr, name("f").c_str());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->p_fs, p_w32_);  // NULL was replaced by the default of that moment
  EXPECT_EQ(FsFile_tell(f), 0);
  char buf[8] = {};
  EXPECT_EQ(FsFile_read(f, buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "old");
  EXPECT_EQ(FsFile_close(f), 1);
  f = FsFile_create(p_w32_, name("f").c_str());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(FsFile_read(f, buf, 8), 0);
  EXPECT_EQ(FsFile_close(f), 1);
  EXPECT_EQ(rec_.contents("f"), "");
}

TEST_F(FsW32Test, SecondOpenOfAHeldFileFails) {
  FsFile* f = FsFile_create(nullptr, name("x").c_str());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(FsFile_write(f, "abc", 3), 3);
  EXPECT_EQ(FsFile_open(nullptr, name("x").c_str()), nullptr);
  EXPECT_EQ(FsFile_create(nullptr, name("x").c_str()), nullptr);
  EXPECT_EQ(Fs_delete(nullptr, name("x").c_str()), 0);
  FsFile_close(f);
  EXPECT_EQ(rec_.contents("x"), "abc");  // the refused create emptied nothing
  f = FsFile_open(nullptr, name("x").c_str());
  EXPECT_NE(f, nullptr);
  FsFile_close(f);
  EXPECT_EQ(Fs_delete(nullptr, name("x").c_str()), 1);
  EXPECT_EQ(Fs_delete(nullptr, name("x").c_str()), 0);
  EXPECT_EQ(Fs_delete(nullptr, nullptr), 0);
}

TEST_F(FsW32Test, OriginsAndPositions) {
  FsFile* f = FsFile_create(nullptr, name("p").c_str());
  EXPECT_EQ(FsFile_write(f, "0123456789", 10), 10);
  EXPECT_EQ(FsFile_tell(f), 10);
  EXPECT_EQ(FsFile_seek(f, 2, 0), 10);
  EXPECT_EQ(FsFile_seek(f, 3, 5), 5);  // unknown origin counts from the start
  EXPECT_EQ(FsFile_seek(f, -7, 4), 4);
  EXPECT_EQ(FsFile_seek(f, 1, 2), 6);
  EXPECT_EQ(FsFile_seek(f, 2, -3), 7);
  EXPECT_EQ(FsFile_seek(f, 0, -1), -1);  // before the start
  EXPECT_EQ(FsFile_tell(f), 7);
  EXPECT_EQ(FsFile_seek(f, 0, 0x7FFFFFFF), 0x7FFFFFFF);  // largest 32-bit signed position
  EXPECT_EQ(FsFile_seek(f, 0, 0), 0);
  char buf[4];
  EXPECT_EQ(FsFile_read(f, buf, -1), 0);  // a negative count never reaches the OS
  EXPECT_EQ(FsFile_write(f, buf, -1), 0);
  EXPECT_EQ(FsFile_tell(f), 0);
  EXPECT_EQ(FsFile_close(f), 1);
}

TEST_F(FsW32Test, BackslashNames) {
  ASSERT_EQ(mkdir(name("data").c_str(), 0777), 0);
  std::string n = name("data") + "\\param.dat";
  FsFile* f = FsFile_create(nullptr, n.c_str());
  ASSERT_NE(f, nullptr);
  FsFile_write(f, "\x01\x00\x00\x00", 4);
  FsFile_close(f);
  EXPECT_EQ(rec_.contents("data/param.dat"), std::string("\x01\x00\x00\x00", 4));
}

TEST(Fs, DefaultAndRecordFields) {
  EXPECT_EQ(Fs_set_default(nullptr), 0);
  EXPECT_EQ(Fs_get_default(), nullptr);
  int spare = 0;
  Fs* p = Fs_alloc(&spare, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   &spare, nullptr);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->ctx, &spare);
  EXPECT_EQ(p->cb_spare_1, &spare);
  EXPECT_EQ(Fs_set_default(p), 1);
  EXPECT_EQ(Fs_get_default(), p);
  Fs_set_default(nullptr);
  Fs_free(p);
  Fs_free(nullptr);
  EXPECT_EQ(FsFile_close(nullptr), 1);
}

TEST(Fs, SlotsGetContextHandleAndArgumentsUnchanged) {
  FsRecorder rec;
  FsFile* f = FsFile_create(rec.fs(), rec.path("a").c_str());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->p_fs, rec.fs());
  FsFile_write(f, "hello", 5);
  FsFile_seek(f, 9, 1);
  FsFile_read(f, nullptr, 0);
  FsFile_tell(f);
  EXPECT_EQ(FsFile_close(f), 1);
  EXPECT_EQ(FsFile_open(rec.fs(), rec.path("none").c_str()), nullptr);  // no close call
  EXPECT_EQ(rec.calls, (std::vector<std::string>{"create", "write 5", "seek 9 1", "read 0",
                                                 "tell", "close", "open"}));
}

/* A backend whose close fails and whose handles are made up. */
int fake_open(void*, const char*) { return 7; }
int fake_close(void*, int) { return 0; }

TEST(Fs, FailedCloseIsReportedAndTheRecordStillReleased) {
  Fs* p = Fs_alloc(nullptr, fake_open, nullptr, fake_open, fake_close, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr);
  FsFile* f = FsFile_open(p, "any");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->h_file, 7);
  EXPECT_EQ(FsFile_close(f), 0);  // and the sanitizer build sees no leak
  Fs_free(p);
}

TEST(Fs, CallsWithoutAFileSystemOrSlotFailWithoutALine) {
  Fs_set_default(nullptr);
  LogCapture log;
  EXPECT_EQ(FsFile_open(nullptr, "x"), nullptr);
  EXPECT_EQ(FsFile_create(nullptr, "x"), nullptr);
  EXPECT_EQ(Fs_delete(nullptr, "x"), 0);
  EXPECT_EQ(FsFile_read(nullptr, nullptr, 1), 0);
  EXPECT_EQ(FsFile_write(nullptr, nullptr, 1), 0);
  EXPECT_EQ(FsFile_seek(nullptr, 0, 0), -1);
  EXPECT_EQ(FsFile_tell(nullptr), -1);
  Fs* p = Fs_alloc(nullptr, fake_open, nullptr, fake_open, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr);
  FsFile* f = FsFile_open(p, "any");
  ASSERT_NE(f, nullptr);
  char c;
  EXPECT_EQ(FsFile_read(f, &c, 1), 0);
  EXPECT_EQ(FsFile_write(f, &c, 1), 0);
  EXPECT_EQ(FsFile_seek(f, 0, 0), -1);
  EXPECT_EQ(FsFile_tell(f), -1);
  EXPECT_EQ(Fs_delete(p, "any"), 0);
  EXPECT_EQ(FsFile_close(f), 0);  // no close slot
  Fs_free(p);
  EXPECT_EQ(log.text(), "");  // the layers above decide what to report
}

}  // namespace

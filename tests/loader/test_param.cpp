// The parameter file: 4 bytes, version 1 little-endian, through the file streams on the
// default (Win32) file system; every failure gives 0 and leaves no file open.
#include "fs.h"
#include "fs_w32.h"
#include "log_capture.h"
#include "param.h"
#include "root.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

/* A Root that only carries its paths, a Win32 file system as the default, and a fresh
** program directory below the build folder. */
class ParamFile : public testing::Test {
protected:
  void SetUp() override {
    fs_ = FsW32_alloc();
    ASSERT_NE(fs_, nullptr);
    fs_old_ = Fs_get_default();
    Fs_set_default(fs_);
    dir_ = fs::path(ZENT_BINARY_DIR) / "tmp" / "param" /
           testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "data");
    root_ = std::make_unique<Root>();
    memset(root_.get(), 0, sizeof(Root));
    snprintf(root_->path_program, sizeof root_->path_program, "%s", dir_.c_str());
    // The path as the Root builds it, with the Windows separators the backend maps.
    snprintf(root_->p_path_name_param, sizeof root_->p_path_name_param, "%s\\data\\param.dat",
             dir_.c_str());
  }
  void TearDown() override {
    Fs_set_default(fs_old_);
    FsW32_free(fs_);
  }
  std::string file_bytes() const {
    std::ifstream in(dir_ / "data" / "param.dat", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void put_file_bytes(const std::string& bytes) const {
    std::ofstream(dir_ / "data" / "param.dat", std::ios::binary) << bytes;
  }

  Fs* fs_ = nullptr;
  Fs* fs_old_ = nullptr;
  fs::path dir_;
  std::unique_ptr<Root> root_;
};

TEST_F(ParamFile, SaveWritesVersionOneAndLoadReadsItBack) {
  put_file_bytes("longer old contents");
  ASSERT_EQ(Root_save(root_.get()), 1);
  EXPECT_EQ(file_bytes(), std::string("\x01\x00\x00\x00", 4));  // emptied, then 4 bytes
  EXPECT_EQ(Root_load(root_.get()), 1);
}

TEST_F(ParamFile, LoadTakesAnyVersionAndIgnoresWhatFollows) {
  put_file_bytes(std::string("\x07\x00\x00\x00 and more", 13));
  EXPECT_EQ(Root_load(root_.get()), 1);
  EXPECT_EQ(Root_param_load(root_.get(), (dir_ / "data" / "param.dat").c_str()), 1);
}

TEST_F(ParamFile, ShortFileFailsAndIsLeftClosed) {
  put_file_bytes(std::string("\x01\x00\x00", 3));
  LogCapture log;
  EXPECT_EQ(Root_load(root_.get()), 0);
  std::string t = log.text();
  size_t i_param = t.find("error - src/loader/param.cpp - Root_param_load: __SRSE (version) failed");
  size_t i_root = t.find("error - src/loader/param.cpp - Root_load: Root_param_load (p, p -> "
                         "p_path_name_param))");
  ASSERT_NE(i_param, std::string::npos) << t;
  ASSERT_NE(i_root, std::string::npos) << t;
  EXPECT_LT(i_param, i_root);
  // Files open exclusively: a save right after succeeds only if the load closed it.
  EXPECT_EQ(Root_save(root_.get()), 1);
}

TEST_F(ParamFile, MissingFileOrDirectoryFails) {
  LogCapture log;
  EXPECT_EQ(Root_load(root_.get()), 0);  // no file yet
  EXPECT_NE(log.text().find("cannot open file <"), std::string::npos);
  fs::remove_all(dir_ / "data");
  log.clear();
  EXPECT_EQ(Root_save(root_.get()), 0);  // the loader does not make the data directory
  // The opener's line, the write on no stream, then this module's two lines, in that order.
  std::string t = log.text();
  size_t i_open = t.find("FcsOpenCreate: pc == NULL cannot open file <");
  size_t i_write = t.find("StreamWrite: ", i_open);
  size_t i_param = t.find("error - src/loader/param.cpp - Root_param_save: __SWSE (version) failed");
  size_t i_root = t.find("error - src/loader/param.cpp - Root_save: Root_param_save (p, p -> "
                         "p_path_name_param))");
  ASSERT_NE(i_open, std::string::npos) << t;
  ASSERT_NE(i_write, std::string::npos) << t;
  ASSERT_NE(i_param, std::string::npos) << t;
  ASSERT_NE(i_root, std::string::npos) << t;
  EXPECT_LT(i_write, i_param);
  EXPECT_LT(i_param, i_root);
  EXPECT_FALSE(fs::exists(dir_ / "data"));
}

TEST_F(ParamFile, BytesThatNeverReachTheFileFailTheSave) {
  LogCapture log;
  // /dev/full takes the open but refuses every byte; the 4 bytes wait in the stream's
  // buffer until the flush, which is where the save must notice.
  EXPECT_EQ(Root_param_save(root_.get(), "/dev/full"), 0);
  EXPECT_NE(log.text().find("Root_param_save: __SWSE (version) failed"), std::string::npos)
      << log.text();
}

/* Sets this process's file-size limit, at most to the hard one. */
void limit_file_size(rlim_t n) {
  struct rlimit rl;
  getrlimit(RLIMIT_FSIZE, &rl);
  rl.rlim_cur = n < rl.rlim_max ? n : rl.rlim_max;
  setrlimit(RLIMIT_FSIZE, &rl);
}

/* A sink that lifts the limit when the save reports its failure, before the stream's close
** offers the waiting bytes again. */
int lift_limit_on_save_line(void*, const char* p_text) {
  if (strstr(p_text, "__SWSE")) limit_file_size(RLIM_INFINITY);
  return 1;
}

TEST_F(ParamFile, ShortWriteFailsTheSaveAndTheCloseAddsOnlyTheRest) {
  // The file takes 2 of the 4 bytes at its size limit; the close then writes the other 2,
  // never all 4 again. In a child: the limit belongs to the process.
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    StdIo_set_stdout(lift_limit_on_save_line, nullptr);
    limit_file_size(2);
    _exit(Root_save(root_.get()));
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(file_bytes(), std::string("\x01\x00\x00\x00", 4));
}

TEST_F(ParamFile, NullRootOrPathGivesZero) {
  LogCapture log;
  EXPECT_EQ(Root_save(NULL), 0);
  EXPECT_EQ(Root_load(NULL), 0);
  EXPECT_EQ(Root_param_save(NULL, "x"), 0);
  EXPECT_EQ(Root_param_load(NULL, "x"), 0);
  EXPECT_EQ(Root_save_stub(NULL), 0);
  EXPECT_EQ(Root_load_stub(NULL), 0);
  EXPECT_EQ(Root_param_save(root_.get(), NULL), 0);
  EXPECT_EQ(Root_param_load(root_.get(), NULL), 0);
  EXPECT_EQ(Root_save_stub(root_.get()), 1);
  EXPECT_EQ(Root_load_stub(root_.get()), 1);
  EXPECT_FALSE(fs::exists(dir_ / "data" / "param.dat"));  // the stubs touch no file
}

}  // namespace

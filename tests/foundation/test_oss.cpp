/*
** test_oss.cpp - the program directory service over the stand-in's command line and full
** paths: quoting and blanks, relative names against the current directory, the bounds of
** the caller's buffer, and one error line for each way it can fail.
*/
#include "log_capture.h"
#include "oss.h"
#include "win32_handle.h"
#include "win32_process.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {

const std::string kErr = "error - src/foundation/oss.cpp - Oss_get_path_program: ";

class OssTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr); }
  void TearDown() override {
    win32_process_set_command_line(nullptr);
    EXPECT_EQ(chdir(cwd_), 0);
  }
  /* Runs the service on the given command line; the directory or "<-1>". */
  std::string dir_of(const char* cmd_line, int n_dst = 260) {
    win32_process_set_command_line(cmd_line);
    char buf[600];
    int n = Oss_get_path_program(n_dst, buf);
    if (n < 0) return "<-1>";
    EXPECT_EQ(n, (int)strlen(buf));
    return buf;
  }
  char cwd_[PATH_MAX];
};

TEST_F(OssTest, QuotedPathWithBlanksIgnoresTheArguments) {
  EXPECT_EQ(dir_of("\"/opt/zent tools/bin dir/zent loader\" -port \"COM 2\""), "/opt/zent tools/bin dir");
  EXPECT_EQ(dir_of("\"/opt/x/zent\""), "/opt/x");
}

TEST_F(OssTest, PlainTokenEndsAtTheFirstBlankAfterLeadingBlanks) {
  EXPECT_EQ(dir_of("   /usr/lib/zent/zent-loader --demo"), "/usr/lib/zent");
  // Only the blank separates: a tab belongs to the token, and so does a quote inside it.
  EXPECT_EQ(dir_of("/a/b\tc/prog x"), "/a/b\tc");
  EXPECT_EQ(dir_of("/a/say\"hi/prog"), "/a/say\"hi");
}

TEST_F(OssTest, ProgramInTheRootDirectoryGivesTheEmptyDirectory) {
  win32_process_set_command_line("/zent-loader");
  char buf[260];
  EXPECT_EQ(Oss_get_path_program(sizeof buf, buf), 0);
  EXPECT_STREQ(buf, "");
}

TEST_F(OssTest, RelativeNamesResolveAgainstTheCurrentDirectory) {
  ASSERT_EQ(chdir("/tmp"), 0);
  char here[PATH_MAX];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  EXPECT_EQ(dir_of("zent-loader"), here);  // a bare name: the current directory
  EXPECT_EQ(dir_of("./sub/../bin/./zent-loader arg"), std::string(here) + "/bin");
  ASSERT_EQ(chdir("/"), 0);
  EXPECT_EQ(dir_of("../../zent-loader"), "");  // ".." stops at the root
}

TEST_F(OssTest, BackslashesSeparateLikeSlashes) {
  EXPECT_EQ(dir_of("\"/opt\\zent\\\\bin\\zent.exe\""), "/opt/zent/bin");
}

TEST_F(OssTest, DefaultCommandLineFindsTheRunningProgram) {
  win32_process_set_command_line(nullptr);
  char buf[4096];
  ASSERT_GE(Oss_get_path_program(sizeof buf, buf), 0);
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  std::string exe_dir(exe, (size_t)n);
  EXPECT_EQ(buf, exe_dir.substr(0, exe_dir.rfind('/')));
}

TEST_F(OssTest, NoTokenFailsWithOneLine) {
  for (const char* line : {"", "     ", "\"/opt/unclosed/zent arg"}) {
    LogCapture log;
    EXPECT_EQ(dir_of(line), "<-1>") << "[" << line << "]";
    EXPECT_EQ(log.calls(), std::vector<std::string>{kErr + "parse_cmd_line failed"});
  }
}

TEST_F(OssTest, TokenLengthIsBoundedByTheBuffer) {
  // "/abc/defgh" is 10 characters: it fits 11 bytes, not 10.
  EXPECT_EQ(dir_of("/abc/defgh", 11), "/abc");
  LogCapture log;
  EXPECT_EQ(dir_of("/abc/defgh", 10), "<-1>");
  EXPECT_EQ(log.text(), kErr + "n_path >= n_dst (n_path=10, n_dst=10)");
  log.clear();
  EXPECT_EQ(dir_of("/x", 0), "<-1>");
  EXPECT_EQ(log.text(), kErr + "n_path >= n_dst (n_path=2, n_dst=0)");
  log.clear();
  EXPECT_EQ(Oss_get_path_program(260, nullptr), -1);  // no buffer: refused, not written
  EXPECT_EQ(log.calls().size(), 1u);
}

TEST_F(OssTest, PathThatNoLongerFitsAfterResolvingFails) {
  ASSERT_EQ(chdir("/tmp"), 0);
  LogCapture log;
  // Fits as a token (2 of 8 bytes) but "/tmp/zz" plus the terminator does not.
  EXPECT_EQ(dir_of("zz", 7), "<-1>");
  EXPECT_EQ(log.text(), kErr + "i_filename <= 0");
}

TEST_F(OssTest, DirectoryTokenHasNoFileName) {
  for (const char* line : {"/usr/bin/ x", "\"/\""}) {
    LogCapture log;
    EXPECT_EQ(dir_of(line), "<-1>") << line;
    EXPECT_EQ(log.text(), kErr + "i_filename <= 0");
  }
}

TEST_F(OssTest, EmptyQuotedTokenCannotBeMadeAbsolute) {
  LogCapture log;
  EXPECT_EQ(dir_of("\"\" arg"), "<-1>");
  EXPECT_EQ(log.text(), kErr + "GetFullPathName failed (last_error=0000007b,123");
}

TEST(GetFullPathNameA, WritesNothingWhenTheBufferIsTooSmall) {
  char buf[8] = "zzzzzzz";
  char* p_file = nullptr;
  EXPECT_EQ(GetFullPathNameA("/ab/cdef", 8, buf, &p_file), 9u);  // needs 9 with terminator
  EXPECT_STREQ(buf, "zzzzzzz");
  EXPECT_EQ(p_file, nullptr);
  EXPECT_EQ(GetFullPathNameA("/ab/cdef", 0, nullptr, nullptr), 9u);
  char big[16];
  EXPECT_EQ(GetFullPathNameA("/ab/cdef", 9, big, &p_file), 8u);
  EXPECT_STREQ(big, "/ab/cdef");
  EXPECT_EQ(p_file, big + 4);
}

TEST(GetFullPathNameA, ResolvesInPlaceAndReportsTheFilePart) {
  char buf[64] = "/a//b/./c/../d";
  char* p_file = nullptr;
  EXPECT_EQ(GetFullPathNameA(buf, sizeof buf, buf, &p_file), 6u);
  EXPECT_STREQ(buf, "/a/b/d");
  EXPECT_STREQ(p_file, "d");
  strcpy(buf, "/a/b/");
  p_file = buf;
  EXPECT_EQ(GetFullPathNameA(buf, sizeof buf, buf, &p_file), 5u);
  EXPECT_STREQ(buf, "/a/b/");
  EXPECT_EQ(p_file, nullptr);
  EXPECT_EQ(GetFullPathNameA("/", sizeof buf, buf, &p_file), 1u);
  EXPECT_EQ(p_file, nullptr);
}

TEST(GetFullPathNameA, RefusesMissingAndEmptyNames) {
  char buf[16];
  SetLastError(0);
  EXPECT_EQ(GetFullPathNameA(nullptr, sizeof buf, buf, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetFullPathNameA("", sizeof buf, buf, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
}

TEST(GetCommandLineA, PutsTheProgramFirstQuotedWhenItHoldsABlank) {
  win32_process_set_command_line(nullptr);
  std::string line = GetCommandLineA();
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  std::string path(exe, (size_t)n);
  std::string first = path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
  EXPECT_EQ(line.substr(0, first.size()), first);
  win32_process_set_command_line("x y");
  EXPECT_STREQ(GetCommandLineA(), "x y");
  win32_process_set_command_line(nullptr);
}

}  // namespace

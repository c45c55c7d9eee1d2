// The zent-srec tool as a user runs it: copy between address widths, info, bad input.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

const fs::path kTool = fs::path(ZENT_BINARY_DIR) / "bin" / "zent-srec";

fs::path test_dir() {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  fs::path d = fs::path(ZENT_BINARY_DIR) / "tmp" / "srec_tool" / info->name();
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

struct ToolRun {
  int status;       // exit status
  std::string out;  // standard output
};

/* Runs the command (standard error to err_file); its exit status and standard output. */
ToolRun run(const std::string& cmd, const fs::path& err_file) {
  ToolRun r{-1, ""};
  FILE* fp = popen((cmd + " 2>" + err_file.string()).c_str(), "r");
  if (fp == NULL) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, fp)) > 0) r.out.append(buf, n);
  int st = pclose(fp);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(SrecTool, CopyKeepsTheBytesAcrossWidthsAndInfoShowsPartitions) {
  ASSERT_TRUE(fs::exists(kTool)) << kTool << " is not built";
  fs::path d = test_dir();
  std::ofstream(d / "a.bin", std::ios::binary) << std::string(700, 'a');
  std::ofstream(d / "b.bin", std::ios::binary) << std::string(300, 'b');
  std::string in = (d / "in.s3").string();
  ASSERT_EQ(std::system(("srec_cat " + (d / "a.bin").string() + " -binary -offset 0x10000 " +
                         (d / "b.bin").string() + " -binary -offset 0x20000 "
                         "-execution-start-address 0x10000 -o " + in +
                         " -motorola -address-length=4 -line-length=40")
                            .c_str()),
            0);
  ToolRun info = run(kTool.string() + " info " + in, d / "err");
  EXPECT_EQ(info.status, 0);
  int n_data = 0;  // srec_cat chooses the bytes per line
  std::ifstream lines(in);
  for (std::string l; std::getline(lines, l);) n_data += l.rfind("S3", 0) == 0;
  EXPECT_EQ(info.out,
            "start address: 0x00010000\n"
            "records: " + std::to_string(n_data + 1) + " (" + std::to_string(n_data) +
                " data)\n"
            "partitions: 2\n"
            "  0x00010000 - 0x000102BB  700 bytes\n"
            "  0x00020000 - 0x0002012B  300 bytes\n"
            "bytes: 1000\n");

  std::string out = (d / "out.s2").string();
  EXPECT_EQ(run(kTool.string() + " copy 2 " + in + " " + out, d / "err").status, 0);
  EXPECT_EQ(read_file(out).substr(0, 20), "S00600004B564216\r\nS2");
  ASSERT_EQ(std::system(("srec_cat " + in + " -o " + (d / "in.bin").string() + " -binary && " +
                         "srec_cat " + out + " -o " + (d / "out.bin").string() + " -binary")
                            .c_str()),
            0);
  EXPECT_EQ(read_file(d / "in.bin"), read_file(d / "out.bin"));
}

TEST(SrecTool, BadInputEndsWithAMessageAndNonZeroStatus) {
  ASSERT_TRUE(fs::exists(kTool)) << kTool << " is not built";
  fs::path d = test_dir();
  std::string t = kTool.string();
  std::string good = (d / "good.s1").string();
  std::ofstream(good, std::ios::binary) << "S10510000102E7\nS9030000FC\n";
  std::string high = (d / "high.s3").string();
  std::ofstream(high, std::ios::binary) << "S30600010000AA4E\nS70500000000FA\n";
  std::string junk = (d / "junk.s1").string();
  std::ofstream(junk, std::ios::binary) << "hello\n";

  struct Case {
    std::string args;
    int status;
    std::string err;  // part of what standard error says
  };
  const Case cases[] = {
      {"", 2, "usage: zent-srec"},
      {"copy 4 " + good + " x", 2, "WIDTH must be 1, 2 or 3"},
      {"info " + (d / "none").string(), 1, "is no readable S-record file"},
      {"info " + junk, 1, "unexpected data detected"},
      {"copy 1 " + high + " " + (d / "o").string(), 1, "does not fit WIDTH 1"},
      {"copy 1 " + good + " " + (d / "no" / "dir").string(), 1, "cannot write"},
  };
  for (const Case& c : cases) {
    ToolRun r = run(t + " " + c.args, d / "err");
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_NE(read_file(d / "err").find(c.err), std::string::npos)
        << c.args << ": " << read_file(d / "err");
  }
  EXPECT_FALSE(fs::exists(d / "o"));
}

}  // namespace

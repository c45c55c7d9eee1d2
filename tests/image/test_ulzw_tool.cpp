// The zent-lzw program: the bare stream on disk, round trips through files, and a clear
// message with a non-zero status for every kind of failure.
#include "ulzw_reference.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

class ZentLzw : public ::testing::Test {
protected:
  void SetUp() override {
    if (access(tool_.c_str(), X_OK) != 0) GTEST_SKIP() << tool_ << " is not built";
    char tmpl[] = "/tmp/zent-lzw-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf " + dir_).c_str());
  }
  std::string path(const char* name) const { return dir_ + "/" + name; }
  void put(const char* name, const Bytes& b) const {
    std::ofstream(path(name), std::ios::binary).write((const char*)b.data(), (std::streamsize)b.size());
  }
  Bytes get(const char* name) const {
    std::ifstream f(path(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
  }
  /* Runs the tool; its exit status, with its standard error in err_. */
  int run(const std::string& args) {
    int rc = std::system((tool_ + " " + args + " 2>" + path("stderr")).c_str());
    Bytes e = get("stderr");
    err_.assign(e.begin(), e.end());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  std::string tool_ = std::string(ZENT_BINARY_DIR) + "/bin/zent-lzw";
  std::string dir_;
  std::string err_;
};

TEST_F(ZentLzw, EncodeWritesTheBareStreamAndDecodeGivesTheBytesBack) {
  put("abc", Bytes{'a', 'b', 'c'});
  ASSERT_EQ(run("encode 144 " + path("abc") + " " + path("abc.z")), 0) << err_;
  EXPECT_EQ(get("abc.z"), (Bytes{0xc2, 0x88, 0x19, 0xfb, 0xff, 0x0f}));
  // Code-like data, and a long run of 0xFF that expands far beyond eight times its stream.
  for (const Bytes& src : {ulzw_ref::code_like(200000, 31), Bytes(300000, 0xFF)}) {
    put("in", src);
    ASSERT_EQ(run("encode 12 " + path("in") + " " + path("in.z")), 0) << err_;
    ASSERT_EQ(run("decode 12 " + path("in.z") + " " + path("out")), 0) << err_;
    EXPECT_TRUE(get("out") == src);
  }
}

TEST_F(ZentLzw, FailuresGiveAMessageAndNonZeroStatus) {
  put("abc", Bytes{'a', 'b', 'c'});
  put("empty", Bytes{});
  put("noise", Bytes{0x69, 0x24, 0x00});  // flag 1 and code 4660 first
  EXPECT_EQ(run("encode 145 " + path("abc") + " " + path("x")), 2);
  EXPECT_NE(err_.find("bad mode '145'"), std::string::npos) << err_;
  EXPECT_EQ(run("encode 144 " + path("abc")), 2);
  EXPECT_NE(err_.find("usage: zent-lzw"), std::string::npos) << err_;
  EXPECT_EQ(run("encode 144 " + path("missing") + " " + path("x")), 1);
  EXPECT_NE(err_.find("cannot open"), std::string::npos) << err_;
  EXPECT_EQ(run("encode 144 " + path("empty") + " " + path("x")), 1);
  EXPECT_NE(err_.find("is empty"), std::string::npos) << err_;
  EXPECT_EQ(run("decode 144 " + path("noise") + " " + path("x")), 1);
  EXPECT_NE(err_.find("Ulzw_decode: code 4660 unknown"), std::string::npos) << err_;  // the coder's line
  EXPECT_EQ(run("encode 144 " + path("abc") + " " + dir_ + "/no/such/dir"), 1);
  EXPECT_NE(err_.find("cannot create"), std::string::npos) << err_;
}

}  // namespace

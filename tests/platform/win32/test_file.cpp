// Files of the win32 stand-in: exclusive opens, the creation dispositions, 32-bit positions,
// backslash names, deletion of held files and the hand-over of COM names to the port code.
#include "win32_file.h"
#include "win32_handle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <pty.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Win32File : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zent_file_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    n_handles_ = win32_handle_count();
  }
  void TearDown() override {
    EXPECT_EQ(win32_handle_count(), n_handles_);  // every test closes what it opened
    std::string cmd = "rm -rf " + dir_;
    EXPECT_EQ(system(cmd.c_str()), 0);
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  static HANDLE open(const std::string& p, DWORD creation, DWORD share = 0,
                     DWORD access = GENERIC_READ | GENERIC_WRITE) {
    return CreateFileA(p.c_str(), access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }
  static void put(HANDLE h, const std::string& s) {
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, s.data(), (DWORD)s.size(), &n, nullptr));
    ASSERT_EQ(n, s.size());
  }
  static std::string get(HANDLE h, DWORD n_max = 64) {
    std::string s(n_max, '\0');
    DWORD n = 0;
    EXPECT_TRUE(ReadFile(h, s.data(), n_max, &n, nullptr));
    s.resize(n);
    return s;
  }
  static std::string contents(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  std::string dir_;
  int n_handles_ = 0;
};

TEST_F(Win32File, ShareModeZeroHoldsTheFileExclusively) {
  HANDLE h = open(path("a"), CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  put(h, "keep");
  EXPECT_EQ(open(path("a"), OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  // A refused CREATE_ALWAYS must not have emptied the holder's file.
  EXPECT_EQ(open(path("a"), CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(open(path("a"), OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_READ),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(contents(path("a")), "keep");
  EXPECT_TRUE(CloseHandle(h));
  HANDLE h2 = open(path("a"), OPEN_EXISTING);
  EXPECT_NE(h2, INVALID_HANDLE_VALUE);
  CloseHandle(h2);
}

TEST_F(Win32File, SharedReadersExcludeAWriter) {
  HANDLE h = open(path("s"), CREATE_ALWAYS);
  CloseHandle(h);
  HANDLE r1 = open(path("s"), OPEN_EXISTING, FILE_SHARE_READ, GENERIC_READ);
  HANDLE r2 = open(path("s"), OPEN_EXISTING, FILE_SHARE_READ, GENERIC_READ);
  EXPECT_NE(r1, INVALID_HANDLE_VALUE);
  EXPECT_NE(r2, INVALID_HANDLE_VALUE);
  EXPECT_EQ(open(path("s"), OPEN_EXISTING, FILE_SHARE_READ, GENERIC_READ | GENERIC_WRITE),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  DWORD n = 0;
  EXPECT_FALSE(WriteFile(r1, "x", 1, &n, nullptr));  // opened for reading only
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(r1);
  CloseHandle(r2);
}

TEST_F(Win32File, DispositionsEmptyKeepOrRefuse) {
  EXPECT_EQ(open(path("m"), OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  struct stat st;
  EXPECT_NE(stat(path("m").c_str(), &st), 0);  // nothing left behind

  HANDLE h = open(path("f"), CREATE_ALWAYS);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  put(h, "0123456789");
  CloseHandle(h);
  h = open(path("f"), OPEN_EXISTING);
  EXPECT_EQ(get(h, 4), "0123");  // kept, and read from the first byte
  CloseHandle(h);
  h = open(path("f"), CREATE_ALWAYS);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(get(h), "");
  CloseHandle(h);
  EXPECT_EQ(contents(path("f")), "");

  EXPECT_EQ(open(path("f"), CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(open(path("f"), 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(open(dir_, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
}

TEST_F(Win32File, BackslashesSeparateDirectories) {
  ASSERT_EQ(mkdir(path("data").c_str(), 0777), 0);
  std::string name = dir_ + "\\data\\param.dat";
  HANDLE h = open(name, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  put(h, "v");
  CloseHandle(h);
  EXPECT_EQ(contents(path("data/param.dat")), "v");
  EXPECT_TRUE(DeleteFileA(name.c_str()));
}

TEST_F(Win32File, PositionsAreThirtyTwoBit) {
  HANDLE h = open(path("p"), CREATE_ALWAYS);
  put(h, "0123456789");
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 10u);
  EXPECT_EQ(SetFilePointer(h, 3, nullptr, FILE_BEGIN), 3u);
  EXPECT_EQ(get(h, 2), "34");
  EXPECT_EQ(SetFilePointer(h, -2, nullptr, FILE_END), 8u);
  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_CURRENT), 7u);
  EXPECT_EQ(SetFilePointer(h, -8, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 7u);  // unchanged by the failure
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, 3), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // Far positions without writing: beyond 32 bits only with a high part.
  EXPECT_EQ(SetFilePointer(h, 0x7FFFFFFF, nullptr, FILE_BEGIN), 0x7FFFFFFFu);
  EXPECT_EQ(SetFilePointer(h, 0x7FFFFFFF, nullptr, FILE_CURRENT), 0xFFFFFFFEu);
  EXPECT_EQ(SetFilePointer(h, 1, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  LONG high = 0;
  EXPECT_EQ(SetFilePointer(h, 2, &high, FILE_CURRENT), 0u);
  EXPECT_EQ(high, 1);
  EXPECT_EQ(get(h), "");  // past the end: nothing to read
  EXPECT_EQ(SetFilePointer(nullptr, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(h);
}

TEST_F(Win32File, DeleteRefusesAHeldFile) {
  HANDLE h = open(path("d"), CREATE_ALWAYS);
  EXPECT_FALSE(DeleteFileA(path("d").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(h);
  EXPECT_TRUE(DeleteFileA(path("d").c_str()));
  EXPECT_FALSE(DeleteFileA(path("d").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(DeleteFileA(nullptr));
}

TEST_F(Win32File, ComNamesOpenSerialPorts) {
  setenv("ZENT_COM7", path("no_such_tty").c_str(), 1);
  EXPECT_EQ(open("COM7", OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  int fd_master = -1, fd_slave = -1;
  char name[256];
  ASSERT_EQ(openpty(&fd_master, &fd_slave, name, nullptr, nullptr), 0);
  close(fd_slave);
  setenv("ZENT_COM7", name, 1);
  HANDLE h = open("\\\\.\\com7", OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);  // no file
  CloseHandle(h);
  close(fd_master);
  unsetenv("ZENT_COM7");
  // A file that merely looks like a port name in a directory stays a file.
  HANDLE f = open(path("COM7"), CREATE_ALWAYS);
  EXPECT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
}

}  // namespace

/*
** fs_recorder.h - an Fs of the test's own for the file, buffered-file and stream tests: it
** passes every call to the Win32 backend (real files) and records it as a short text
** ("write 4", "read 10240", "seek 1 0" ...), and can make the file take fewer bytes than
** offered, so a test sees exactly which file calls a layer above makes.
*/
#ifndef ZENT_TEST_FS_RECORDER_H
#define ZENT_TEST_FS_RECORDER_H

#include "fs.h"
#include "fs_w32.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

class FsRecorder {
public:
  FsRecorder() : p_real_(FsW32_alloc()) {
    p_fs_ = Fs_alloc(this, create, del, open, close, read, write, seek, tell, nullptr, nullptr);
    char tmpl[] = "/tmp/zent_fs_XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  ~FsRecorder() {
    Fs_free(p_fs_);
    FsW32_free(p_real_);
    std::string cmd = "rm -rf " + dir_;
    if (system(cmd.c_str()) != 0) perror("rm");
  }
  FsRecorder(const FsRecorder&) = delete;
  FsRecorder& operator=(const FsRecorder&) = delete;

  Fs* fs() const { return p_fs_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::vector<std::string> calls;  // every call so far, in order
  int n_write_limit = -1;          // >= 0: a write takes at most this many bytes

  std::string contents(const std::string& name) const {
    std::ifstream f(path(name), std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  void put_file(const std::string& name, const std::string& s) const {
    std::ofstream f(path(name), std::ios::binary);
    f << s;
  }

private:
  static FsRecorder* self(void* ctx) { return (FsRecorder*)ctx; }
  static Fs* real(void* ctx) { return self(ctx)->p_real_; }
  static void note(void* ctx, const std::string& s) { self(ctx)->calls.push_back(s); }
  static int create(void* ctx, const char* p_name) {
    note(ctx, "create");
    return real(ctx)->cb_create(nullptr, p_name);
  }
  static int del(void* ctx, const char* p_name) {
    note(ctx, "delete");
    return real(ctx)->cb_delete(nullptr, p_name);
  }
  static int open(void* ctx, const char* p_name) {
    note(ctx, "open");
    return real(ctx)->cb_open(nullptr, p_name);
  }
  static int close(void* ctx, int h) {
    note(ctx, "close");
    return real(ctx)->cb_close(nullptr, h);
  }
  static int read(void* ctx, int h, void* p_buf, int n) {
    note(ctx, "read " + std::to_string(n));
    return real(ctx)->cb_read(nullptr, h, p_buf, n);
  }
  static int write(void* ctx, int h, const void* p_buf, int n) {
    note(ctx, "write " + std::to_string(n));
    int n_limit = self(ctx)->n_write_limit;
    if (n_limit >= 0 && n > n_limit) n = n_limit;
    return real(ctx)->cb_write(nullptr, h, p_buf, n);
  }
  static int seek(void* ctx, int h, int origin, int offset) {
    note(ctx, "seek " + std::to_string(origin) + " " + std::to_string(offset));
    return real(ctx)->cb_seek(nullptr, h, origin, offset);
  }
  static int tell(void* ctx, int h) {
    note(ctx, "tell");
    return real(ctx)->cb_tell(nullptr, h);
  }
  Fs* p_real_;
  Fs* p_fs_;
  std::string dir_;
};

#endif

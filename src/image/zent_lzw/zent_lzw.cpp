/*
** zent_lzw.cpp - the command-line face of the LZW coder: "zent-lzw encode MODE IN OUT"
** writes the bare stream that the unit expands (no header of our own), "zent-lzw decode
** MODE IN OUT" expands such a stream. Used to inspect code images by hand and to measure
** the coder against other compressors on whole files. Exit status 0 on success, 1 on a
** coding or file error, 2 on a usage error; the coder's own lines go to stderr.
*/
#include "std_io.h"
#include "ulzw.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/stat.h>

namespace {

using Bytes = std::vector<uint8_t>;

struct UnitFree {
  void operator()(UlzwUnit* p) const { UlzwUnit_free(p); }
};
using Unit = std::unique_ptr<UlzwUnit, UnitFree>;

/* The library's log lines on stderr, each on a line of its own: its error lines carry no
** line feed of their own. */
int loc_stderr(void*, const char* p_text) {
  size_t n = strlen(p_text);
  fputs(p_text, stderr);
  if (n == 0 || p_text[n - 1] != '\n') fputc('\n', stderr);
  return 1;
}

int usage(void) {
  fputs("usage: zent-lzw encode|decode MODE IN OUT\n"
        "  MODE: 12..16 (plain codes) or 140..144 (flag bit before each code; 144 for code images)\n",
        stderr);
  return 2;
}

/* Writes "zent-lzw: " and the message to stderr; always false, for one-line failures. */
bool complain(const char* p_format, ...) __attribute__((format(printf, 1, 2)));
bool complain(const char* p_format, ...) {
  va_list args;
  va_start(args, p_format);
  fputs("zent-lzw: ", stderr);
  vfprintf(stderr, p_format, args);
  va_end(args);
  return false;
}

/* Reads a whole file: a regular file at once, anything else (a pipe) in pieces. False with
** a message when it cannot, or when it is too large for the coder's int sizes (a third of
** 2 GiB, so that the stream bound of an encoding still fits). */
bool read_file(const char* p_path, Bytes* p_bytes) {
  FILE* f = fopen(p_path, "rb");
  if (f == NULL) return complain("cannot open %s: %s\n", p_path, strerror(errno));
  struct stat st;
  bool ok = fstat(fileno(f), &st) == 0;
  if (ok && S_ISREG(st.st_mode) && st.st_size < INT_MAX / 3) {
    p_bytes->resize((size_t)st.st_size);
    ok = fread(p_bytes->data(), 1, p_bytes->size(), f) == p_bytes->size();
  } else if (ok) {
    uint8_t piece[65536];
    size_t n;
    while ((n = fread(piece, 1, sizeof piece, f)) > 0 && p_bytes->size() < (size_t)INT_MAX / 3)
      p_bytes->insert(p_bytes->end(), piece, piece + n);
    ok = !ferror(f);
  }
  ok = ok && p_bytes->size() < (size_t)INT_MAX / 3;
  fclose(f);
  return ok || complain("cannot read %s (read error, or too large)\n", p_path);
}

bool write_file(const char* p_path, const uint8_t* p, size_t n) {
  FILE* f = fopen(p_path, "wb");
  if (f == NULL) return complain("cannot create %s: %s\n", p_path, strerror(errno));
  bool ok = fwrite(p, 1, n, f) == n;
  ok = fclose(f) == 0 && ok;
  return ok || complain("cannot write %s\n", p_path);
}

/* An output buffer left uninitialised, so that room that is never used costs no memory. */
struct Output {
  std::unique_ptr<uint8_t[]> p;
  int n = 0;  /* bytes used */
  void make(size_t m) { p.reset(new uint8_t[m]); }
};

/* The stream for src; -1 when the coder refuses. At most 17 bits per byte, plus the end. */
int encode(int mode, const Bytes& src, Output* p_out) {
  Unit u(UlzwUnit_alloc(mode));
  if (u == nullptr) return -1;
  size_t m = src.size() / 8 * 17 + 32;
  p_out->make(m);
  return p_out->n = Ulzw_encode(u.get(), (int)m, p_out->p.get(), (int)src.size(), src.data());
}

/* One decoding into n_dst bytes (NULL: counting); the coder's result. */
int decode_into(int mode, const Bytes& stream, int n_dst, uint8_t* p_dst) {
  static const uint8_t none = 0;
  const uint8_t* p_src = stream.empty() ? &none : stream.data(); /* an empty file is a stream too */
  Unit u(UlzwUnit_alloc(mode));
  return u == nullptr ? -1 : Ulzw_decode(u.get(), n_dst, p_dst, (int)stream.size(), p_src);
}

/* The bytes of a stream; -1 when the coder refuses. The stream does not say how long its
** bytes are: a first try assumes at most 8 times the stream, quietly; when that does not
** fit, a counting pass (with the coder's lines) finds the length. */
int decode(int mode, const Bytes& stream, Output* p_out) {
  size_t m = std::min<size_t>(stream.size() * 8 + 65536, INT_MAX);
  p_out->make(m);
  StdIo_set_stdout(NULL, NULL);
  int n = decode_into(mode, stream, (int)m, p_out->p.get());
  StdIo_set_stdout(loc_stderr, NULL);
  if (n < 0) {
    n = decode_into(mode, stream, INT_MAX, NULL);
    if (n < 0) return -1;
    p_out->make((size_t)n);
    n = decode_into(mode, stream, n, p_out->p.get());
  }
  return p_out->n = n;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return usage();
  bool is_encode = strcmp(argv[1], "encode") == 0;
  if (!is_encode && strcmp(argv[1], "decode") != 0) return usage();
  char* p_end = NULL;
  long mode = strtol(argv[2], &p_end, 10);
  if (*argv[2] == '\0' || *p_end != '\0' || mode < 12 || mode > 144 || (mode > 16 && mode < 140)) {
    complain("bad mode '%s'\n", argv[2]);
    return usage();
  }
  StdIo_set_stdout(loc_stderr, NULL);
  Bytes in;
  Output out;
  if (!read_file(argv[3], &in)) return 1;
  if (in.empty() && is_encode) {
    complain("%s is empty, nothing to compress\n", argv[3]);
    return 1;
  }
  int n = is_encode ? encode((int)mode, in, &out) : decode((int)mode, in, &out);
  if (n < 0) {
    complain("%s of %s failed\n", argv[1], argv[3]);
    return 1;
  }
  return write_file(argv[4], out.p.get(), (size_t)out.n) ? 0 : 1;
}

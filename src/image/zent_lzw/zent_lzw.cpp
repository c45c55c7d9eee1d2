/*
** zent_lzw.cpp - the command-line face of the LZW coder: "zent-lzw encode MODE IN OUT"
** writes the bare stream that the unit expands (no header of our own), "zent-lzw decode
** MODE IN OUT" expands such a stream. Used to inspect code images by hand and to measure
** the coder against other compressors on whole files. Exit status 0 on success, 1 on a
** coding or file error, 2 on a usage error; the coder's own lines go to stderr.
*/
#include "std_io.h"
#include "ulzw.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct UnitFree {
  void operator()(UlzwUnit* p) const { UlzwUnit_free(p); }
};
using Unit = std::unique_ptr<UlzwUnit, UnitFree>;

int loc_stderr(void*, const char* p_text) {
  fputs(p_text, stderr);
  return 1;
}

int usage(void) {
  fputs("usage: zent-lzw encode|decode MODE IN OUT\n"
        "  MODE: 12..16 (plain codes) or 140..144 (flag bit before each code; 144 for code images)\n",
        stderr);
  return 2;
}

/* Reads the whole file; false with a message when it cannot, or is 2 GiB or more. */
bool read_file(const char* p_path, Bytes* p_bytes) {
  FILE* f = fopen(p_path, "rb");
  if (f == NULL) return fprintf(stderr, "zent-lzw: cannot open %s: %s\n", p_path, strerror(errno)), false;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0 && p_bytes->size() < (size_t)INT_MAX)
    p_bytes->insert(p_bytes->end(), buf, buf + n);
  bool ok = !ferror(f) && p_bytes->size() < (size_t)INT_MAX / 3;
  if (!ok) fprintf(stderr, "zent-lzw: cannot read %s (read error, or too large)\n", p_path);
  fclose(f);
  return ok;
}

bool write_file(const char* p_path, const uint8_t* p, size_t n) {
  FILE* f = fopen(p_path, "wb");
  if (f == NULL) return fprintf(stderr, "zent-lzw: cannot create %s: %s\n", p_path, strerror(errno)), false;
  bool ok = fwrite(p, 1, n, f) == n;
  ok = fclose(f) == 0 && ok;
  if (!ok) fprintf(stderr, "zent-lzw: cannot write %s\n", p_path);
  return ok;
}

/* The stream for src; -1 when the coder refuses. At most 17 bits per byte, plus the end. */
int encode(int mode, const Bytes& src, Bytes* p_out) {
  Unit u(UlzwUnit_alloc(mode));
  if (u == nullptr) return -1;
  p_out->resize(src.size() / 8 * 17 + 32);
  int n = Ulzw_encode(u.get(), (int)p_out->size(), p_out->data(), (int)src.size(), src.data());
  if (n >= 0) p_out->resize(n);
  return n;
}

/* The bytes of a stream; -1 when the coder refuses. A counting pass sizes the output. */
int decode(int mode, const Bytes& stream, Bytes* p_out) {
  Unit count(UlzwUnit_alloc(mode));
  Unit u(UlzwUnit_alloc(mode));
  if (count == nullptr || u == nullptr) return -1;
  static const uint8_t none = 0;
  const uint8_t* p_src = stream.empty() ? &none : stream.data();  /* an empty file is a stream too */
  int n = Ulzw_decode(count.get(), INT_MAX, NULL, (int)stream.size(), p_src);
  if (n < 0) return -1;
  p_out->resize(n);
  return Ulzw_decode(u.get(), n, p_out->data(), (int)stream.size(), p_src);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return usage();
  bool is_encode = strcmp(argv[1], "encode") == 0;
  if (!is_encode && strcmp(argv[1], "decode") != 0) return usage();
  char* p_end = NULL;
  long mode = strtol(argv[2], &p_end, 10);
  if (*argv[2] == '\0' || *p_end != '\0' || mode < 12 || mode > 144 || (mode > 16 && mode < 140)) {
    fprintf(stderr, "zent-lzw: bad mode '%s'\n", argv[2]);
    return usage();
  }
  StdIo_set_stdout(loc_stderr, NULL);
  Bytes in, out;
  if (!read_file(argv[3], &in)) return 1;
  if (in.empty() && is_encode) return fprintf(stderr, "zent-lzw: %s is empty, nothing to compress\n", argv[3]), 1;
  int n = is_encode ? encode((int)mode, in, &out) : decode((int)mode, in, &out);
  if (n < 0) return fprintf(stderr, "zent-lzw: %s of %s failed\n", argv[1], argv[3]), 1;
  return write_file(argv[4], out.data(), out.size()) ? 0 : 1;
}

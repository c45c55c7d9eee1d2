/*
** fuzz_srec_reader.cpp - libFuzzer target for the S-record reader. The reader reads files,
** so every input is written to one temporary file and loaded. A file that loads is then
** joined into coherent partitions, written with 32-bit addresses and read back: the bytes
** read back, in record order, must be the partitions' bytes with their addresses.
*/
#include "ms_rec.h"
#include "ms_rec_in.h"
#include "msr_part.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string g_base; /* the private temporary name of this process, made once */

void remove_temp_files(void) {
  for (const char* p_suffix : {"", ".in", ".out"}) unlink((g_base + p_suffix).c_str());
}

/* A private temporary file name; the files go when the process exits. */
std::string temp_path(const char* p_suffix) {
  if (g_base.empty()) {
    char name[] = "/tmp/fuzz_srec_XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) abort();
    close(fd);
    g_base = name;
    atexit(remove_temp_files);
  }
  return g_base + p_suffix;
}

bool write_file(const std::string& path, const uint8_t* p, size_t n) {
  FILE* fp = fopen(path.c_str(), "wb");
  if (fp == NULL) return false;
  bool ok = fwrite(p, 1, n, fp) == n;
  return fclose(fp) == 0 && ok;
}

struct AdrByte {
  uint32_t adr;
  uint8_t b;
  bool operator==(const AdrByte& o) const { return adr == o.adr && b == o.b; }
};

/* Every byte of the data records with its address, in record order. */
std::vector<AdrByte> flatten(MsRecSet* p_set) {
  std::vector<AdrByte> v;
  for (int i = 0; i < Us_get_n_elem(p_set); i++) {
    const MsRec* r = MsRecSet_idx_to_ptr(p_set, i);
    if (MsRec_get_tag(r) != MSREC_TAG_DATA) continue;
    for (uint32_t k = 0; k < MsRec_get_n_bytes(r); k++)
      v.push_back({MsRec_get_adr(r) + k, MsRec_get_p_bytes(r)[k]});
  }
  return v;
}

void round_trip(MsRecSet* p_raw) {
  MsRecSet* p_coh = MsRecSet_alloc();
  MsRecSet* p_back = MsRecSet_alloc();
  std::string out = temp_path(".out");
  if (MsrPart_create_coherent_partitions(p_coh, p_raw)) {
    if (!MsRecIn_save_file(p_coh, 3, out.c_str())) abort();
    if (MsRecIn_load_file(p_back, out.c_str()) != 1) abort();
    if (!(flatten(p_back) == flatten(p_coh))) abort();
  }
  Us_free(p_back);
  Us_free(p_coh);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string in = temp_path(".in");
  if (!write_file(in, data, size)) abort();
  MsRecSet* p_raw = MsRecSet_alloc();
  if (MsRecIn_load_file(p_raw, in.c_str()) == 1) round_trip(p_raw);
  Us_free(p_raw);
  return 0;
}

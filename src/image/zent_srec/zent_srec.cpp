/*
** zent_srec.cpp - the zent-srec tool: "copy WIDTH IN OUT" reads an S-record file, joins its
** records into coherent partitions and writes them with one address width (1: S1/S9,
** 2: S2/S8, 3: S3/S7); "info IN" prints the records, the partitions and their bytes. The
** library's log lines go to standard error; a bad argument, a file that does not read or
** write, or an address that the width cannot hold ends the tool with a message and a
** non-zero status. The start address of the input is not carried over.
*/
#include "ms_rec.h"
#include "ms_rec_in.h"
#include "msr_part.h"
#include "std_io.h"

#include <cstdio>
#include <cstring>

enum { EXIT_OK = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

/* The library's log lines on stderr, each on a line of its own: its error lines carry no
** line feed of their own. */
static int loc_stderr(void*, const char* p_text) {
  size_t n = strlen(p_text);
  fputs(p_text, stderr);
  if (n == 0 || p_text[n - 1] != '\n') fputc('\n', stderr);
  return 1;
}

static int usage(void) {
  fputs("usage: zent-srec copy WIDTH IN OUT   (WIDTH 1: S1/S9, 2: S2/S8, 3: S3/S7)\n"
        "       zent-srec info IN\n",
        stderr);
  return EXIT_USAGE;
}

/* The two record sets of one run: as read, and joined into partitions. */
struct Sets {
  MsRecSet* p_raw;
  MsRecSet* p_coh;
};

static void sets_free(Sets* p) {
  Us_free(p->p_raw);
  Us_free(p->p_coh);
}

/* Reads IN and joins its partitions. 1, or 0 after a message. */
static int read_and_join(const char* p_in, Sets* p) {
  p->p_raw = MsRecSet_alloc();
  p->p_coh = MsRecSet_alloc();
  if (p->p_raw == NULL || p->p_coh == NULL) {
    fputs("zent-srec: out of memory\n", stderr);
    return 0;
  }
  if (!MsRecIn_load_file(p->p_raw, p_in)) {
    fprintf(stderr, "zent-srec: %s is no readable S-record file\n", p_in);
    return 0;
  }
  if (!MsrPart_create_coherent_partitions(p->p_coh, p->p_raw)) {
    fprintf(stderr, "zent-srec: the records of %s do not join into partitions\n", p_in);
    return 0;
  }
  return 1;
}

/* 1, 2 or 3 from the text, else 0. */
static int parse_width(const char* p_text) {
  if (strlen(p_text) != 1 || p_text[0] < '1' || p_text[0] > '3') return 0;
  return p_text[0] - '0';
}

/* 1 when every partition lies below the address limit of the width, else 0 after a
** message: the writer would drop the high address bits without a word. */
static int check_fits(const MsRecSet* p_set, int width) {
  unsigned long long adr_max = (1ull << (8 * (width + 1))) - 1;
  for (int i = 0; i < Us_get_n_elem(p_set); i++) {
    const MsRec* r = MsRecSet_idx_to_ptr(p_set, i);
    unsigned long long adr = MsRec_get_adr(r), n = MsRec_get_n_bytes(r);
    if (adr + n - (n > 0) > adr_max) {
      fprintf(stderr, "zent-srec: address 0x%08llX does not fit WIDTH %d (at most 0x%llX)\n",
              adr + n - (n > 0), width, adr_max);
      return 0;
    }
  }
  return 1;
}

static int cmd_copy(const char* p_width, const char* p_in, const char* p_out) {
  int width = parse_width(p_width);
  if (width == 0) {
    fprintf(stderr, "zent-srec: WIDTH must be 1, 2 or 3, not \"%s\"\n", p_width);
    return EXIT_USAGE;
  }
  Sets sets = {NULL, NULL};
  int rc = EXIT_FAILED;
  if (read_and_join(p_in, &sets) && check_fits(sets.p_coh, width)) {
    if (MsRecIn_save_file(sets.p_coh, width, p_out)) {
      rc = EXIT_OK;
    } else {
      fprintf(stderr, "zent-srec: cannot write %s\n", p_out);
    }
  }
  sets_free(&sets);
  return rc;
}

/* Prints the records as read, then the partitions, then the total. */
static void print_info(const Sets* p) {
  int n_raw = Us_get_n_elem(p->p_raw);
  int n_data = 0;
  for (int i = 0; i < n_raw; i++) {
    const MsRec* r = MsRecSet_idx_to_ptr(p->p_raw, i);
    if (MsRec_get_tag(r) == MSREC_TAG_DATA) {
      n_data++;
    } else {
      printf("start address: 0x%08X\n", (unsigned)MsRec_get_adr(r));
    }
  }
  printf("records: %d (%d data)\n", n_raw, n_data);
  int n_coh = Us_get_n_elem(p->p_coh);
  unsigned long long total = 0;
  printf("partitions: %d\n", n_coh);
  for (int i = 0; i < n_coh; i++) {
    const MsRec* r = MsRecSet_idx_to_ptr(p->p_coh, i);
    unsigned long long adr = MsRec_get_adr(r), n = MsRec_get_n_bytes(r);
    printf("  0x%08llX - 0x%08llX  %llu bytes\n", adr, adr + n - (n > 0), n);
    total += n;
  }
  printf("bytes: %llu\n", total);
}

static int cmd_info(const char* p_in) {
  Sets sets = {NULL, NULL};
  int ok = read_and_join(p_in, &sets);
  if (ok) print_info(&sets);
  sets_free(&sets);
  return ok ? EXIT_OK : EXIT_FAILED;
}

int main(int argc, char** argv) {
  StdIo_set_stdout(loc_stderr, NULL);
  if (argc == 5 && strcmp(argv[1], "copy") == 0) return cmd_copy(argv[2], argv[3], argv[4]);
  if (argc == 3 && strcmp(argv[1], "info") == 0) return cmd_info(argv[2]);
  return usage();
}

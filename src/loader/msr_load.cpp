/*
** msr_load.cpp - the S-record download. One call owns two record sets: the file as read
** and its coherent partitions; both are released before it returns, on every path. Each
** partition is sent in ascending pieces of at most MSRLOAD_N_CHUNK bytes, each request
** waiting for its reply; a partition of no bytes is still one request.
*/
#include "msr_load.h"

#include "ms_rec.h"
#include "ms_rec_in.h"
#include "msr_part.h"
#include "std_io.h"
#include "win32_time.h"

#include <cstddef>

/* Writes one partition record to the unit's RAM at its address. 1, or 0 at the first
** request that fails (after its line). */
static int send_partition(Rmc* p_rmc, const MsRec* p_rec) {
  uint32_t adr = MsRec_get_adr(p_rec);
  uint32_t n_rest = MsRec_get_n_bytes(p_rec);
  const uint8_t* p_bytes = MsRec_get_p_bytes(p_rec);
  uint32_t offset = 0;
  StdIo_printf("sending partition to adr=%08x n_bytes=%d\n", (unsigned)adr, (int)n_rest);
  do {
    uint32_t n = n_rest < MSRLOAD_N_CHUNK ? n_rest : MSRLOAD_N_CHUNK;
    int rc = Rmc_do_write_xbram(p_rmc, adr, p_bytes + offset, n);
    if (rc != RMC_RES_OK) {
      StdIo_printf(STDIO_ERR("send_partition") "Rmc_do_write_xbram returned %d", rc);
      return 0;
    }
    adr += n;
    offset += n;
    n_rest -= n;
  } while (n_rest > 0);
  return 1;
}

/* Reads the file into p_raw, joins it into p_coh and sends every partition. 1, or 0
** after the line of the step that failed. */
static int send_file(Rmc* p_rmc, const char* p_filename, MsRecSet* p_rec_set_raw,
                     MsRecSet* p_rec_set_coh) {
  uint32_t t0 = GetTickCount();
  if (p_rec_set_raw == NULL) {
    StdIo_printf(STDIO_ERR("MsrLoad_send_file_and_jump") "p_rec_set_raw == NULL");
    return 0;
  }
  StdIo_printf("loading data from file <%s>\r\n", p_filename);
  if (!MsRecIn_load_file(p_rec_set_raw, p_filename)) {
    StdIo_printf(STDIO_ERR("MsrLoad_send_file_and_jump")
                 "! MsRecIn_load_file (p_rec_set_raw, p_filename)");
    return 0;
  }
  StdIo_printf("loaded %d records\n", (int)Us_get_n_elem(p_rec_set_raw));
  if (!MsrPart_create_coherent_partitions(p_rec_set_coh, p_rec_set_raw)) {
    StdIo_printf(STDIO_ERR("MsrLoad_send_file_and_jump")
                 "! MsrPart_create_coherent_partitions (p_rec_set_coh, p_rec_set_raw)");
    return 0;
  }
  int32_t n_part = Us_get_n_elem(p_rec_set_coh);
  for (int32_t i = 0; i < n_part; i++) {
    if (!send_partition(p_rmc, MsRecSet_idx_to_ptr(p_rec_set_coh, i))) {
      StdIo_printf(STDIO_ERR("MsrLoad_send_file_and_jump") "send_partition failed");
      return 0;
    }
  }
  StdIo_printf("download was successful (t=%d ms)\n", (int)(GetTickCount() - t0));
  return 1;
}

/* Asks the unit to jump to adr. 1 when it accepted, else 0. */
static int send_jump(Rmc* p_rmc, uint32_t adr_jump) {
  int rc = Rmc_do_jump(p_rmc, adr_jump);
  if (rc == RMC_RES_OK) {
    StdIo_printf("jump to adr 0x%08x accepted\n", (unsigned)adr_jump);
    return 1;
  }
  StdIo_printf("jump to adr 0x%08x not accepted, result=%d\n", (unsigned)adr_jump, rc);
  return 0;
}

int MsrLoad_send_file_and_jump(Rmc* p_rmc, const char* p_filename, uint32_t adr_jump) {
  if (p_rmc == NULL) {
    StdIo_printf(STDIO_ERR("MsrLoad_send_file_and_jump") "p_rmc == NULL");
    return 0;
  }
  if (p_filename != NULL && p_filename[0] != '\0') {
    MsRecSet* p_rec_set_raw = MsRecSet_alloc();
    MsRecSet* p_rec_set_coh = MsRecSet_alloc();
    int ok = send_file(p_rmc, p_filename, p_rec_set_raw, p_rec_set_coh);
    Us_free(p_rec_set_coh);
    Us_free(p_rec_set_raw);
    if (!ok) return 0;
  }
  if (adr_jump != 0) return send_jump(p_rmc, adr_jump);
  return 1;
}

/*
** rmc.h - the RMC master: one request/response transaction at a time over a 3964R link.
** A command builds its request (function code, 32-bit little-endian parameters, data) in
** the object's one buffer, hands it to the link, waits for a reply that echoes the
** request's first bytes (its signature) with the command's exact length, or for a two-byte
** exception reply, and returns a small result code; every failure writes one result line.
** The buffer is shared by request and reply, so values are copied out after each command.
*/
#ifndef ZENT_RMC_H
#define ZENT_RMC_H

#include "co3964.h"

#include <cstdint>

/* Result codes of every command. 1 to 7 are the codes of exception replies. */
#define RMC_RES_OK 0
#define RMC_RES_ILL_FC 1
#define RMC_RES_ILL_DATA_ADR 2
#define RMC_RES_ILL_DATA_VAL 3
#define RMC_RES_DEV_FAIL 4
#define RMC_RES_ACK 5
#define RMC_RES_BUSY 6
#define RMC_RES_NAK 7
#define RMC_RES_ERR_SEND 8   // the link refused the request or did not get it off in t_send_ms
#define RMC_RES_ERR_REC 9    // no matching reply in t_receive_ms, wrong length, too long
#define RMC_RES_ERR_ELSE 10  // bad argument, or a request or reply that does not fit the buffer

/* Function codes of the commands. */
#define RMC_FC_GET_CPU_TYPE 0x05
#define RMC_FC_06 0x06
#define RMC_FC_ACTIVATE_BOOTLOADER 0x07
#define RMC_FC_START_APPLICATION 0x08
#define RMC_FC_READ_MEM 0x09
#define RMC_FC_JUMP 0x12
#define RMC_FC_WRITE_XBRAM 0x13
#define RMC_FC_ERASE_FLASH 0x23
#define RMC_FC_BLANK_CHECK_FLASH 0x24
#define RMC_FC_WRITE_FLASH 0x25
#define RMC_FC_40 0x40
#define RMC_FC_41 0x41
#define RMC_FC_WRITE_42 0x42
#define RMC_FC_43 0x43
#define RMC_FC_44 0x44
#define RMC_FC_45 0x45
#define RMC_FC_46 0x46
#define RMC_FC_READ_TEXT 0x47
#define RMC_FC_WRITE_TEXT 0x48
#define RMC_FC_50 0x50
#define RMC_FC_51 0x51
#define RMC_FC_52 0x52
#define RMC_FC_53 0x53
#define RMC_FC_FRAM_READ 0x54
#define RMC_FC_FRAM_WRITE 0x55
#define RMC_FC_56 0x56
#define RMC_FC_57 0x57

/* Bit set in the function code of an exception reply. */
#define RMC_FC_EXCEPTION 0x80

/* Length of the text of Rmc_do_read_text and Rmc_do_write_text (39 characters and a zero). */
#define RMC_N_TEXT 40

typedef struct Rmc {
  int32_t m_msg_buffer;      // config: capacity of p_msg_buffer in bytes, at least 1
  int32_t n_msg;             // state: length of the message now in the buffer
  uint8_t* p_msg_buffer;     // config: the owner's buffer, shared by request and reply
  Co3964* p_co;              // config: the link (borrowed)
  uint32_t t_send_ms;        // config: time the link may take to get a request off, 5000 ms
  uint32_t t_receive_ms;     // config: wait for the reply once sent, 5000 ms; callers write it
  int32_t slave_cfg_a[3];    // slave role only; nothing reads it
  uint32_t slave_const[2];   // slave role only: 0, 1
  uint32_t slave_cfg_b[23];  // slave role only; nothing reads it
} Rmc;

/* Sets up the object in the caller's storage. Writes every field; logs one error line each
** for a capacity below 1, a NULL buffer, a NULL link. p, or NULL (NULL p: no line). */
Rmc* Rmc_init_as_slave(Rmc* p, int32_t m_msg_buffer, uint8_t* p_msg_buffer, Co3964* p_co,
                       int32_t a1, int32_t a2, int32_t a3, uint32_t b1, uint32_t b2, uint32_t b3,
                       uint32_t b4, uint32_t b5, uint32_t b6, uint32_t b7, uint32_t b8, uint32_t b9,
                       uint32_t b10, uint32_t b11, uint32_t b12, uint32_t b13, uint32_t b14,
                       uint32_t b15, uint32_t b16, uint32_t b17, uint32_t b18, uint32_t b19,
                       uint32_t b20, uint32_t b21, uint32_t b22, uint32_t b23);

/* Rmc_init_as_slave with -1, -1, -1 and 23 zeros: the only role this system uses. */
Rmc* Rmc_init_as_master(Rmc* p, int32_t m_msg_buffer, uint8_t* p_msg_buffer, Co3964* p_co);

/* The name of result code r padded with blanks to 20 characters ("RMC_RES_ERR_REC     "),
** for r from 1 to 10; NULL for 0 and every other value. */
const char* Rmc_res_get_name(int r);

/*
** The commands. Each takes the object first and returns an RMC result code; a NULL object
** (or a NULL text for 0x47 / 0x48) gives RMC_RES_ERR_ELSE without a line, any other
** failure has written its result line. Output pointers may be NULL (skipped); they are
** written after every transaction, failed or not, from what the buffer then holds. Data
** destinations and sources must hold the count given. A request or expected reply that
** would not fit the buffer gives RMC_RES_ERR_ELSE with an error line and sends nothing.
*/
int Rmc_do_get_cpu_type(Rmc* p, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3);         // 0x05
int Rmc_do_fc06(Rmc* p, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3);                 // 0x06
int Rmc_do_activate_bootloader(Rmc* p);                                                  // 0x07
int Rmc_do_start_application(Rmc* p);                                                    // 0x08
int Rmc_do_read_mem(Rmc* p, uint32_t adr, uint8_t* p_bytes, uint32_t n_bytes);           // 0x09
int Rmc_do_jump(Rmc* p, uint32_t adr);                                                   // 0x12
int Rmc_do_write_xbram(Rmc* p, uint32_t adr, const uint8_t* p_bytes, uint32_t n_bytes);  // 0x13
int Rmc_do_erase_flash(Rmc* p);                                                          // 0x23
int Rmc_do_blank_check_flash(Rmc* p);                                                    // 0x24
int Rmc_do_write_flash(Rmc* p, uint32_t adr, const uint8_t* p_bytes, uint32_t n_bytes);  // 0x25
int Rmc_do_fc40(Rmc* p);                                                                 // 0x40
int Rmc_do_fc41(Rmc* p);                                                                 // 0x41
int Rmc_do_write_fc42(Rmc* p, uint32_t adr, const uint8_t* p_bytes, uint32_t n_bytes);   // 0x42
int Rmc_do_fc43(Rmc* p, uint32_t v, uint32_t* p_v1, uint32_t* p_v2);                     // 0x43
int Rmc_do_fc44(Rmc* p, uint32_t v1, uint32_t v2, uint32_t v3);                          // 0x44
/* 0x45: p_a6 is an array of six values. */
int Rmc_do_fc45(Rmc* p, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_a6, uint32_t* p_v4);
int Rmc_do_fc46(Rmc* p, uint32_t v1, uint32_t v2, uint32_t v3, uint32_t v4, uint32_t v5,
                uint32_t v6, uint32_t v7, uint32_t v8);  // 0x46
/* 0x47: p_text holds RMC_N_TEXT bytes; always zero-terminated at index 39, and all zero
** (an empty text) when the command is refused before a request is sent. */
int Rmc_do_read_text(Rmc* p, char* p_text);
/* 0x48: sends bytes 0 to 38 of p_text as they stand, then a zero byte. */
int Rmc_do_write_text(Rmc* p, const char* p_text);
int Rmc_do_fc50(Rmc* p, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3);              // 0x50
int Rmc_do_fc51(Rmc* p, uint32_t v, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3);  // 0x51
int Rmc_do_fc52(Rmc* p, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3);              // 0x52
int Rmc_do_fc53(Rmc* p, uint32_t v, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3);  // 0x53
int Rmc_do_fram_read(Rmc* p, uint32_t i_fram, uint32_t a_fram, uint32_t n_data,
                     uint8_t* p_data);  // 0x54
int Rmc_do_fram_write(Rmc* p, uint32_t i_fram, uint32_t a_fram, uint32_t n_data,
                      const uint8_t* p_data);  // 0x55
int Rmc_do_fc56(Rmc* p, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3, uint32_t* p_v4,
                uint32_t* p_v5, uint32_t* p_v6);  // 0x56
int Rmc_do_fc57(Rmc* p, uint32_t v1, uint32_t v2, uint32_t v3, uint32_t v4, uint32_t v5,
                uint32_t v6);  // 0x57

#endif

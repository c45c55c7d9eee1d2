/*
** rmc_core.h - the RMC master's inner parts, shared by the transaction (rmc.cpp) and the
** commands (rmc_cmd.cpp) and reachable by the tests: little-endian access to the message
** buffer, building a request, one send-and-receive transaction and the result line. Not
** part of the module's public interface.
*/
#ifndef ZENT_RMC_CORE_H
#define ZENT_RMC_CORE_H

#include "rmc.h"

#include <cstdint>
#include <initializer_list>

namespace rmc_core {

/* The largest signature, in bytes, that a transaction accepts. */
constexpr int N_SIGNA = 16;

/* Store one byte / a 32-bit value little-endian at p_pos; the position after it. */
uint8_t* put_u8(uint8_t* p_pos, uint8_t v);
uint8_t* put_u32(uint8_t* p_pos, uint32_t v);
/* Read one byte / a 32-bit little-endian value at p_pos. */
uint8_t get_u8(const uint8_t* p_pos);
uint32_t get_u32(const uint8_t* p_pos);

/* Writes the function code at offset 0 and the parameters (at most 9) at 1, 5, 9, ...;
** n_msg := 1 + 4 x their number. The caller has made sure the request fits. 1. */
int build_request(Rmc* p, uint8_t fc, std::initializer_list<uint32_t> params);

/* One transaction over the request now in the buffer (n_msg bytes): RMC_RES_OK for a reply
** that echoes the first n_signa request bytes and is n_expected bytes long, 1 to 7 for an
** exception reply, RMC_RES_ERR_SEND, RMC_RES_ERR_REC, or RMC_RES_ERR_ELSE for a bad
** argument (one error line). Other messages are discarded; the wait goes on until
** t_receive_ms after the request left, however many come. */
int send_and_receive(Rmc* p, int n_signa, int n_expected);

/* 1 when the first n bytes of both are equal (n above 0); 0 otherwise or for NULL. */
int signa_is_ok(int n, const uint8_t* p_signa_a, const uint8_t* p_signa_b);

/* Writes the result line for a nonzero r and returns r unchanged. */
int log_result(int r);

}  // namespace rmc_core

#endif

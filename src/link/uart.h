/*
** uart.h - the system's one serial port: opens a COM port by name with fixed line settings,
** takes single received bytes without waiting, and sends single bytes or whole blocks with
** DLE doubling. It knows nothing of frames: the 3964R link layer installs the three byte
** operations as its port callbacks, with the Uart object as their context, which is why
** those three take an untyped pointer. Failures are log lines and results; nothing is shown.
*/
#ifndef ZENT_UART_H
#define ZENT_UART_H

#include "win32_types.h"

#include <cstdint>

typedef struct Uart {
  HANDLE h_com;         // state: the open port; INVALID_HANDLE_VALUE when closed
  uint32_t last_error;  // state: GetLastError of the last failed call; unset by Uart_init
} Uart;

/* Result of Uart_send_with_dle when the whole doubled block was written, and on failure. */
#define UART_SEND_OK 0x80000000u
#define UART_SEND_FAILED 0x15u

/* Marks the object closed. p, or NULL for a NULL object. */
Uart* Uart_init(Uart* p);

/* Opens the port p_name ("COM1") exclusively and sets baudrate, byte_size data bits, parity
** (0 none, 1 odd, 2 even, 3 mark, 4 space) and stop_bits (0 one, 1 one and a half, 2 two),
** raw transfer without flow control, reads that return at once and writes without a
** time-out. 1 on success; 0 on failure, after which the object is closed (also a port that
** was open before the call) and last_error holds the system error. NULL p: 0, no line. */
int Uart_open(Uart* p, const char* p_name, int baudrate, int byte_size, int parity,
              int stop_bits);

/* Closes the port when open. Always 0 (also for NULL or a closed port). */
int Uart_close(Uart* p);

/* One received byte 0..255 without waiting; -1 when none waits, the port is closed (line
** "uart is not open"), the read fails (last_error set, line) or p is NULL. p is a Uart. */
int Uart_receive_byte_nw(void* p);

/* Sends one byte. ch & 0xFF on success; -1 for NULL, a closed port or a failed write
** (last_error set, line). p is a Uart. */
int Uart_send_byte(void* p, int ch);

/* Sends n bytes in one write with every 0x10 doubled. UART_SEND_OK when the whole doubled
** block was written (n = 0 writes nothing and succeeds on an open port), else
** UART_SEND_FAILED; no log line and no test that the port is open (the write on a closed
** port fails). p is a Uart. */
uint32_t Uart_send_with_dle(void* p, int n, const uint8_t* p_bytes);

#endif

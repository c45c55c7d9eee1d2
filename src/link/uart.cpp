/*
** uart.cpp - the COM port over the Win32 serial calls (CreateFileA, the DCB and time-out
** calls, ReadFile, WriteFile). Uart_open is a fixed sequence of steps; the first that fails
** stores the system error, writes its line and closes the object. The odd "%0x08x" in the
** lines prints the code in hexadecimal followed by "08x"; the lines are kept as they are,
** since readers of the logs know them.
*/
#include "uart.h"

#include "std_io.h"
#include "win32_comm.h"
#include "win32_file.h"
#include "win32_handle.h"

#include <cstdlib>

/* Step 3: the exclusive, synchronous open. 1, or 0 with last_error and the line. */
static int open_handle(Uart* p, const char* p_name) {
  p->h_com = CreateFileA(p_name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
  if (p->h_com != INVALID_HANDLE_VALUE) return 1;
  p->last_error = GetLastError();
  StdIo_printf(STDIO_ERR("Uart_open") "h_com == INVALID_HANDLE_VALUE; last_error=%0x08x",
               p->last_error);
  return 0;
}

/* Step 5: the line settings; flags not named here stay as the port had them. */
static void set_line(DCB* p_dcb, int baudrate, int byte_size, int parity, int stop_bits) {
  p_dcb->BaudRate = (DWORD)baudrate;
  p_dcb->fBinary = TRUE;
  p_dcb->fParity = parity != 0;
  p_dcb->fOutxCtsFlow = FALSE;
  p_dcb->fOutX = FALSE;
  p_dcb->fInX = FALSE;
  p_dcb->fErrorChar = FALSE;
  p_dcb->fNull = FALSE;
  p_dcb->fAbortOnError = FALSE;
  p_dcb->ByteSize = (BYTE)byte_size;
  p_dcb->Parity = (BYTE)parity;
  p_dcb->StopBits = (BYTE)stop_bits;
}

/* Steps 4 to 6. 1, or 0 with last_error and the line. */
static int set_state(Uart* p, const char* p_name, int baudrate, int byte_size, int parity,
                     int stop_bits) {
  DCB dcb;
  if (!GetCommState(p->h_com, &dcb)) {
    p->last_error = GetLastError();
    StdIo_printf(STDIO_ERR("Uart_open") "GetCommState failed; last_error=%0x08x",
                 p->last_error);
    return 0;
  }
  set_line(&dcb, baudrate, byte_size, parity, stop_bits);
  if (!SetCommState(p->h_com, &dcb)) {
    p->last_error = GetLastError();
    StdIo_printf(STDIO_ERR("Uart_open") "SetCommState failed; last_error=%0x08x",
                 p->last_error);
    return 0;
  }
  StdIo_printf(STDIO_INFO("Uart_open") "setting %s to baudrate=%d", p_name, baudrate);
  return 1;
}

/* Steps 7 to 9: reads return at once with what has arrived, writes have no time-out. */
static int set_timeouts(Uart* p) {
  COMMTIMEOUTS to;
  if (!GetCommTimeouts(p->h_com, &to)) {
    p->last_error = GetLastError();
    StdIo_printf(STDIO_ERR("Uart_open") "GetCommTimeouts failed; last_error=%0x08x",
                 p->last_error);
    return 0;
  }
  to.ReadIntervalTimeout = MAXDWORD;
  to.ReadTotalTimeoutMultiplier = 0;
  to.ReadTotalTimeoutConstant = 0;
  to.WriteTotalTimeoutMultiplier = 0;
  to.WriteTotalTimeoutConstant = 0;
  if (!SetCommTimeouts(p->h_com, &to)) {
    p->last_error = GetLastError();
    StdIo_printf(STDIO_ERR("Uart_open") "SetCommTimeouts failed; last_error=%0x08x",
                 p->last_error);
    return 0;
  }
  return 1;
}

Uart* Uart_init(Uart* p) {
  if (!p) return NULL;
  p->h_com = INVALID_HANDLE_VALUE;
  return p;
}

int Uart_open(Uart* p, const char* p_name, int baudrate, int byte_size, int parity,
              int stop_bits) {
  if (!p) return 0;
  if (p->h_com != INVALID_HANDLE_VALUE) {
    StdIo_printf(STDIO_ERR("Uart_open") "uart is already opened");
  } else if (open_handle(p, p_name) &&
             set_state(p, p_name, baudrate, byte_size, parity, stop_bits) &&
             set_timeouts(p)) {
    return 1;
  }
  Uart_close(p);
  return 0;
}

int Uart_close(Uart* p) {
  if (!p || p->h_com == INVALID_HANDLE_VALUE) return 0;
  (void)CloseHandle(p->h_com);
  p->h_com = INVALID_HANDLE_VALUE;
  return 0;
}

int Uart_receive_byte_nw(void* p_uart) {
  Uart* p = (Uart*)p_uart;
  if (!p) return -1;
  if (p->h_com == INVALID_HANDLE_VALUE) {
    StdIo_printf(STDIO_ERR("Uart_receive_byte_nw") "uart is not open");
    return -1;
  }
  BYTE ch = 0;
  DWORD n_read = 0;
  if (!ReadFile(p->h_com, &ch, 1, &n_read, NULL)) {
    p->last_error = GetLastError();
    StdIo_printf(STDIO_ERR("Uart_receive_byte_nw") "ReadFile failed; Error=%0x08x",
                 p->last_error);
    return -1;
  }
  return n_read == 1 ? (int)ch : -1;
}

int Uart_send_byte(void* p_uart, int ch) {
  Uart* p = (Uart*)p_uart;
  if (!p) return -1;
  if (p->h_com == INVALID_HANDLE_VALUE) {
    StdIo_printf(STDIO_ERR("Uart_send_byte") "uart is not open");
    return -1;
  }
  BYTE b = (BYTE)ch;
  DWORD n_written = 0;
  if (!WriteFile(p->h_com, &b, 1, &n_written, NULL)) {
    p->last_error = GetLastError();
    StdIo_printf(STDIO_ERR("Uart_send_byte") "WriteFile failed; Error=%0x08x", p->last_error);
    return -1;
  }
  return (int)b;
}

uint32_t Uart_send_with_dle(void* p_uart, int n, const uint8_t* p_bytes) {
  Uart* p = (Uart*)p_uart;
  if (!p || n < 0 || (n > 0 && !p_bytes)) return UART_SEND_FAILED;
  uint8_t* p_buf = (uint8_t*)malloc(n > 0 ? 2 * (size_t)n : 1);
  if (!p_buf) return UART_SEND_FAILED;
  DWORD n_buf = 0;
  for (int i = 0; i < n; ++i) {
    p_buf[n_buf++] = p_bytes[i];
    if (p_bytes[i] == 0x10) p_buf[n_buf++] = 0x10;
  }
  DWORD n_written = 0;
  BOOL ok = WriteFile(p->h_com, p_buf, n_buf, &n_written, NULL);
  free(p_buf);
  return ok && n_written == n_buf ? UART_SEND_OK : UART_SEND_FAILED;
}

/*
** win32_comm.h - serial ports of the Win32 stand-in over POSIX termios: opening "COMn",
** the line settings (DCB) and the read and write time-outs (COMMTIMEOUTS).
**
** "COMn" names the device in the environment variable ZENT_COMn, else /dev/ttyS<n-1>. A port
** is opened exclusively (TIOCEXCL and an flock, so root is kept out too) and always raw, as
** a Windows port has no line discipline. SetCommState accepts every DCB that Windows
** accepts; flags that Linux has no form for are kept (GetCommState gives them back) but
** have no effect on the line. A rate, framing or flag that the device itself does not carry
** out is refused with ERROR_INVALID_PARAMETER rather than changed silently: SetCommState
** reads termios back after writing it and compares.
*/
#ifndef ZENT_WIN32_COMM_H
#define ZENT_WIN32_COMM_H

#include "win32_types.h"

#include <termios.h>

#ifndef MAXDWORD
#define MAXDWORD 0xFFFFFFFFu
#endif

/* Parity codes of DCB.Parity. */
#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define MARKPARITY 3
#define SPACEPARITY 4

/* Stop-bit codes of DCB.StopBits. */
#define ONESTOPBIT 0
#define ONE5STOPBITS 1
#define TWOSTOPBITS 2

/* DCB.fDtrControl and DCB.fRtsControl. */
#define DTR_CONTROL_DISABLE 0
#define DTR_CONTROL_ENABLE 1
#define DTR_CONTROL_HANDSHAKE 2
#define RTS_CONTROL_DISABLE 0
#define RTS_CONTROL_ENABLE 1
#define RTS_CONTROL_HANDSHAKE 2
#define RTS_CONTROL_TOGGLE 3

/* Line settings of a port. Flags a Linux port cannot honour (DSR flow control and
** sensitivity, error-character replacement, NUL discarding, abort on error) are kept without
** effect; a DTR handshake or RTS toggle keeps its line raised. */
typedef struct _DCB {
  DWORD DCBlength;               // sizeof (DCB); not checked
  DWORD BaudRate;                // bits per second, a rate of the termios table
  DWORD fBinary : 1;             // raw transfer; the line is raw whatever it holds
  DWORD fParity : 1;             // parity checking of received bytes (INPCK)
  DWORD fOutxCtsFlow : 1;        // CTS output flow control (CRTSCTS, which also drives RTS)
  DWORD fOutxDsrFlow : 1;        // DSR output flow control; kept, no effect
  DWORD fDtrControl : 2;         // DTR_CONTROL_*; handshake keeps DTR raised; 3 is refused
  DWORD fDsrSensitivity : 1;     // kept, no effect
  DWORD fTXContinueOnXoff : 1;   // kept, no effect
  DWORD fOutX : 1;               // XON/XOFF output flow control (IXON)
  DWORD fInX : 1;                // XON/XOFF input flow control (IXOFF)
  DWORD fErrorChar : 1;          // replace bytes with parity errors; kept, no effect
  DWORD fNull : 1;               // discard NUL bytes; kept, no effect
  DWORD fRtsControl : 2;         // RTS_CONTROL_*; without fOutxCtsFlow, RTS stays raised
  DWORD fAbortOnError : 1;       // kept, no effect
  DWORD fDummy2 : 17;            // unused
  WORD wReserved;                // unused
  WORD XonLim;                   // kept, no effect
  WORD XoffLim;                  // kept, no effect
  BYTE ByteSize;                 // data bits, 5 to 8
  BYTE Parity;                   // NOPARITY .. SPACEPARITY
  BYTE StopBits;                 // ONESTOPBIT; ONE5STOPBITS only with 5 data bits, TWO not
  char XonChar;                  // VSTART
  char XoffChar;                 // VSTOP
  char ErrorChar;                // kept, no effect
  char EofChar;                  // kept, no effect
  char EvtChar;                  // kept, no effect
  WORD wReserved1;               // unused
} DCB, *LPDCB;

/* Time-outs of ReadFile and WriteFile on a port, in milliseconds. ReadIntervalTimeout
** MAXDWORD with both read totals 0 makes a read return at once with what has arrived;
** all write totals 0 make a write return when every byte is written. */
typedef struct _COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;          // longest gap between two received bytes
  DWORD ReadTotalTimeoutMultiplier;   // per requested byte
  DWORD ReadTotalTimeoutConstant;     // added once per read
  DWORD WriteTotalTimeoutMultiplier;  // per byte to write
  DWORD WriteTotalTimeoutConstant;    // added once per write
} COMMTIMEOUTS, *LPCOMMTIMEOUTS;

/* Port number 1 to 255 of a name "COMn" (any letter case, optionally behind "\\.\"),
** or 0 when the name names no port. */
int win32_comm_port_number(LPCSTR p_name);

/* Opens the port of a "COMn" name for dw_access (GENERIC_READ, GENERIC_WRITE or both) as
** CreateFileA does for such names: exclusively, raw, reads blocking until the time-outs are
** set. INVALID_HANDLE_VALUE with SetLastError on failure: ERROR_FILE_NOT_FOUND for no such
** port or device, ERROR_ACCESS_DENIED when another opener holds it. */
HANDLE win32_comm_open(LPCSTR p_name, DWORD dw_access);

/* The device path behind a "COMn" name (ZENT_COMn or /dev/ttyS<n-1>) into p_dst of n_dst
** bytes; 1, or 0 when the name names no port or the path does not fit. */
int win32_comm_device_path(LPCSTR p_name, int n_dst, char* p_dst);

/* Nonzero on success; FALSE with SetLastError (ERROR_INVALID_HANDLE for a handle that is no
** port, ERROR_INVALID_PARAMETER for a setting that cannot be made, the port unchanged). */
BOOL GetCommState(HANDLE h_file, LPDCB p_dcb);
BOOL SetCommState(HANDLE h_file, LPDCB p_dcb);
BOOL GetCommTimeouts(HANDLE h_file, LPCOMMTIMEOUTS p_timeouts);
BOOL SetCommTimeouts(HANDLE h_file, LPCOMMTIMEOUTS p_timeouts);

/* The termios form of a DCB, applied to *p_tio (its other fields kept): 1, or 0 with
** SetLastError(ERROR_INVALID_PARAMETER) for a DCB that Windows refuses too or a rate that
** Linux has no speed for. Tests use it to check the mapping of settings that a
** pseudo-terminal cannot hold (parity, data bits). */
int win32_comm_dcb_to_termios(const DCB* p_dcb, struct termios* p_tio);

#endif

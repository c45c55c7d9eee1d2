/*
** win32_window.h - the window services of the Win32 stand-in that are not messages:
** MessageBoxA, the keyboard focus and the system metrics. A message box is answered by a
** hook: the FLTK backend installs one that shows a real box, a test installs one that
** answers from its script. Without a hook the box is written to stderr and its default
** button is the answer, so a program without a front end never blocks.
*/
#ifndef ZENT_WIN32_WINDOW_H
#define ZENT_WIN32_WINDOW_H

#include "win32_msg.h"

/* Button sets, icons and default buttons of MessageBoxA (the Win32 numbers). */
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONHAND 0x00000010u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONMASK 0x000000F0u
#define MB_DEFBUTTON1 0x00000000u
#define MB_DEFBUTTON2 0x00000100u
#define MB_DEFBUTTON3 0x00000200u
#define MB_DEFMASK 0x00000F00u

/* Results of MessageBoxA and the command ids of the standard buttons. */
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

/* Indexes of GetSystemMetrics. */
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXSMICON 49
#define SM_CYSMICON 50

/* Shows a box owned by hwnd (may be NULL) and returns the id of the button chosen. */
int MessageBoxA(HWND hwnd, LPCSTR p_text, LPCSTR p_caption, UINT type);

/* The answering hook: gets what MessageBoxA got and returns the button id. */
typedef int (*tyWin32_cb_message_box)(void* p, HWND hwnd, LPCSTR p_text, LPCSTR p_caption,
                                      UINT type);
/* Installs the hook (NULL removes it); the previous hook is stored in *p_cb_old / *p_old
** when those are not NULL, so a test can put it back. */
void win32_message_box_set_hook(tyWin32_cb_message_box cb, void* p,
                                tyWin32_cb_message_box* p_cb_old, void** p_old);

/* The button ids a box of this type offers, in order (1 to 3 of them); the count. */
int win32_message_box_buttons(UINT type, int* p_ids);
/* The id of the box's default button. */
int win32_message_box_default(UINT type);

/* The window with the keyboard focus, NULL when none has it. */
HWND GetFocus();
/* Gives the focus to hwnd (NULL takes it away); returns the window that had it. */
HWND SetFocus(HWND hwnd);

/* Screen and icon sizes in pixels: the screen is 1024 x 768, icons 32 and 16. */
int GetSystemMetrics(int n_index);

#endif

/*
** mfc_node.h - the window tree under the framework stand-in. Every window (a dialog or one
** of its controls) is a node that holds what Win32 keeps inside a window: class, id, text,
** style, geometry in dialog units, enabled and visible state, and the control's own data
** (combo list, progress position, list rows). The framework classes (CWnd and its kin) are
** views over nodes; a front end (FLTK, or a test's observer) is told of every change, so a
** headless test reads the same state that the screen shows.
*/
#ifndef ZENT_MFC_NODE_H
#define ZENT_MFC_NODE_H

#include "win32_timer.h"
#include "win32_window.h"

#include <string>
#include <vector>

class CWnd;

typedef struct HICON__* HICON;
typedef HICON HCURSOR;
typedef struct HDC__* HDC;
typedef struct HMENU__* HMENU;
typedef intptr_t INT_PTR;

/* Window styles (Win32 numbers). */
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_MINIMIZE 0x20000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_VSCROLL 0x00200000u
#define WS_SYSMENU 0x00080000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define WS_MINIMIZEBOX 0x00020000u
#define WS_MAXIMIZEBOX 0x00010000u
#define WS_EX_APPWINDOW 0x00040000u
#define DS_SETFONT 0x40u
#define DS_MODALFRAME 0x80u
#define BS_PUSHBUTTON 0x0u
#define BS_DEFPUSHBUTTON 0x1u
#define BS_GROUPBOX 0x7u
#define BS_TYPEMASK 0xFu
#define ES_LEFT 0x0u
#define ES_AUTOHSCROLL 0x80u
#define ES_READONLY 0x800u
#define SS_LEFT 0x0u
#define SS_RIGHT 0x2u
#define SS_ICON 0x3u
#define SS_TYPEMASK 0x1Fu
#define SS_NOPREFIX 0x80u
#define CBS_DROPDOWNLIST 0x3u
#define CBS_SORT 0x100u
#define LVS_REPORT 0x1u
#define LVS_SINGLESEL 0x4u
#define LVS_NOCOLUMNHEADER 0x4000u
#define LVS_NOSORTHEADER 0x8000u

/* Messages of controls and dialogs that the stand-in handles. */
#define BM_CLICK 0x00F5u
#define CB_ADDSTRING 0x0143u
#define CB_SETCURSEL 0x014Eu
#define DM_GETDEFID 0x0400u
#define WM_MFC_SHOWMENU 0x0363u  /* private: open the system menu as a popup */

/* Notification codes carried in the high word of WM_COMMAND's wParam. */
#define BN_CLICKED 0
#define CBN_SELCHANGE 1

/* System commands. */
#define SC_SIZE 0xF000u
#define SC_MOVE 0xF010u
#define SC_MINIMIZE 0xF020u
#define SC_CLOSE 0xF060u
#define SC_KEYMENU 0xF100u
#define SC_RESTORE 0xF120u

/* Virtual keys. */
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20

/* Menu item flags. */
#define MF_STRING 0x0000u
#define MF_GRAYED 0x0001u
#define MF_SEPARATOR 0x0800u

#define MAKEWPARAM(lo, hi) ((WPARAM)(((uint32_t)(uint16_t)(lo)) | ((uint32_t)(uint16_t)(hi) << 16)))
#define LOWORD(w) ((uint16_t)((uintptr_t)(w)&0xFFFF))
#define HIWORD(w) ((uint16_t)(((uintptr_t)(w) >> 16) & 0xFFFF))

enum MfcKind {
  MFC_KIND_DIALOG = 0,   // a top-level dialog window
  MFC_KIND_BUTTON,       // push button
  MFC_KIND_GROUPBOX,     // frame with a title
  MFC_KIND_EDIT,         // edit field
  MFC_KIND_STATIC,       // text label
  MFC_KIND_ICON,         // static picture
  MFC_KIND_COMBOBOX,     // drop-down list
  MFC_KIND_PROGRESS,     // progress bar
  MFC_KIND_LISTVIEW      // list view (report)
};

/* What changed, for the front end. */
enum MfcChange {
  MFC_CHANGE_TEXT = 1,
  MFC_CHANGE_STATE = 2,    // enabled or visible
  MFC_CHANGE_ITEMS = 4,    // combo entries or selection, list columns or rows
  MFC_CHANGE_POS = 8,      // progress range or position
  MFC_CHANGE_SCROLL = 16,  // a list row was scrolled into view
  MFC_CHANGE_ICON = 32     // window icon set or drawn
};

struct MfcMenuItem {
  UINT flags;          // MF_*
  UINT_PTR id;         // command id
  std::string text;    // with its '&' mnemonic
};

struct MfcListColumn {
  std::string heading;  // column title
  int format;           // LVCFMT_*
  int width;            // pixels
};

struct MfcNode {
  HWND hwnd;                        // the window number of the win32 stand-in
  MfcNode* p_parent;                // dialog of a control, NULL for a top-level window
  std::vector<MfcNode*> children;   // controls in template (tab) order
  MfcKind kind;                     // what it is
  int id;                           // control id; template id for a dialog
  std::string text;                 // caption or control text
  DWORD style;                      // WS_* and the class's own bits
  DWORD ex_style;                   // WS_EX_*
  int x, y, cx, cy;                 // dialog units, relative to the dialog's client area
  bool enabled;                     // accepts input
  bool visible;                     // shown
  bool iconic;                      // a minimised top-level window
  bool modal;                       // run by DoModal
  HWND hwnd_owner;                  // the top-level window that owns this one (a modal
                                    // dialog's owner, disabled while it runs), NULL for none
  std::string font;                 // dialog font name
  int font_pt;                      // and its size in points
  std::vector<std::string> items;   // combo entries, or list rows (sub-item 0)
  int cur_sel;                      // combo selection, -1 none
  int range_lo, range_hi, pos;      // progress bar
  std::vector<MfcListColumn> columns;  // list columns
  int i_visible;                    // list row last scrolled into view, -1 none
  std::vector<MfcMenuItem> sys_menu;   // system menu of a top-level window
  bool has_sys_menu;                // WS_SYSMENU was given
  HICON icon_big, icon_small;       // window icons
  int x_icon_drawn, y_icon_drawn;   // where OnPaint last drew the icon, -1 never
  CWnd* p_wnd;                      // the object that receives its messages, or NULL
  CWnd* p_wnd_temp;                 // a plain CWnd made for GetDlgItem, owned here
  void* p_front;                    // the front end's widget
};

/* A front end: told when a top-level window appears or goes and of every change. Each
** callback may be NULL. */
struct MfcFront {
  void (*cb_create)(void* p, MfcNode* p_dlg);           // tree complete, show it
  void (*cb_destroy)(void* p, MfcNode* p_dlg);          // before the nodes go
  void (*cb_change)(void* p, MfcNode* p_node, int what);  // MfcChange bits
  UINT_PTR (*cb_popup_menu)(void* p, MfcNode* p_dlg, int x, int y);  // system menu at a
                                                        // screen point (-1: at the window);
                                                        // the chosen id or 0
  void* p;                                              // context of all four
};

/* Installs a front end (copied; NULL removes it). Returns the previous one in *p_old. */
void mfc_front_set(const MfcFront* p_front, MfcFront* p_old);

/* Asks the front end to pop the system menu of a dialog up at screen point x, y (-1, -1:
** at the window's corner); the chosen id or 0. */
UINT_PTR mfc_front_popup_menu(MfcNode* p_dlg, int x, int y);
/* Tells the front end that a top-level window and its controls are complete. */
void mfc_front_created(MfcNode* p_dlg);

/* The node of a window, NULL for none. */
MfcNode* mfc_node_of(HWND hwnd);
/* The control with the id among a dialog's children, NULL for none. */
MfcNode* mfc_node_child(const MfcNode* p_dlg, int id);
/* The top-level window that holds the node (the node itself for a dialog). */
MfcNode* mfc_node_top(MfcNode* p);
/* Every top-level window in creation order; for tests and the front end. */
std::vector<MfcNode*> mfc_node_tops();

/* Makes a node with its window number; a control is appended to the parent's children. */
MfcNode* mfc_node_create(MfcNode* p_parent, MfcKind kind, int id, const char* p_text,
                         DWORD style);
/* Destroys a node and its children: front end told, timers stopped, objects detached. */
void mfc_node_destroy(MfcNode* p);

/* Setters: store, tell the front end, return 1 when anything changed. */
int mfc_node_set_text(MfcNode* p, const char* p_text);
int mfc_node_set_enabled(MfcNode* p, bool enabled);
int mfc_node_set_visible(MfcNode* p, bool visible);
int mfc_node_set_pos(MfcNode* p, int pos);
int mfc_node_set_cur_sel(MfcNode* p, int i_sel);
/* Tells the front end; for the other fields that callers change in place. */
void mfc_node_changed(MfcNode* p, int what);

/* True when input may reach the node: it and its top-level window are enabled and
** visible. */
bool mfc_node_takes_input(MfcNode* p);

/* Converts dialog units to pixels with the dialog font's base units. */
int mfc_du_to_px_x(int du);
int mfc_du_to_px_y(int du);
/* The base units (average character width, line height) in pixels; 6 x 13 by default. */
void mfc_base_units_set(int cx, int cy);

/* ---- headless driving, used by tests and by the front end ---- */

/* Posts a click on a button (dispatched as BM_CLICK: ignored when it takes no input). */
BOOL mfc_post_click(HWND hwnd_button);
/* Posts a key press (WM_KEYDOWN) to a window, as the keyboard would. */
BOOL mfc_post_key(HWND hwnd, int vk);
/* Runs the messages that are queued now through the dialog manager, as a modal loop does;
** stops when the queue is empty. Returns the number dispatched. */
int mfc_pump();

#endif

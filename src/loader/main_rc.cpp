/*
** main_rc.cpp - the loader's resources: the dialog templates of the About dialog (100), the
** main dialog (102) and the Stdout window (143) with their controls in tab order, styles
** and geometry in dialog units, the COM-port list of the main dialog's initialisation
** data, the string of the system-menu entry and the application icon (128).
*/
#include "resource.h"

#include "mfc_dialog.h"

namespace {

const DWORD k_child = WS_CHILD | WS_VISIBLE;
const DWORD k_dialog = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

const MfcDlgItem k_about_items[] = {
    {"STATIC", "#128", IDC_STATIC, k_child | SS_ICON, 0, 11, 17, 20, 20},
    {"STATIC", "main Version 1.13", IDC_STATIC, k_child | SS_LEFT | SS_NOPREFIX, 0, 40, 10, 119, 8},
    {"STATIC", "Loader of the ZENT control unit", IDC_STATIC, k_child | SS_LEFT, 0, 40, 25, 119, 8},
    {"BUTTON", "OK", IDOK, k_child | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 0, 178, 7, 32, 14},
};

const MfcDlgItem k_main_items[] = {
    {"BUTTON", "Close", IDCANCEL, k_child | BS_PUSHBUTTON | WS_TABSTOP, 0, 245, 7, 50, 14},
    {"BUTTON", "Download", IDC_BUTTON_DOWNLOAD, k_child | BS_PUSHBUTTON | WS_TABSTOP, 0, 90, 75, 50, 14},
    {"COMBOBOX", "", IDC_COMBO_PORT, k_child | CBS_DROPDOWNLIST | WS_TABSTOP, 0, 89, 47, 48, 94},
    {"STATIC", "COM-Port", IDC_STATIC, k_child | SS_RIGHT, 0, 41, 49, 45, 8},
    {"EDIT", "", IDC_EDIT_TITLE, k_child | ES_AUTOHSCROLL | ES_READONLY | WS_BORDER, 0, 89, 7, 120, 14},
    {"STATIC", "Software-Title", IDC_STATIC, k_child | SS_RIGHT, 0, 27, 10, 59, 8},
    {"BUTTON", "Stdout", IDC_BUTTON_STDOUT, WS_CHILD | BS_PUSHBUTTON | WS_TABSTOP, 0, 245, 152, 50, 14},
    {"BUTTON", "Status", IDC_STATIC, k_child | BS_GROUPBOX, 0, 7, 106, 223, 60},
    {"msctls_progress32", "", IDC_PROGRESS, k_child | WS_BORDER, 0, 15, 150, 205, 10},
    {"STATIC", "ready", IDC_STATIC_UPPER, k_child | SS_LEFT, 0, 15, 120, 204, 8},
    {"STATIC", "ready", IDC_STATIC_LOWER, k_child | SS_LEFT, 0, 15, 135, 205, 8},
    {"EDIT", "", IDC_EDIT_VERSION, k_child | ES_AUTOHSCROLL | ES_READONLY | WS_BORDER, 0, 89, 27, 120, 14},
    {"STATIC", "Software-Version", IDC_STATIC, k_child | SS_RIGHT, 0, 27, 30, 59, 8},
};

/* The list index i names port i + 1, as the download maps it. */
const MfcDlgInit k_main_init[] = {
    {IDC_COMBO_PORT, CB_ADDSTRING, "COM1"}, {IDC_COMBO_PORT, CB_ADDSTRING, "COM2"},
    {IDC_COMBO_PORT, CB_ADDSTRING, "COM3"}, {IDC_COMBO_PORT, CB_ADDSTRING, "COM4"},
    {IDC_COMBO_PORT, CB_ADDSTRING, "COM5"}, {IDC_COMBO_PORT, CB_ADDSTRING, "COM6"},
    {IDC_COMBO_PORT, CB_ADDSTRING, "COM7"}, {IDC_COMBO_PORT, CB_ADDSTRING, "COM8"},
};

const MfcDlgItem k_stdout_items[] = {
    {"SysListView32", "", IDC_LIST_STDOUT,
     k_child | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_NOCOLUMNHEADER | LVS_NOSORTHEADER,
     0, 5, 5, 295, 375},
    {"BUTTON", "Close", IDCANCEL, k_child | BS_PUSHBUTTON | WS_TABSTOP, 0, 7, 386, 50, 14},
};

template <typename T, int N>
constexpr int count_of(const T (&)[N]) { return N; }

const MfcDlgTemplate k_dialogs[] = {
    {IDD_ABOUTBOX, "About main", k_dialog, 0, 0, 0, 217, 55, "MS Sans Serif", 8,
     k_about_items, count_of(k_about_items), nullptr, 0},
    {IDD_MAIN_DIALOG, "Zent-Loader (504 only)", k_dialog | WS_VISIBLE, WS_EX_APPWINDOW, 0, 0, 302, 173,
     "MS Sans Serif", 8, k_main_items, count_of(k_main_items), k_main_init, count_of(k_main_init)},
    {IDD_STDOUT, "Stdout", k_dialog | WS_VISIBLE, 0, 0, 0, 307, 407, "MS Sans Serif", 8,
     k_stdout_items, count_of(k_stdout_items), nullptr, 0},
};

const MfcStringRes k_strings[] = {{IDS_ABOUTBOX, "&About main..."}};

/* The application icon: a unit with its pins and an arrow loading into it. */
const char* const k_icon_xpm[] = {
    "32 32 4 1",
    ". c None",
    "b c #1F3A80",
    "p c #A0A0A0",
    "y c #F0D020",
    "................................",
    "................................",
    "................................",
    ".........p..p..p..p..p..........",
    ".........p..p..p..p..p..........",
    ".........p..p..p..p..p..........",
    "......bbbbbbbbbbbbbbbbbbbb......",
    "......bbbbbbbbbbbbbbbbbbbb......",
    "......bbbbbbbbbbbbbbbbbbbb......",
    "...pppbbbbbbbbbbbbbbbbbbbbppp...",
    "......bbbbbbbyyyyyybbbbbbb......",
    "......bbbbbbbyyyyyybbbbbbb......",
    "...pppbbbbbbbyyyyyybbbbbbbppp...",
    "......bbbbbbbyyyyyybbbbbbb......",
    "......bbbbbbbyyyyyybbbbbbb......",
    "...pppbbbbbbbyyyyyybbbbbbbppp...",
    "......bbbbbbbyyyyyybbbbbbb......",
    "......bbbbbbbyyyyyybbbbbbb......",
    "...pppbbbbbyyyyyyyyyybbbbbppp...",
    "......bbbbbbyyyyyyyybbbbbb......",
    "......bbbbbbbyyyyyybbbbbbb......",
    "...pppbbbbbbbbyyyybbbbbbbbppp...",
    "......bbbbbbbbbyybbbbbbbbb......",
    "......bbbbbbbbbbbbbbbbbbbb......",
    "......bbbbbbbbbbbbbbbbbbbb......",
    "......bbbbbbbbbbbbbbbbbbbb......",
    ".........p..p..p..p..p..........",
    ".........p..p..p..p..p..........",
    ".........p..p..p..p..p..........",
    "................................",
    "................................",
    "................................",};

const MfcIconRes k_icons[] = {{IDR_MAINFRAME, k_icon_xpm}};

const MfcResources k_resources = {k_dialogs, count_of(k_dialogs), k_strings, count_of(k_strings),
                                  k_icons, count_of(k_icons)};

}  // namespace

const MfcResources* main_rc_get(void) { return &k_resources; }

/*
** mfc_wnd.cpp - message maps, CWnd over the window tree, the controls, CMenu, CDC and the
** default window procedure that gives the controls their Win32 behaviour (a click becomes
** WM_COMMAND BN_CLICKED to the parent, the close command becomes IDCANCEL, and so on).
*/
#include "mfc_wnd.h"

#include "mfc_app.h"
#include "win32_timer.h"

#include <algorithm>
#include <cstring>

/* ---- message maps ---- */

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

static bool entry_fits(const AFX_MSGMAP_ENTRY& e, UINT message, WPARAM wParam) {
  if (e.nMessage != message) return false;
  if (message != WM_COMMAND) return true;
  UINT id = LOWORD(wParam);
  return e.nCode == HIWORD(wParam) && id >= e.nID && id <= e.nLastID;
}

BOOL CCmdTarget::OnMapMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  for (const AFX_MSGMAP* map = GetMessageMap(); map;
       map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nMessage; e++) {
      if (!entry_fits(*e, message, wParam)) continue;
      LRESULT r = e->pfn(this, wParam, lParam);
      if (pResult) *pResult = r;
      return TRUE;
    }
  }
  return FALSE;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode) {
  return OnMapMessage(WM_COMMAND, MAKEWPARAM(nID, nCode), 0, nullptr);
}

/* ---- CString, CMenu, CDC ---- */

BOOL CString::LoadString(UINT nID) {
  const char* p = mfc_find_string(nID);
  s_ = p ? p : "";
  return p != nullptr;
}

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, LPCTSTR lpszNewItem) {
  MfcNode* p = mfc_node_of((HWND)m_hMenu);
  if (!p || !p->has_sys_menu) return FALSE;
  p->sys_menu.push_back(MfcMenuItem{nFlags, nIDNewItem, lpszNewItem ? lpszNewItem : ""});
  return TRUE;
}

int CMenu::GetMenuItemCount() const {
  MfcNode* p = mfc_node_of((HWND)m_hMenu);
  return p ? (int)p->sys_menu.size() : -1;
}

BOOL CDC::DrawIcon(int x, int y, HICON hIcon) {
  MfcNode* p = mfc_node_of((HWND)m_hDC);
  if (!p || !hIcon) return FALSE;
  p->x_icon_drawn = x;
  p->y_icon_drawn = y;
  mfc_node_changed(p, MFC_CHANGE_ICON);
  return TRUE;
}

CPaintDC::CPaintDC(CWnd* pWnd) {
  m_pWnd = pWnd;
  m_hDC = pWnd ? (HDC)pWnd->m_hWnd : nullptr;
}

/* ---- CWnd ---- */

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {&CCmdTarget::GetThisMessageMap, &entries[0]};
  return &map;
}

CWnd::CWnd() : m_hWnd(nullptr), m_msgCur{} {}

CWnd::~CWnd() {
  MfcNode* p = node();
  if (p && p->p_wnd == this) CWnd::DestroyWindow();
}

CWnd* CWnd::FromHandle(HWND hWnd) {
  MfcNode* p = mfc_node_of(hWnd);
  if (!p) return nullptr;
  if (p->p_wnd) return p->p_wnd;
  if (!p->p_wnd_temp) {
    p->p_wnd_temp = new CWnd;
    p->p_wnd_temp->m_hWnd = hWnd;
  }
  return p->p_wnd_temp;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  MfcNode* p = mfc_node_of(hWnd);
  if (!p || p->p_wnd) return FALSE;
  p->p_wnd = this;
  m_hWnd = hWnd;
  return TRUE;
}

HWND CWnd::UnsubclassWindow() {
  MfcNode* p = node();
  HWND h = m_hWnd;
  if (p && p->p_wnd == this) p->p_wnd = nullptr;
  m_hWnd = nullptr;
  return h;
}

BOOL CWnd::DestroyWindow() {
  MfcNode* p = node();
  if (!p) return FALSE;
  mfc_node_destroy(p);  // clears m_hWnd of every attached object
  m_hWnd = nullptr;
  return TRUE;
}

CWnd* CWnd::GetDlgItem(int nID) const {
  MfcNode* p = mfc_node_child(node(), nID);
  return p ? FromHandle(p->hwnd) : nullptr;
}

int CWnd::GetDlgCtrlID() const {
  MfcNode* p = node();
  return p ? p->id : 0;
}

CWnd* CWnd::GetParent() const {
  MfcNode* p = node();
  return p && p->p_parent ? FromHandle(p->p_parent->hwnd) : nullptr;
}

BOOL CWnd::EnableWindow(BOOL bEnable) {
  MfcNode* p = node();
  if (!p) return FALSE;
  BOOL was_disabled = !p->enabled;
  mfc_node_set_enabled(p, bEnable != FALSE);
  return was_disabled;
}

BOOL CWnd::IsWindowEnabled() const {
  MfcNode* p = node();
  return p && p->enabled;
}

BOOL CWnd::ShowWindow(int nCmdShow) {
  MfcNode* p = node();
  if (!p) return FALSE;
  BOOL was = p->visible;
  mfc_node_set_visible(p, nCmdShow != SW_HIDE);
  return was;
}

BOOL CWnd::IsWindowVisible() const {
  MfcNode* p = node();
  return p && p->visible;
}

BOOL CWnd::IsIconic() const {
  MfcNode* p = node();
  return p && p->iconic;
}

void CWnd::SetWindowText(LPCTSTR lpszString) { mfc_node_set_text(node(), lpszString); }

int CWnd::GetWindowText(LPTSTR lpszStringBuf, int nMaxCount) const {
  MfcNode* p = node();
  if (!p || !lpszStringBuf || nMaxCount <= 0) return 0;
  int n = std::min((int)p->text.size(), nMaxCount - 1);
  std::memcpy(lpszStringBuf, p->text.data(), (size_t)n);
  lpszStringBuf[n] = 0;
  return n;
}

std::string CWnd::GetWindowTextStd() const {
  MfcNode* p = node();
  return p ? p->text : std::string();
}

void CWnd::GetClientRect(LPRECT lpRect) const {
  MfcNode* p = node();
  if (!lpRect) return;
  *lpRect = RECT{0, 0, 0, 0};
  if (!p) return;
  lpRect->right = mfc_du_to_px_x(p->cx);
  lpRect->bottom = mfc_du_to_px_y(p->cy);
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) {
  MfcNode* p = node();
  if (!p || !p->has_sys_menu || bRevert) return nullptr;
  m_menuSys.m_hMenu = (HMENU)m_hWnd;
  return &m_menuSys;
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
  MfcNode* p = node();
  if (!p) return nullptr;
  HICON& slot = bBigIcon ? p->icon_big : p->icon_small;
  HICON old = slot;
  slot = hIcon;
  mfc_node_changed(p, MFC_CHANGE_ICON);
  return old;
}

int CWnd::MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption, UINT nType) {
  return MessageBoxA(m_hWnd, lpszText, lpszCaption ? lpszCaption : "Error", nType);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageA(m_hWnd, message, wParam, lParam);
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
  return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  MSG saved = m_msgCur;
  m_msgCur = MSG{m_hWnd, message, wParam, lParam, 0};
  LRESULT r = 0;
  if (!OnWndMsg(message, wParam, lParam, &r)) r = DefWindowProc(message, wParam, lParam);
  m_msgCur = saved;
  return r;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (OnMapMessage(message, wParam, lParam, pResult)) return TRUE;
  if (message != WM_COMMAND) return FALSE;
  CWinApp* app = AfxGetApp();  // commands nobody here handles go to the application
  if (app && app->OnCmdMsg(LOWORD(wParam), HIWORD(wParam))) {
    if (pResult) *pResult = 0;
    return TRUE;
  }
  return FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return mfc_def_window_proc(node(), message, wParam, lParam);
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

LRESULT CWnd::Default() { return DefWindowProc(m_msgCur.message, m_msgCur.wParam, m_msgCur.lParam); }

void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
void CWnd::OnPaint() { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnClose() { Default(); }

/* ---- controls ---- */

int CComboBox::AddString(LPCTSTR lpszString) {
  MfcNode* p = node();
  if (!p) return -1;
  p->items.push_back(lpszString ? lpszString : "");
  mfc_node_changed(p, MFC_CHANGE_ITEMS);
  return (int)p->items.size() - 1;
}

int CComboBox::GetCount() const {
  MfcNode* p = node();
  return p ? (int)p->items.size() : -1;
}

int CComboBox::GetCurSel() const {
  MfcNode* p = node();
  return p ? p->cur_sel : -1;
}

int CComboBox::SetCurSel(int nSelect) {
  MfcNode* p = node();
  if (!p) return -1;
  mfc_node_set_cur_sel(p, nSelect);
  return p->cur_sel == nSelect ? nSelect : -1;
}

int CComboBox::GetLBText(int nIndex, LPTSTR lpszText) const {
  MfcNode* p = node();
  if (!p || nIndex < 0 || nIndex >= (int)p->items.size()) return -1;
  if (lpszText) std::strcpy(lpszText, p->items[(size_t)nIndex].c_str());
  return (int)p->items[(size_t)nIndex].size();
}

void CProgressCtrl::SetRange(short nLower, short nUpper) {
  MfcNode* p = node();
  if (!p) return;
  p->range_lo = nLower;
  p->range_hi = nUpper;
  p->pos = std::clamp(p->pos, (int)nLower, std::max((int)nLower, (int)nUpper));
  mfc_node_changed(p, MFC_CHANGE_POS);
}

int CProgressCtrl::SetPos(int nPos) {
  MfcNode* p = node();
  if (!p) return 0;
  int old = p->pos;
  mfc_node_set_pos(p, nPos);
  return old;
}

int CProgressCtrl::GetPos() const {
  MfcNode* p = node();
  return p ? p->pos : 0;
}

int CListCtrl::InsertColumn(int nCol, LPCTSTR lpszColumnHeading, int nFormat, int nWidth, int) {
  MfcNode* p = node();
  if (!p || nCol < 0) return -1;
  size_t i = std::min((size_t)nCol, p->columns.size());
  p->columns.insert(p->columns.begin() + (long)i,
                    MfcListColumn{lpszColumnHeading ? lpszColumnHeading : "", nFormat, nWidth});
  mfc_node_changed(p, MFC_CHANGE_ITEMS);
  return (int)i;
}

int CListCtrl::GetItemCount() const {
  MfcNode* p = node();
  return p ? (int)p->items.size() : 0;
}

int CListCtrl::InsertItem(int nItem, LPCTSTR lpszItem) {
  MfcNode* p = node();
  if (!p || nItem < 0) return -1;
  size_t i = std::min((size_t)nItem, p->items.size());
  p->items.insert(p->items.begin() + (long)i, lpszItem ? lpszItem : "");
  mfc_node_changed(p, MFC_CHANGE_ITEMS);
  return (int)i;
}

BOOL CListCtrl::SetItem(int nItem, int nSubItem, UINT nMask, LPCTSTR lpszItem, int, UINT,
                        UINT, LPARAM) {
  MfcNode* p = node();
  if (!p || nItem < 0 || nItem >= (int)p->items.size() || nSubItem != 0) return FALSE;
  if (!(nMask & LVIF_TEXT)) return TRUE;
  std::string t = lpszItem ? lpszItem : "";
  if (p->items[(size_t)nItem] != t) {
    p->items[(size_t)nItem] = t;
    mfc_node_changed(p, MFC_CHANGE_ITEMS);
  }
  return TRUE;
}

std::string CListCtrl::GetItemText(int nItem, int nSubItem) const {
  MfcNode* p = node();
  if (!p || nItem < 0 || nItem >= (int)p->items.size() || nSubItem != 0) return "";
  return p->items[(size_t)nItem];
}

BOOL CListCtrl::EnsureVisible(int nItem, BOOL) {
  MfcNode* p = node();
  if (!p || nItem < 0 || nItem >= (int)p->items.size()) return FALSE;
  p->i_visible = nItem;
  mfc_node_changed(p, MFC_CHANGE_SCROLL);
  return TRUE;
}

/* ---- the default window procedure ---- */

static void def_click(MfcNode* p) {
  if (p->kind != MFC_KIND_BUTTON || !p->p_parent || !mfc_node_takes_input(p)) return;
  SendMessageA(p->p_parent->hwnd, WM_COMMAND, MAKEWPARAM(p->id, BN_CLICKED), (LPARAM)p->hwnd);
}

static void def_close(MfcNode* p) {
  if (p->p_parent) return;
  MfcNode* cancel = mfc_node_child(p, IDCANCEL);
  if (cancel && !cancel->enabled) return;  // a disabled Cancel button refuses the close
  SendMessageA(p->hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
               (LPARAM)(cancel ? cancel->hwnd : nullptr));
}

/* lParam of WM_CONTEXTMENU: the screen point, x in the low and y in the high word; -1
** (both words 0xFFFF) for the keyboard. */
static void def_sys_menu(MfcNode* p, LPARAM lParam) {
  MfcNode* top = mfc_node_top(p);
  if (!top->has_sys_menu || !mfc_node_takes_input(top)) return;
  int x = lParam == -1 ? -1 : (int16_t)LOWORD(lParam), y = lParam == -1 ? -1 : (int16_t)HIWORD(lParam);
  UINT_PTR id = mfc_front_popup_menu(top, x, y);
  if (id) PostMessageA(top->hwnd, WM_SYSCOMMAND, id, 0);
}

/* A disabled window (the owner of a modal dialog or box) ignores its system commands, the
** window manager's close among them, as Win32 does. */
static void def_sys_command(MfcNode* p, WPARAM wParam) {
  if (!mfc_node_top(p)->enabled) return;
  switch (wParam & 0xFFF0) {
    case SC_CLOSE: SendMessageA(p->hwnd, WM_CLOSE, 0, 0); break;
    case SC_KEYMENU: def_sys_menu(p, -1); break;
    case SC_MINIMIZE: p->iconic = true; mfc_node_changed(p, MFC_CHANGE_STATE); break;
    case SC_RESTORE: p->iconic = false; mfc_node_changed(p, MFC_CHANGE_STATE); break;
    default: break;
  }
}

static LRESULT def_default_id(MfcNode* p) {
  for (MfcNode* c : p->children)
    if (c->kind == MFC_KIND_BUTTON && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return c->id;
  return IDOK;
}

LRESULT mfc_def_window_proc(MfcNode* p, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!p) return 0;
  switch (message) {
    case BM_CLICK: def_click(p); return 0;
    case CB_ADDSTRING:
      p->items.push_back(lParam ? (const char*)lParam : "");
      mfc_node_changed(p, MFC_CHANGE_ITEMS);
      return (LRESULT)p->items.size() - 1;
    case CB_SETCURSEL: mfc_node_set_cur_sel(p, (int)wParam); return p->cur_sel;
    case WM_SETTEXT: mfc_node_set_text(p, (const char*)lParam); return TRUE;
    case WM_CLOSE: def_close(p); return 0;
    case WM_SYSCOMMAND: def_sys_command(p, wParam); return 0;
    case WM_CONTEXTMENU: def_sys_menu(p, lParam); return 0;
    case WM_SYSKEYDOWN:
      if (wParam == VK_SPACE) def_sys_menu(p, -1);
      return 0;
    case DM_GETDEFID: return def_default_id(p);
    default: return 0;
  }
}

LRESULT mfc_wnd_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MfcNode* p = mfc_node_of(hwnd);
  if (!p) return 0;
  if (p->p_wnd) return p->p_wnd->WindowProc(message, wParam, lParam);
  return mfc_def_window_proc(p, message, wParam, lParam);
}

/*
** mfc_dialog.cpp - resources, CDialog (template to window tree, the modal loop, modeless
** creation), the dialog manager's keys and DDX_Control.
*/
#include "mfc_dialog.h"

#include "mfc_app.h"
#include "std_io.h"

#include <cstring>

namespace {

const MfcResources* g_res = nullptr;  // the program's resources, NULL before they are set

MfcKind kind_of(const MfcDlgItem& item) {
  const char* c = item.p_class;
  if (!std::strcmp(c, "BUTTON"))
    return (item.style & BS_TYPEMASK) == BS_GROUPBOX ? MFC_KIND_GROUPBOX : MFC_KIND_BUTTON;
  if (!std::strcmp(c, "EDIT")) return MFC_KIND_EDIT;
  if (!std::strcmp(c, "COMBOBOX")) return MFC_KIND_COMBOBOX;
  if (!std::strcmp(c, "msctls_progress32")) return MFC_KIND_PROGRESS;
  if (!std::strcmp(c, "SysListView32")) return MFC_KIND_LISTVIEW;
  return (item.style & SS_TYPEMASK) == SS_ICON ? MFC_KIND_ICON : MFC_KIND_STATIC;
}

void set_geometry(MfcNode* p, short x, short y, short cx, short cy) {
  p->x = x;
  p->y = y;
  p->cx = cx;
  p->cy = cy;
}

/* Builds the nodes of a template; the dialog stays hidden until its initialisation ran. */
MfcNode* build_tree(const MfcDlgTemplate* t, bool modal) {
  MfcNode* dlg = mfc_node_create(nullptr, MFC_KIND_DIALOG, (int)t->id, t->p_caption,
                                 t->style & ~WS_VISIBLE);
  dlg->ex_style = t->ex_style;
  set_geometry(dlg, t->x, t->y, t->cx, t->cy);
  dlg->font = t->p_font ? t->p_font : "";
  dlg->font_pt = t->font_pt;
  dlg->modal = modal;
  dlg->has_sys_menu = (t->style & WS_SYSMENU) != 0;
  if (dlg->has_sys_menu) {
    dlg->sys_menu.push_back(MfcMenuItem{MF_STRING | MF_GRAYED, SC_MOVE, "&Move"});
    dlg->sys_menu.push_back(MfcMenuItem{MF_STRING, SC_CLOSE, "&Close\tAlt+F4"});
  }
  for (int i = 0; i < t->n_items; i++) {
    const MfcDlgItem& item = t->p_items[i];
    MfcNode* c = mfc_node_create(dlg, kind_of(item), item.id, item.p_text, item.style);
    c->ex_style = item.ex_style;
    set_geometry(c, item.x, item.y, item.cx, item.cy);
  }
  return dlg;
}

/* The first control that takes input and stops the tab key. */
HWND first_tab_stop(MfcNode* dlg) {
  for (MfcNode* c : dlg->children)
    if ((c->style & WS_TABSTOP) && mfc_node_takes_input(c)) return c->hwnd;
  return nullptr;
}

}  // namespace

void mfc_resources_set(const MfcResources* p_res) { g_res = p_res; }

const MfcDlgTemplate* mfc_find_dialog(UINT id) {
  for (int i = 0; g_res && i < g_res->n_dialogs; i++)
    if (g_res->p_dialogs[i].id == id) return &g_res->p_dialogs[i];
  return nullptr;
}

const char* mfc_find_string(UINT id) {
  for (int i = 0; g_res && i < g_res->n_strings; i++)
    if (g_res->p_strings[i].id == id) return g_res->p_strings[i].p_text;
  return nullptr;
}

const MfcIconRes* mfc_find_icon(UINT id) {
  for (int i = 0; g_res && i < g_res->n_icons; i++)
    if (g_res->p_icons[i].id == id) return &g_res->p_icons[i];
  return nullptr;
}

HICON mfc_icon_handle(UINT id) { return (HICON)mfc_find_icon(id); }

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (!pDX || !pDX->m_pDlgWnd || rControl.m_hWnd) return;
  MfcNode* p = mfc_node_child(pDX->m_pDlgWnd->node(), nIDC);
  if (!p || !rControl.SubclassWindow(p->hwnd))
    StdIo_printf(STDIO_ERR("DDX_Control") "no control %d to bind\n", nIDC);
}

/* ---- CDialog ---- */

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, &CDialog::OnOK)
  ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
  ON_MESSAGE(WM_INITDIALOG, &CDialog::HandleInitDialog)
END_MESSAGE_MAP()

CDialog::CDialog() : m_nIDHelp(0), m_pParentWnd(nullptr), m_nModalResult(-1), m_bModalLoop(false) {}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDHelp(nIDTemplate), m_pParentWnd(pParentWnd), m_nModalResult(-1), m_bModalLoop(false) {}

CDialog::~CDialog() {
  if (m_hWnd) CWnd::DestroyWindow();
}

BOOL CDialog::create_from_template(UINT nIDTemplate, CWnd* pParentWnd, CWnd* pOwner, bool modal) {
  const MfcDlgTemplate* t = mfc_find_dialog(nIDTemplate);
  if (!t) {
    StdIo_printf(STDIO_ERR("CDialog::Create") "no dialog template %u\n", nIDTemplate);
    return FALSE;
  }
  if (m_hWnd) return FALSE;
  m_nIDHelp = nIDTemplate;
  m_pParentWnd = pParentWnd;
  MfcNode* dlg = build_tree(t, modal);
  dlg->hwnd_owner = pOwner ? pOwner->m_hWnd : nullptr;
  SubclassWindow(dlg->hwnd);
  OnSetFont(nullptr);
  LRESULT focus_default = SendMessage(WM_INITDIALOG, 0, 0);
  if (!m_hWnd) return FALSE;  // the initialisation destroyed it
  if (modal || (t->style & WS_VISIBLE)) dlg->visible = true;
  if (focus_default) ::SetFocus(first_tab_stop(dlg));
  mfc_front_created(dlg);
  return TRUE;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
  return create_from_template(nIDTemplate, pParentWnd, pParentWnd, false);
}

INT_PTR CDialog::DoModal() {
  CWnd* owner = m_pParentWnd ? m_pParentWnd : AfxGetMainWnd();
  if (owner == this || (owner && !owner->m_hWnd)) owner = nullptr;
  bool disabled_owner = owner && owner->IsWindowEnabled();
  if (disabled_owner) owner->EnableWindow(FALSE);
  m_nModalResult = -1;
  m_bModalLoop = true;
  if (!create_from_template(m_nIDHelp, m_pParentWnd, owner, true)) m_bModalLoop = false;
  while (m_bModalLoop && m_hWnd) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      WaitMessage();
      continue;
    }
    if (mfc_pre_translate(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  m_bModalLoop = false;
  if (disabled_owner && owner->m_hWnd) owner->EnableWindow(TRUE);
  if (m_hWnd) CWnd::DestroyWindow();
  return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
  m_nModalResult = nResult;
  if (m_bModalLoop)
    m_bModalLoop = false;  // the loop destroys the window once the handler has returned
  else
    ShowWindow(SW_HIDE);   // a modeless dialog is only hidden, as Win32 does
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) { return IsDialogMessageA(m_hWnd, pMsg); }

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::ExecuteDlgInit() {
  const MfcDlgTemplate* t = mfc_find_dialog(m_nIDHelp);
  if (!t) return FALSE;
  for (int i = 0; i < t->n_init; i++) {
    MfcNode* c = mfc_node_child(node(), t->p_init[i].id);
    if (c) SendMessageA(c->hwnd, t->p_init[i].message, 0, (LPARAM)t->p_init[i].p_text);
  }
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  ExecuteDlgInit();
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnSetFont(CFont*) {}

void CDialog::OnOK() {
  UpdateData(TRUE);
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) { return OnInitDialog(); }

/* ---- the dialog manager ---- */

static BOOL send_key_command(MfcNode* dlg, int id) {
  MfcNode* button = mfc_node_child(dlg, id);
  if (button && !mfc_node_takes_input(button)) return TRUE;  // swallowed, as Win32 does
  SendMessageA(dlg->hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               (LPARAM)(button ? button->hwnd : nullptr));
  return TRUE;
}

BOOL IsDialogMessageA(HWND hDlg, MSG* pMsg) {
  MfcNode* dlg = mfc_node_of(hDlg);
  if (!dlg || !pMsg || pMsg->message != WM_KEYDOWN) return FALSE;
  if (mfc_node_top(mfc_node_of(pMsg->hwnd)) != dlg || !mfc_node_takes_input(dlg)) return FALSE;
  if (pMsg->wParam == VK_ESCAPE) return send_key_command(dlg, IDCANCEL);
  if (pMsg->wParam == VK_RETURN)
    return send_key_command(dlg, (int)SendMessageA(hDlg, DM_GETDEFID, 0, 0));
  return FALSE;
}

BOOL mfc_pre_translate(MSG* pMsg) {
  if (!pMsg) return FALSE;
  MfcNode* top = mfc_node_top(mfc_node_of(pMsg->hwnd));
  return top && top->p_wnd ? top->p_wnd->PreTranslateMessage(pMsg) : FALSE;
}

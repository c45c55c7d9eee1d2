/*
** mfc_dialog.h - dialogs of the framework stand-in: resources (dialog templates with their
** initialisation data, strings, icons) that the program hands over once, CDialog with its
** modal loop and modeless creation, the dialog manager's keys (IsDialogMessage) and data
** exchange (DDX_Control). The modal loop is the one place where dialog keys are turned into
** commands; whoever dispatches messages without it (the link's sleep callback during a
** download) gets mouse commands but no Escape or Enter.
*/
#ifndef ZENT_MFC_DIALOG_H
#define ZENT_MFC_DIALOG_H

#include "mfc_wnd.h"

/* One control of a dialog template. */
struct MfcDlgItem {
  const char* p_class;  // "BUTTON", "EDIT", "STATIC", "COMBOBOX", "msctls_progress32", "SysListView32"
  const char* p_text;   // initial text, "" for none
  int id;               // control id, -1 for none
  DWORD style;          // WS_* and the class's bits
  DWORD ex_style;       // WS_EX_*
  short x, y, cx, cy;   // dialog units
};

/* One entry of a template's initialisation data: a message sent to a control. */
struct MfcDlgInit {
  int id;               // control
  UINT message;         // CB_ADDSTRING
  const char* p_text;   // its string
};

struct MfcDlgTemplate {
  UINT id;                      // template id
  const char* p_caption;        // window title
  DWORD style;                  // WS_*, DS_*
  DWORD ex_style;               // WS_EX_*
  short x, y, cx, cy;           // dialog units
  const char* p_font;           // font name
  int font_pt;                  // font size
  const MfcDlgItem* p_items;    // controls in tab order
  int n_items;
  const MfcDlgInit* p_init;     // initialisation data, may be NULL
  int n_init;
};

struct MfcStringRes {
  UINT id;
  const char* p_text;
};

struct MfcIconRes {
  UINT id;
  const char* const* p_xpm;  // the picture as XPM lines
};

/* The resources of the program. */
struct MfcResources {
  const MfcDlgTemplate* p_dialogs;
  int n_dialogs;
  const MfcStringRes* p_strings;
  int n_strings;
  const MfcIconRes* p_icons;
  int n_icons;
};

/* Hands the program's resources over (kept by pointer). */
void mfc_resources_set(const MfcResources* p_res);
const MfcDlgTemplate* mfc_find_dialog(UINT id);
const char* mfc_find_string(UINT id);          // NULL when missing
const MfcIconRes* mfc_find_icon(UINT id);      // NULL when missing
HICON mfc_icon_handle(UINT id);                // NULL when missing

class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
      : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
  BOOL m_bSaveAndValidate;  // TRUE: controls to members
  CWnd* m_pDlgWnd;          // the dialog
};

/* Binds a control object to the dialog's control nIDC the first time it is called. */
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CFont;

class CDialog : public CWnd {
 public:
  CDialog();
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  /* Runs the dialog modally; the value given to EndDialog, or -1 when it cannot be made. */
  virtual INT_PTR DoModal();
  /* Makes the window modelessly (visible when the template says so); FALSE on failure. */
  virtual BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  /* Ends the modal loop with nResult (the window goes when the loop ends). */
  void EndDialog(int nResult);
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
  BOOL PreTranslateMessage(MSG* pMsg) override;

  virtual BOOL OnInitDialog();
  virtual void OnSetFont(CFont* pFont);
  virtual void OnOK();
  virtual void OnCancel();
  afx_msg LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);

 protected:
  virtual void DoDataExchange(CDataExchange* pDX);
  /* Sends the template's initialisation data to the controls. */
  BOOL ExecuteDlgInit();

  UINT m_nIDHelp;        // template id
  CWnd* m_pParentWnd;    // parent given at construction
  int m_nModalResult;    // EndDialog's value; -1 while the loop runs
  bool m_bModalLoop;     // the modal loop runs

  DECLARE_MESSAGE_MAP()

 private:
  BOOL create_from_template(UINT nIDTemplate, CWnd* pParentWnd, CWnd* pOwner, bool modal);
};

/* The dialog manager's keys: Escape to IDCANCEL, Enter to the default button. TRUE when
** the message was a dialog key of hDlg and has been handled. */
BOOL IsDialogMessageA(HWND hDlg, MSG* pMsg);

/* The framework's pre-translation: offers the message to the top-level window it is for. */
BOOL mfc_pre_translate(MSG* pMsg);

#endif

/*
** mfc_wnd.h - the window classes of the framework stand-in: message maps, CCmdTarget, CWnd,
** the controls (CButton, CEdit, CStatic, CComboBox, CProgressCtrl, CListCtrl), CMenu, CDC
** and a small CString. A CWnd is a view over a node of the window tree (mfc_node.h);
** messages reach it through the win32 queue and its class's message map, so a handler that
** is not in a map is never called, as in the framework the loader was written for.
*/
#ifndef ZENT_MFC_WND_H
#define ZENT_MFC_WND_H

#include "mfc_node.h"

#include <string>

typedef const char* LPCTSTR;
typedef char* LPTSTR;

class CCmdTarget;

/* One message map entry: what it matches and a thunk that calls the member function. */
typedef LRESULT (*AFX_PTHUNK)(CCmdTarget* p_target, WPARAM wParam, LPARAM lParam);
struct AFX_MSGMAP_ENTRY {
  UINT nMessage;    // WM_* number; 0 ends the map
  UINT nCode;       // notification code for WM_COMMAND
  UINT nID;         // first control or command id for WM_COMMAND
  UINT nLastID;     // last id of the range
  AFX_PTHUNK pfn;   // calls the handler
};
struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();  // the base class's map, NULL at the root
  const AFX_MSGMAP_ENTRY* lpEntries;     // this class's entries
};

#define DECLARE_MESSAGE_MAP()                    \
 protected:                                      \
  static const AFX_MSGMAP* GetThisMessageMap();  \
                                                 \
 public:                                         \
  virtual const AFX_MSGMAP* GetMessageMap() const;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                       \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
    using ThisClass [[maybe_unused]] = theClass;                                    \
    using TheBaseClass = baseClass;                                                 \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                            \
  {0, 0, 0, 0, nullptr}                                                              \
  }                                                                                  \
  ;                                                                                  \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                \
  }

#define AFX_THUNK(body) \
  [](CCmdTarget* t, [[maybe_unused]] WPARAM w, [[maybe_unused]] LPARAM l) -> LRESULT { body }
#define AFX_THIS static_cast<ThisClass*>(t)

#define ON_MESSAGE(message, memberFxn) \
  {message, 0, 0, 0, AFX_THUNK(return (AFX_THIS->*(memberFxn))(w, l);)},
#define ON_COMMAND(id, memberFxn) \
  {WM_COMMAND, 0, (UINT)(id), (UINT)(id), AFX_THUNK((AFX_THIS->*(memberFxn))(); return 0;)},
#define ON_CONTROL(code, id, memberFxn) \
  {WM_COMMAND, (UINT)(code), (UINT)(id), (UINT)(id), AFX_THUNK((AFX_THIS->*(memberFxn))(); return 0;)},
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_WM_SYSCOMMAND() \
  {WM_SYSCOMMAND, 0, 0, 0, AFX_THUNK(AFX_THIS->OnSysCommand((UINT)w, l); return 0;)},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, 0, AFX_THUNK(AFX_THIS->OnPaint(); return 0;)},
#define ON_WM_QUERYDRAGICON() \
  {WM_QUERYDRAGICON, 0, 0, 0, AFX_THUNK(return (LRESULT)AFX_THIS->OnQueryDragIcon();)},
#define ON_WM_TIMER() {WM_TIMER, 0, 0, 0, AFX_THUNK(AFX_THIS->OnTimer((UINT_PTR)w); return 0;)},
#define ON_WM_CLOSE() {WM_CLOSE, 0, 0, 0, AFX_THUNK(AFX_THIS->OnClose(); return 0;)},

#define afx_msg

/* ShowWindow commands. */
#define SW_HIDE 0
#define SW_SHOW 5

struct RECT {
  LONG left, top, right, bottom;
};
typedef RECT* LPRECT;

class CRect : public RECT {
 public:
  CRect() : RECT{0, 0, 0, 0} {}
  int Width() const { return (int)(right - left); }
  int Height() const { return (int)(bottom - top); }
};

/* A text buffer for the few places that load resource strings. */
class CString {
 public:
  CString() {}
  CString(const char* p) : s_(p ? p : "") {}
  BOOL LoadString(UINT nID);       // FALSE when the string resource is missing
  BOOL IsEmpty() const { return s_.empty(); }
  int GetLength() const { return (int)s_.size(); }
  operator LPCTSTR() const { return s_.c_str(); }
 private:
  std::string s_;
};

/* Root of everything that has a message map. */
class CCmdTarget {
 public:
  CCmdTarget() {}
  virtual ~CCmdTarget() {}
  CCmdTarget(const CCmdTarget&) = delete;
  CCmdTarget& operator=(const CCmdTarget&) = delete;
  /* Looks the message up in the map chain and calls the handler; TRUE when one ran. */
  BOOL OnMapMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  /* Routes a command (WM_COMMAND with code and id); TRUE when a handler ran. */
  virtual BOOL OnCmdMsg(UINT nID, int nCode);

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();

 public:
  virtual const AFX_MSGMAP* GetMessageMap() const;
};

class CMenu {
 public:
  CMenu() : m_hMenu(nullptr) {}
  HMENU m_hMenu;  // the node whose system menu this is
  /* Appends an item (MF_STRING with a text, or MF_SEPARATOR). FALSE without a menu. */
  BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = nullptr);
  int GetMenuItemCount() const;
};

class CDC {
 public:
  CDC() : m_hDC(nullptr), m_pWnd(nullptr) {}
  virtual ~CDC() {}
  HDC m_hDC;       // stands for the window being painted
  CWnd* m_pWnd;    // that window
  HDC GetSafeHdc() const { return m_hDC; }
  /* Draws an icon at x, y of the window; the window's node records where. */
  BOOL DrawIcon(int x, int y, HICON hIcon);
};

class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* pWnd);
};

class CWnd : public CCmdTarget {
 public:
  CWnd();
  ~CWnd() override;

  HWND m_hWnd;  // the window, NULL when this object has none

  HWND GetSafeHwnd() const { return m_hWnd; }
  /* The object that stands for a window: the attached one, or a plain CWnd. */
  static CWnd* FromHandle(HWND hWnd);
  /* Binds the object to an existing window, which then sends its messages here. */
  BOOL SubclassWindow(HWND hWnd);
  /* Unbinds without destroying the window. */
  HWND UnsubclassWindow();

  /* Destroys the window and its controls (the objects stay, without a window). FALSE when
  ** there is none. */
  virtual BOOL DestroyWindow();
  /* The control with the id, NULL for none; the object stays valid while the window lives. */
  CWnd* GetDlgItem(int nID) const;
  int GetDlgCtrlID() const;
  CWnd* GetParent() const;
  BOOL EnableWindow(BOOL bEnable = TRUE);  // the previous disabled state, as Win32
  BOOL IsWindowEnabled() const;
  BOOL ShowWindow(int nCmdShow);           // whether it was visible
  BOOL IsWindowVisible() const;
  BOOL IsIconic() const;
  /* Text setters draw at once through the front end; getters copy at most nMaxCount - 1
  ** characters and a terminator and return the count copied. */
  void SetWindowText(LPCTSTR lpszString);
  int GetWindowText(LPTSTR lpszStringBuf, int nMaxCount) const;
  std::string GetWindowTextStd() const;
  void GetClientRect(LPRECT lpRect) const;
  /* The window's system menu, NULL when its style has none (or bRevert is set). */
  CMenu* GetSystemMenu(BOOL bRevert);
  HICON SetIcon(HICON hIcon, BOOL bBigIcon);
  /* A box owned by this window (MessageBoxA); the button chosen. */
  int MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption = nullptr, UINT nType = MB_OK);
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer);
  BOOL KillTimer(UINT_PTR nIDEvent);
  CWnd* SetFocus();

  /* The message's way through the object: map, then the default procedure. */
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  /* The default procedure for the message being handled. */
  LRESULT Default();

  afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
  afx_msg void OnPaint();
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnClose();

  MfcNode* node() const { return mfc_node_of(m_hWnd); }

 protected:
  MSG m_msgCur;        // the message WindowProc is working on, for Default
  CMenu m_menuSys;     // wrapper handed out by GetSystemMenu

  static const AFX_MSGMAP* GetThisMessageMap();

 public:
  const AFX_MSGMAP* GetMessageMap() const override;
};

class CButton : public CWnd {};
class CEdit : public CWnd {};
class CStatic : public CWnd {};

class CComboBox : public CWnd {
 public:
  int AddString(LPCTSTR lpszString);      // index of the new entry
  int GetCount() const;
  int GetCurSel() const;                  // -1 for none
  int SetCurSel(int nSelect);             // nSelect, or -1 when out of range (selection cleared)
  int GetLBText(int nIndex, LPTSTR lpszText) const;  // length, -1 for a bad index
};

class CProgressCtrl : public CWnd {
 public:
  void SetRange(short nLower, short nUpper);
  int SetPos(int nPos);                   // the previous position
  int GetPos() const;
};

#define LVCFMT_LEFT 0
#define LVIF_TEXT 0x0001u

class CListCtrl : public CWnd {
 public:
  int InsertColumn(int nCol, LPCTSTR lpszColumnHeading, int nFormat = LVCFMT_LEFT,
                   int nWidth = -1, int nSubItem = -1);  // index or -1
  int GetItemCount() const;
  int InsertItem(int nItem, LPCTSTR lpszItem);          // index or -1
  BOOL SetItem(int nItem, int nSubItem, UINT nMask, LPCTSTR lpszItem, int nImage,
               UINT nState, UINT nStateMask, LPARAM lParam);
  std::string GetItemText(int nItem, int nSubItem) const;
  BOOL EnsureVisible(int nItem, BOOL bPartialOK);
};

/* The default window procedure of the stand-in's windows (controls and dialogs). */
LRESULT mfc_def_window_proc(MfcNode* p, UINT message, WPARAM wParam, LPARAM lParam);
/* The procedure every node is created with: to the attached object, else the default. */
LRESULT mfc_wnd_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

#endif

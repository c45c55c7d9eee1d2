/*
** mfc_node.cpp - the table of window nodes, their setters and the front-end notifications.
** Every setter stores first and tells the front end afterwards, so a front end that draws at
** once (FLTK flushes) always draws the new state.
*/
#include "mfc_node.h"

#include "mfc_dialog.h"
#include "win32_timer.h"

#include <algorithm>
#include <map>

namespace {

std::map<HWND, MfcNode*> g_nodes;     // every live node by window number
std::vector<MfcNode*> g_tops;          // top-level nodes in creation order
MfcFront g_front = {nullptr, nullptr, nullptr, nullptr, nullptr};  // front end, or all NULL
int g_base_x = 6;                      // average character width of the dialog font, pixels
int g_base_y = 13;                     // its line height, pixels

void tell(MfcNode* p, int what) {
  if (g_front.cb_change) g_front.cb_change(g_front.p, p, what);
}

/* Unbinds the objects of one node and forgets its window number. */
void release_one(MfcNode* p) {
  if (p->p_wnd) p->p_wnd->m_hWnd = nullptr;
  if (p->p_wnd_temp) {
    p->p_wnd_temp->m_hWnd = nullptr;
    delete p->p_wnd_temp;
  }
  if (GetFocus() == p->hwnd) SetFocus(nullptr);
  win32_window_destroy(p->hwnd);
  g_nodes.erase(p->hwnd);
  delete p;
}

void release_tree(MfcNode* p) {
  for (MfcNode* c : p->children) release_tree(c);
  release_one(p);
}

}  // namespace

void mfc_front_set(const MfcFront* p_front, MfcFront* p_old) {
  if (p_old) *p_old = g_front;
  if (p_front)
    g_front = *p_front;
  else
    g_front = {nullptr, nullptr, nullptr, nullptr, nullptr};
}

MfcNode* mfc_node_of(HWND hwnd) {
  if (!hwnd) return nullptr;
  auto it = g_nodes.find(hwnd);
  return it == g_nodes.end() ? nullptr : it->second;
}

MfcNode* mfc_node_child(const MfcNode* p_dlg, int id) {
  if (!p_dlg) return nullptr;
  for (MfcNode* c : p_dlg->children)
    if (c->id == id) return c;
  return nullptr;
}

MfcNode* mfc_node_top(MfcNode* p) {
  while (p && p->p_parent) p = p->p_parent;
  return p;
}

std::vector<MfcNode*> mfc_node_tops() { return g_tops; }

MfcNode* mfc_node_create(MfcNode* p_parent, MfcKind kind, int id, const char* p_text,
                         DWORD style) {
  MfcNode* p = new MfcNode{};
  p->hwnd = win32_window_create(mfc_wnd_proc);
  p->p_parent = p_parent;
  p->kind = kind;
  p->id = id;
  p->text = p_text ? p_text : "";
  p->style = style;
  p->enabled = !(style & WS_DISABLED);
  p->visible = (style & WS_VISIBLE) != 0;
  p->cur_sel = -1;
  p->range_hi = 100;
  p->i_visible = -1;
  p->x_icon_drawn = p->y_icon_drawn = -1;
  g_nodes[p->hwnd] = p;
  if (p_parent)
    p_parent->children.push_back(p);
  else
    g_tops.push_back(p);
  return p;
}

void mfc_node_destroy(MfcNode* p) {
  if (!p) return;
  if (!p->p_parent) {
    if (g_front.cb_destroy) g_front.cb_destroy(g_front.p, p);
    std::erase(g_tops, p);
  } else {
    std::erase(p->p_parent->children, p);
  }
  release_tree(p);
}

int mfc_node_set_text(MfcNode* p, const char* p_text) {
  if (!p) return 0;
  std::string t = p_text ? p_text : "";
  if (t == p->text) return 0;
  p->text = t;
  tell(p, MFC_CHANGE_TEXT);
  return 1;
}

int mfc_node_set_enabled(MfcNode* p, bool enabled) {
  if (!p || p->enabled == enabled) return 0;
  p->enabled = enabled;
  tell(p, MFC_CHANGE_STATE);
  return 1;
}

int mfc_node_set_visible(MfcNode* p, bool visible) {
  if (!p || p->visible == visible) return 0;
  p->visible = visible;
  tell(p, MFC_CHANGE_STATE);
  return 1;
}

int mfc_node_set_pos(MfcNode* p, int pos) {
  if (!p) return 0;
  pos = std::clamp(pos, p->range_lo, std::max(p->range_lo, p->range_hi));
  if (pos == p->pos) return 0;
  p->pos = pos;
  tell(p, MFC_CHANGE_POS);
  return 1;
}

int mfc_node_set_cur_sel(MfcNode* p, int i_sel) {
  if (!p) return 0;
  if (i_sel < 0 || i_sel >= (int)p->items.size()) i_sel = -1;
  if (i_sel == p->cur_sel) return 0;
  p->cur_sel = i_sel;
  tell(p, MFC_CHANGE_ITEMS);
  return 1;
}

void mfc_node_changed(MfcNode* p, int what) {
  if (p) tell(p, what);
}

bool mfc_node_takes_input(MfcNode* p) {
  if (!p || !p->enabled || !p->visible) return false;
  MfcNode* top = mfc_node_top(p);
  return top->enabled && top->visible;
}

int mfc_du_to_px_x(int du) { return du * g_base_x / 4; }
int mfc_du_to_px_y(int du) { return du * g_base_y / 8; }

void mfc_base_units_set(int cx, int cy) {
  if (cx > 0) g_base_x = cx;
  if (cy > 0) g_base_y = cy;
}

BOOL mfc_post_click(HWND hwnd_button) { return PostMessageA(hwnd_button, BM_CLICK, 0, 0); }

BOOL mfc_post_key(HWND hwnd, int vk) { return PostMessageA(hwnd, WM_KEYDOWN, (WPARAM)vk, 0); }

int mfc_pump() {
  int n = 0;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!mfc_pre_translate(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    n++;
  }
  return n;
}

UINT_PTR mfc_front_popup_menu(MfcNode* p_dlg, int x, int y) {
  return g_front.cb_popup_menu ? g_front.cb_popup_menu(g_front.p, p_dlg, x, y) : 0;
}

void mfc_front_created(MfcNode* p_dlg) {
  if (g_front.cb_create) g_front.cb_create(g_front.p, p_dlg);
}

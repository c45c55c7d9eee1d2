/*
** msr_part.cpp - coherent partitions. One MsrNode per data record; create_roots() joins
** each node with the first later node (set order) that is not yet in its partition and
** whose record starts where its own ends or ends where its own starts. Instead of scanning
** every later node, it looks the two kinds of neighbour up in two arrays sorted by
** (address, index), so a file of many lines joins in n log n, not n squared, with exactly
** the joins of the plain scan. The chain (p_next) then gives each partition's bytes in
** address order.
*/
#include "msr_part.h"

#include "alloc_seam.h"
#include "std_io.h"
#include "us.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

typedef Us MsrNodeSet;

/* ---------------------------------------------------------------------------------------
** Nodes and the node set
*/

/* New root node for a record: address and byte count from the record. NULL for a NULL
** record or no memory. */
static MsrNode* MsrNode_alloc_from_rec(MsRec* p_rec) {
  if (p_rec == NULL) return NULL;
  MsrNode* p = (MsrNode*)AllocSeam_malloc(sizeof(*p));
  if (p == NULL) return NULL;
  p->p_parent = NULL;
  p->adr = MsRec_get_adr(p_rec);
  p->len = (int32_t)MsRec_get_n_bytes(p_rec);
  p->p_rec = p_rec;
  p->p_next = NULL;
  return p;
}

/* Copy callback of the node set: all five fields copied; NULL for NULL. */
static void* MsrNode_alloc_copy(void* po) {
  if (po == NULL) return NULL;
  MsrNode* p = (MsrNode*)AllocSeam_malloc(sizeof(MsrNode));
  if (p != NULL) *p = *(const MsrNode*)po;
  return p;
}

/* Free callback of the node set: the node only, never its record. */
static void MsrNode_free(void* po) { free(po); }

static MsrNodeSet* MsrNodeSet_alloc(void) {
  return Us_alloc(MsrNode_alloc_copy, MsrNode_free, NULL, NULL, NULL);
}

static MsrNode* node_at(MsrNodeSet* p_node_set, int32_t i) {
  return (MsrNode*)Us_idx_to_ptr(p_node_set, i);
}

/* Appends a node for the record; its index, or -1 (nothing kept). */
static int32_t MsrNodeSet_postfix_val(MsrNodeSet* p_node_set, MsRec* p_rec) {
  if (p_node_set == NULL) return -1;
  MsrNode* p_node = MsrNode_alloc_from_rec(p_rec);
  if (p_node == NULL) return -1;
  int32_t idx = Us_postfix_ptr(p_node_set, p_node);
  if (idx < 0) MsrNode_free(p_node);
  return idx;
}

/* One node per data record of the record set, in set order. 1, or 0 after a line. */
static int create_node_set(MsrNodeSet* p_node_set, MsRecSet* p_rec_set) {
  if (p_node_set == NULL) {
    StdIo_printf(STDIO_ERR("create_node_set") "p_node_set == NULL");
    return 0;
  }
  if (p_rec_set == NULL) {
    StdIo_printf(STDIO_ERR("create_node_set") "p_rec_set == NULL");
    return 0;
  }
  int32_t n_rec = Us_get_n_elem(p_rec_set);
  for (int32_t i = 0; i < n_rec; i++) {
    MsRec* p_rec = MsRecSet_idx_to_ptr(p_rec_set, i);
    if (MsRec_get_tag(p_rec) != MSREC_TAG_DATA) continue;
    if (MsrNodeSet_postfix_val(p_node_set, p_rec) < 0) {
      StdIo_printf(STDIO_ERR("create_node_set") "MsrNodeSet_postfix_val failed");
      return 0;
    }
  }
  return 1;
}

/* ---------------------------------------------------------------------------------------
** Union-find
*/

static uint32_t get_rec_adr(const MsrNode* p) { return p ? MsRec_get_adr(p->p_rec) : 0; }

static uint32_t get_rec_n_bytes(const MsrNode* p) {
  return p ? MsRec_get_n_bytes(p->p_rec) : 0;
}

/* True when a's record ends (unsigned 32-bit) where b's record starts. */
static int is_adjacent(const MsrNode* a, const MsrNode* b) {
  return (uint32_t)(get_rec_adr(a) + get_rec_n_bytes(a)) == get_rec_adr(b);
}

/* The root of x's tree; every node on the way, x included, then points at the root. */
static MsrNode* find_root(MsrNode* x) {
  MsrNode* root = x;
  while (root->p_parent != NULL) root = root->p_parent;
  while (x != root) {
    MsrNode* p_up = x->p_parent;
    x->p_parent = root;
    x = p_up;
  }
  return root;
}

/* Joins b's partition behind a's record (a's record ends where b's starts); the merged
** partition keeps a's root. */
static int link_nodes(MsrNode* a, MsrNode* b) {
  MsrNode* ra = find_root(a);
  MsrNode* rb = find_root(b);
  a->p_next = b;
  rb->p_parent = ra;
  ra->len += rb->len;
  return 1;
}

/* ---------------------------------------------------------------------------------------
** Neighbour look-up: the later nodes that can join node i are those whose record starts
** at i's end or ends at i's start. Both kinds are kept sorted by (address, index).
*/

struct AdrIdx {
  uint32_t adr; /* start or end address of a node's record */
  int32_t idx;  /* the node's index in the node set */
  bool operator<(const AdrIdx& o) const { return adr != o.adr ? adr < o.adr : idx < o.idx; }
};

struct JoinIndex {
  std::vector<AdrIdx> by_start;    /* every node by its record's start address */
  std::vector<AdrIdx> by_end;      /* every node by its record's end address */
  std::vector<int32_t> pos_start;  /* where node i stands in by_start */
  std::vector<int32_t> pos_end;    /* where node i stands in by_end */
};

/* Sorts v (files are mostly in address order, so mostly it is sorted already) and notes
** where each node landed. */
static void sort_and_place(std::vector<AdrIdx>* v, std::vector<int32_t>* p_pos) {
  if (!std::is_sorted(v->begin(), v->end())) std::sort(v->begin(), v->end());
  for (size_t k = 0; k < v->size(); k++) (*p_pos)[(size_t)(*v)[k].idx] = (int32_t)k;
}

static void join_index_build(JoinIndex* p_ix, MsrNodeSet* p_node_set, int32_t n) {
  p_ix->by_start.resize((size_t)n);
  p_ix->by_end.resize((size_t)n);
  p_ix->pos_start.resize((size_t)n);
  p_ix->pos_end.resize((size_t)n);
  for (int32_t i = 0; i < n; i++) {
    const MsrNode* p = node_at(p_node_set, i);
    p_ix->by_start[(size_t)i] = {get_rec_adr(p), i};
    p_ix->by_end[(size_t)i] = {get_rec_adr(p) + get_rec_n_bytes(p), i};
  }
  sort_and_place(&p_ix->by_start, &p_ix->pos_start);
  sort_and_place(&p_ix->by_end, &p_ix->pos_end);
}

/* First entry of v not below key, searched outward from position hint: neighbours in a
** file lie next to each other in the arrays, so this is mostly one or two steps. */
static size_t gallop_lower_bound(const std::vector<AdrIdx>& v, size_t hint, AdrIdx key) {
  size_t lo, hi; /* the answer lies in (lo, hi]: v[lo] < key <= v[hi], ends virtual */
  size_t step = 1;
  if (hint < v.size() && v[hint] < key) {
    lo = hint;
    while (lo + step < v.size() && v[lo + step] < key) lo += step, step *= 2;
    hi = std::min(lo + step, v.size());
    return (size_t)(std::lower_bound(v.begin() + (long)lo + 1, v.begin() + (long)hi, key) -
                    v.begin());
  }
  hi = std::min(hint, v.size());
  while (hi >= step && !(v[hi - step] < key)) hi -= step, step *= 2;
  lo = hi >= step ? hi - step : 0;
  return (size_t)(std::lower_bound(v.begin() + (long)lo, v.begin() + (long)hi, key) - v.begin());
}

/* Walks the entries of one address with an index above a given one, in index order. */
struct Cursor {
  const AdrIdx* p;   /* next entry */
  const AdrIdx* end; /* end of the array */
  uint32_t adr;      /* the address looked for */
};

static Cursor cursor_at(const std::vector<AdrIdx>& v, size_t hint, uint32_t adr,
                        int32_t idx_after) {
  size_t k = gallop_lower_bound(v, hint, AdrIdx{adr, idx_after + 1});
  return Cursor{v.data() + k, v.data() + v.size(), adr};
}

static int32_t cursor_peek(const Cursor& c) {
  return (c.p != c.end && c.p->adr == c.adr) ? c.p->idx : INT32_MAX;
}

/* The next later neighbour of both cursors in index order; INT32_MAX when none is left. */
static int32_t next_candidate(Cursor* c_start, Cursor* c_end) {
  int32_t j_start = cursor_peek(*c_start);
  int32_t j_end = cursor_peek(*c_end);
  int32_t j = std::min(j_start, j_end);
  if (j == INT32_MAX) return j;
  if (j_start == j) c_start->p++;
  if (j_end == j) c_end->p++;
  return j;
}

/* Joins node i with its first later neighbour that is not yet in its partition. */
static void join_first_neighbour(MsrNodeSet* p_node_set, const JoinIndex& ix, int32_t i) {
  MsrNode* p_i = node_at(p_node_set, i);
  MsrNode* r = find_root(p_i);
  Cursor c_start = cursor_at(ix.by_start, (size_t)ix.pos_start[(size_t)i] + 1,
                             get_rec_adr(p_i) + get_rec_n_bytes(p_i), i);
  Cursor c_end = cursor_at(ix.by_end, (size_t)ix.pos_end[(size_t)i], get_rec_adr(p_i), i);
  for (int32_t j = next_candidate(&c_start, &c_end); j != INT32_MAX;
       j = next_candidate(&c_start, &c_end)) {
    MsrNode* p_j = node_at(p_node_set, j);
    if (find_root(p_j) == r) continue;
    if (is_adjacent(p_i, p_j)) {
      link_nodes(p_i, p_j);
      return;
    }
    if (is_adjacent(p_j, p_i)) {
      link_nodes(p_j, p_i);
      return;
    }
  }
}

/* Every node, in set order, joins at most one later node. 1, or 0 after a line. */
static int create_roots(MsrNodeSet* p_node_set) {
  if (p_node_set == NULL) {
    StdIo_printf(STDIO_ERR("create_roots") "p_node_set == NULL");
    return 0;
  }
  int32_t n = Us_get_n_elem(p_node_set);
  try {
    JoinIndex ix;
    join_index_build(&ix, p_node_set, n);
    for (int32_t i = 0; i < n; i++) join_first_neighbour(p_node_set, ix, i);
  } catch (const std::bad_alloc&) {
    StdIo_printf(STDIO_ERR("create_roots") "no memory for the index of %d nodes\n", (int)n);
    return 0;
  }
  return 1;
}

/* ---------------------------------------------------------------------------------------
** Partitions to records
*/

static uint32_t copy_bytes(uint8_t* p_dst, const uint8_t* p_src, uint32_t n) {
  for (uint32_t i = 0; i < n; i++) p_dst[i] = p_src[i];
  return n;
}

/* Copies the bytes of the root's chain into p_rec (root->len bytes). 1 when the chain
** covers exactly that many, else 0 after a line; never writes past the record. */
static int collect_byte_data_of_root(MsRec* p_rec, const MsrNode* p_root) {
  if (p_rec == NULL) {
    StdIo_printf(STDIO_ERR("collect_byte_data_of_root") "p_rec == NULL");
    return 0;
  }
  if (p_root == NULL) {
    StdIo_printf(STDIO_ERR("collect_byte_data_of_root") "p_root == NULL");
    return 0;
  }
  uint8_t* p_bytes = MsRec_get_p_bytes(p_rec);
  uint32_t m_bytes = (uint32_t)p_root->len;
  uint32_t i_bytes = 0;
  for (const MsrNode* p = p_root; p != NULL; p = p->p_next) {
    uint32_t n = get_rec_n_bytes(p);
    if (n > m_bytes - i_bytes) break; /* cannot happen with a sound chain */
    i_bytes += copy_bytes(p_bytes + i_bytes, MsRec_get_p_bytes(p->p_rec), n);
  }
  if (i_bytes != m_bytes) {
    StdIo_printf(STDIO_ERR("collect_byte_data_of_root") "root(adr=%08x len=%d) i_bytes=%d",
                 (unsigned)p_root->adr, (int)p_root->len, (int)i_bytes);
    return 0;
  }
  return 1;
}

/* Makes the record of one root's partition and appends a copy to p_dst. 1, or 0 after a
** line; the temporary record is released on every path. */
static int build_record_of_root(MsRecSet* p_dst, const MsrNode* p_root) {
  MsRec* p_rec = MsRec_alloc_val(MSREC_TAG_DATA, p_root->adr, (uint32_t)p_root->len, NULL);
  if (p_rec == NULL) {
    StdIo_printf(STDIO_ERR("build_records_from_roots") "MsRec_alloc_val failed "
                 "(adr=%08x len=%d)\n", (unsigned)p_root->adr, (int)p_root->len);
    return 0;
  }
  int ok = 0;
  if (!collect_byte_data_of_root(p_rec, p_root)) {
    StdIo_printf(STDIO_ERR("build_records_from_roots") "collect_byte_data_of_root failed");
  } else if (MsRecSet_postfix_copy(p_dst, p_rec) < 0) {
    StdIo_printf(STDIO_ERR("build_records_from_roots") "MsRecSet_postfix_copy failed");
  } else {
    ok = 1;
  }
  MsRec_free(p_rec);
  return ok;
}

/* One record per root, in node-set order. 1, or 0 at the first failure. */
static int build_records_from_roots(MsRecSet* p_dst, MsrNodeSet* p_node_set) {
  int32_t total = 0;
  int32_t n = Us_get_n_elem(p_node_set);
  for (int32_t i = 0; i < n; i++) {
    const MsrNode* p_node = node_at(p_node_set, i);
    if (p_node->p_parent != NULL) continue;
    if (!build_record_of_root(p_dst, p_node)) return 0;
    total += p_node->len;
  }
  StdIo_printf("totally %d bytes to be transferred\n", (int)total);
  return 1;
}

/* ---------------------------------------------------------------------------------------
** The public step
*/

static int create_partitions(MsRecSet* p_dst, MsRecSet* p_src, MsrNodeSet* p_node_set) {
  const char* p_failed = NULL;
  if (p_dst == NULL) p_failed = "p_dst == NULL";
  else if (p_src == NULL) p_failed = "p_src == NULL";
  else if (p_node_set == NULL) p_failed = "p_node_set == NULL";
  else if (!create_node_set(p_node_set, p_src)) p_failed = "! create_node_set (p_node_set, p_src)";
  else if (!create_roots(p_node_set)) p_failed = "! create_roots (p_node_set)";
  else if (!build_records_from_roots(p_dst, p_node_set))
    p_failed = "! build_records_from_roots (p_dst, p_node_set)";
  if (p_failed == NULL) return 1;
  StdIo_printf(STDIO_ERR("MsrPart_create_coherent_partitions") "%s", p_failed);
  return 0;
}

int MsrPart_create_coherent_partitions(MsRecSet* p_dst, MsRecSet* p_src) {
  MsrNodeSet* p_node_set = MsrNodeSet_alloc();
  int ok = create_partitions(p_dst, p_src, p_node_set);
  Us_free(p_node_set);
  return ok;
}

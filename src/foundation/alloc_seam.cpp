/*
** alloc_seam.cpp - malloc behind a per-thread failure mask for tests. The state is
** thread-local so that a test arming it never disturbs another thread's allocations.
*/
#include "alloc_seam.h"

#include <cstdlib>

static thread_local uint32_t fail_mask = 0;  // bit k: fail call k (0-based) after arming
static thread_local int n_calls = 0;         // calls since arming

void* AllocSeam_malloc(size_t n) {
  int k = n_calls;
  if (n_calls < 1000000) n_calls++;  // only the first 32 matter; stop before overflow
  if (k < 32 && (fail_mask >> k) & 1u) return nullptr;
  return malloc(n);
}

void AllocSeam_fail_mask(uint32_t mask) {
  fail_mask = mask;
  n_calls = 0;
}

int AllocSeam_get_n_calls(void) { return n_calls; }

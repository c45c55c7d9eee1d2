/*
** alloc_seam.h - the one heap allocation of the container and image-model modules, with a
** test seam. Code that must log a failed allocation takes its memory here, so that a test
** can make chosen allocations fail and check the lines and the cleanup. In normal use the
** seam is idle and AllocSeam_malloc is malloc (release with free).
*/
#ifndef ZENT_ALLOC_SEAM_H
#define ZENT_ALLOC_SEAM_H

#include <cstddef>
#include <cstdint>

/* malloc(n), unless the seam makes this call fail: then NULL. Release with free(). */
void* AllocSeam_malloc(size_t n);

/* Test seam, per thread: bit k of mask set makes the (k+1)-th AllocSeam_malloc from now
** fail; 0 disarms. Also restarts the call counter. */
void AllocSeam_fail_mask(uint32_t mask);

/* Number of AllocSeam_malloc calls on this thread since the last AllocSeam_fail_mask. */
int AllocSeam_get_n_calls(void);

#endif

/* The allocator check of the C host (host_heap.c): the number of failures. */
#ifndef KESTRUM_TEST_HOST_HEAP_H
#define KESTRUM_TEST_HOST_HEAP_H
int host_heap_failures(void);
/* Creates a tile and takes its name, frees neither and returns 0. */
int host_leaks(void);
#endif

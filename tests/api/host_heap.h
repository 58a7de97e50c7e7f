/* The allocator check of the C host (host_heap.c): the number of failures. */
#ifndef KESTRUM_TEST_HOST_HEAP_H
#define KESTRUM_TEST_HOST_HEAP_H
int host_heap_failures(void);
#endif

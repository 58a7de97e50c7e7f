// The C++ allocations of the whole process (the test, libkestrum, the
// toolkit, the tool's code) go through these replacements, which ask the
// toolkit's allocation-fault counter first: with a fault armed, the Nth
// allocation of any kind, a toolkit block or a C++ object, is the one that
// fails. Every form of new is replaced together with every form of delete,
// so that a block always goes back to the allocator that made it (the
// sanitizers check the pairing).
#include <cstdlib>
#include <new>

#include "toolkit.h"

namespace {

void *allocate(std::size_t size) noexcept {
  if (tk_FaultNextAllocation()) return nullptr;
  return std::malloc(size ? size : 1);
}

void *allocate_aligned(std::size_t size, std::align_val_t alignment) noexcept {
  if (tk_FaultNextAllocation()) return nullptr;
  auto align = static_cast<std::size_t>(alignment);
  if (align < sizeof(void *)) align = sizeof(void *);
  void *block = nullptr;
  return posix_memalign(&block, align, size ? size : 1) == 0 ? block : nullptr;
}

}  // namespace

void *operator new(std::size_t size) {
  if (void *block = allocate(size)) return block;
  throw std::bad_alloc();
}
void *operator new[](std::size_t size) {
  if (void *block = allocate(size)) return block;
  throw std::bad_alloc();
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept { return allocate(size); }
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return allocate(size); }
void *operator new(std::size_t size, std::align_val_t alignment) {
  if (void *block = allocate_aligned(size, alignment)) return block;
  throw std::bad_alloc();
}
void *operator new[](std::size_t size, std::align_val_t alignment) {
  if (void *block = allocate_aligned(size, alignment)) return block;
  throw std::bad_alloc();
}
void *operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t &) noexcept {
  return allocate_aligned(size, alignment);
}
void *operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t &) noexcept {
  return allocate_aligned(size, alignment);
}

void operator delete(void *block) noexcept { std::free(block); }
void operator delete[](void *block) noexcept { std::free(block); }
void operator delete(void *block, std::size_t) noexcept { std::free(block); }
void operator delete[](void *block, std::size_t) noexcept { std::free(block); }
void operator delete(void *block, const std::nothrow_t &) noexcept { std::free(block); }
void operator delete[](void *block, const std::nothrow_t &) noexcept { std::free(block); }
void operator delete(void *block, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void *block, std::align_val_t) noexcept { std::free(block); }
void operator delete(void *block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void *block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete(void *block, std::align_val_t, const std::nothrow_t &) noexcept { std::free(block); }
void operator delete[](void *block, std::align_val_t, const std::nothrow_t &) noexcept { std::free(block); }

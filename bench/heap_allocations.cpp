#include "bench/heap_allocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long long> heap_allocations{0};
}

long long HeapAllocations() { return heap_allocations.load(std::memory_order_relaxed); }

// In a file of their own, so that no caller sees the pairing of new and free.
void* operator new(std::size_t bytes) {
  heap_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

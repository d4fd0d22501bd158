#include "host/engine_memory.h"

#include <cstdint>
#include <new>

#include "host/api.h"

namespace engine_memory {

void* Malloc(std::size_t bytes) {
  using MallocFn = void* (*)(std::size_t, uint32_t);
  void* block = reinterpret_cast<MallocFn>(GetAddress("FMemory.Malloc"))(bytes, 0);
  if (block == nullptr && bytes != 0) throw std::bad_alloc();
  return block;
}

void* Realloc(void* block, std::size_t bytes) {
  using ReallocFn = void* (*)(void*, std::size_t);
  void* grown = reinterpret_cast<ReallocFn>(GetAddress("FMemory.Realloc"))(block, bytes);
  if (grown == nullptr && bytes != 0) throw std::bad_alloc();
  return grown;
}

void Free(void* block) {
  using FreeFn = void (*)(void*);
  reinterpret_cast<FreeFn>(GetAddress("FMemory.Free"))(block);
}

int GrownCapacity(int current_capacity, int needed) {
  if (current_capacity == 0 && needed <= 4) return 4;
  return needed + 3 * needed / 8 + 16;
}

}  // namespace engine_memory

#include "host/engine_memory.h"

#include <cstdint>
#include <new>

#include "host/api.h"
#include "host/game_functions.h"

namespace engine_memory {

void* Malloc(std::size_t bytes) {
  void* block = game::Call<game_abi::Malloc>(bytes, 0);
  if (block == nullptr && bytes != 0) throw std::bad_alloc();
  return block;
}

void* Realloc(void* block, std::size_t bytes) {
  void* grown = game::Call<game_abi::Realloc>(block, bytes);
  if (grown == nullptr && bytes != 0) throw std::bad_alloc();
  return grown;
}

void Free(void* block) { game::Call<game_abi::Free>(block); }

int GrownCapacity(int current_capacity, int needed) {
  if (current_capacity == 0 && needed <= 4) return 4;
  return needed + 3 * needed / 8 + 16;
}

}  // namespace engine_memory

#pragma once

// The engine allocator, reached by name at every call. Engine strings and arrays change hands
// between the plug-in and the game, so both sides must take and give back their storage here.

#include <cstddef>

namespace engine_memory {

// Throws std::bad_alloc when the engine has no memory to give, like operator new.
void* Malloc(std::size_t bytes);
void* Realloc(void* block, std::size_t bytes);
void Free(void* block);

// The engine's slack rule for a dynamic array that must hold `needed` elements.
int GrownCapacity(int current_capacity, int needed);

}  // namespace engine_memory

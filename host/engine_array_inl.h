#pragma once

// Member functions of EngineArray, kept apart so that engine_types.h reads as a list of layouts.

#include "host/engine_memory.h"

template <typename T>
EngineArray<T>::~EngineArray() {
  if (Data != nullptr) engine_memory::Free(Data);
}

template <typename T>
void EngineArray<T>::Add(const T& item) {
  const int32_t needed = ArrayNum + 1;
  if (needed > ArrayMax) {
    const int32_t capacity = engine_memory::GrownCapacity(ArrayMax, needed);
    void* grown = Data == nullptr ? engine_memory::Malloc(sizeof(T) * capacity)
                                  : engine_memory::Realloc(Data, sizeof(T) * capacity);
    Data = static_cast<T*>(grown);
    ArrayMax = capacity;
  }
  Data[ArrayNum] = item;
  ArrayNum = needed;
}

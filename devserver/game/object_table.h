#pragma once

// Object slots with serial numbers, behind weak references: a weak reference names a slot and the
// serial number the slot had; once the object leaves (its slot is freed and may be reused with a
// new serial number) the reference resolves to null.

#include <cstdint>
#include <vector>

#include "devserver/game/game_objects.h"
#include "host/engine_types.h"

namespace devserver {

class ObjectTable {
 public:
  void Register(ObjectRecord& object);
  // The object becomes unreachable through weak references; its record stays with its owner.
  void Unregister(ObjectRecord& object);

  void SetWeak(FWeakObjectPtr& weak, const ObjectRecord* object) const;
  ObjectRecord* Resolve(const FWeakObjectPtr& weak) const;

 private:
  struct Slot {
    ObjectRecord* object = nullptr;
    int32_t serial = 0;
  };
  std::vector<Slot> slots_;
  std::vector<int32_t> free_slots_;  // reused last-freed first, so stale references meet newcomers
  int32_t next_serial_ = 1;          // 0 means "no serial": a default weak reference is null
};

}  // namespace devserver

#include "devserver/game/object_table.h"

namespace devserver {

void ObjectTable::Register(ObjectRecord& object) {
  int32_t index;
  if (!free_slots_.empty()) {
    index = free_slots_.back();
    free_slots_.pop_back();
  } else {
    index = static_cast<int32_t>(slots_.size());
    slots_.emplace_back();
  }
  slots_[index] = {&object, next_serial_++};
  object.index = index;
  object.serial = slots_[index].serial;
}

void ObjectTable::Unregister(ObjectRecord& object) {
  if (object.index < 0) return;
  slots_[object.index] = {};
  free_slots_.push_back(object.index);
  object.index = -1;
}

void ObjectTable::SetWeak(FWeakObjectPtr& weak, const ObjectRecord* object) const {
  if (object == nullptr || object->index < 0) {
    weak = {};
    return;
  }
  weak.ObjectIndex = object->index;
  weak.ObjectSerialNumber = object->serial;
}

ObjectRecord* ObjectTable::Resolve(const FWeakObjectPtr& weak) const {
  if (weak.ObjectSerialNumber == 0 || weak.ObjectIndex < 0 ||
      weak.ObjectIndex >= static_cast<int32_t>(slots_.size())) {
    return nullptr;
  }
  const Slot& slot = slots_[weak.ObjectIndex];
  return slot.serial == weak.ObjectSerialNumber ? slot.object : nullptr;
}

}  // namespace devserver

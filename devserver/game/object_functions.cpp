// The game's own functions on objects, classes, names and weak references.

#include <string>
#include <utility>

#include "devserver/fatal.h"
#include "devserver/game/engine_allocator.h"
#include "devserver/game/game_own_functions.h"
#include "devserver/server_state.h"

namespace devserver::own {

void NameInit(FName* out, const char* text, int number, int find_type, bool split_name,
              int hardcode_index) {
  const engine_allocator::GameAllocationScope own_memory;
  Server& server = RunningServer("FName.Init");
  if (out == nullptr) ProgrammingError("FName.Init: null out name");
  // 0: find only, 1: add. Hard-coded indices belong to the engine's own names.
  if (find_type != 0 && find_type != 1) {
    ProgrammingError("FName.Init: find type " + std::to_string(find_type) + " is not simulated");
  }
  if (hardcode_index != -1) ProgrammingError("FName.Init: hard-coded index given");
  *out = text == nullptr ? FName{} : server.names.Make(text, number, find_type == 1, split_name);
}

void ClassToStringReference(FString* out, UClass* cls) {
  RunningServer("UVictoryCore.ClassToStringReference");
  if (out == nullptr) ProgrammingError("UVictoryCore.ClassToStringReference: null out string");
  const engine_allocator::GameAllocationScope own_memory;
  FString reference;
  if (cls != nullptr) {
    reference.AppendUnits(AsClass(cls, "UVictoryCore.ClassToStringReference").reference_units);
  }
  *out = std::move(reference);
}

bool IsA(UObject* object, UClass* cls) {
  const ObjectRecord& record = AsObject(object, "UObjectBaseUtility.IsA");
  if (cls == nullptr) return false;
  return ClassRegistry::IsA(record, &AsClass(cls, "UObjectBaseUtility.IsA"));
}

void WeakAssign(FWeakObjectPtr* weak, UObject* object) {
  const engine_allocator::GameAllocationScope own_memory;
  Server& server = RunningServer("FWeakObjectPtr.operator=");
  if (weak == nullptr) ProgrammingError("FWeakObjectPtr.operator=: null weak reference");
  server.objects.SetWeak(
      *weak, object == nullptr ? nullptr : &AsObject(object, "FWeakObjectPtr.operator="));
}

// Objects that left the world are gone from the object table, so the flag changes nothing here.
UObject* WeakGet(const FWeakObjectPtr* weak, bool) {
  Server& server = RunningServer("FWeakObjectPtr.Get");
  if (weak == nullptr) ProgrammingError("FWeakObjectPtr.Get: null weak reference");
  return AsEngine<UObject>(server.objects.Resolve(*weak));
}

}  // namespace devserver::own

#pragma once

// What the plug-in assumes about the game server: every game function it calls or detours and
// every field it reads, by host name, with the signature it uses. The plug-in's own calls
// (host/game_functions.h, host/engine_memory.cpp) and detours (plugin/registrations.cpp) take their
// names and signatures from here, and `kestrovar doctor` holds the same table against the game's
// program database, so the two cannot drift apart.
//
// Signatures are the plug-in's: a member function's object comes first, and a function that
// returns a class by value is called with the address of the result first (the x64 Microsoft
// calling convention passes it so).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "host/engine_types.h"

namespace game_abi {

enum class Use : std::uint8_t { kCalled, kDetoured, kField };

// How the plug-in's first parameters stand for the game function's own.
enum class Shape : std::uint8_t {
  kMember,       // the first parameter is the object
  kStatic,       // every parameter is the function's own
  kResultFirst,  // a static function returning a class: the first parameter is where it goes
};

// A value as the machine passes, returns or stores it.
enum class Kind : std::uint8_t {
  kVoid,
  kBool,
  kInteger,
  kFloatingPoint,
  kPointer,      // also a pointer-sized class handle (TSubclassOf)
  kStruct,       // a class by value
  kEngineArray,  // the engine's array: a data pointer and two int32 (fields only)
};

struct Value {
  Kind kind = Kind::kVoid;
  std::uint8_t size = 0;  // bytes; for kEngineArray the element's
  bool is_signed = false;
  // The game's type as a message spells it; for kPointer spelt from a pointer type, the type
  // pointed to ("AActor", spelt "AActor*").
  const char* type = "void";
  bool spelt_as_pointer = false;
  bool const_target = false;  // spelt "const T*"
};

// The game's names of the types the plug-in passes. A type without one does not compile into a
// signature here.
template <typename T>
inline constexpr const char* kTypeName = nullptr;
template <>
inline constexpr const char* kTypeName<void> = "void";
template <>
inline constexpr const char* kTypeName<char> = "char";
template <>
inline constexpr const char* kTypeName<UObject> = "UObject";
template <>
inline constexpr const char* kTypeName<UClass> = "UClass";
template <>
inline constexpr const char* kTypeName<UWorld> = "UWorld";
template <>
inline constexpr const char* kTypeName<AActor> = "AActor";
template <>
inline constexpr const char* kTypeName<AController> = "AController";
template <>
inline constexpr const char* kTypeName<AShooterPlayerController> = "AShooterPlayerController";
template <>
inline constexpr const char* kTypeName<APrimalCharacter> = "APrimalCharacter";
template <>
inline constexpr const char* kTypeName<APrimalDinoCharacter> = "APrimalDinoCharacter";
template <>
inline constexpr const char* kTypeName<ANPCZoneManager> = "ANPCZoneManager";
template <>
inline constexpr const char* kTypeName<AShooterGameMode> = "AShooterGameMode";
template <>
inline constexpr const char* kTypeName<UShooterCheatManager> = "UShooterCheatManager";
template <>
inline constexpr const char* kTypeName<UPrimalCharacterStatusComponent> =
    "UPrimalCharacterStatusComponent";
template <>
inline constexpr const char* kTypeName<RCONClientConnection> = "RCONClientConnection";
template <>
inline constexpr const char* kTypeName<FDamageEvent> = "FDamageEvent";
template <>
inline constexpr const char* kTypeName<FString> = "FString";
template <>
inline constexpr const char* kTypeName<FName> = "FName";
template <>
inline constexpr const char* kTypeName<FVector> = "FVector";
template <>
inline constexpr const char* kTypeName<FLinearColor> = "FLinearColor";
template <>
inline constexpr const char* kTypeName<FWeakObjectPtr> = "FWeakObjectPtr";
template <>
inline constexpr const char* kTypeName<EngineArray<AActor*>> = "TArray<AActor*>";
template <>
inline constexpr const char* kTypeName<EngineArray<FName>> = "TArray<FName>";
template <>
inline constexpr const char* kTypeName<TSubclassOf<APrimalDinoCharacter>> =
    "TSubclassOf<APrimalDinoCharacter>";
template <>
inline constexpr const char* kTypeName<TSubclassOf<UPrimalColorSet>> =
    "TSubclassOf<UPrimalColorSet>";

template <typename T>
struct IsSubclassOf : std::false_type {};
template <typename T>
struct IsSubclassOf<TSubclassOf<T>> : std::true_type {};
template <typename T>
struct IsEngineArray : std::false_type {};
template <typename T>
struct IsEngineArray<EngineArray<T>> : std::true_type {
  static constexpr std::size_t kElementSize = sizeof(T);
};

constexpr const char* IntegerName(std::size_t size, bool is_signed) {
  switch (size) {
    case 1:
      return is_signed ? "signed char" : "unsigned char";
    case 2:
      return is_signed ? "short" : "unsigned short";
    case 4:
      return is_signed ? "int" : "unsigned int";
    default:
      return is_signed ? "__int64" : "unsigned __int64";
  }
}

// The machine's view of a C++ type of the plug-in's.
template <typename T>
constexpr Value ValueOf() {
  if constexpr (std::is_void_v<T>) {
    return Value{};
  } else if constexpr (std::is_same_v<T, bool>) {
    return Value{Kind::kBool, 1, false, "bool"};
  } else if constexpr (std::is_integral_v<T>) {
    return Value{Kind::kInteger, sizeof(T), std::is_signed_v<T>,
                 IntegerName(sizeof(T), std::is_signed_v<T>)};
  } else if constexpr (std::is_floating_point_v<T>) {
    return Value{Kind::kFloatingPoint, sizeof(T), true, sizeof(T) == 4 ? "float" : "double"};
  } else if constexpr (std::is_pointer_v<T>) {
    using Target = std::remove_cv_t<std::remove_pointer_t<T>>;
    static_assert(kTypeName<Target> != nullptr, "give the type its game name in kTypeName");
    return Value{Kind::kPointer,    sizeof(T), false,
                 kTypeName<Target>, true,      std::is_const_v<std::remove_pointer_t<T>>};
  } else {
    static_assert(kTypeName<T> != nullptr, "give the type its game name in kTypeName");
    if constexpr (IsSubclassOf<T>::value) {
      static_assert(sizeof(T) == sizeof(void*));
      return Value{Kind::kPointer, sizeof(T), false, kTypeName<T>};
    } else if constexpr (IsEngineArray<T>::value) {
      return Value{Kind::kEngineArray, IsEngineArray<T>::kElementSize, false, kTypeName<T>};
    } else {
      return Value{Kind::kStruct, sizeof(T), false, kTypeName<T>};
    }
  }
}

template <typename Signature>
struct Lowered;
template <typename Result, typename... Params>
struct Lowered<Result(Params...)> {
  static constexpr Value kResult = ValueOf<Result>();
  static constexpr std::array<Value, sizeof...(Params)> kParameters = {ValueOf<Params>()...};
};

// --- The entries -------------------------------------------------------------------------------
// One type per game name: its host name, signature (or a field's type) and what the plug-in uses
// it for, which a finding names.

template <typename Sig, Shape kShapeOf, bool kResultReadOf>
struct Called {
  using Signature = Sig;
  static constexpr Use kUse = Use::kCalled;
  static constexpr Shape kShape = kShapeOf;
  static constexpr bool kResultRead = kResultReadOf;
};

template <typename Sig>
struct Detoured {
  using Signature = Sig;
  static constexpr Use kUse = Use::kDetoured;
  static constexpr Shape kShape = Shape::kMember;
  static constexpr bool kResultRead = true;  // the detour returns what the game's caller reads
};

template <typename T>
struct FieldOf {
  using Type = T;
  using Signature = T();
  static constexpr Use kUse = Use::kField;
  static constexpr Shape kShape = Shape::kMember;
  static constexpr bool kResultRead = true;
};

constexpr bool kRead = true;
constexpr bool kIgnored = false;

struct Malloc : Called<void*(std::size_t, std::uint32_t), Shape::kStatic, kRead> {
  static constexpr std::string_view kName = "FMemory.Malloc";
  static constexpr const char* kPurpose = "every engine string and array the plug-in makes";
};
struct Realloc : Called<void*(void*, std::size_t), Shape::kStatic, kRead> {
  static constexpr std::string_view kName = "FMemory.Realloc";
  static constexpr const char* kPurpose = "every engine string and array the plug-in grows";
};
struct Free : Called<void(void*), Shape::kStatic, kIgnored> {
  static constexpr std::string_view kName = "FMemory.Free";
  static constexpr const char* kPurpose = "every engine string and array the plug-in lets go";
};
struct NameInit
    : Called<void(FName*, const char*, int32_t, int32_t, bool, int32_t), Shape::kMember, kIgnored> {
  static constexpr std::string_view kName = "FName.Init";
  static constexpr const char* kPurpose = "the plug-in's tags on the creatures it counts";
};
struct ClassToStringReference : Called<void(FString*, UClass*), Shape::kResultFirst, kIgnored> {
  static constexpr std::string_view kName = "UVictoryCore.ClassToStringReference";
  static constexpr const char* kPurpose = "every spawn's class key";
};
struct ActorHasTag : Called<bool(AActor*, FName), Shape::kMember, kRead> {
  static constexpr std::string_view kName = "AActor.ActorHasTag";
  static constexpr const char* kPurpose = "every death and removal of a creature";
};
struct SetWeak : Called<void(FWeakObjectPtr*, UObject*), Shape::kMember, kIgnored> {
  static constexpr std::string_view kName = "FWeakObjectPtr.operator=";
  static constexpr const char* kPurpose = "every creature the plug-in removes over its limit";
};
struct ResolveWeak : Called<UObject*(const FWeakObjectPtr*, bool), Shape::kMember, kRead> {
  static constexpr std::string_view kName = "FWeakObjectPtr.Get";
  static constexpr const char* kPurpose = "every creature the plug-in removes over its limit";
};
struct StatusComponent
    : Called<UPrimalCharacterStatusComponent*(APrimalCharacter*), Shape::kMember, kRead> {
  static constexpr std::string_view kName = "APrimalCharacter.GetCharacterStatusComponent";
  static constexpr const char* kPurpose = "every spawn that has room, to read its level";
};
struct CharacterLevel : Called<int32_t(UPrimalCharacterStatusComponent*), Shape::kMember, kRead> {
  static constexpr std::string_view kName = "UPrimalCharacterStatusComponent.GetCharacterLevel";
  static constexpr const char* kPurpose = "every spawn that has room, to read its level";
};
struct Destroy : Called<bool(AActor*, bool, bool), Shape::kMember, kIgnored> {
  static constexpr std::string_view kName = "AActor.Destroy";
  static constexpr const char* kPurpose = "every creature the plug-in removes over its limit";
};
struct GetAllActorsOfClass
    : Called<void(UWorld*, UClass*, EngineArray<AActor*>*), Shape::kStatic, kIgnored> {
  static constexpr std::string_view kName = "UGameplayStatics.GetAllActorsOfClass";
  static constexpr const char* kPurpose = "the start-up sweep and every census";
};
struct IsA : Called<bool(UObject*, UClass*), Shape::kMember, kRead> {
  static constexpr std::string_view kName = "UObjectBaseUtility.IsA";
  static constexpr const char* kPurpose = "the start-up sweep and every census";
};
struct DinoStaticClass : Called<UClass*(), Shape::kStatic, kRead> {
  static constexpr std::string_view kName = "APrimalDinoCharacter.GetPrivateStaticClass";
  static constexpr const char* kPurpose = "the start-up sweep and every census";
};
struct IsTamed : Called<bool(APrimalDinoCharacter*), Shape::kMember, kRead> {
  static constexpr std::string_view kName = "APrimalDinoCharacter.BPIsTamed";
  static constexpr const char* kPurpose = "the start-up sweep, every census and every death";
};
struct ChatDirectMessage : Called<void(AShooterPlayerController*, FString*, FLinearColor, bool),
                                  Shape::kMember, kIgnored> {
  static constexpr std::string_view kName =
      "AShooterPlayerController.ClientServerChatDirectMessage";
  static constexpr const char* kPurpose = "every console command's answer";
};
struct SendRconMessage
    : Called<void(RCONClientConnection*, int32_t, int32_t, FString*), Shape::kMember, kIgnored> {
  static constexpr std::string_view kName = "RCONClientConnection.SendMessageW";
  static constexpr const char* kPurpose = "every RCON command's answer";
};

struct InitGame : Detoured<void(AShooterGameMode*, FString* map_name, FString* options,
                                FString* error_message)> {
  static constexpr std::string_view kName = "AShooterGameMode.InitGame";
  static constexpr const char* kPurpose = "start of the game mode, at the server's start";
};
struct Die : Detoured<bool(APrimalDinoCharacter*, float killing_damage, FDamageEvent* damage_event,
                           AController* killer, AActor* damage_causer)> {
  static constexpr std::string_view kName = "APrimalDinoCharacter.Die";
  static constexpr const char* kPurpose = "creature's death";
};
struct Destroyed : Detoured<void(APrimalDinoCharacter*)> {
  static constexpr std::string_view kName = "APrimalDinoCharacter.Destroyed";
  static constexpr const char* kPurpose = "creature's removal";
};
struct DestroyWildDinos : Detoured<void(UShooterCheatManager*)> {
  static constexpr std::string_view kName = "UShooterCheatManager.DestroyWildDinos";
  static constexpr const char* kPurpose = "use of the cheat that destroys the wild creatures";
};
struct SpawnNPC
    : Detoured<APrimalDinoCharacter*(ANPCZoneManager*, TSubclassOf<APrimalDinoCharacter> dino_class,
                                     FVector location, bool, int32_t, float, bool, float, float,
                                     float, float, TSubclassOf<UPrimalColorSet> colour_set)> {
  static constexpr std::string_view kName = "ANPCZoneManager.SpawnNPC";
  static constexpr const char* kPurpose = "spawn";
};

struct ObjectClass : FieldOf<UClass*> {
  static constexpr std::string_view kName = "UObjectBase.Class";
  static constexpr const char* kPurpose =
      "every spawn, death and census, to tell a creature's class";
};
struct TargetingTeam : FieldOf<int32_t> {
  static constexpr std::string_view kName = "AActor.TargetingTeam";
  static constexpr const char* kPurpose =
      "every census and death, to tell whether a creature is wild";
};
struct Tags : FieldOf<EngineArray<FName>> {
  static constexpr std::string_view kName = "AActor.Tags";
  static constexpr const char* kPurpose = "the marks the plug-in sets on the creatures it counts";
};

// --- The table ---------------------------------------------------------------------------------

struct Entry {
  std::string_view host_name;  // "Class.Member"
  Use use;
  Shape shape;
  bool result_read;
  Value result;  // a field's type for kField
  const Value* parameters;
  std::size_t parameter_count;
  // Calls: what the plug-in uses it for. Detours: the event that runs through the detour, as in
  // "every spawn", "the first spawn".
  const char* purpose;

  constexpr std::string_view ClassName() const { return host_name.substr(0, host_name.find('.')); }
  constexpr std::string_view MemberName() const {
    return host_name.substr(host_name.find('.') + 1);
  }
};

template <typename E>
constexpr Entry EntryOf() {
  using L = Lowered<typename E::Signature>;
  return Entry{E::kName,
               E::kUse,
               E::kShape,
               E::kResultRead,
               L::kResult,
               L::kParameters.data(),
               L::kParameters.size(),
               E::kPurpose};
}

inline constexpr Entry kEntries[] = {
    EntryOf<Malloc>(),
    EntryOf<Realloc>(),
    EntryOf<Free>(),
    EntryOf<NameInit>(),
    EntryOf<ClassToStringReference>(),
    EntryOf<ActorHasTag>(),
    EntryOf<SetWeak>(),
    EntryOf<ResolveWeak>(),
    EntryOf<StatusComponent>(),
    EntryOf<CharacterLevel>(),
    EntryOf<Destroy>(),
    EntryOf<GetAllActorsOfClass>(),
    EntryOf<IsA>(),
    EntryOf<DinoStaticClass>(),
    EntryOf<IsTamed>(),
    EntryOf<ChatDirectMessage>(),
    EntryOf<SendRconMessage>(),
    EntryOf<InitGame>(),
    EntryOf<SpawnNPC>(),
    EntryOf<Die>(),
    EntryOf<Destroyed>(),
    EntryOf<DestroyWildDinos>(),
    EntryOf<ObjectClass>(),
    EntryOf<TargetingTeam>(),
    EntryOf<Tags>(),
};

// Whether E is in the table: every use of a game name goes through one that is.
template <typename E>
constexpr bool Listed() {
  for (const Entry& entry : kEntries) {
    if (entry.host_name == E::kName) return entry.use == E::kUse;
  }
  return false;
}

constexpr bool NamesUnique() {
  for (std::size_t i = 0; i < std::size(kEntries); ++i) {
    for (std::size_t j = i + 1; j < std::size(kEntries); ++j) {
      if (kEntries[i].host_name == kEntries[j].host_name) return false;
    }
  }
  return true;
}
static_assert(NamesUnique(), "one entry per game name");

}  // namespace game_abi

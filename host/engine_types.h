#pragma once

// The game engine's value types, as far as the plug-in touches them. Their layouts are the
// engine's: the game reads and writes them in place, so nothing here may add a member or a virtual
// function.

#include <cstdint>
#include <string_view>

// Game classes are opaque: their layout belongs to the game, and the plug-in only ever holds
// pointers to them and reaches their functions and fields by name (host/game_functions.h).
struct UObject {
  UObject() = delete;
};
struct UClass : UObject {};
struct UWorld : UObject {};
struct AActor : UObject {};
struct AController : AActor {};
struct APlayerController : AController {};
struct AShooterPlayerController : APlayerController {};
struct APrimalCharacter : AActor {};
struct APrimalDinoCharacter : APrimalCharacter {};
struct ANPCZoneManager : AActor {};
struct AShooterGameMode : AActor {};
struct UShooterCheatManager : UObject {};
struct UPrimalCharacterStatusComponent : UObject {};
struct UPrimalColorSet : UObject {};
struct RCONClientConnection : UObject {};
struct FDamageEvent {
  FDamageEvent() = delete;
};

// The engine's wide string: UTF-16 units with a terminating zero, counted with the terminator.
// Storage comes from the engine allocator (host/engine_memory.h), so strings can change hands
// between the plug-in and the game.
class FString {
 public:
  FString() = default;
  // One unit per byte, terminator included; bytes 0x80-0xFF become '?' so that no byte can form a
  // unit the engine would read as something else.
  explicit FString(std::string_view narrow);
  FString(const FString& other);
  FString(FString&& other) noexcept;
  FString& operator=(const FString& other);
  FString& operator=(FString&& other) noexcept;
  ~FString();

  // Appends narrow text by the same byte-for-unit rule as the constructor.
  void AppendNarrow(std::string_view narrow);
  void AppendUnits(std::u16string_view units);

  // The characters without the terminator; empty for a string without storage.
  std::u16string_view View() const;
  const char16_t* Data() const { return data_; }
  // Element count, terminator included (0 for an empty string without storage).
  int32_t Num() const { return num_; }
  int32_t Max() const { return max_; }
  bool IsEmpty() const { return num_ <= 1; }

 private:
  void Reserve(int32_t units);

  char16_t* data_ = nullptr;
  int32_t num_ = 0;
  int32_t max_ = 0;
};

// The engine's dynamic array. Storage through the engine allocator; grows by the engine's slack
// rule. Arrays that belong to game objects are only ever reached by reference.
template <typename T>
struct EngineArray {
  T* Data = nullptr;
  int32_t ArrayNum = 0;
  int32_t ArrayMax = 0;

  EngineArray() = default;
  EngineArray(const EngineArray&) = delete;
  EngineArray& operator=(const EngineArray&) = delete;
  ~EngineArray();

  int32_t Num() const { return ArrayNum; }
  T* begin() const { return Data; }
  T* end() const { return Data + ArrayNum; }
  T& operator[](int32_t index) const { return Data[index]; }
  void Add(const T& item);
};

// 8-byte engine name: an index into the game's name table and a number suffix.
struct FName {
  int32_t ComparisonIndex = 0;
  int32_t Number = 0;
  friend bool operator==(const FName&, const FName&) = default;
};

// Weak reference to an engine object: the object's slot and the serial number it had when the
// reference was set, so that a reused slot does not resolve to the newcomer.
struct FWeakObjectPtr {
  int32_t ObjectIndex = 0;
  int32_t ObjectSerialNumber = 0;
};

template <typename T>
struct TWeakObjectPtr : FWeakObjectPtr {};

template <typename T>
struct TSubclassOf {
  UClass* uClass = nullptr;
};

struct FVector {
  float X = 0, Y = 0, Z = 0;
};

// Colour as four linear intensities, red, green, blue, alpha.
struct FLinearColor {
  float R = 0, G = 0, B = 0, A = 0;
};

struct RCONPacket {
  int32_t Length = 0;
  int32_t Id = 0;  // the request's identifier: replies carry it back
  int32_t Type = 0;
  FString Body;
};

static_assert(sizeof(FString) == 16);
static_assert(sizeof(EngineArray<FName>) == 16);
static_assert(sizeof(FName) == 8);
static_assert(sizeof(FWeakObjectPtr) == 8);
static_assert(sizeof(TWeakObjectPtr<APrimalDinoCharacter>) == 8);
static_assert(sizeof(TSubclassOf<UClass>) == 8);

#include "host/engine_array_inl.h"

#pragma once

// Every detour and command the plug-in installs, in one table each, so that Load and Unload read
// the same list in both directions and nothing can be left behind.

#include <array>

#include "host/api.h"

struct DetourRegistration {
  const char* name;
  void* detour;
  void** slot;  // the trampoline slot the host fills
};

enum class CommandRegistry { Console, Rcon };

struct CommandRegistration {
  CommandRegistry registry;
  const char* name;
  void (*console_handler)(APlayerController*, FString*, bool);
  void (*rcon_handler)(RCONClientConnection*, RCONPacket*, UWorld*);
};

// Installed by Load, in this order.
const std::array<DetourRegistration, 4>& LoadDetours();
// The spawn gate: installed after the start-up sweep, removed first.
const DetourRegistration& SpawnGateDetour();
// Added by Load and removed by Unload in this order.
const std::array<CommandRegistration, 4>& Commands();

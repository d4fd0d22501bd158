#pragma once

// Control surface of the simulated game server: one process-wide server with its world, its
// registries, its clock and at most one plug-in library loaded. The `kestrovar` program and the
// tests drive it from the game thread (the caller's thread); the plug-in reaches the same server
// through the host's operations (host/api.h).

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "devserver/control/devserver_export.h"
#include "host/engine_types.h"

namespace devserver {

using CreatureId = uint64_t;

// Team of creatures that enter the world wild, and of creatures tamed without a team given.
inline constexpr int32_t kWildTeam = 0;
inline constexpr int32_t kTamedTeam = 60000;

struct ServerOptions {
  std::string server_dir;     // what the host reports as its current directory
  bool world_ready = false;   // status 1 from the start (a plug-in loaded into a running world)
  bool log_to_stdout = true;  // a host sink on standard output besides the log file
  double corpse_decay_seconds = 60;
  bool record_events = true;  // keep the event list (benchmarks switch it off)
  // Drop the records of creatures that have left the world, so that a long run holds only the
  // world as it is (ListCreatures and FindCreature then no longer see removed creatures).
  bool forget_removed = false;
};

// Everything that reached the game or the host from outside the game's own logic, in order.
// Text forms are what tests compare:
//   "spawned #3 /Game/A.A_C level 10"        a spawn zone's spawn, after the game made it (the
//   class
//                                            made; "level none" without a status component)
//   "spawn failed /Game/A.A_C"               a spawn that returned null ("spawn failed null class")
//   "placed #3 /Game/A.A_C level 10 team 0"  a creature entering the world outside a spawn zone
//                                            (" tamed" appended for a tamed one)
//   "tag #3 SpawnedFromNPCZone"              a tag that appeared on a creature's tag array
//   "died #3"  "destroyed #3"  "tamed #3"  "destroy wild dinos" (the game's own cheat runs)
//   "timer queued 5"  "timer ran" (before the task runs)  "timer dropped 2" (only when N > 0)
//   "chat 0,1,0,1 Kestrovar: Reloaded config"
//   "rcon id=7 type=0 Kestrovar: Reloaded config"
//   "hook set ANPCZoneManager.SpawnNPC"  "hook refused ..."  "hook removed ..."  "hook absent ..."
//   "console added kvar.reload"  "console replaced ..." (added again: the callback is replaced)
//   "console removed kvar.reload"  "console absent ..." (removing a name that is not registered)
//   "console unknown foo" (a line whose first word is no command)  "rcon added ..." and so on
//   "status 1" (when the status changes to 1)  "init game" (the game's own initialisation)
//   "plugin loaded"  "plugin unloaded"
struct GameEvent {
  std::string text;
};

enum class CreatureState { Alive, Dead, Removed };

struct CreatureInfo {
  CreatureId id = 0;
  std::string reference;         // the class's reference text
  std::optional<int32_t> level;  // empty for a creature without a status component
  int32_t team = kWildTeam;
  bool tamed = false;
  CreatureState state = CreatureState::Alive;
  std::vector<std::string> tags;
};

struct SpawnRequest {
  std::string reference;                      // the class the zone is asked to spawn
  std::optional<int32_t> level = 1;           // empty: the creature has no status component
  std::optional<std::string> made_reference;  // the game makes another class than asked for
  bool fail = false;                          // the game's spawn returns null
  bool null_class = false;                    // the zone is called with a null class
};

struct PlaceRequest {
  std::string reference;
  std::optional<int32_t> level = 1;
  bool tamed = false;
  std::optional<int32_t> team;  // default: kWildTeam, or kTamedTeam when tamed
  bool null_class = false;      // an actor whose class field is null
};

struct MemoryReport {
  int64_t live_blocks = 0;
  int64_t live_bytes = 0;
  int64_t double_frees = 0;
  int64_t foreign_frees = 0;
  // Live blocks that neither the world nor the host owns: memory a plug-in still holds.
  int64_t unowned_blocks = 0;
  int64_t unowned_bytes = 0;
  int64_t allocations = 0;  // blocks FMemory has handed out since the process started
};

// A reply that an RCON handler sent to the connection (RCONClientConnection.SendMessageW).
struct RconReply {
  int32_t id = 0;
  int32_t type = 0;
  std::string text;  // UTF-8
};

struct LogEntry {
  std::string logger;
  std::string level;  // spdlog's level names: "warning", "critical", ...
  std::string message;
};

// --- Server lifetime ----------------------------------------------------------------------------
// Starts a fresh server (world, registries, clock, sinks, events); any earlier one is stopped
// first.
DEVSERVER_API void StartServer(const ServerOptions& options);
// Unloads a loaded plug-in, then tears everything down. Safe to call twice.
DEVSERVER_API void StopServer();

// Where the server's printed output goes (chat messages, RCON replies, unknown commands), one line
// per call. Default: standard output. StartServer resets it to the default.
DEVSERVER_API void SetOutput(std::function<void(std::string_view line)> output);
// Called with each event as it is recorded (even when record_events is false); empty: none.
// StartServer resets it.
DEVSERVER_API void SetEventObserver(std::function<void(std::string_view event)> observer);

// --- Plug-in library ----------------------------------------------------------------------------
// Loads the library (its entry point runs its load). Returns an error text, empty on success.
DEVSERVER_API std::string LoadPlugin(const std::string& path);
// Drops the timer tasks the plug-in queued, then releases the library (its entry point runs its
// unload, then its state is destroyed), then checks what it left behind (hooks, commands, memory).
DEVSERVER_API void UnloadPlugin();
DEVSERVER_API bool PluginLoaded();

// --- Game mode and status -----------------------------------------------------------------------
// The game mode initialises: "AShooterGameMode.InitGame" through the hook table; the status
// becomes 1 afterwards.
DEVSERVER_API void InitGame();
DEVSERVER_API int ServerStatusValue();

// --- World --------------------------------------------------------------------------------------
DEVSERVER_API std::vector<CreatureId> Spawn(const SpawnRequest& request, int count = 1);
DEVSERVER_API std::vector<CreatureId> Place(const PlaceRequest& request, int count = 1);
DEVSERVER_API bool Kill(CreatureId id);  // through "APrimalDinoCharacter.Die"
// From now on the game's Die returns false for the creature, which stays alive ("survived #3").
DEVSERVER_API bool RefuseDeath(CreatureId id, bool refuses = true);
// The game calls Die and Destroyed with a null creature (returns what Die returned).
DEVSERVER_API bool DieWithoutCreature();
DEVSERVER_API void DestroyedWithoutCreature();
// The actor query (UGameplayStatics.GetAllActorsOfClass) also yields, first, a null entry and the
// administrator's player controller, and a null entry last, as a game may.
DEVSERVER_API void SetOddActorQuery(bool odd);
DEVSERVER_API bool Destroy(CreatureId id);  // "AActor.Destroy": leaves the world
DEVSERVER_API bool Tame(CreatureId id, std::optional<int32_t> team = std::nullopt);
DEVSERVER_API void CheatDestroyWildDinos();  // through "UShooterCheatManager.DestroyWildDinos"
// A new map in the running server: every creature still in the world is destroyed (through
// "AActor.Destroy", so the plug-in's detour sees each), and the world forgets them all: the next
// creature made is #1 again. The plug-in, its tasks, the registries and the clock go on; a task
// that still waits for a creature of the old map finds none.
DEVSERVER_API void NewMap();
DEVSERVER_API void Advance(double seconds);  // game clock; runs due timer tasks and decays
DEVSERVER_API double Now();

DEVSERVER_API std::vector<CreatureInfo> ListCreatures(std::string_view reference = {});
DEVSERVER_API std::optional<CreatureInfo> FindCreature(CreatureId id);
// Live wild (untamed, team at most 50000) creatures in the world, by class key.
DEVSERVER_API std::map<std::string, int> Census();
// The same, with keys that differ only in the case of ASCII letters counted as one (spelled as the
// first such creature in world order), in the plug-in's key order.
DEVSERVER_API std::vector<std::pair<std::string, int>> CensusInKeyOrder();
// The class key the plug-in forms for a reference text: "Blueprint'" + all but its last two
// characters + "'".
DEVSERVER_API std::string ClassKeyOf(std::string_view reference);

// Game objects behind ids, for tests that call the plug-in's functions directly.
DEVSERVER_API APrimalDinoCharacter* CreatureObject(CreatureId id);
DEVSERVER_API UClass* CreatureClass(std::string_view reference);
DEVSERVER_API UWorld* World();
DEVSERVER_API ANPCZoneManager* DefaultZone();
DEVSERVER_API UShooterCheatManager* CheatManager();

// --- Commands -----------------------------------------------------------------------------------
// An administrator types a console line; the reply, if any, goes to the output and the events.
DEVSERVER_API void ConsoleCommand(std::string_view line);
// A console line from no player (a null player controller).
DEVSERVER_API void ConsoleCommandWithoutPlayer(std::string_view line);
// An RCON request on a simulated connection; returns its request id.
DEVSERVER_API int32_t RconCommand(std::string_view text);
DEVSERVER_API void RconCommandWithNulls(std::string_view text, bool null_connection,
                                        bool null_packet);
// An RCON request with the client's own request id. The replies the handlers send come back here,
// in order, instead of going to the output (they are still recorded as events). A request whose
// first word is no command gets one reply: "Unknown command: WORD" (type 0).
DEVSERVER_API std::vector<RconReply> RconRequest(std::string_view text, int32_t request_id);

// --- Observation --------------------------------------------------------------------------------
DEVSERVER_API std::vector<std::string> Events();
// Clears the events and the game calls.
DEVSERVER_API void ClearEvents();
// The calls that reached the game's own functions, with the arguments it received:
//   "SpawnNPC spawn zone class /Game/A.A_C at 1.5,-2.25,3.125 true 7 0.5 true 1.25 2.5 3.75 5
//    colours /Script/Game.PrimalColorSet"  (what Spawn passes)
//   "Die #3 damage 1000 damage event killer player controller causer spawn zone"  (what Kill
//    passes)  "Destroyed #3"  "Destroyed null"  "DestroyWildDinos cheat manager"
//   "InitGame game mode map 'DevWorld' options '?listen' error ''"  "GetCharacterLevel #3"
//   "ClientServerChatDirectMessage player controller bold false"
DEVSERVER_API std::vector<std::string> GameCalls();
DEVSERVER_API std::vector<LogEntry> LogEntries();
DEVSERVER_API void ClearLogEntries();
// Problems the stand-in caught: escaped exceptions, FMemory faults, what a released plug-in left.
DEVSERVER_API std::vector<std::string> Faults();
// For tests that provoke faults on purpose.
DEVSERVER_API void ClearFaults();
DEVSERVER_API MemoryReport Memory();
DEVSERVER_API size_t PendingTimerTasks();
DEVSERVER_API std::vector<std::string> InstalledHooks();  // "name" per detour in the chains

// Fault injection: the Nth FMemory allocation from now fails (1 = the next); 0 switches it off.
// Only allocations asked for outside the game's own functions count: the game's own would abort
// the process on a real server.
DEVSERVER_API void FailAllocationAfter(int64_t count);
// Fault injection: each host operation named ("IApiUtils::GetStatus", "IHooks::DisableHook",
// "ICommands::RemoveConsoleCommand", "ICommands::RemoveRconCommand") throws std::runtime_error
// from now on, as a failing host's would; an empty list switches it off. A new server fails none.
DEVSERVER_API void FailHostOperations(const std::vector<std::string>& operations);
// Whether the failure armed by the last FailAllocationAfter has happened.
DEVSERVER_API bool AllocationFailureInjected();
// Whether an allocation made now is the plug-in's: plug-in code runs, or the host works on its
// behalf, and not the game's own functions. Test programs that make C++ allocations fail use it.
DEVSERVER_API bool PluginAllocating();
// Runs `work` as plug-in code, as the stand-in runs a library's load, for tests that call the
// plug-in's entry point themselves: its allocations are the plug-in's, and an exception that leaves
// it is recorded as a fault.
DEVSERVER_API void CallAsPlugin(std::string_view where, const std::function<void()>& work);

// --- Spawn zones and the world's own life -------------------------------------------------------
// Zones, deaths, decay and taming live on the game clock (Advance). Every random draw comes from
// the world's one generator, so a seed gives the same run on every platform.

struct ZoneSpec {
  std::string name;
  std::vector<std::pair<std::string, double>> mix;  // reference text and weight (above 0)
  int target = 0;                                   // live wild creatures the zone keeps
  double check_seconds = 60;                        // how often it counts and refills
  int32_t min_level = 1;
  int32_t max_level = 1;
  // Seconds from now to the first check; empty: drawn within the first interval, so that zones
  // are not all in step.
  std::optional<double> first_check_seconds;
};

// How the creatures of a class leave the wild on their own.
struct ClassLife {
  double deaths_per_hour = 0;  // each wild creature dies (or is tamed) at this rate
  double tame_chance = 0;      // the share of those endings that are tamings
};

// What the world saw happen to the creatures of one class key, and what it makes of the plug-in's
// count: a creature is "counted" from the counted mark the plug-in gave it until a death or
// removal that the plug-in counts down (counted mark, no ignore mark, still wild, its detour in
// place), the release of the library, or a clearing of the table (a sweep, the cheat).
struct ClassLedger {
  std::string key;
  std::string reference;
  int live_wild = 0;  // alive, untamed, team at most 50000
  // The most live wild creatures at once, leaving out those that the gate has rejected and will
  // remove (5 s after their spawn): what stays.
  int peak = 0;
  // The most rejected spawns still live at once, awaiting the gate's removal: the short surplus.
  int peak_awaiting = 0;
  int64_t spawned = 0;
  int64_t admitted = 0;  // carried the counted mark right after their spawn
  // Removed by the plug-in's deferred removals: for the level when the level rule in force at the
  // spawn covers the creature's level, else for the limit.
  int64_t gate_limit_removals = 0;
  int64_t gate_level_removals = 0;
  int64_t sweep_removals = 0;  // removed while the plug-in loaded or the game initialised
  int64_t deaths = 0;
  int64_t tames = 0;
  int64_t arrivals = 0;       // entered the world outside a spawn zone
  int counted = 0;            // creatures of this key the plug-in counts
  int counted_tamed = 0;      // ...that were tamed after being counted
  int counted_not_alive = 0;  // ...that are bodies or gone (the sweep counted a body)
  int awaiting_removal = 0;   // live wild, rejected by the gate, removal still due
  int never_counted = 0;      // live wild, never counted: arrived outside zones or ungated
};

// Seeds the world's generator (StartServer seeds it with 0).
DEVSERVER_API void SeedWorld(uint64_t seed);
// A whole number in [low, high] from the world's generator (low when high < low).
DEVSERVER_API int64_t WorldRandomBetween(int64_t low, int64_t high);
DEVSERVER_API void SetClassLife(const std::string& reference, const ClassLife& life);
// The zone checks itself first after first_check_seconds, then every check_seconds. Throws
// std::invalid_argument on a bad zone.
DEVSERVER_API void AddSpawnZone(const ZoneSpec& zone);
// The level rule of the configuration in force (empty: off), which tells a gate removal for the
// level from one for the limit.
DEVSERVER_API void SetLevelRuleInForce(std::optional<int32_t> max_level);
// One entry per class key the world has seen, in byte order of the key.
DEVSERVER_API std::vector<ClassLedger> ClassLedgers();
// N live wild creatures of the class, chosen at random, are tamed or killed; returns how many.
DEVSERVER_API int TameWild(const std::string& reference, int count);
DEVSERVER_API int KillWild(const std::string& reference, int count);
// World events so far: zone checks, spawns, arrivals, deaths, tamings and removals (body decay,
// the plug-in's removals and every other).
DEVSERVER_API uint64_t WorldEventCount();

// --- Files --------------------------------------------------------------------------------------
// The folder of the running program, where the build puts the libraries beside it.
DEVSERVER_API std::string ProgramDirectory();

}  // namespace devserver

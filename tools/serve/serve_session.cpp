// `kestrovar serve`: a simulated server with the plug-in loaded, driven by lines on standard input.

#include <algorithm>
#include <cstdio>
#include <filesystem>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif
#include <iostream>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "devserver/control/server.h"
#include "tools/common/ascii_case.h"
#include "tools/common/exit_codes.h"
#include "tools/common/files.h"
#include "tools/common/output.h"
#include "tools/common/plugin_path.h"
#include "tools/scenario/scenario_world.h"
#include "tools/serve/serve_options.h"
#include "tools/serve/sim_commands.h"
#include "tools/serve/words.h"

namespace {

void PrintHelp() {
  PrintLine("commands, one a line:");
  PrintLine("  help                      this list");
  PrintLine("  quit                      end the session");
  PrintLine("  plugins.load              load the plug-in library");
  PrintLine("  plugins.unload            release it");
  constexpr std::size_t kColumn = 28;
  for (const SimCommandHelp& command : SimCommandsHelp()) {
    std::string usage = "  " + command.usage;
    // A usage too long for its column gets a line of its own.
    if (usage.size() >= kColumn) {
      PrintLine(usage);
      usage.clear();
    }
    usage.resize(kColumn, ' ');
    PrintLine(usage + command.what);
  }
  PrintLine("any other line is a console command typed by an administrator: kvar.dumpdinos,");
  PrintLine("kvar.reload. REF is a class's reference text, e.g.");
  PrintLine(
      "/Game/Creatures/Strider/Strider_Character.Strider_Character_C; ID a creature's number.");
}

// The plug-in's commands exist only when its load went through; a load that failed (most often
// for want of config.json) leaves them unknown, which alone would not tell an operator why.
void ExplainMissingCommand(const std::string& verb) {
  if (!devserver::PluginLoaded() || !devserver::InstalledHooks().empty()) return;
  if (!EqualIgnoringAsciiCase(verb, "kvar.reload") &&
      !EqualIgnoringAsciiCase(verb, "kvar.dumpdinos"))
    return;
  PrintLine(
      "note: the plug-in registered no commands because its load failed (the log says why, "
      "most often a missing config.json); put the file right, then plugins.unload and "
      "plugins.load");
}

void LoadPlugin(const std::string& plugin) {
  const std::string error = devserver::LoadPlugin(plugin);
  if (!error.empty()) throw std::invalid_argument(error);
}

// Runs one line; returns false when the session ends. Commands are found ignoring letter case, as
// the host finds console commands.
bool RunLine(const std::string& line, const std::string& plugin) {
  const std::vector<std::string> words = SplitWords(line);
  const std::string& verb = words.front();
  const auto is = [&verb](std::string_view name) { return EqualIgnoringAsciiCase(verb, name); };
  if (is("quit")) {
    if (words.size() > 1) throw std::invalid_argument("usage: quit");
    return false;
  }
  if (is("plugins.load")) {
    if (words.size() > 1) throw std::invalid_argument("usage: plugins.load");
    LoadPlugin(plugin);
    PrintLine("plugin loaded");
  } else if (is("plugins.unload")) {
    if (words.size() > 1) throw std::invalid_argument("usage: plugins.unload");
    if (!devserver::PluginLoaded()) throw std::invalid_argument("no plug-in is loaded");
    devserver::UnloadPlugin();
    PrintLine("plugin unloaded");
  } else if (is("help")) {
    if (words.size() > 1) throw std::invalid_argument("usage: help");
    PrintHelp();
  } else if (verb.size() > 4 &&
             EqualIgnoringAsciiCase(std::string_view(verb).substr(0, 4), "sim.")) {
    RunSimCommand(words, line);
    if (is("sim.rcon") && words.size() > 1) ExplainMissingCommand(words[1]);
  } else {
    devserver::ConsoleCommand(line);
    ExplainMissingCommand(verb);
  }
  return true;
}

void RunSession(const ServeOptions& options, const std::string& plugin) {
  const bool interactive = StandardInputIsTerminal();
  if (interactive) PrintBanner();
  std::string line;
  while (true) {
    if (interactive) PrintPrompt();
    if (!std::getline(std::cin, line)) return;
    if (!RunInputLine(options, plugin, line)) return;
  }
}

}  // namespace

bool StandardInputIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stdin)) != 0;
#else
  return isatty(fileno(stdin)) != 0;
#endif
}

void PrintBanner() {
  PrintLine("Kestrovar's simulated game server. Type help for the commands, quit to end.");
}

void PrintPrompt() {
  std::fputs("kestrovar> ", stdout);
  std::fflush(stdout);
}

bool RunInputLine(const ServeOptions& options, const std::string& plugin, std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const auto first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return true;
  if (line[first] == '#') {
    if (options.echo) PrintLine(line);
    return true;
  }
  if (options.echo) PrintLine("> ", line);
  try {
    return RunLine(line, plugin);
  } catch (const std::bad_alloc&) {
    // The session goes on with what the world holds; the command may have done part of its work.
    PrintLine(
        "error: out of memory: the command stopped part way, and the world keeps what it made "
        "before; sim.list and sim.census show what there is");
  } catch (const std::exception& error) {
    PrintLine("error: ", error.what());
  }
  return true;
}

int RunServe(const ServeOptions& options) {
  const std::string plugin = options.plugin.empty() ? DefaultPluginPath() : options.plugin;
  devserver::ServerOptions server;
  server.server_dir = options.server_dir;
  server.world_ready = options.world_ready;
  server.log_to_stdout = options.log_to_stdout;
  server.corpse_decay_seconds = options.corpse_decay_seconds;
  // Files that cannot be used are unusable input, named before the server starts.
  std::optional<Scenario> scenario;
  try {
    if (const std::string why = FolderProblem(options.server_dir); !why.empty())
      throw FileError("--server-dir " + options.server_dir + ": " + why);
    if (const std::string why = FileToReadProblem(plugin); !why.empty())
      throw FileError("cannot load the plug-in " + plugin + ": " + why);
    if (!options.scenario.empty()) scenario = ReadScenarioFile(options.scenario);
  } catch (const std::exception& error) {
    PrintFailure("kestrovar serve: ", error);
    return kExitUnusableInput;
  }
  try {
    devserver::StartServer(server);
    if (options.show_events) {
      devserver::SetEventObserver(
          [](std::string_view event) { PrintLine("[event] " + std::string(event)); });
    }
    if (scenario) PlaceScenarioPopulation(*scenario, options.seed);
    LoadPlugin(plugin);
    if (!options.world_ready) devserver::InitGame();
    if (scenario) OpenScenarioZones(*scenario);
    if (options.rcon_listen || options.realtime) {
      RunLiveSession(options, plugin);
    } else {
      RunSession(options, plugin);
    }
  } catch (const std::exception& error) {
    // Out of memory too (reading a line, say): the server stops, its log kept.
    PrintFailure("kestrovar serve: ", error);
    devserver::StopServer();
    return kExitUnusableInput;
  }

  devserver::UnloadPlugin();
  devserver::StopServer();
  const std::vector<std::string> faults = devserver::Faults();
  if (faults.empty()) return kExitOk;
  PrintError("kestrovar serve: the stand-in recorded " + std::to_string(faults.size()) +
             " fault(s):");
  for (const std::string& fault : faults) PrintError("  ", fault);
  return kExitWarnings;
}

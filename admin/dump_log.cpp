#include "admin/dump_log.h"

#include <ctime>
#include <filesystem>
#include <fstream>

#include "admin/dump_time_stamp.h"
#include "config/config.h"
#include "host/api.h"

void WriteDumpLog(std::string dump_text) {
  if (!LookupBool(config, config_keys::kWriteDumpsToFile, false)) return;
  const std::string time_stamp = DumpTimeStamp(std::time(nullptr));
  // Only the last level is made: a missing plug-in folder is an error, not something to create.
  std::filesystem::create_directory(ArkApi::Tools::GetCurrentDir() +
                                    "/ArkApi/Plugins/Kestrovar/DinoDumpLogs");
  // Text mode: line feeds become the platform's line ends. A file that cannot be opened is passed
  // over in silence; the reply or the log lines already carry the census.
  std::ofstream file(ArkApi::Tools::GetCurrentDir() +
                     "/ArkApi/Plugins/Kestrovar/DinoDumpLogs/DinoDumpLog_" + time_stamp + ".txt");
  if (file.is_open()) file << dump_text;
}

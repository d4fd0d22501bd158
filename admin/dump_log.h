#pragma once

#include <string>

// Writes the dump text to DinoDumpLogs/DinoDumpLog_<local time>.txt in the plug-in's folder when
// "WriteDumpsToFile" is true. Throws the JSON library's type error or std::filesystem_error.
void WriteDumpLog(std::string dump_text);

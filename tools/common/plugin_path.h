#pragma once

#include <string>

// The Kestrovar library built beside the program.
std::string DefaultPluginPath();

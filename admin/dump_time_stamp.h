#pragma once

#include <ctime>
#include <string>

// The server's local time as day-month-year_hour-minute-second, zero-padded, as dump file names
// carry it: 03-01-2027_09-05-07.
std::string DumpTimeStamp(std::time_t when);
std::string DumpTimeStamp(const std::tm& local_time);

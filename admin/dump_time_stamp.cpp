#include "admin/dump_time_stamp.h"

std::string DumpTimeStamp(std::time_t when) {
  // The plug-in runs on the game thread only, so the shared result of localtime is safe here.
  const std::tm* local_time = std::localtime(&when);
  return local_time == nullptr ? std::string() : DumpTimeStamp(*local_time);
}

std::string DumpTimeStamp(const std::tm& local_time) {
  char buffer[80];
  const std::size_t length = std::strftime(buffer, sizeof buffer, "%d-%m-%Y_%H-%M-%S", &local_time);
  return std::string(buffer, length);
}

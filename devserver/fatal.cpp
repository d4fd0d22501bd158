#include "devserver/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace devserver {

void ProgrammingError(std::string_view message) {
  std::fflush(stdout);
  std::fprintf(stderr, "devserver: programming error: %.*s\n", static_cast<int>(message.size()),
               message.data());
  std::fflush(stderr);
  std::abort();
}

}  // namespace devserver

#include "tools/simulate/progress_bar.h"

#include <cstdio>
#include <string>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {
constexpr int kWidth = 40;
}

void ProgressBar::Show(double hours) {
  if (!shown_ || total_ <= 0) return;
  const int filled = static_cast<int>(kWidth * (hours / total_));
  if (filled == last_filled_) return;
  last_filled_ = filled;
  const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                          std::string(static_cast<std::size_t>(kWidth - filled), '.');
  std::fprintf(stderr, "\r[%s] %.1f / %.0f game hours", bar.c_str(), hours, total_);
  std::fflush(stderr);
}

void ProgressBar::Finish() {
  if (!shown_) return;
  std::fprintf(stderr, "\r%*s\r", kWidth + 30, "");
  std::fflush(stderr);
}

bool StandardErrorIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

#include "tools/simulate/progress_bar.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

// The terminal's width; 80 when it cannot be told.
std::size_t TerminalColumns() {
#if defined(_WIN32)
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
  }
#else
  winsize size{};
  if (ioctl(fileno(stderr), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
#endif
  return 80;
}

std::string Duration(double seconds) {
  const auto whole = static_cast<long long>(std::ceil(seconds));
  if (whole < 60) return fmt::format("{} s", whole);
  if (whole < 3600) return fmt::format("{} min {:02} s", whole / 60, whole % 60);
  return fmt::format("{} h {:02} min", whole / 3600, whole / 60 % 60);
}

}  // namespace

void TimeLeft::Observe(double seconds, double hours) {
  seen_.emplace_back(seconds, hours);
  // Keep one point at or before the window's start, so that the window is always covered.
  const double window = std::max(3.0, seconds / 5);
  while (seen_.size() > 2 && seen_[1].first <= seconds - window) seen_.pop_front();
}

std::optional<double> TimeLeft::Seconds(double total_hours) const {
  if (seen_.size() < 2) return std::nullopt;
  const auto& [from_seconds, from_hours] = seen_.front();
  const auto& [seconds, hours] = seen_.back();
  if (seconds - from_seconds < 0.5 || hours <= from_hours) return std::nullopt;
  return (total_hours - hours) * (seconds - from_seconds) / (hours - from_hours);
}

ProgressBar::ProgressBar(bool shown, double total_hours)
    : shown_(shown), total_(total_hours), started_(std::chrono::steady_clock::now()) {}

std::string ProgressBar::Line(double hours, double total, std::optional<double> seconds_left,
                              std::size_t columns) {
  const double share = total > 0 ? std::clamp(hours / total, 0.0, 1.0) : 1.0;
  std::string text = fmt::format(" {:3.0f}% {:g}/{:g} game hours", share * 100, hours, total);
  if (seconds_left && share > 0.01 && share < 1) {
    text += ", " + Duration(std::max(0.0, *seconds_left)) + " left";
  }
  // The bar takes what is left of the line, 10 to 40 characters; without room, no bar.
  const std::size_t room = columns > text.size() + 3 ? columns - text.size() - 3 : 0;
  const std::size_t width = std::min<std::size_t>(40, room);
  if (width >= 10) {
    const auto filled = static_cast<std::size_t>(std::floor(share * static_cast<double>(width)));
    text = "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]" + text;
  }
  // One column short of the width, so that the cursor never wraps to a new line.
  if (columns > 0 && text.size() >= columns) text.resize(columns - 1);
  return text;
}

void ProgressBar::Show(double hours) {
  if (!shown_) return;
  const auto now = std::chrono::steady_clock::now();
  left_.Observe(std::chrono::duration<double>(now - started_).count(), hours);
  const int percent = total_ > 0 ? static_cast<int>(100 * hours / total_) : 100;
  if (percent == last_percent_ && now - last_drawn_ < std::chrono::milliseconds(500)) return;
  last_percent_ = percent;
  last_drawn_ = now;
  const std::string line = Line(hours, total_, left_.Seconds(total_), TerminalColumns());
  // Back to the start of the line; spaces over what the last line had beyond this one.
  const std::size_t pad = last_length_ > line.size() ? last_length_ - line.size() : 0;
  std::fprintf(stderr, "\r%s%*s", line.c_str(), static_cast<int>(pad), "");
  if (pad > 0) std::fprintf(stderr, "\r%s", line.c_str());
  std::fflush(stderr);
  last_length_ = line.size();
}

void ProgressBar::Finish() {
  if (!shown_ || last_length_ == 0) return;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(last_length_), "");
  std::fflush(stderr);
}

bool StandardErrorIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

#pragma once

// A progress bar on standard error, redrawn in place on one line that fits the terminal, with the
// share done and the time left; silent unless switched on (the caller asks whether standard error
// is a terminal).

#include <chrono>
#include <cstddef>
#include <string>

class ProgressBar {
 public:
  ProgressBar(bool shown, double total_hours);
  void Show(double hours);
  void Finish();

  // The line for `hours` of `total` done after `seconds`, at most `columns` wide.
  static std::string Line(double hours, double total, double seconds, std::size_t columns);

 private:
  bool shown_;
  double total_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_drawn_;
  std::size_t last_length_ = 0;
  int last_percent_ = -1;
};

// Whether standard error is a terminal.
bool StandardErrorIsTerminal();

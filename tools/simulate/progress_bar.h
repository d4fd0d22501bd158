#pragma once

// A progress bar on standard error, redrawn in place on one line that fits the terminal, with the
// share done and the time left; silent unless switched on (the caller asks whether standard error
// is a terminal).

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <utility>

// The time left at the rate seen lately: the game hours done over the last part of the run (a
// fifth of the time so far, at least 3 s), so that a run that slows down or speeds up is told the
// time it will really take, not the time its start would suggest.
class TimeLeft {
 public:
  // `hours` done after `seconds`; the seconds only grow.
  void Observe(double seconds, double hours);
  // Empty until the rate can be told.
  std::optional<double> Seconds(double total_hours) const;

 private:
  std::deque<std::pair<double, double>> seen_;  // seconds, hours
};

class ProgressBar {
 public:
  ProgressBar(bool shown, double total_hours);
  void Show(double hours);
  void Finish();

  // The line for `hours` of `total` done, `seconds_left` to go, at most `columns` wide.
  static std::string Line(double hours, double total, std::optional<double> seconds_left,
                          std::size_t columns);

 private:
  bool shown_;
  double total_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_drawn_;
  TimeLeft left_;
  std::size_t last_length_ = 0;
  int last_percent_ = -1;
};

// Whether standard error is a terminal.
bool StandardErrorIsTerminal();

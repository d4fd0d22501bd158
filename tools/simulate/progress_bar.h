#pragma once

// A progress bar on standard error, redrawn in place; silent unless switched on (the caller asks
// whether standard error is a terminal).

class ProgressBar {
 public:
  ProgressBar(bool shown, double total_hours) : shown_(shown), total_(total_hours) {}
  void Show(double hours);
  void Finish();

 private:
  bool shown_;
  double total_;
  int last_filled_ = -1;
};

// Whether standard error is a terminal.
bool StandardErrorIsTerminal();

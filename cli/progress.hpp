// The progress bar on standard error.
#pragma once

namespace tessora::cli {

// A bar with the rate and the time left, redrawn at most every 0.1 s; a
// line feed after it when it goes.
class ProgressBar {
 public:
  explicit ProgressBar(bool shown);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;
  void set_total(double pairs) { total_ = pairs; }
  void update(double pairs_done);

 private:
  bool shown_;
  double total_ = 0;
  double start_, last_ = -1;
};

}  // namespace tessora::cli

#include "cli/progress.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace tessora::cli {

namespace {
double now_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string clock_text(double seconds) {
  const long s = static_cast<long>(seconds);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return buffer;
}
}  // namespace

ProgressBar::ProgressBar(bool shown) : shown_(shown), start_(now_seconds()) {}

ProgressBar::~ProgressBar() {
  if (shown_ && last_ >= 0) std::fputc('\n', stderr);
}

void ProgressBar::update(double done) {
  if (!shown_) return;
  const double t = now_seconds();
  if (last_ >= 0 && t - last_ < 0.1 && done < total_) return;
  last_ = t;
  const double fraction = total_ > 0 ? std::min(1.0, done / total_) : 1.0;
  const double elapsed = t - start_;
  const double rate = elapsed > 0 ? done / elapsed : 0;
  const double left = rate > 0 ? (total_ - done) / rate : 0;
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(fraction * kWidth);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kWidth, ' ');
  std::fprintf(stderr, "\r[%s] %3d%%  %.3g pairs/s  %s left ", bar.c_str(), static_cast<int>(fraction * 100), rate,
               clock_text(left).c_str());
  std::fflush(stderr);
}

}  // namespace tessora::cli

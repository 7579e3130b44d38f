// One QApplication for a test program, on the offscreen platform (with a
// desktop-sized screen) unless the environment names another, and a
// watchdog so that no test can hang.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace tessora::console::testing {

class QtEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!std::getenv("QT_QPA_PLATFORM")) {
#ifdef TESSORA_TEST_SCREEN
      setenv("QT_QPA_PLATFORM", "offscreen:configfile=" TESSORA_TEST_SCREEN, 1);
#else
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
    }
    app_ = std::make_unique<QApplication>(argc_, argv_);
    app_->setQuitOnLastWindowClosed(false);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "window_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

// Ends the test program when a test has run for `seconds` without finishing.
class Watchdog {
 public:
  explicit Watchdog(int seconds = 50) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [] {
      const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
      std::fprintf(stderr, "watchdog: %s.%s did not finish\n", info ? info->test_suite_name() : "?",
                   info ? info->name() : "?");
      std::fflush(stderr);
      std::_Exit(3);
    });
    timer_.start(seconds * 1000);
  }

 private:
  QTimer timer_;
};

}  // namespace tessora::console::testing

// A console host for tests: hands out prepared lines and records every piece.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/hooks.hpp"

namespace tessora::recordio::testing {

struct ScriptedHooks final : console::Hooks {
  explicit ScriptedHooks(std::vector<std::string> script = {})
      : lines(script.begin(), script.end()) {}

  std::deque<std::string> lines;
  // What a read gets once the lines are used up.
  console::ReadResult after_last_line = console::ReadResult::end_of_input;
  std::vector<std::pair<std::string, console::Stream>> pieces;
  std::vector<std::size_t> capacities;  // asked by each read
  int statement_starts = 0;
  bool window_open = true;

  bool write_piece(std::string_view text, console::Stream stream) override {
    pieces.emplace_back(std::string(text), stream);
    return window_open;
  }
  console::ReadResult read_line(std::string& line, std::size_t capacity) override {
    capacities.push_back(capacity);
    if (lines.empty()) return after_last_line;
    line = lines.front().substr(0, capacity);
    lines.pop_front();
    return console::ReadResult::line;
  }
  int end_of_run(int code) override { return code; }
  bool statement_start() override {
    ++statement_starts;
    return window_open;
  }

  // The pieces sent to one stream, in order.
  std::vector<std::string> texts(console::Stream stream) const {
    std::vector<std::string> out;
    for (const auto& [text, s] : pieces) {
      if (s == stream) out.push_back(text);
    }
    return out;
  }
};

}  // namespace tessora::recordio::testing

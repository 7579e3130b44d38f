// Shared pieces of the fuzz targets: a scripted console host, a private
// working directory, and a check that stops the fuzzer with a message.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "console/hooks.hpp"

namespace tessora::fuzz {

// A disagreement between two paths that must agree is a finding: print it and
// abort, so that libFuzzer keeps the input (and a replay run fails).
[[noreturn]] inline void fail(std::string_view what, std::string_view a = {}, std::string_view b = {}) {
  std::fprintf(stderr, "FINDING: %.*s\n", static_cast<int>(what.size()), what.data());
  if (!a.empty() || !b.empty()) {
    std::fprintf(stderr, "  first : [%.*s]\n  second: [%.*s]\n", static_cast<int>(a.size()), a.data(),
                 static_cast<int>(b.size()), b.data());
  }
  std::abort();
}

inline void check(bool ok, std::string_view what) {
  if (!ok) fail(what);
}

// A console host that answers reads from a list of lines and records every
// piece written, with its stream. When the lines run out, reads see the end
// of the input, as on a plain console whose standard input has ended.
class ScriptedHooks final : public console::Hooks {
 public:
  explicit ScriptedHooks(std::vector<std::string> lines = {}) : lines_(std::move(lines)) {}

  bool write_piece(std::string_view text, console::Stream stream) override {
    // The console unit buffer hands over at most 256 bytes at a time.
    check(text.size() <= 256, "a console piece longer than 256 bytes");
    transcript_ += stream == console::Stream::error ? "E|" : "O|";
    transcript_.append(text);
    transcript_ += '\n';
    pieces_.emplace_back(text);
    return true;
  }

  console::ReadResult read_line(std::string& line, std::size_t capacity) override {
    if (next_ >= lines_.size()) return console::ReadResult::end_of_input;
    line = lines_[next_++];
    if (line.size() > capacity) line.resize(capacity);
    transcript_ += "I|" + line + '\n';
    return console::ReadResult::line;
  }

  int end_of_run(int code) override { return console::exit_status(code); }
  bool statement_start() override { return true; }

  // Every piece, each tagged with its stream, and every line read, in order.
  const std::string& transcript() const { return transcript_; }
  // The bare pieces, without tags.
  const std::vector<std::string>& pieces() const { return pieces_; }

 private:
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
  std::string transcript_;
  std::vector<std::string> pieces_;
};

// Splits fuzz input into lines at line feeds; a last line without one counts.
inline std::vector<std::string> split_lines(std::string_view bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) {
      lines.emplace_back(bytes.substr(start));
      break;
    }
    lines.emplace_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Makes a fresh directory under the temporary directory and makes it the
// current directory for the rest of the process; it is removed at exit.
inline void enter_private_directory() {
  static std::string dir;
  if (!dir.empty()) return;
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/tessora-fuzz-XXXXXX";
  check(::mkdtemp(pattern.data()) != nullptr, "cannot make a temporary directory");
  dir = pattern;
  check(::chdir(dir.c_str()) == 0, "cannot enter the temporary directory");
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  });
}

inline void write_file(const std::string& name, std::string_view bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  check(static_cast<bool>(out), "cannot write a scratch file");
}

inline std::string read_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return "<no file>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tessora::fuzz

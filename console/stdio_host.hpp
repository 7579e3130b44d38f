// The plain-console host: standard output, standard error, standard input.
#pragma once

#include <cstdio>

#include "console/hooks.hpp"

namespace tessora::console {

class StdioHost final : public Hooks {
 public:
  StdioHost(std::FILE* in = stdin, std::FILE* out = stdout, std::FILE* err = stderr)
      : in_(in), out_(out), err_(err) {}

  bool write_piece(std::string_view text, Stream stream) override;
  ReadResult read_line(std::string& line, std::size_t capacity) override;
  int end_of_run(int code) override;
  bool statement_start() override { return true; }

 private:
  std::FILE* in_;
  std::FILE* out_;
  std::FILE* err_;
};

}  // namespace tessora::console

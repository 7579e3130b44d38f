#include "console/stdio_host.hpp"

namespace tessora::console {

bool StdioHost::write_piece(std::string_view text, Stream stream) {
  std::FILE* f = stream == Stream::error ? err_ : out_;
  if (stream == Stream::error) std::fflush(out_);  // keep the two streams in order
  std::fwrite(text.data(), 1, text.size(), f);
  std::fflush(f);
  return true;
}

ReadResult StdioHost::read_line(std::string& line, std::size_t capacity) {
  line.clear();
  std::fflush(out_);
  bool got_any = false;
  for (;;) {
    int c = std::getc(in_);
    if (c == EOF) {
      // A last line without a line feed is still a line.
      return got_any ? ReadResult::line : ReadResult::end_of_input;
    }
    got_any = true;
    if (c == '\n') return ReadResult::line;
    if (c == '\r') continue;
    if (line.size() < capacity) line.push_back(static_cast<char>(c));
  }
}

int StdioHost::end_of_run(int code) {
  std::fflush(out_);
  std::fflush(err_);
  return exit_status(code);
}

}  // namespace tessora::console

#include "window/core/transcript_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace tessora::console {

namespace {

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

SaveResult write_transcript(const Transcript& transcript, const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return SaveResult::cannot_create;

  // Lines are gathered into blocks; a failed block stops the writing there.
  constexpr std::size_t kBlock = 1 << 16;
  std::string block;
  block.reserve(kBlock + 256);
  bool ok = true;
  for (const std::string& line : transcript.lines()) {
    block += line;
    block += "\r\n";
    if (block.size() >= kBlock) {
      ok = write_all(fd, block);
      block.clear();
      if (!ok) break;
    }
  }
  if (ok && !block.empty()) ok = write_all(fd, block);
  if (::close(fd) != 0) ok = false;
  return ok ? SaveResult::written : SaveResult::write_failed;
}

}  // namespace tessora::console

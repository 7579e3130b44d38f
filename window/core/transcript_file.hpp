// Writing the transcript to a text file: every line, the last included,
// followed by carriage return and line feed.
#pragma once

#include <string>

#include "window/core/transcript.hpp"

namespace tessora::console {

enum class SaveResult {
  written,
  cannot_create,  // nothing was written
  write_failed,   // writing stopped part way; the file is closed
};

// Creates the file anew (replacing one that exists) and writes the transcript.
SaveResult write_transcript(const Transcript& transcript, const std::string& path);

}  // namespace tessora::console

// The dialogue's two console statements: a line of text, and one answer.
#pragma once

#include <cstdint>
#include <string_view>

#include "recordio/runtime.hpp"

namespace tessora::dialogue {

// One console record holding one text item.
inline void say(recordio::Runtime& rt, std::string_view text) {
  rt.begin_write(recordio::kConsole);
  rt.write_item(text);
  rt.end_write();
}

// One console read statement of one integer; the rest of the line is ignored.
// A null value leaves `answer` as it was.
inline void ask(recordio::Runtime& rt, std::int32_t& answer) {
  rt.begin_read(recordio::kConsole);
  rt.read_item(answer);
  rt.end_read();
}

}  // namespace tessora::dialogue

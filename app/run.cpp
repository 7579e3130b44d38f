#include "app/run.hpp"

#include "dialogue/dialogue.hpp"
#include "recordio/runtime.hpp"

namespace tessora::app {

int run_program(console::Hooks& hooks, const dialogue::DialogueOptions& options) {
  int code = 0;
  {
    recordio::Runtime runtime(hooks);
    try {
      dialogue::run_dialogue(runtime, options);
    } catch (const recordio::RunEnded& end) {
      if (end.window_closed) return 0;
      code = end.code;
    }
  }
  return hooks.end_of_run(code);
}

}  // namespace tessora::app

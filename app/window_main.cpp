// tessora-window: the dialogue in its desktop window.
#include "app/run.hpp"
#include "console/window/session.hpp"

int main(int argc, char** argv) {
  return tessora::console::run_window(argc, argv,
                                      [](tessora::console::Hooks& hooks) { return tessora::app::run_program(hooks); });
}

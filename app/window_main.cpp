// tessora-window: the dialogue in its desktop window. Once a run has written
// MATRIX.TXT, the window shows the matrix as a picture, from the values in
// memory.
#include <new>

#include "dialogue/datafile.hpp"
#include "dialogue/dialogue.hpp"
#include "tessora/table.hpp"
#include "app/run.hpp"
#include "window/qt/run_values.hpp"
#include "window/qt/session.hpp"

int main(int argc, char** argv) {
  using namespace tessora;
  return console::run_window(argc, argv, [](console::WindowSession& session) {
    dialogue::DialogueOptions options;
    options.matrix_written = [&session](const dialogue::DialogueOptions::MatrixWritten& written) {
      try {
        // The data file marks its gaps with one value.
        session.show_matrix(console::copy_run_values(written, Missing::value(dialogue::kMissing)));
      } catch (const std::bad_alloc&) {
        // No room for a copy: the run goes on without its picture.
      }
    };
    return app::run_program(session.host(), options);
  });
}

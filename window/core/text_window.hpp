// The text window without its pixels: the transcript, the input line and its
// caret, the view onto the transcript, the mouse selection and the Edit
// commands. The desktop shell paints it and feeds it keys and mouse moves;
// the unit tests drive it directly.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "window/core/transcript.hpp"

namespace tessora::console {

// The keys that the text window acts on besides ordinary characters.
enum class Key { backspace, tab, enter, left, right, del, insert, home, end, page_up, page_down, up, down };

// One step on a scroll bar.
enum class Scroll { line_back, line_forward, page_back, page_forward, to_position, to_start, to_end };

// One stretch of columns [begin, end) within one line.
struct Selection {
  std::size_t line = 0;
  std::size_t begin = 0;
  std::size_t end = 0;
  bool empty() const { return begin == end; }
  friend bool operator==(const Selection&, const Selection&) = default;
};

// Which Edit commands are enabled (Undo never is).
struct EditState {
  bool undo = false, cut = false, copy = false, paste = false, del = false;
  friend bool operator==(const EditState&, const EditState&) = default;
};

// The system clipboard as plain text.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual void set_text(std::string_view text) = 0;
  virtual std::string text() = 0;
};

// What a change touched; the shell repaints, the host wakes a waiting read.
namespace change {
inline constexpr unsigned kText = 1;       // lines added or edited
inline constexpr unsigned kView = 2;       // first line or column, or the scroll ranges
inline constexpr unsigned kCaret = 4;      // caret moved
inline constexpr unsigned kEditState = 8;  // selection or Edit menu enabling
inline constexpr unsigned kInput = 16;     // a read's line was entered
}  // namespace change

class TextWindow {
 public:
  static constexpr std::size_t kTabWidth = 8;
  static constexpr std::size_t kHorizontalPage = 8;
  static constexpr std::size_t kPasteLimit = 1024;

  TextWindow();

  const Transcript& transcript() const { return transcript_; }

  // ---- Output: one piece of console text becomes a line of its own.
  void write_piece(std::string_view text);

  // ---- Line input.
  // A character as the keyboard delivers it; backspace, tab and carriage
  // return act as their keys, everything else is typed into the line.
  void type(char c);
  void press(Key key);
  // A console read starts waiting for Enter.
  void want_input();
  bool input_wanted() const { return input_wanted_; }
  // The line that the last Enter ended while a read waited.
  const std::string& entered_line() const { return entered_; }
  bool line_open() const { return line_open_; }
  std::size_t caret_column() const { return caret_; }
  // The index of the caret's line: the last line when it is open, otherwise
  // the line that the next character creates.
  std::size_t caret_line() const;

  // ---- View.
  void resize(std::size_t rows, std::size_t columns);
  std::size_t rows() const { return rows_; }
  std::size_t columns() const { return columns_; }
  std::size_t first_line() const { return first_line_; }
  std::size_t first_column() const { return first_column_; }
  // Scroll ranges: 0 to lines - rows + 2 and 0 to longest - columns, not
  // below 0. Typing may push the first column past the horizontal maximum
  // by a column or two; the shell's range then includes it.
  std::size_t vertical_max() const;
  std::size_t horizontal_max() const;
  std::size_t vertical_page() const { return rows_ > 0 ? rows_ : 1; }
  void scroll_vertical(Scroll action, std::size_t position = 0);
  void scroll_horizontal(Scroll action, std::size_t position = 0);

  // ---- Mouse selection.
  void mouse_press();
  void mouse_drag(std::size_t line, std::size_t column);
  void mouse_release();
  void select_word(std::size_t line, std::size_t column);
  const std::optional<Selection>& selection() const { return selection_; }
  std::string selected_text() const;

  // ---- Edit commands; each does nothing while it is greyed.
  EditState edit_state() const;
  bool copy(Clipboard& clipboard);
  bool cut(Clipboard& clipboard);
  void paste(Clipboard& clipboard);
  void delete_selection();

  // ---- Saved flag: cleared by every change of the text.
  bool saved() const { return saved_; }
  void mark_saved() { saved_ = true; }

  // Listeners for changes (a bit set of change::k...).
  void subscribe(std::function<void(unsigned)> listener) { listeners_.push_back(std::move(listener)); }

 private:
  void insert_character(char c);
  void backspace();
  void enter(bool by_output);
  void clear_selection();
  void reveal_caret_line();
  void text_changed() { saved_ = false; }
  void notify(unsigned what);

  Transcript transcript_;
  bool line_open_ = false;
  bool input_wanted_ = false;
  std::string entered_;
  std::size_t caret_ = 0;

  std::size_t rows_ = 1;
  std::size_t columns_ = 1;
  std::size_t first_line_ = 0;
  std::size_t first_column_ = 0;

  std::optional<Selection> selection_;
  std::size_t anchor_ = 0;
  bool button_down_ = false;
  bool commands_enabled_ = false;  // Cut, Copy and Delete
  bool paste_enabled_ = false;

  bool saved_ = false;
  std::vector<std::function<void(unsigned)>> listeners_;
};

}  // namespace tessora::console

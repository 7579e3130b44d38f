#include "window/core/text_window.hpp"

#include <algorithm>

namespace tessora::console {

namespace {
// Room for a typical run, taken at start-up (the store can grow beyond it).
constexpr std::size_t kInitialLines = 32767;
constexpr std::size_t kInitialCharacters = 262144;
}  // namespace

TextWindow::TextWindow() { transcript_.reserve(kInitialLines, kInitialCharacters); }

void TextWindow::notify(unsigned what) {
  for (auto& listener : listeners_) listener(what);
}

std::size_t TextWindow::caret_line() const {
  const std::size_t n = transcript_.line_count();
  return line_open_ ? n - 1 : n;
}

// ---- Output ---------------------------------------------------------------

void TextWindow::write_piece(std::string_view text) {
  // Only the piece's own line end goes: one line feed, then one carriage
  // return. Anything inside stays in the line as it is.
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  reveal_caret_line();
  transcript_.add_line(text);
  text_changed();
  line_open_ = true;
  caret_ = 0;
  enter(/*by_output=*/true);
  reveal_caret_line();
  notify(change::kText | change::kView | change::kCaret);
}

// ---- Line input -----------------------------------------------------------

void TextWindow::want_input() {
  input_wanted_ = true;
  entered_.clear();
}

void TextWindow::type(char c) {
  switch (c) {
    case '\b': press(Key::backspace); return;
    case '\t': press(Key::tab); return;
    case '\r': press(Key::enter); return;
    default: insert_character(c); return;
  }
}

void TextWindow::insert_character(char c) {
  clear_selection();
  reveal_caret_line();
  if (!line_open_) {
    transcript_.add_line({});
    line_open_ = true;
  }
  transcript_.insert(transcript_.line_count() - 1, caret_, std::string_view(&c, 1));
  text_changed();
  ++caret_;
  // Keep the caret a column clear of the right edge.
  if (caret_ + 1 >= first_column_ + columns_) ++first_column_;
  notify(change::kText | change::kView | change::kCaret);
}

void TextWindow::backspace() {
  if (caret_ == 0) return;
  --caret_;
  transcript_.erase(transcript_.line_count() - 1, caret_, 1);
  text_changed();
  notify(change::kText | change::kCaret);
}

void TextWindow::enter(bool by_output) {
  if (!line_open_) {
    transcript_.add_line({});
    text_changed();
  }
  const bool was_wanted = input_wanted_;
  if (was_wanted && !by_output) entered_ = transcript_.line(transcript_.line_count() - 1);
  input_wanted_ = false;
  line_open_ = false;
  caret_ = 0;
  first_column_ = 0;
  // The caret's new line lies below the last one: once the transcript is
  // longer than the window, the view follows it by one line.
  if (transcript_.line_count() + 1 > rows_) first_line_ = std::min(first_line_ + 1, vertical_max());
  if (!by_output) notify(change::kText | change::kView | change::kCaret | (was_wanted ? change::kInput : 0));
}

void TextWindow::press(Key key) {
  const std::size_t length = line_open_ ? transcript_.line(transcript_.line_count() - 1).size() : 0;
  switch (key) {
    case Key::backspace: backspace(); return;
    case Key::tab:
      do insert_character(' ');
      while (caret_ % kTabWidth != 0);
      return;
    case Key::enter: enter(/*by_output=*/false); return;
    case Key::left:
      if (caret_ > 0) {
        --caret_;
        notify(change::kCaret);
      }
      return;
    case Key::right:
      if (line_open_ && caret_ < length) {
        ++caret_;
        notify(change::kCaret);
      }
      return;
    case Key::del:
      if (line_open_ && caret_ < length) {
        transcript_.erase(transcript_.line_count() - 1, caret_, 1);
        text_changed();
        notify(change::kText);
      }
      return;
    case Key::insert:
      if (line_open_) {
        transcript_.insert(transcript_.line_count() - 1, caret_, " ");
        text_changed();
        notify(change::kText | change::kView);
      }
      return;
    case Key::home: scroll_vertical(Scroll::to_start); return;
    case Key::end: scroll_vertical(Scroll::to_end); return;
    case Key::page_up: scroll_vertical(Scroll::page_back); return;
    case Key::page_down: scroll_vertical(Scroll::page_forward); return;
    case Key::up: scroll_vertical(Scroll::line_back); return;
    case Key::down: scroll_vertical(Scroll::line_forward); return;
  }
}

// ---- View -----------------------------------------------------------------

std::size_t TextWindow::vertical_max() const {
  const std::size_t n = transcript_.line_count() + 2;
  return n > rows_ ? n - rows_ : 0;
}

std::size_t TextWindow::horizontal_max() const {
  const std::size_t n = transcript_.longest();
  return n > columns_ ? n - columns_ : 0;
}

void TextWindow::resize(std::size_t rows, std::size_t columns) {
  rows_ = rows;
  columns_ = columns;
  first_line_ = std::min(first_line_, vertical_max());
  first_column_ = std::min(first_column_, horizontal_max());
  notify(change::kView);
}

void TextWindow::reveal_caret_line() {
  const std::size_t line = caret_line();
  if (line >= first_line_ && line < first_line_ + rows_) return;
  first_line_ = line + 1 > rows_ ? line + 1 - rows_ : 0;
  notify(change::kView);
}

namespace {
std::size_t step(std::size_t from, Scroll action, std::size_t position, std::size_t page, std::size_t max) {
  switch (action) {
    case Scroll::line_back: return from > 0 ? std::min(from - 1, max) : 0;
    case Scroll::line_forward: return std::min(from + 1, max);
    case Scroll::page_back: return from > page ? std::min(from - page, max) : 0;
    case Scroll::page_forward: return std::min(from + page, max);
    case Scroll::to_position: return std::min(position, max);
    case Scroll::to_start: return 0;
    case Scroll::to_end: return max;
  }
  return from;
}
}  // namespace

void TextWindow::scroll_vertical(Scroll action, std::size_t position) {
  const std::size_t next = step(first_line_, action, position, vertical_page(), vertical_max());
  if (next == first_line_) return;
  first_line_ = next;
  notify(change::kView);
}

void TextWindow::scroll_horizontal(Scroll action, std::size_t position) {
  // Typing may have left the first column past the range; it stays reachable.
  const std::size_t max = std::max(horizontal_max(), first_column_);
  const std::size_t next = step(first_column_, action, position, kHorizontalPage, max);
  if (next == first_column_) return;
  first_column_ = next;
  notify(change::kView);
}

// ---- Selection ------------------------------------------------------------

void TextWindow::clear_selection() {
  if (!selection_ && !commands_enabled_) return;
  selection_.reset();
  commands_enabled_ = false;
  notify(change::kEditState);
}

void TextWindow::mouse_press() {
  button_down_ = true;
  clear_selection();
}

void TextWindow::mouse_drag(std::size_t line, std::size_t column) {
  if (!button_down_ || line >= transcript_.line_count()) return;
  const std::size_t c = std::min(column, transcript_.line(line).size());
  if (!selection_) {
    selection_ = Selection{line, c, c};
    anchor_ = c;
  } else if (selection_->line == line) {
    selection_->begin = std::min(anchor_, c);
    selection_->end = std::max(anchor_, c);
  } else {
    return;  // the selection never leaves the line where it began
  }
  notify(change::kEditState);
}

void TextWindow::mouse_release() {
  button_down_ = false;
  const bool enable = selection_ && !selection_->empty();
  if (enable != commands_enabled_) {
    commands_enabled_ = enable;
    notify(change::kEditState);
  }
}

void TextWindow::select_word(std::size_t line, std::size_t column) {
  if (line >= transcript_.line_count()) return;
  const std::string& s = transcript_.line(line);
  std::size_t begin = std::min(column, s.size());
  std::size_t end = begin;
  if (begin < s.size() && s[begin] != ' ') {
    while (begin > 0 && s[begin - 1] != ' ') --begin;
    while (end < s.size() && s[end] != ' ') ++end;
  }
  selection_ = Selection{line, begin, end};
  anchor_ = begin;
  commands_enabled_ = begin != end;
  notify(change::kEditState);
}

std::string TextWindow::selected_text() const {
  if (!selection_ || selection_->line >= transcript_.line_count()) return {};
  const std::string& s = transcript_.line(selection_->line);
  const std::size_t begin = std::min(selection_->begin, s.size());
  const std::size_t end = std::min(selection_->end, s.size());
  return s.substr(begin, end - begin);
}

// ---- Edit commands --------------------------------------------------------

EditState TextWindow::edit_state() const {
  const bool selected = commands_enabled_ && selection_ && !selection_->empty();
  return EditState{.undo = false, .cut = selected, .copy = selected, .paste = paste_enabled_, .del = selected};
}

bool TextWindow::copy(Clipboard& clipboard) {
  if (!edit_state().copy) return false;
  clipboard.set_text(selected_text());
  if (!paste_enabled_) {
    paste_enabled_ = true;
    notify(change::kEditState);
  }
  return true;
}

bool TextWindow::cut(Clipboard& clipboard) {
  if (!copy(clipboard)) return false;
  delete_selection();
  return true;
}

void TextWindow::paste(Clipboard& clipboard) {
  if (!paste_enabled_) return;
  const std::string text = clipboard.text();
  for (std::size_t i = 0; i < text.size() && i < kPasteLimit; ++i) {
    // Typed as if keyed in; a line feed is an ordinary character here.
    type(text[i]);
  }
}

void TextWindow::delete_selection() {
  if (!edit_state().del) return;
  const Selection sel = *selection_;
  const std::size_t length = transcript_.line(sel.line).size();
  const std::size_t begin = std::min(sel.begin, length);
  const std::size_t count = std::min(sel.end, length) - begin;
  transcript_.erase(sel.line, begin, count);
  text_changed();
  if (line_open_ && sel.line + 1 == transcript_.line_count() && caret_ > begin) {
    caret_ -= std::min(caret_ - begin, count);
  }
  selection_.reset();
  commands_enabled_ = false;
  notify(change::kText | change::kCaret | change::kEditState);
}

}  // namespace tessora::console

#include "window/core/text_window.hpp"

#include <gtest/gtest.h>

#include <variant>

#include "fakes.hpp"

namespace tessora::console {
namespace {

using testing::MemoryClipboard;
using testing::type_text;

std::vector<std::string> lines_of(const TextWindow& w) { return w.transcript().lines(); }

// ---- Output pieces --------------------------------------------------------

struct PieceCase {
  const char* name;
  std::vector<std::string> pieces;
  std::vector<std::string> lines;
};

class OutputPieces : public ::testing::TestWithParam<PieceCase> {};

TEST_P(OutputPieces, EachPieceBecomesOneLine) {
  TextWindow w;
  for (const auto& p : GetParam().pieces) w.write_piece(p);
  EXPECT_EQ(lines_of(w), GetParam().lines);
  EXPECT_FALSE(w.line_open());
  EXPECT_EQ(w.caret_column(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, OutputPieces,
    ::testing::Values(
        PieceCase{"stop_lines_are_three", {" STOP ", " ", "\n"}, {" STOP ", " ", ""}},
        PieceCase{"report_is_four_lines",
                  {"? FORTRAN Runtime Error:\n", "? Illegal character in numeric input\n", "? READ(UNIT=",
                   "*,...\n"},
                  {"? FORTRAN Runtime Error:", "? Illegal character in numeric input", "? READ(UNIT=", "*,..."}},
        PieceCase{"record_loses_its_crlf", {" ENTER INPUT FILENAME\r\n"}, {" ENTER INPUT FILENAME"}},
        PieceCase{"only_one_line_feed_goes", {"a\n\n"}, {"a\n"}},
        PieceCase{"carriage_return_after_line_feed_goes_alone", {"a\n\r"}, {"a\n"}},
        PieceCase{"inner_carriage_return_stays", {"a\rb\r\n"}, {"a\rb"}},
        PieceCase{"double_crlf_keeps_one", {"\r\n\r\n"}, {"\r\n"}},
        PieceCase{"empty_piece_is_an_empty_line", {""}, {""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextWindowOutput, OutputAfterTypedTextStartsItsOwnLine) {
  TextWindow w;
  type_text(w, "12");
  w.write_piece(" PROMPT\r\n");
  EXPECT_EQ(lines_of(w), (std::vector<std::string>{"12", " PROMPT"}));
  EXPECT_FALSE(w.line_open());
}

// ---- Keys -----------------------------------------------------------------

using Stroke = std::variant<char, Key>;

struct KeyCase {
  const char* name;
  std::vector<Stroke> strokes;
  std::vector<std::string> lines;
  std::size_t caret;
};

class LineKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(LineKeys, EditTheInputLine) {
  TextWindow w;
  w.resize(20, 80);
  for (const Stroke& s : GetParam().strokes) {
    if (const char* c = std::get_if<char>(&s)) {
      w.type(*c);
    } else {
      w.press(std::get<Key>(s));
    }
  }
  EXPECT_EQ(lines_of(w), GetParam().lines);
  EXPECT_EQ(w.caret_column(), GetParam().caret);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, LineKeys,
    ::testing::Values(
        KeyCase{"backspace_deletes_left", {'a', 'b', 'c', Key::backspace}, {"ab"}, 2},
        KeyCase{"backspace_character_acts_as_key", {'a', 'b', '\b'}, {"a"}, 1},
        KeyCase{"backspace_at_column_zero_does_nothing", {Key::backspace}, {}, 0},
        KeyCase{"tab_pads_to_eight", {'a', 'b', Key::tab}, {"ab      "}, 8},
        KeyCase{"tab_at_multiple_adds_a_full_stop", {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', '\t'},
                {"abcdefgh        "}, 16},
        KeyCase{"tab_on_new_line", {Key::tab}, {"        "}, 8},
        KeyCase{"left_then_type_inserts", {'a', 'b', 'c', Key::left, Key::left, 'X'}, {"aXbc"}, 2},
        KeyCase{"left_stops_at_zero", {'a', Key::left, Key::left, Key::left}, {"a"}, 0},
        KeyCase{"right_stops_at_line_end", {'a', 'b', Key::left, Key::right, Key::right, Key::right}, {"ab"}, 2},
        KeyCase{"delete_removes_at_caret", {'a', 'b', 'c', Key::left, Key::left, Key::del}, {"ac"}, 1},
        KeyCase{"delete_at_end_does_nothing", {'a', Key::del}, {"a"}, 1},
        KeyCase{"insert_adds_blank_at_caret", {'a', 'b', 'c', Key::left, Key::insert}, {"ab c"}, 2},
        KeyCase{"insert_without_open_line_does_nothing", {Key::insert, Key::del, Key::right}, {}, 0},
        KeyCase{"enter_on_empty_line_creates_it", {Key::enter}, {""}, 0},
        KeyCase{"carriage_return_is_enter", {'1', '\r', '2'}, {"1", "2"}, 1},
        KeyCase{"line_feed_is_an_ordinary_character", {'1', '\n', '2'}, {"1\n2"}, 3},
        KeyCase{"view_keys_leave_the_caret",
                {'a', 'b', Key::home, Key::end, Key::page_up, Key::page_down, Key::up, Key::down}, {"ab"}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextWindowInput, EnterTakesTheLineOnlyWhileAReadWaits) {
  TextWindow w;
  type_text(w, "early\r");
  w.want_input();
  EXPECT_TRUE(w.input_wanted());
  EXPECT_EQ(w.entered_line(), "");  // the line typed before does not count
  type_text(w, "42");
  EXPECT_TRUE(w.input_wanted());
  w.press(Key::enter);
  EXPECT_FALSE(w.input_wanted());
  EXPECT_EQ(w.entered_line(), "42");
  EXPECT_EQ(lines_of(w), (std::vector<std::string>{"early", "42"}));
}

TEST(TextWindowInput, OutputClearsInputWantedWithoutEnteringALine) {
  TextWindow w;
  w.want_input();
  w.write_piece("x\n");
  EXPECT_FALSE(w.input_wanted());
  EXPECT_EQ(w.entered_line(), "");
}

// ---- View and scrolling ---------------------------------------------------

struct RangeCase {
  std::size_t lines, longest, rows, columns;
  std::size_t vertical_max, horizontal_max;
};

class ScrollRanges : public ::testing::TestWithParam<RangeCase> {};

TEST_P(ScrollRanges, FollowLinesRowsAndLongestLine) {
  const RangeCase& c = GetParam();
  TextWindow w;
  w.resize(c.rows, c.columns);
  for (std::size_t i = 0; i < c.lines; ++i) w.write_piece(std::string(i == 0 ? c.longest : 1, 'x'));
  EXPECT_EQ(w.vertical_max(), c.vertical_max);
  EXPECT_EQ(w.horizontal_max(), c.horizontal_max);
}

INSTANTIATE_TEST_SUITE_P(Ranges, ScrollRanges,
                         ::testing::Values(RangeCase{0, 0, 10, 80, 0, 0},    // empty
                                           RangeCase{8, 5, 10, 80, 0, 0},    // lines + 2 == rows
                                           RangeCase{9, 5, 10, 80, 1, 0},    // one over
                                           RangeCase{20, 5, 10, 80, 12, 0},  // lines - rows + 2
                                           RangeCase{3, 80, 10, 80, 0, 0},   // longest == columns
                                           RangeCase{3, 100, 10, 80, 0, 20}, RangeCase{1, 7, 0, 0, 3, 7}));

TEST(TextWindowView, LongestLineNeverShrinks) {
  TextWindow w;
  w.resize(10, 5);
  type_text(w, "abcdefgh");
  EXPECT_EQ(w.horizontal_max(), 3u);
  for (int i = 0; i < 8; ++i) w.press(Key::backspace);
  EXPECT_EQ(w.horizontal_max(), 3u);
}

struct StepCase {
  Scroll action;
  std::size_t position;
  std::size_t from, expected;
};

class VerticalSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(VerticalSteps, StayInRange) {
  TextWindow w;
  w.resize(10, 80);
  for (int i = 0; i < 40; ++i) w.write_piece("x");  // vertical max 32
  w.scroll_vertical(Scroll::to_position, GetParam().from);
  w.scroll_vertical(GetParam().action, GetParam().position);
  EXPECT_EQ(w.first_line(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Steps, VerticalSteps,
                         ::testing::Values(StepCase{Scroll::line_back, 0, 5, 4}, StepCase{Scroll::line_back, 0, 0, 0},
                                           StepCase{Scroll::line_forward, 0, 31, 32},
                                           StepCase{Scroll::line_forward, 0, 32, 32},
                                           StepCase{Scroll::page_back, 0, 25, 15}, StepCase{Scroll::page_back, 0, 7, 0},
                                           StepCase{Scroll::page_forward, 0, 15, 25},
                                           StepCase{Scroll::page_forward, 0, 25, 32},
                                           StepCase{Scroll::to_position, 99, 0, 32},
                                           StepCase{Scroll::to_start, 0, 20, 0}, StepCase{Scroll::to_end, 0, 3, 32}));

TEST(TextWindowView, HorizontalPageIsEightColumns) {
  TextWindow w;
  w.resize(10, 10);
  w.write_piece(std::string(40, 'x'));  // horizontal max 30
  w.scroll_horizontal(Scroll::page_forward);
  EXPECT_EQ(w.first_column(), 8u);
  w.scroll_horizontal(Scroll::line_forward);
  EXPECT_EQ(w.first_column(), 9u);
  w.scroll_horizontal(Scroll::to_position, 100);
  EXPECT_EQ(w.first_column(), 30u);
  w.scroll_horizontal(Scroll::page_back);
  EXPECT_EQ(w.first_column(), 22u);
  w.scroll_horizontal(Scroll::to_start);
  EXPECT_EQ(w.first_column(), 0u);
}

TEST(TextWindowView, KeysMoveTheView) {
  TextWindow w;
  w.resize(10, 80);
  for (int i = 0; i < 40; ++i) w.write_piece("x");
  w.press(Key::home);
  EXPECT_EQ(w.first_line(), 0u);
  w.press(Key::page_down);
  EXPECT_EQ(w.first_line(), 10u);
  w.press(Key::down);
  EXPECT_EQ(w.first_line(), 11u);
  w.press(Key::up);
  w.press(Key::page_up);
  EXPECT_EQ(w.first_line(), 0u);
  w.press(Key::end);
  EXPECT_EQ(w.first_line(), w.vertical_max());
}

TEST(TextWindowView, OutputKeepsTheCaretLineVisible) {
  TextWindow w;
  w.resize(10, 80);
  for (int i = 0; i < 100; ++i) {
    w.write_piece("line");
    ASSERT_GE(w.caret_line(), w.first_line());
    ASSERT_LT(w.caret_line(), w.first_line() + w.rows()) << "after " << i + 1 << " lines";
  }
  EXPECT_EQ(w.first_line(), 91u);  // lines 91 to 100, the caret on the last row
}

TEST(TextWindowView, TypingScrollsBackToTheEnd) {
  TextWindow w;
  w.resize(10, 80);
  for (int i = 0; i < 30; ++i) w.write_piece("x");
  w.press(Key::home);
  w.type('7');
  EXPECT_EQ(w.first_line(), 21u);
  EXPECT_EQ(w.caret_line(), 30u);
}

TEST(TextWindowView, EnterMovesDownOneLineOnceTheTextIsLonger) {
  TextWindow w;
  w.resize(3, 80);
  w.press(Key::enter);  // two lines with the caret's: fits
  EXPECT_EQ(w.first_line(), 0u);
  w.press(Key::enter);  // three
  EXPECT_EQ(w.first_line(), 0u);
  w.press(Key::enter);  // four: one down
  EXPECT_EQ(w.first_line(), 1u);
}

TEST(TextWindowView, CaretNearTheRightEdgeMovesTheViewAndEnterReturns) {
  TextWindow w;
  w.resize(10, 10);
  type_text(w, "12345678");
  EXPECT_EQ(w.first_column(), 0u);
  w.type('9');  // caret at column 9, the window's last column
  EXPECT_EQ(w.first_column(), 1u);
  w.type('0');
  EXPECT_EQ(w.first_column(), 2u);
  w.press(Key::enter);
  EXPECT_EQ(w.first_column(), 0u);
}

// ---- Selection and Edit commands --------------------------------------------

TEST(TextWindowSelection, DragAcrossTwoLinesKeepsTheFirstLine) {
  TextWindow w;
  w.write_piece("first line");
  w.write_piece("second line");
  w.mouse_press();
  w.mouse_drag(0, 2);
  w.mouse_drag(0, 5);
  w.mouse_drag(1, 9);  // ignored: another line
  w.mouse_release();
  ASSERT_TRUE(w.selection());
  EXPECT_EQ(*w.selection(), (Selection{0, 2, 5}));
  EXPECT_EQ(w.selected_text(), "rst");
}

TEST(TextWindowSelection, ColumnsAreLimitedToTheLine) {
  TextWindow w;
  w.write_piece("abc");
  w.mouse_press();
  w.mouse_drag(0, 1);
  w.mouse_drag(0, 50);
  w.mouse_release();
  EXPECT_EQ(w.selected_text(), "bc");
  w.mouse_press();
  w.mouse_drag(0, 2);
  w.mouse_drag(0, 0);  // backwards from the start
  w.mouse_release();
  EXPECT_EQ(w.selected_text(), "ab");
}

TEST(TextWindowSelection, MovesBelowTheLastLineStartNothing) {
  TextWindow w;
  w.write_piece("abc");
  w.mouse_press();
  w.mouse_drag(5, 1);
  w.mouse_release();
  EXPECT_FALSE(w.selection());
}

TEST(TextWindowSelection, DoubleClickSelectsTheWordBetweenBlanks) {
  TextWindow w;
  w.write_piece(" 0=FULL MATRIX,  1=LOWER");
  w.select_word(0, 4);
  EXPECT_EQ(w.selected_text(), "0=FULL");
  w.select_word(0, 10);
  EXPECT_EQ(w.selected_text(), "MATRIX,");
  w.select_word(0, 23);
  EXPECT_EQ(w.selected_text(), "1=LOWER");
  w.select_word(0, 15);  // a blank: nothing to select
  EXPECT_EQ(w.selected_text(), "");
  EXPECT_FALSE(w.edit_state().copy);
}

struct EnableCase {
  const char* name;
  std::function<void(TextWindow&, Clipboard&)> steps;
  EditState expected;
};

class EnablingRules : public ::testing::TestWithParam<EnableCase> {};

TEST_P(EnablingRules, EditMenuFollowsSelectionAndClipboard) {
  TextWindow w;
  MemoryClipboard clip;
  w.write_piece("hello world");
  GetParam().steps(w, clip);
  EXPECT_EQ(w.edit_state(), GetParam().expected);
}

const EditState kNone{};
const EditState kSelected{.cut = true, .copy = true, .del = true};
const EditState kPasteOnly{.paste = true};
const EditState kAll{.cut = true, .copy = true, .paste = true, .del = true};

void drag(TextWindow& w, std::size_t from, std::size_t to) {
  w.mouse_press();
  w.mouse_drag(0, from);
  w.mouse_drag(0, to);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, EnablingRules,
    ::testing::Values(
        EnableCase{"at_start_all_greyed", [](TextWindow&, Clipboard&) {}, kNone},
        EnableCase{"while_dragging_still_greyed", [](TextWindow& w, Clipboard&) { drag(w, 0, 5); }, kNone},
        EnableCase{"release_enables", [](TextWindow& w, Clipboard&) { drag(w, 0, 5), w.mouse_release(); }, kSelected},
        EnableCase{"empty_selection_stays_greyed", [](TextWindow& w, Clipboard&) { drag(w, 3, 3), w.mouse_release(); },
                   kNone},
        EnableCase{"press_greys_again",
                   [](TextWindow& w, Clipboard&) { drag(w, 0, 5), w.mouse_release(), w.mouse_press(); }, kNone},
        EnableCase{"copy_enables_paste_for_good",
                   [](TextWindow& w, Clipboard& c) {
                     drag(w, 0, 5), w.mouse_release();
                     w.copy(c);
                     w.mouse_press();
                     w.mouse_release();
                   },
                   kPasteOnly},
        EnableCase{"copy_keeps_the_selection",
                   [](TextWindow& w, Clipboard& c) { drag(w, 0, 5), w.mouse_release(), w.copy(c); }, kAll},
        EnableCase{"cut_greys_selection_commands",
                   [](TextWindow& w, Clipboard& c) { drag(w, 0, 5), w.mouse_release(), w.cut(c); }, kPasteOnly},
        EnableCase{"delete_greys_without_paste",
                   [](TextWindow& w, Clipboard&) { drag(w, 0, 5), w.mouse_release(), w.delete_selection(); }, kNone},
        EnableCase{"typing_clears_the_selection",
                   [](TextWindow& w, Clipboard&) { drag(w, 0, 5), w.mouse_release(), w.type('x'); }, kNone},
        EnableCase{"copy_while_greyed_does_not_enable_paste",
                   [](TextWindow& w, Clipboard& c) { drag(w, 0, 5), w.copy(c); }, kNone}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextWindowEdit, CopyCutAndDeleteWorkOnTheSelectedColumns) {
  TextWindow w;
  MemoryClipboard clip;
  w.write_piece("hello world");
  drag(w, 6, 11);
  w.mouse_release();
  EXPECT_TRUE(w.copy(clip));
  EXPECT_EQ(clip.contents, "world");
  EXPECT_EQ(w.transcript().line(0), "hello world");
  EXPECT_TRUE(w.cut(clip));
  EXPECT_EQ(w.transcript().line(0), "hello ");
  drag(w, 0, 2);
  w.mouse_release();
  w.delete_selection();
  EXPECT_EQ(w.transcript().line(0), "llo ");
  EXPECT_EQ(clip.contents, "world");
}

TEST(TextWindowEdit, DeleteOnTheInputLineMovesTheCaret) {
  TextWindow w;
  type_text(w, "abcdef");
  drag(w, 1, 3);
  w.mouse_release();
  w.delete_selection();
  EXPECT_EQ(w.transcript().line(0), "adef");
  EXPECT_EQ(w.caret_column(), 4u);
}

TEST(TextWindowEdit, PasteIsGreyedUntilACopy) {
  TextWindow w;
  MemoryClipboard clip;
  clip.contents = "text from elsewhere";
  w.paste(clip);
  EXPECT_TRUE(w.transcript().empty());
}

TEST(TextWindowEdit, PasteTypesAtMost1024Characters) {
  TextWindow w;
  MemoryClipboard clip;
  w.write_piece("x");
  drag(w, 0, 1);
  w.mouse_release();
  w.copy(clip);
  clip.contents = std::string(1500, 'a');
  w.paste(clip);
  EXPECT_EQ(w.transcript().line(1).size(), 1024u);
}

TEST(TextWindowEdit, PastedCarriageReturnEntersTheLine) {
  TextWindow w;
  MemoryClipboard clip;
  w.write_piece("x");
  drag(w, 0, 1);
  w.mouse_release();
  w.copy(clip);
  w.want_input();
  clip.contents = "1\n2\r3";
  w.paste(clip);
  EXPECT_FALSE(w.input_wanted());
  EXPECT_EQ(w.entered_line(), "1\n2");  // the line that the carriage return ended
  EXPECT_EQ(lines_of(w), (std::vector<std::string>{"x", "1\n2", "3"}));
}

// ---- Saved flag -----------------------------------------------------------

TEST(TextWindowSaved, EveryChangeClearsIt) {
  const std::vector<std::pair<const char*, std::function<void(TextWindow&)>>> changes = {
      {"output", [](TextWindow& w) { w.write_piece("more"); }},
      {"typing", [](TextWindow& w) { w.type('1'); }},
      {"backspace", [](TextWindow& w) { w.press(Key::backspace); }},
      {"delete key", [](TextWindow& w) { w.press(Key::left), w.press(Key::del); }},
      {"insert key", [](TextWindow& w) { w.press(Key::insert); }},
      {"delete command", [](TextWindow& w) { drag(w, 0, 2), w.mouse_release(), w.delete_selection(); }},
  };
  for (const auto& [name, change] : changes) {
    TextWindow w;
    w.write_piece("text");
    type_text(w, "ab");
    w.mark_saved();
    change(w);
    EXPECT_FALSE(w.saved()) << name;
  }
  TextWindow w;
  w.write_piece("text");
  w.mark_saved();
  w.press(Key::home);
  w.scroll_horizontal(Scroll::to_end);
  EXPECT_TRUE(w.saved()) << "scrolling changes nothing";
}

}  // namespace
}  // namespace tessora::console

// Free-form reading from the console: every row is one read statement over
// the given lines, with items of the given types.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "recordio/runtime.hpp"
#include "scripted_hooks.hpp"

namespace tessora::recordio {
namespace {

using testing::ScriptedHooks;

constexpr std::size_t kTextLength = 8;

// Items start as 99, 99.0 or eight '#'; "=" expects an item left as it was.
struct ReadCase {
  std::vector<std::string> lines;
  std::string types;  // 'i' integer, 'r' real, 't' text of 8 characters
  std::vector<std::string> expected;
  int error = 0;  // the run-time error that ends the statement
};

const ReadCase kCases[] = {
    // Separators.
    {{"1 2 3"}, "iii", {"1", "2", "3"}},
    {{"1,2,3"}, "iii", {"1", "2", "3"}},
    {{"1 , 2 ,3"}, "iii", {"1", "2", "3"}},
    {{"1", "2", "3"}, "iii", {"1", "2", "3"}},
    {{"  1   2  "}, "ii", {"1", "2"}},
    {{"1\t2"}, "ii", {"1", "2"}},
    {{"1,,3"}, "iii", {"1", "=", "3"}},
    {{",2"}, "ii", {"=", "2"}},
    {{"1 ,, 3"}, "iii", {"1", "=", "3"}},
    {{"1,", "2"}, "ii", {"1", "2"}},
    {{"1,", ",2"}, "iii", {"1", "=", "2"}},
    {{"", "", "5"}, "i", {"5"}},
    {{"   ", "7"}, "i", {"7"}},
    // Slash.
    {{"1 /"}, "iii", {"1", "=", "="}},
    {{"1/2"}, "ii", {"1", "="}},
    {{"/ 5"}, "i", {"="}},
    // The line-end flag: a comma first on the next line only closes the value.
    {{"1", ",5"}, "ii", {"1", "5"}},
    {{"1", ",,5"}, "iii", {"1", "=", "5"}},
    {{"1", "  , 5"}, "ii", {"1", "5"}},
    {{"1", ",", "9"}, "iii", {"1", "=", "9"}},
    {{"1", ",/"}, "ii", {"1", "="}},
    {{"1 ", ",5"}, "iii", {"1", "=", "5"}},
    {{"1", "", ",5"}, "ii", {"1", "5"}},
    // The flag stays set until such a comma clears it, even past other values.
    {{"1", "2,,4"}, "iii", {"1", "2", "4"}},
    {{"1,", "2,,4"}, "iiii", {"1", "2", "=", "4"}},
    // Repeat counts.
    {{"4*-1"}, "rrrr", {"-1", "-1", "-1", "-1"}},
    {{"3*7"}, "iiii", {"7", "7", "7", "="}, 10013},  // a fourth value is looked for
    {{"3*7 8"}, "iiii", {"7", "7", "7", "8"}},
    {{"3* 7"}, "iii", {"7", "7", "7"}},
    {{"3*", "7"}, "iii", {"7", "7", "7"}},
    {{"3*,5"}, "iiii", {"=", "=", "=", "5"}},
    {{"3*/"}, "iiii", {"=", "=", "=", "="}},
    {{"2*1 2*2"}, "iiii", {"1", "1", "2", "2"}},
    {{"2*1.5"}, "ri", {"1.5", "="}, 10016},
    {{"0*5"}, "i", {"="}, 10016},
    {{"x*5"}, "i", {"="}, 10016},
    {{"-2*5"}, "i", {"="}, 10016},
    {{"*5"}, "i", {"="}, 10016},
    {{"2*'A B'"}, "tt", {"A B     ", "A B     "}},
    // Integer and real syntax.
    {{"12.0"}, "i", {"="}, 10016},
    {{"12"}, "r", {"12"}},
    {{"abc"}, "r", {"="}, 10016},
    {{"1,5"}, "rr", {"1", "5"}},
    {{"- +"}, "ii", {"0", "0"}},
    {{"2147483648"}, "i", {"-2147483648"}},
    {{".5 5. 1E3 1+3 1.5d-2 1.5.3 1E"}, "rrrrrrr", {"0.5", "5", "1000", "1000", "0.015", "1.5", "1"}},
    {{"1E39 -1E39 1E-50 1e-45"}, "rrrr", {"inf", "-inf", "0", "1e-45"}},
    {{"INF -inf NaN -nan"}, "rrrr", {"inf", "-inf", "nan", "-nan"}},
    {{"INFX"}, "r", {"="}, 10016},
    {{"1 2 x"}, "iii", {"1", "2", "="}, 10016},
    // Text items.
    {{"DATA.TXT"}, "t", {"DATA.TXT"}},
    {{"A.TXT"}, "t", {"A.TXT   "}},
    {{"LONGNAME.TXT"}, "t", {"LONGNAME"}},
    {{"'MY D.TX'"}, "t", {"MY D.TX "}},
    {{"\"it's\""}, "t", {"it's    "}},
    {{"'don''t'"}, "t", {"don't   "}},
    {{"''"}, "t", {"        "}},
    {{"'AB", "CD'"}, "t", {"ABCD    "}},
    {{"'AB", "", "CD'"}, "t", {"ABCD    "}},
    {{"'a,b/c'"}, "t", {"a,b/c   "}},
    {{"ab,cd"}, "tt", {"ab      ", "cd      "}},
    {{"a'b"}, "t", {"a'b     "}},
    {{"abc def"}, "t", {"abc     "}},
    {{"a/b"}, "tt", {"a       ", "="}},
    {{"'ab',5"}, "ti", {"ab      ", "5"}},
    {{"'ab'", ",'cd'"}, "tt", {"ab      ", "cd      "}},
    {{"'ab'x"}, "tt", {"ab      ", "x       "}},
    {{"'12'"}, "i", {"="}, 10016},
    // End of input.
    {{}, "i", {"="}, 10013},
    {{"5"}, "ii", {"5", "="}, 10013},
    {{"'open"}, "t", {"="}, 10013},
};

struct Items {
  std::vector<std::int32_t> integers;
  std::vector<float> reals;
  std::vector<std::string> texts;
};

std::string shown(const ReadCase& row, const Items& items, std::size_t i) {
  switch (row.types[i]) {
    case 'i':
      return items.integers[i] == 99 ? "=" : std::to_string(items.integers[i]);
    case 'r': {
      const float v = items.reals[i];
      if (std::bit_cast<std::uint32_t>(v) == std::bit_cast<std::uint32_t>(99.0f)) return "=";
      return std::to_string(v);
    }
    default:
      return items.texts[i] == std::string(kTextLength, '#') ? "=" : items.texts[i];
  }
}

bool matches(char type, const std::string& expected, const std::string& actual, float real) {
  if (expected == "=" || type != 'r') return expected == actual;
  if (actual == "=") return false;
  const float want = std::strtof(expected.c_str(), nullptr);
  if (std::isnan(want)) return std::isnan(real) && std::signbit(want) == std::signbit(real);
  return std::bit_cast<std::uint32_t>(want) == std::bit_cast<std::uint32_t>(real);
}

TEST(ConsoleRead, Table) {
  for (const auto& row : kCases) {
    ScriptedHooks hooks(row.lines);
    Runtime rt(hooks);
    const std::size_t n = row.types.size();
    Items items{std::vector<std::int32_t>(n, 99), std::vector<float>(n, 99.0f),
                std::vector<std::string>(n, std::string(kTextLength, '#'))};
    int code = 0;
    try {
      rt.begin_read(kConsole);
      for (std::size_t i = 0; i < n; ++i) {
        if (row.types[i] == 'i') rt.read_item(items.integers[i]);
        if (row.types[i] == 'r') rt.read_item(items.reals[i]);
        if (row.types[i] == 't') rt.read_item(items.texts[i].data(), kTextLength);
      }
      rt.end_read();
    } catch (const RunEnded& end) {
      code = end.code;
    }
    std::string context = "lines:";
    for (const auto& l : row.lines) context += " [" + l + "]";
    context += " items " + row.types;
    for (std::size_t i = 0; i < n; ++i) {
      EXPECT_TRUE(matches(row.types[i], row.expected[i], shown(row, items, i), items.reals[i]))
          << context << ": item " << i << " is " << shown(row, items, i) << ", expected "
          << row.expected[i];
    }
    const auto errors = hooks.texts(console::Stream::error);
    if (row.error == 0) {
      EXPECT_EQ(code, 0) << context;
      EXPECT_TRUE(errors.empty()) << context;
    } else {
      EXPECT_EQ(code, -1) << context;
      ASSERT_EQ(errors.size(), 4u) << context;
      const char* message = row.error == 10016 ? "? Illegal character in numeric input\n"
                                               : "? Attempt to read past end of file\n";
      EXPECT_EQ(errors[1], message) << context;
      EXPECT_EQ(errors[2], "? READ(UNIT=") << context;
      EXPECT_EQ(errors[3], "*,...\n") << context;
    }
  }
}

// Runs statements of one integer item each over the lines; "=" for an item
// that kept its value.
std::vector<std::string> integer_statements(std::vector<std::string> lines, int statements,
                                            int items_in_first = 1) {
  ScriptedHooks hooks(std::move(lines));
  Runtime rt(hooks);
  std::vector<std::string> out;
  for (int s = 0; s < statements; ++s) {
    rt.begin_read(kConsole);
    for (int i = 0; i < (s == 0 ? items_in_first : 1); ++i) {
      std::int32_t v = 99;
      rt.read_item(v);
      out.push_back(v == 99 ? "=" : std::to_string(v));
    }
    rt.end_read();
  }
  return out;
}

TEST(ConsoleRead, EachStatementStartsOnANewLine) {
  EXPECT_EQ(integer_statements({"1 2 3", "4"}, 2), (std::vector<std::string>{"1", "4"}));
}

TEST(ConsoleRead, LineEndFlagBelongsToOneStatement) {
  // "1" ends its line, but the next statement's leading comma is a null value.
  EXPECT_EQ(integer_statements({"1", ",5"}, 2), (std::vector<std::string>{"1", "="}));
}

TEST(ConsoleRead, RepeatAndSlashEndWithTheirStatement) {
  EXPECT_EQ(integer_statements({"3*7", "8"}, 2), (std::vector<std::string>{"7", "8"}));
  EXPECT_EQ(integer_statements({"1 / 2", "8"}, 2, 2), (std::vector<std::string>{"1", "=", "8"}));
}

TEST(ConsoleRead, ReadsTheFirstLineAtBeginAndAsksFor254Characters) {
  ScriptedHooks hooks({std::string(300, '7')});
  Runtime rt(hooks);
  rt.begin_read(kConsole);
  EXPECT_EQ(hooks.capacities.size(), 1u);  // before any item
  char text[300];
  rt.read_item(text, sizeof text);
  rt.end_read();
  EXPECT_EQ(std::string(text, 254), std::string(254, '7'));
  EXPECT_EQ(std::string(text + 254, 46), std::string(46, ' '));
  EXPECT_EQ(hooks.capacities, (std::vector<std::size_t>{254}));
  EXPECT_EQ(hooks.statement_starts, 0);  // console reads do without it
}

TEST(ConsoleRead, StatementWithoutItemsStillTakesALine) {
  EXPECT_EQ(integer_statements({"1", "2"}, 2, 0), (std::vector<std::string>{"2"}));
}

// What one statement of `count` reals leaves: the bit patterns of the items
// (they start as 99) and the report that ended the run, if any; otherwise
// the values of a second statement of two reals, which shows where the first
// one stopped.
struct RowRead {
  std::vector<std::uint32_t> bits;
  int code = 0;
  std::vector<std::string> report;
  std::vector<std::uint32_t> after;
};

enum class Path { one_at_a_time, row, strided };

RowRead read_row(const std::vector<std::string>& lines, std::size_t count, Path path) {
  ScriptedHooks hooks(lines);
  Runtime rt(hooks);
  RowRead out;
  std::vector<float> values(count * 3, 99.0f);
  auto statement = [&](std::vector<float>& v, std::size_t n, Path how) {
    rt.begin_read(kConsole);
    if (how == Path::one_at_a_time) {
      for (std::size_t c = 0; c < n; ++c) rt.read_item(v[c]);
    } else if (how == Path::row) {
      rt.read_items(std::span<float>(v.data(), n));
    } else {
      rt.read_items_strided(v.data() + 1, n, 3);
    }
    rt.end_read();
  };
  try {
    statement(values, count, path);
    std::vector<float> next(2, 99.0f);
    statement(next, 2, Path::one_at_a_time);
    for (float v : next) out.after.push_back(std::bit_cast<std::uint32_t>(v));
  } catch (const RunEnded& end) {
    out.code = end.code;
    out.report = hooks.texts(console::Stream::error);
  }
  for (std::size_t c = 0; c < count; ++c)
    out.bits.push_back(std::bit_cast<std::uint32_t>(values[path == Path::strided ? c * 3 + 1 : c]));
  return out;
}

// Rows of reals take a direct path for plain decimals; every row must give
// the bits, the error and the position that one item at a time gives.
TEST(ConsoleRead, RowPathsMatchOneItemAtATime) {
  struct Row {
    std::vector<std::string> lines;
    std::size_t count;
  };
  const Row rows[] = {
      {{"1 2,,4 3*5.5 / 9", "x"}, 8},
      {{"1 2", ",3 4", "5 6"}, 4},                  // a comma closing the value that ended a line
      {{"1 2", "3 4", ",5 6"}, 5},
      {{"-0 0.000 12. .5 -.5 007 0.0625 -1"}, 8},    // signs of zero, bare points, leading zeros
      {{"123456789012345 1234567890123456 0.1234567890123456789012 1.00000000000000000001"}, 4},
      {{"5.5.5 1e3 1d3 1.5-3 +5 INF -nan 16777217"}, 8},  // not plain: the full path
      {{"1,2 ,3 , 4", "5"}, 5},
      {{"  7   8  ", "9", "10 11"}, 5},
      {{"1/", "2 3"}, 3},
      {{"- . -. 4"}, 4},
      {{"1 x 3"}, 3},                                 // an error after a direct value
      {{"0.1 3.4028235e38 1e39 1E-46 0.30000001192092896"}, 5},
      {{"1 2"}, 3},                                   // input ends inside the row
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.lines.front());
    const RowRead want = read_row(row.lines, row.count, Path::one_at_a_time);
    for (Path path : {Path::row, Path::strided}) {
      const RowRead got = read_row(row.lines, row.count, path);
      EXPECT_EQ(got.bits, want.bits);
      EXPECT_EQ(got.code, want.code);
      EXPECT_EQ(got.report, want.report);
      EXPECT_EQ(got.after, want.after);
    }
  }
}

TEST(ConsoleRead, ClosingTheWindowWhileReadingEndsTheRunQuietly) {
  ScriptedHooks hooks;
  hooks.after_last_line = console::ReadResult::closed;
  Runtime rt(hooks);
  try {
    rt.begin_read(kConsole);
    FAIL() << "the read returned";
  } catch (const RunEnded& end) {
    EXPECT_EQ(end.code, 0);
    EXPECT_TRUE(end.window_closed);
  }
  EXPECT_TRUE(hooks.pieces.empty());
}

}  // namespace
}  // namespace tessora::recordio

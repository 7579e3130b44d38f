// Free-form writing to the console: every record reaches the host as one
// piece with its carriage return and line feed.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "recordio/real_text.hpp"
#include "recordio/runtime.hpp"
#include "scripted_hooks.hpp"

namespace tessora::recordio {
namespace {

using testing::ScriptedHooks;
using Item = std::variant<std::string, std::int32_t, float>;

std::string written(const std::vector<Item>& items) {
  ScriptedHooks hooks;
  Runtime rt(hooks);
  rt.begin_write(kConsole);
  for (const Item& item : items) {
    if (auto* t = std::get_if<std::string>(&item)) rt.write_item(std::string_view(*t));
    if (auto* i = std::get_if<std::int32_t>(&item)) rt.write_item(*i);
    if (auto* f = std::get_if<float>(&item)) rt.write_item(*f);
  }
  rt.end_write();
  std::string joined;
  for (const auto& piece : hooks.texts(console::Stream::output)) joined += piece;
  EXPECT_TRUE(hooks.texts(console::Stream::error).empty());
  return joined;
}

struct LineCase {
  std::vector<Item> items;
  std::string record;  // without its carriage return and line feed
};

const std::string kTitle = "TEST" + std::string(96, ' ');

const LineCase kLines[] = {
    {{}, " "},
    {{std::string(" ENTER INPUT FILENAME")}, "  ENTER INPUT FILENAME"},
    {{std::string("   OBJECTS "), 3, 7, std::string(" ARE INCOMPARABLE")},
     "    OBJECTS   3  7  ARE INCOMPARABLE"},
    {{std::string(" MATRIX "), 7, std::string(" FROM "), kTitle}, "  MATRIX   7  FROM " + kTitle},
    {{5}, "   5"},
    {{1.0f, 0.5f, 0.333333f}, "   1.00000  .500000  .333333"},
    // Integers: no width, no padding.
    {{0}, "   0"},
    {{-12}, "  -12"},
    {{std::numeric_limits<std::int32_t>::max()}, "   2147483647"},
    {{std::numeric_limits<std::int32_t>::min()}, "  -2147483648"},
    // The text-run flag: text after text runs on, text after a number gets a blank.
    {{std::string("AB"), std::string("CD")}, " ABCD"},
    {{1, std::string("X")}, "   1 X"},
    {{1.5f, std::string("X"), std::string("Y"), 2}, "   1.50000 XY  2"},
    {{std::string(""), 4}, "   4"},
    {{-0.0f, -0.05f}, "  -.000000 -5.000000E-02"},
};

TEST(ConsoleWrite, WholeLines) {
  for (const auto& row : kLines) EXPECT_EQ(written(row.items), row.record + "\r\n") << row.record;
}

TEST(ConsoleWrite, StatementStartAtEveryWriteAndEachRecordOnePiece) {
  ScriptedHooks hooks;
  Runtime rt(hooks);
  for (int i = 0; i < 3; ++i) {
    rt.begin_write(kConsole);
    rt.write_item(std::int32_t{i});
    rt.end_write();
  }
  EXPECT_EQ(hooks.statement_starts, 3);
  EXPECT_EQ(hooks.texts(console::Stream::output),
            (std::vector<std::string>{"   0\r\n", "   1\r\n", "   2\r\n"}));
}

TEST(ConsoleWrite, LongRecordsGoInPiecesOf256Bytes) {
  const struct {
    std::size_t text;
    std::vector<std::size_t> pieces;
  } rows[] = {{253, {256}}, {254, {256, 1}}, {300, {256, 47}}, {765, {256, 256, 256}}, {766, {256, 256, 256, 1}}};
  for (const auto& row : rows) {
    ScriptedHooks hooks;
    Runtime rt(hooks);
    rt.begin_write(kConsole);
    rt.write_item(std::string_view(std::string(row.text, 'x')));
    rt.end_write();
    std::vector<std::size_t> sizes;
    std::string joined;
    for (const auto& p : hooks.texts(console::Stream::output)) {
      sizes.push_back(p.size());
      joined += p;
    }
    EXPECT_EQ(sizes, row.pieces) << row.text;
    EXPECT_EQ(joined, " " + std::string(row.text, 'x') + "\r\n");
  }
}

TEST(ConsoleWrite, ClosedWindowAtStatementStartOrPieceEndsTheRun) {
  for (bool at_start : {true, false}) {
    ScriptedHooks hooks;
    Runtime rt(hooks);
    try {
      if (at_start) hooks.window_open = false;
      rt.begin_write(kConsole);
      hooks.window_open = false;
      rt.end_write();
      FAIL() << "the write went on";
    } catch (const RunEnded& end) {
      EXPECT_EQ(end.code, 0);
      EXPECT_TRUE(end.window_closed);
    }
    EXPECT_EQ(hooks.pieces.size(), at_start ? 0u : 1u);
  }
}

TEST(ConsoleWrite, RowFastPathsGiveTheSameBytesAsOneItemAtATime) {
  std::mt19937 random(9u);
  for (std::size_t n : {0u, 1u, 3u, 7u, 8u, 9u, 16u, 17u, 1000u}) {
    std::vector<float> row(n);
    for (float& v : row) v = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
    std::vector<Item> items = {std::string("A")};
    std::string formatted;
    for (float v : row) {
      items.emplace_back(v);
      char buffer[kMaxRealText];
      formatted.append(buffer, format_real(v, buffer));
    }
    items.emplace_back(std::string("B"));
    const std::string one_by_one = written(items);

    for (int path = 0; path < 2; ++path) {
      ScriptedHooks hooks;
      Runtime rt(hooks);
      rt.begin_write(kConsole);
      rt.write_item(std::string_view("A"));
      if (path == 0) rt.write_items(row);
      if (path == 1) rt.write_formatted_reals(formatted);
      rt.write_item(std::string_view("B"));
      rt.end_write();
      std::string joined;
      for (const auto& p : hooks.texts(console::Stream::output)) joined += p;
      EXPECT_EQ(joined, one_by_one) << "n = " << n << ", path " << path;
    }
  }
}

}  // namespace
}  // namespace tessora::recordio

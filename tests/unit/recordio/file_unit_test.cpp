// Files on units: reading records from temporary files (tabs, carriage
// returns, the end of the file, long lines), writing and opening.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "recordio/real_text.hpp"
#include "recordio/runtime.hpp"
#include "recordio/units.hpp"
#include "scripted_hooks.hpp"

namespace tessora::recordio {
namespace {

using testing::ScriptedHooks;
namespace fs = std::filesystem;

class FileUnitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessora-recordio-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ::unsetenv("TABSIZE");
  }
  void TearDown() override {
    ::unsetenv("TABSIZE");
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }

  std::string put(const std::string& name, const std::string& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string contents(const std::string& name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

std::string title_of(Runtime& rt, std::size_t length = 10) {
  std::string text(length, '#');
  rt.read_record_text(1, text.data(), length);
  return text;
}

std::vector<std::string> report(const ScriptedHooks& hooks) { return hooks.texts(console::Stream::error); }

TEST(TabSize, PositiveNumbersOnlyElseEight) {
  const struct {
    const char* value;
    std::size_t size;
  } rows[] = {{nullptr, 8}, {"", 8},     {"4", 4},      {"+4", 4}, {"-4", 8},      {"0", 8},
              {"x", 8},     {"4x", 8},   {" 4", 8},     {"+", 8},  {"0003", 3},    {"1", 1},
              {"1234567890123456789", 1234567890123456789u}, {"12345678901234567890", 8}};
  for (const auto& row : rows) {
    EXPECT_EQ(tab_size_from(row.value), row.size) << (row.value ? row.value : "(unset)");
  }
}

TEST(LineText, TabsGoToTheNextStopAndCarriageReturnsAreDropped) {
  const struct {
    const char* line;
    std::size_t tab;
    const char* record;
  } rows[] = {{"\tAB", 4, "    AB"}, {"ab\tc", 4, "ab  c"}, {"abcd\te", 4, "abcd    e"},
              {"a\tb", 8, "a       b"}, {"\t\t", 3, "      "}, {"1\r2\r", 8, "12"},
              {"a\r\tb", 4, "a   b"}, {"\r", 8, ""}};
  for (const auto& row : rows) {
    std::string record;
    const std::string line = row.line;
    append_line_text(record, line.data(), line.data() + line.size(), row.tab);
    EXPECT_EQ(record, row.record) << row.line;
  }
}

TEST_F(FileUnitTest, TitleKeepsTheFirstCharactersAfterTabsWithTheEnvironmentsTabSize) {
  ::setenv("TABSIZE", "4", 1);
  const std::string file = put("T.TXT", "\tAB\r\nX\n");
  ScriptedHooks hooks;
  Runtime rt(hooks);
  ASSERT_EQ(rt.open(1, file, false), 0);
  EXPECT_EQ(title_of(rt), "    AB    ");
  EXPECT_EQ(title_of(rt, 3), "X  ");
  rt.close(1);
}

TEST_F(FileUnitTest, DataRecordsWithTabsCarriageReturnsAndNulls) {
  ::setenv("TABSIZE", "4", 1);
  const std::string file = put("D.TXT", "2 3\r\n1\t2\t3\r\n4\t\t5,,6\r\n");
  ScriptedHooks hooks;
  Runtime rt(hooks);
  ASSERT_EQ(rt.open(1, file, false), 0);
  std::int32_t rows = 0, cols = 0;
  rt.begin_read(1);
  rt.read_item(rows);
  rt.read_item(cols);
  rt.end_read();
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(cols, 3);
  std::vector<float> x(4, 0.0f);
  rt.begin_read(1);
  rt.read_items(std::span<float>(x.data(), 3));
  rt.end_read();
  rt.begin_read(1);
  rt.read_items(std::span<float>(x.data(), 4));
  rt.end_read();
  EXPECT_EQ(x, (std::vector<float>{4, 5, 3, 6}));  // the null leaves 3 in place
  rt.close(1);
}

TEST_F(FileUnitTest, ARecordThatCannotGrowIsABufferAllocationFailure) {
  ::setenv("TABSIZE", "1234567890123456789", 1);  // one tab: more blanks than any memory
  const std::string file = put("TAB.TXT", "\t1\n");
  ScriptedHooks hooks;
  Runtime rt(hooks);
  rt.open(1, file, false);
  EXPECT_THROW(title_of(rt), RunEnded);
  EXPECT_EQ(report(hooks), (std::vector<std::string>{"? FORTRAN Runtime Error:\n", "? Buffer allocation failed\n",
                                                       "? READ(UNIT=", "1,...\n"}));
}

TEST_F(FileUnitTest, CarriageReturnAnywhereIsDropped) {
  const std::string file = put("C.TXT", "1\r2\r 3\r\n");
  ScriptedHooks hooks;
  Runtime rt(hooks);
  rt.open(1, file, false);
  std::int32_t a = 0, b = 0;
  rt.begin_read(1);
  rt.read_item(a);
  rt.read_item(b);
  rt.end_read();
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, 3);
}

TEST_F(FileUnitTest, LastLineWithoutLineFeedIsPastTheEnd) {
  const std::string file = put("E.TXT", "1 2\n3 4");
  ScriptedHooks hooks;
  Runtime rt(hooks);
  rt.open(1, file, false);
  float row[2] = {0, 0};
  rt.begin_read(1);
  rt.read_items(row);
  rt.end_read();
  EXPECT_EQ(row[1], 2.0f);
  try {
    rt.begin_read(1);
    FAIL() << "read past the end";
  } catch (const RunEnded& end) {
    EXPECT_EQ(end.code, -1);
  }
  EXPECT_EQ(report(hooks), (std::vector<std::string>{"? FORTRAN Runtime Error:\n",
                                                       "? Attempt to read past end of file\n",
                                                       "? READ(UNIT=", "1,...\n"}));
}

TEST_F(FileUnitTest, TitleOfAnEmptyFileIsPastTheEnd) {
  const std::string file = put("EMPTY.TXT", "");
  ScriptedHooks hooks;
  Runtime rt(hooks);
  rt.open(1, file, false);
  EXPECT_THROW(title_of(rt), RunEnded);
  EXPECT_EQ(report(hooks).at(1), "? Attempt to read past end of file\n");
  EXPECT_EQ(hooks.statement_starts, 2);  // the open and the read
}

TEST_F(FileUnitTest, FewerValuesThanWantedRunIntoTheEnd) {
  const std::string file = put("F.TXT", "1 2\n3\n");
  ScriptedHooks hooks;
  Runtime rt(hooks);
  rt.open(1, file, false);
  float row[3];
  rt.begin_read(1);
  rt.read_items(row);  // takes 3 from the next line
  rt.end_read();
  EXPECT_THROW(rt.begin_read(1), RunEnded);
}

TEST_F(FileUnitTest, MillionCharacterLinesAcrossBlocks) {
  // Two rows of 250,000 values each, one line per row, then a title-like line.
  std::mt19937 random(3u);
  std::string bytes;
  std::vector<float> expected;
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 250'000; ++c) {
      const int v = static_cast<int>(random() % 20000) - 10000;
      const std::string token = std::to_string(v) + (c % 7 == 0 ? ".5" : "E-2");
      bytes += token + " ";
      expected.push_back(static_cast<float>(std::strtod(token.c_str(), nullptr)));
    }
    bytes += "\r\n";
  }
  ASSERT_GT(bytes.size(), 2 * FileUnit::kReadBlock);
  bytes += std::string(1'000'000, 'T') + "\n";
  const std::string file = put("BIG.TXT", bytes);

  ScriptedHooks hooks;
  Runtime rt(hooks);
  rt.open(1, file, false);
  std::vector<float> x(expected.size());
  const std::size_t half = expected.size() / 2;
  rt.begin_read(1);
  rt.read_items(std::span<float>(x.data(), half));
  rt.end_read();
  // The second row through the strided path, into every other place.
  std::vector<float> strided(2 * half, 0.0f);
  rt.begin_read(1);
  rt.read_items_strided(strided.data(), half, 2);
  rt.end_read();
  for (std::size_t c = 0; c < half; ++c) x[half + c] = strided[2 * c];
  EXPECT_EQ(x, expected);
  EXPECT_EQ(title_of(rt, 5), "TTTTT");
  EXPECT_THROW(title_of(rt), RunEnded);
}

TEST_F(FileUnitTest, OpeningMissingDirectoryOrBlankNamesGoesToTheStatus) {
  put("PRESENT.TXT", "x\n");
  fs::create_directory(dir_ / "SUB");
  const struct {
    std::string name;
    int status;
  } rows[] = {{path("MISSING.TXT"), 2},
              {path("SUB"), 5},
              {"", 10014},
              {std::string(100, ' '), 10014},
              {"   " + path("PRESENT.TXT") + "    ", 0},
              {path("NO/WHERE.TXT"), 2},
              {path("PRESENT.TXT") + "/X", 3},
              {path(std::string(300, 'N')), 206},
              {std::string("A\0B", 3), 123}};
  for (const auto& row : rows) {
    ScriptedHooks hooks;
    Runtime rt(hooks);
    int status = -7;
    EXPECT_EQ(rt.open(1, row.name, false, &status), row.status) << row.name;
    EXPECT_EQ(status, row.status) << row.name;
    EXPECT_TRUE(hooks.pieces.empty()) << row.name;
    rt.close(1);
  }
}

TEST_F(FileUnitTest, DataFileIsOpenedForReadingOnly) {
  const std::string file = put("RO.TXT", "1\n");
  ::chmod(file.c_str(), 0444);
  ScriptedHooks hooks;
  Runtime rt(hooks);
  int status = -1;
  rt.open(1, file, false, &status);
  EXPECT_EQ(status, 0);
  try {
    rt.begin_write(1);
    FAIL() << "wrote to the data file";
  } catch (const RunEnded&) {
  }
  EXPECT_EQ(report(hooks).at(2), "? WRITE(UNIT=");
}

TEST_F(FileUnitTest, CreatingWhereNoDirectoryIsIsReported) {
  ScriptedHooks hooks;
  Runtime rt(hooks);
  try {
    rt.open(1, path("NO/MATRIX.TXT"), true);
    FAIL() << "opened";
  } catch (const RunEnded& end) {
    EXPECT_EQ(end.code, -1);
  }
  EXPECT_EQ(report(hooks), (std::vector<std::string>{"? System Error:\n",
                                                       "? The system cannot find the path specified.\n",
                                                       "? OPEN(UNIT=", "1,...\n"}));
}

TEST_F(FileUnitTest, CreatingOverADirectoryIsAccessDenied) {
  fs::create_directory(dir_ / "MATRIX.TXT");
  ScriptedHooks hooks;
  Runtime rt(hooks);
  EXPECT_THROW(rt.open(1, path("MATRIX.TXT"), true), RunEnded);
  EXPECT_EQ(report(hooks).at(1), "? Access Denied.\n");
}

TEST_F(FileUnitTest, WrittenRecordsEndWithCarriageReturnLineFeedAndReplaceTheOldFile) {
  put("MATRIX.TXT", std::string(100'000, 'o'));
  ScriptedHooks hooks;
  Runtime rt(hooks);
  rt.open(1, path("MATRIX.TXT"), true);
  rt.begin_write(1);
  rt.write_item(std::string_view(" MATRIX "));
  rt.write_item(std::int32_t{7});
  rt.write_item(std::string_view(" FROM "));
  rt.write_item(std::string_view("TEST      "));
  rt.end_write();
  rt.begin_write(1);
  rt.write_item(std::int32_t{3});
  rt.end_write();
  rt.begin_write(1);
  rt.write_item(0.0f);
  rt.write_item(1.41421356f);
  rt.end_write();
  rt.close(1);
  EXPECT_EQ(contents("MATRIX.TXT"),
            "  MATRIX   7  FROM TEST      \r\n   3\r\n   .000000  1.41421\r\n");
  EXPECT_EQ(hooks.statement_starts, 5);
  EXPECT_TRUE(hooks.pieces.empty());
}

TEST_F(FileUnitTest, LongRowsAndManyRecordsArriveWhole) {
  ScriptedHooks hooks;
  Runtime rt(hooks);
  rt.open(1, path("M.TXT"), true);
  std::mt19937 random(5u);
  std::string expected;
  for (int r = 0; r < 40; ++r) {
    std::vector<float> row(static_cast<std::size_t>(r * 300 + 1));
    for (float& v : row) v = static_cast<float>(random() % 100000) / 7.0f;
    rt.begin_write(1);
    rt.write_items(row);
    rt.end_write();
    expected += " ";
    for (float v : row) expected += format_real_reference(v);
    expected += "\r\n";
  }
  rt.close(1);
  EXPECT_EQ(contents("M.TXT"), expected);
}

TEST_F(FileUnitTest, AReportFlushesAndClosesTheFileFirst) {
  ScriptedHooks hooks({"x"});
  Runtime rt(hooks);
  rt.open(1, path("MATRIX.TXT"), true);
  rt.begin_write(1);
  rt.write_item(std::int32_t{2});
  rt.end_write();
  std::int32_t answer = 0;
  try {
    rt.begin_read(kConsole);
    rt.read_item(answer);
    FAIL() << "x was taken as a number";
  } catch (const RunEnded& end) {
    EXPECT_EQ(end.code, -1);
  }
  EXPECT_EQ(contents("MATRIX.TXT"), "   2\r\n");
  EXPECT_EQ(report(hooks).at(3), "*,...\n");
}

TEST_F(FileUnitTest, StopAndClosedWindowCloseTheFile) {
  for (bool by_stop : {true, false}) {
    ScriptedHooks hooks;
    Runtime rt(hooks);
    rt.open(1, path("S.TXT"), true);
    rt.begin_write(1);
    rt.end_write();
    try {
      if (by_stop) rt.stop(" ");
      rt.window_closed();
    } catch (const RunEnded& end) {
      EXPECT_EQ(end.code, 0);
      EXPECT_EQ(end.window_closed, !by_stop);
    }
    EXPECT_EQ(contents("S.TXT"), " \r\n");
  }
}

TEST_F(FileUnitTest, ReopeningAUnitAndClosingAClosedOne) {
  const std::string file = put("A.TXT", "1\n2\n");
  ScriptedHooks hooks;
  Runtime rt(hooks);
  EXPECT_EQ(rt.close(1), 0);
  rt.open(1, file, false);
  rt.open(1, file, false);  // starts again from the first record
  EXPECT_EQ(title_of(rt, 1), "1");
  EXPECT_EQ(rt.close(1), 0);
  EXPECT_EQ(rt.close(1), 0);
  EXPECT_THROW(rt.begin_read(1), RunEnded);
  EXPECT_EQ(report(hooks).at(2), "? READ(UNIT=");
}

TEST_F(FileUnitTest, AFailingReadIsASystemErrorOfTheRead) {
  // This file opens for reading, but reading at its start fails with an I/O error.
  if (::access("/proc/self/mem", R_OK) != 0) GTEST_SKIP() << "no /proc/self/mem";
  ScriptedHooks hooks;
  Runtime rt(hooks);
  int status = -1;
  rt.open(1, "/proc/self/mem", false, &status);
  ASSERT_EQ(status, 0);
  EXPECT_THROW(rt.begin_read(1), RunEnded);
  EXPECT_EQ(report(hooks), (std::vector<std::string>{"? System Error:\n",
                                                       "? The system cannot read from the specified device.\n",
                                                       "? READ(UNIT=", "1,...\n"}));
}

TEST_F(FileUnitTest, FullDiskIsASystemErrorOfTheWrite) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  ScriptedHooks hooks;
  Runtime rt(hooks);
  rt.open(1, "/dev/full", true);
  rt.begin_write(1);
  rt.write_item(std::string_view("x"));
  rt.end_write();  // still in the buffer
  try {
    rt.close(1);
    FAIL() << "closed";
  } catch (const RunEnded& end) {
    EXPECT_EQ(end.code, -1);
  }
  EXPECT_EQ(report(hooks), (std::vector<std::string>{"? System Error:\n",
                                                       "? There is not enough space on the disk.\n",
                                                       "? CLOSE(UNIT=", "1,...\n"}));
}

}  // namespace
}  // namespace tessora::recordio

// Run-time error reports, the stop, and the message tables.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "recordio/messages.hpp"
#include "recordio/runtime.hpp"
#include "scripted_hooks.hpp"

namespace tessora::recordio {
namespace {

using testing::ScriptedHooks;
using Pieces = std::vector<std::string>;

TEST(Stop, ThreePiecesToTheErrorStream) {
  const struct {
    const char* message;
    Pieces pieces;
  } rows[] = {{" ", {" STOP ", " ", "\n"}}, {"", {" STOP", "", "\n"}}, {"DONE", {" STOP ", "DONE", "\n"}}};
  for (const auto& row : rows) {
    ScriptedHooks hooks;
    Runtime rt(hooks);
    try {
      rt.stop(row.message);
    } catch (const RunEnded& end) {
      EXPECT_EQ(end.code, 0);
      EXPECT_FALSE(end.window_closed);
    }
    EXPECT_EQ(hooks.texts(console::Stream::error), row.pieces) << row.message;
    EXPECT_TRUE(hooks.texts(console::Stream::output).empty());
  }
}

TEST(Report, OutsideAStatementOnlyTheFirstTwoPieces) {
  ScriptedHooks hooks;
  Runtime rt(hooks);
  try {
    rt.fail(err::kBufferAllocation);
  } catch (const RunEnded& end) {
    EXPECT_EQ(end.code, -1);
  }
  EXPECT_EQ(hooks.texts(console::Stream::error),
            (Pieces{"? FORTRAN Runtime Error:\n", "? Buffer allocation failed\n"}));
}

TEST(Report, ConsoleReadOfLetters) {
  ScriptedHooks hooks({"abc"});
  Runtime rt(hooks);
  std::int32_t n = 0;
  try {
    rt.begin_read(kConsole);
    rt.read_item(n);
  } catch (const RunEnded& end) {
    EXPECT_EQ(end.code, -1);
  }
  EXPECT_EQ(hooks.texts(console::Stream::error),
            (Pieces{"? FORTRAN Runtime Error:\n", "? Illegal character in numeric input\n",
                    "? READ(UNIT=", "*,...\n"}));
}

TEST(Report, EndOfConsoleInputIsPastTheEnd) {
  ScriptedHooks hooks;
  Runtime rt(hooks);
  EXPECT_THROW(rt.begin_read(kConsole), RunEnded);
  EXPECT_EQ(hooks.texts(console::Stream::error).at(1), "? Attempt to read past end of file\n");
}

TEST(Report, BlankNameWithoutStatusIsABadFileSpecification) {
  ScriptedHooks hooks;
  Runtime rt(hooks);
  EXPECT_THROW(rt.open(1, "    ", true), RunEnded);
  EXPECT_EQ(hooks.texts(console::Stream::error),
            (Pieces{"? FORTRAN Runtime Error:\n", "? Bad file specification\n", "? OPEN(UNIT=", "1,...\n"}));
}

TEST(Messages, RunTimeTable) {
  const struct {
    int error;
    const char* text;
  } rows[] = {{10004, "Buffer allocation failed"},
              {10013, "Attempt to read past end of file"},
              {10014, "Bad file specification"},
              {10016, "Illegal character in numeric input"}};
  for (const auto& row : rows) EXPECT_EQ(message_text(row.error), row.text);
  for (int e = kFirstRunTimeError; e <= kLastRunTimeError; ++e) {
    EXPECT_FALSE(message_text(e).empty()) << e;
    EXPECT_TRUE(is_run_time_error(e));
  }
  EXPECT_FALSE(is_run_time_error(9999));
  EXPECT_FALSE(is_run_time_error(10071));
}

TEST(Messages, SystemTableRows) {
  const struct {
    int code;
    const char* text;
  } rows[] = {
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {4, "The system cannot open the file."},
      {5, "Access Denied."},
      {15, "The system cannot find the drive specified."},
      {21, "The drive is not ready."},
      {29, "The system cannot write to the specified device."},
      {32, "The process cannot access the file because it is being used by another process."},
      {33, "The process cannot access the file because another process has locked a portion of the file."},
      {39, "The disk is full."},
      {82, "The directory or file cannot be created."},
      {110, "The system cannot open the device or file specified."},
      {111, "The file name is too long."},
      {112, "There is not enough space on the disk."},
      {123, "The file name, directory name, or volume label is not syntactically correct."},
      {161, "Invalid path name specified."},
      {206, "The file name or extension is too long."},
  };
  for (const auto& row : rows) EXPECT_EQ(message_text(row.code), row.text) << row.code;
}

TEST(Messages, OperatingSystemErrorsByMeaning) {
  const struct {
    int errnum;
    IoOp op;
    int code;
  } rows[] = {
      {ENOENT, IoOp::open, 2},    {ENOENT, IoOp::create, 3}, {ENOTDIR, IoOp::open, 3},
      {EACCES, IoOp::create, 5},  {EPERM, IoOp::open, 5},    {EROFS, IoOp::create, 5},
      {EISDIR, IoOp::create, 5},  {EMFILE, IoOp::open, 4},   {ENFILE, IoOp::open, 4},
      {ETXTBSY, IoOp::create, 32}, {EBUSY, IoOp::open, 32},  {ENOSPC, IoOp::write, 112},
      {EDQUOT, IoOp::write, 112}, {ENAMETOOLONG, IoOp::open, 206}, {EINVAL, IoOp::open, 123},
      {EIO, IoOp::write, 29},     {EIO, IoOp::read, 30},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(system_error_code(row.errnum, row.op), row.code) << std::strerror(row.errnum);
  }
}

TEST(Messages, AnErrnoWithoutARowShowsTheSystemsOwnText) {
  const int code = system_error_code(ELOOP, IoOp::open);
  EXPECT_FALSE(is_run_time_error(code));
  EXPECT_GT(code, 0);
  EXPECT_EQ(message_text(code), std::strerror(ELOOP));
}

TEST(Messages, ACodeWithoutARowIsNamedByItsNumber) { EXPECT_EQ(message_text(87), "System error 87."); }

TEST(Report, WriteOnAUnitThatIsNotOpen) {
  ScriptedHooks hooks;
  Runtime rt(hooks);
  EXPECT_THROW(rt.begin_write(1), RunEnded);
  EXPECT_EQ(hooks.texts(console::Stream::error),
            (Pieces{"? FORTRAN Runtime Error:\n", "? Unit is not open\n", "? WRITE(UNIT=", "1,...\n"}));
}

TEST(Messages, StatementNamesInOrder) {
  const Pieces names = {"REWIND", "BACKSPACE", "OPEN", "CLOSE", "INQUIRE", "READ", "WRITE", "ENDFILE"};
  for (int s = 0; s < 8; ++s) EXPECT_EQ(statement_name(static_cast<Statement>(s)), names[s]);
}

}  // namespace
}  // namespace tessora::recordio

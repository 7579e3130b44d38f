#include "recordio/runtime.hpp"

#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "recordio/list_input.hpp"
#include "recordio/list_output.hpp"
#include "recordio/messages.hpp"
#include "recordio/units.hpp"
#include "recordio/value_text.hpp"

namespace tessora::recordio {

namespace detail {

using console::ReadResult;
using console::Stream;

// A console read ended by the closing of the window; never reported.
constexpr int kWindowClosed = -100;

// The console as a source of records: one entered line each.
class ConsoleSource final : public RecordSource {
 public:
  ConsoleSource(console::Hooks& hooks, std::size_t tab_size) : hooks_(hooks), tab_size_(tab_size) {}

  int next_record(std::string& record) override {
    switch (hooks_.read_line(line_, kConsoleLine)) {
      case ReadResult::end_of_input:
        return err::kReadPastEnd;
      case ReadResult::closed:
        return kWindowClosed;
      case ReadResult::line:
        break;
    }
    record.clear();
    try {
      append_line_text(record, line_.data(), line_.data() + line_.size(), tab_size_);
    } catch (const std::bad_alloc&) {
      return err::kBufferAllocation;
    } catch (const std::length_error&) {
      return err::kBufferAllocation;
    }
    return 0;
  }

 private:
  // The console's unit buffer holds 256 bytes, line end included.
  static constexpr std::size_t kConsoleLine = 254;
  console::Hooks& hooks_;
  std::size_t tab_size_;
  std::string line_;
};

// The console's unit buffer: a longer record reaches it in pieces this long.
constexpr std::size_t kConsolePiece = 256;

std::string_view trim_blanks(std::string_view name) {
  const std::size_t first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return name.substr(first, name.find_last_not_of(' ') - first + 1);
}

}  // namespace detail

struct Runtime::Impl {
  explicit Impl(console::Hooks& h) : hooks(h), console(h, tab_size_from_environment()) {}

  console::Hooks& hooks;
  detail::ConsoleSource console;
  std::vector<std::pair<int, std::unique_ptr<FileUnit>>> units;
  ListReader reader;
  ListWriter writer;
  // The statement under way, for the report.
  Statement statement = Statement::read;
  int unit = kConsole;
  int* status = nullptr;

  FileUnit* find(int number) {
    for (auto& [n, file] : units) {
      if (n == number) return file.get();
    }
    return nullptr;
  }

  void forget(int number) {
    for (auto it = units.begin(); it != units.end(); ++it) {
      if (it->first == number) {
        units.erase(it);
        return;
      }
    }
  }

  // Flushes and closes every file; errors are of no concern any more.
  void close_all() {
    for (auto& [n, file] : units) file->close();
    units.clear();
  }

  void start(Statement kind, int number, int* status_variable = nullptr) {
    statement = kind;
    unit = number;
    status = status_variable;
    if (status) *status = 0;
  }

  // The statement start hook, which the console's reads do without.
  void statement_start() {
    if (!hooks.statement_start()) closed();
  }

  [[noreturn]] void closed() {
    close_all();
    throw RunEnded{0, true};
  }

  [[noreturn]] void report(int error, bool name_statement) {
    close_all();
    const console::Stream s = console::Stream::error;
    hooks.write_piece(is_run_time_error(error) ? "? FORTRAN Runtime Error:\n" : "? System Error:\n", s);
    hooks.write_piece("? " + message_text(error) + "\n", s);
    if (name_statement) {
      hooks.write_piece("? " + std::string(statement_name(statement)) + "(UNIT=", s);
      hooks.write_piece((unit == kConsole ? std::string("*") : std::to_string(unit)) + ",...\n", s);
    }
    throw RunEnded{-1};
  }

  // Passes 0 through; any error goes to the status variable or is reported.
  int check(int error) {
    if (error == 0) return 0;
    if (error == detail::kWindowClosed) closed();
    if (status) {
      *status = error;
      return error;
    }
    report(error, true);
  }

  RecordSource& source(int number) {
    if (number == kConsole) return console;
    statement_start();
    FileUnit* file = find(number);
    if (file == nullptr) report(err::kUnitNotOpen, true);
    return *file;
  }

  // Runs a step of the writer, turning a record that cannot grow into 10004.
  template <typename Step>
  int write_step(Step step) {
    try {
      step();
      return 0;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return check(err::kBufferAllocation);
  }
};

Runtime::Runtime(console::Hooks& hooks) : impl_(std::make_unique<Impl>(hooks)) {}

Runtime::~Runtime() {
  if (impl_) impl_->close_all();
}

console::Hooks& Runtime::hooks() { return impl_->hooks; }

int Runtime::begin_read(int unit) {
  impl_->start(Statement::read, unit);
  RecordSource& source = impl_->source(unit);
  return impl_->check(impl_->reader.begin(source));
}

int Runtime::read_item(std::int32_t& value) { return impl_->check(impl_->reader.read(value)); }

int Runtime::read_item(float& value) { return impl_->check(impl_->reader.read(value)); }

int Runtime::read_item(char* text, std::size_t length) {
  return impl_->check(impl_->reader.read(text, length));
}

int Runtime::read_items(std::span<float> values) {
  return impl_->check(impl_->reader.read_reals(values.data(), values.size(), 1));
}

int Runtime::read_items_strided(float* out, std::size_t count, std::size_t stride) {
  return impl_->check(impl_->reader.read_reals(out, count, stride));
}

int Runtime::end_read() {
  impl_->reader.end();
  return 0;
}

int Runtime::read_record_text(int unit, char* text, std::size_t length) {
  impl_->start(Statement::read, unit);
  RecordSource& source = impl_->source(unit);
  std::string record;
  int error = 0;
  try {
    error = source.next_record(record);
  } catch (const std::bad_alloc&) {
    error = err::kBufferAllocation;
  }
  impl_->check(error);
  store_text(record, text, length);
  return 0;
}

int Runtime::begin_write(int unit) {
  impl_->start(Statement::write, unit);
  impl_->statement_start();
  if (unit != kConsole) {
    const FileUnit* file = impl_->find(unit);
    if (file == nullptr) impl_->report(err::kUnitNotOpen, true);
    if (!file->writable()) impl_->report(err::kReadOnlyFile, true);
  }
  return impl_->write_step([&] { impl_->writer.begin(); });
}

int Runtime::write_item(std::string_view text) {
  return impl_->write_step([&] { impl_->writer.text(text); });
}

int Runtime::write_item(std::int32_t value) {
  return impl_->write_step([&] { impl_->writer.integer(value); });
}

int Runtime::write_item(float value) {
  return impl_->write_step([&] { impl_->writer.real(value); });
}

int Runtime::write_items(std::span<const float> values) {
  return impl_->write_step([&] { impl_->writer.reals(values); });
}

int Runtime::write_formatted_reals(std::string_view text) {
  return impl_->write_step([&] { impl_->writer.formatted_reals(text); });
}

int Runtime::end_write() {
  std::string_view record;
  impl_->write_step([&] { record = impl_->writer.end(); });
  if (impl_->unit != kConsole) {
    FileUnit* file = impl_->find(impl_->unit);
    return impl_->check(file ? file->write_record(record) : err::kUnitNotOpen);
  }
  while (!record.empty()) {
    const std::string_view piece = record.substr(0, detail::kConsolePiece);
    if (!impl_->hooks.write_piece(piece, console::Stream::output)) impl_->closed();
    record.remove_prefix(piece.size());
  }
  return 0;
}

int Runtime::open(int unit, std::string_view name, bool create, int* status) {
  impl_->start(Statement::open, unit, status);
  impl_->statement_start();
  const std::string_view trimmed = detail::trim_blanks(name);
  if (trimmed.empty()) return impl_->check(err::kBadFileSpec);
  if (FileUnit* open_file = impl_->find(unit)) {
    // Opening an open unit closes its file first.
    const int error = open_file->close();
    impl_->forget(unit);
    if (error != 0) return impl_->check(error);
  }
  std::unique_ptr<FileUnit> file;
  if (const int error = FileUnit::open(trimmed, create, file); error != 0) {
    return impl_->check(error);
  }
  try {
    impl_->units.emplace_back(unit, std::move(file));
  } catch (const std::bad_alloc&) {
    return impl_->check(err::kBufferAllocation);
  }
  return 0;
}

int Runtime::close(int unit) {
  impl_->start(Statement::close, unit);
  impl_->statement_start();
  FileUnit* file = impl_->find(unit);
  if (file == nullptr) return 0;  // closing a unit that is not open does nothing
  const int error = file->close();
  impl_->forget(unit);
  return impl_->check(error);
}

void Runtime::stop(std::string_view message) {
  auto& hooks = impl_->hooks;
  hooks.write_piece(message.empty() ? " STOP" : " STOP ", console::Stream::error);
  hooks.write_piece(message, console::Stream::error);
  hooks.write_piece("\n", console::Stream::error);
  impl_->close_all();
  throw RunEnded{0};
}

void Runtime::fail(int error) { impl_->report(error, false); }

void Runtime::window_closed() { impl_->closed(); }

}  // namespace tessora::recordio

#include "window/core/printing.hpp"

#include <gtest/gtest.h>

namespace tessora::console {
namespace {

struct SpanCase {
  std::size_t lines, per_page;
  std::optional<PageRange> range;
  LineSpan expected;  // from 0, end excluded
};

class PrintSpan : public ::testing::TestWithParam<SpanCase> {};

TEST_P(PrintSpan, PageRangeSelectsLines) {
  const SpanCase& c = GetParam();
  EXPECT_EQ(lines_to_print(c.lines, c.per_page, c.range), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Spans, PrintSpan,
                         ::testing::Values(SpanCase{200, 50, PageRange{2, 2}, {50, 100}},  // lines 51 to 100
                                           SpanCase{80, 50, PageRange{2, 2}, {50, 80}},    // up to the last line
                                           SpanCase{40, 50, PageRange{2, 2}, {50, 50}},    // nothing
                                           SpanCase{200, 50, PageRange{1, 1}, {0, 50}},
                                           SpanCase{200, 50, PageRange{1, 32767}, {0, 200}},
                                           SpanCase{200, 50, PageRange{3, 2}, {100, 100}},  // backwards: nothing
                                           SpanCase{200, 50, std::nullopt, {0, 200}},
                                           SpanCase{0, 50, std::nullopt, {0, 0}}));

struct PerPageCase {
  double height, line_height;
  std::size_t expected;
};

class LinesPerPage : public ::testing::TestWithParam<PerPageCase> {};

TEST_P(LinesPerPage, PrintableHeightOverLineHeight) {
  EXPECT_EQ(lines_per_page(GetParam().height, GetParam().line_height), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Heights, LinesPerPage,
                         ::testing::Values(PerPageCase{1000, 20, 50}, PerPageCase{1019, 20, 50},
                                           PerPageCase{10, 20, 1}, PerPageCase{1000, 0, 1}));

struct FileNameCase {
  const char* caption;
  const char* expected;
};

class PrintFileName : public ::testing::TestWithParam<FileNameCase> {};

TEST_P(PrintFileName, OneFileNameInTheCurrentFolder) {
  EXPECT_EQ(print_file_name(GetParam().caption), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Captions, PrintFileName,
                         ::testing::Values(FileNameCase{"Input/Output", "Input-Output.pdf"},
                                           FileNameCase{"run.txt", "run.txt.pdf"},
                                           FileNameCase{"a\\b:c*d?e\"f<g>h|i\tj", "a-b-c-d-e-f-g-h-i-j.pdf"},
                                           FileNameCase{"..", "print.pdf"},
                                           FileNameCase{"", "print.pdf"},
                                           FileNameCase{".hidden ", "hidden.pdf"}));

// Records what the loop asks of the printer.
class RecordingTarget final : public PrintTarget {
 public:
  RecordingTarget(std::size_t per_page, std::optional<PageRange> range, int copies)
      : per_page_(per_page), range_(range), copies_(copies) {}
  std::size_t lines_per_page() const override { return per_page_; }
  std::optional<PageRange> page_range() const override { return range_; }
  int copies() const override { return copies_; }
  bool start_document(std::string_view name) override {
    log.push_back("doc " + std::string(name));
    return true;
  }
  bool start_page() override {
    if (fail_page_at && pages_started + 1 == fail_page_at) return false;
    ++pages_started;
    log.push_back("page");
    return true;
  }
  void print_line(std::size_t row, std::string_view text) override {
    log.push_back(std::to_string(row) + ":" + std::string(text));
  }
  bool end_page() override {
    log.push_back("end page");
    return true;
  }
  void end_document() override { log.push_back("end doc"); }
  void abort_document() override { log.push_back("abort"); }
  bool cancelled() override { return ++polls > cancel_after; }

  std::vector<std::string> log;
  int pages_started = 0;
  int fail_page_at = 0;
  int polls = 0;
  int cancel_after = 1 << 30;

 private:
  std::size_t per_page_;
  std::optional<PageRange> range_;
  int copies_;
};

Transcript numbered(int n) {
  Transcript t;
  for (int i = 1; i <= n; ++i) t.add_line("L" + std::to_string(i));
  return t;
}

TEST(PrintLoop, RangeStartsOnAFreshPage) {
  const Transcript t = numbered(7);
  RecordingTarget target(2, PageRange{2, 3}, 1);
  EXPECT_EQ(print_transcript(t, target), 2u);
  EXPECT_EQ(target.log, (std::vector<std::string>{"doc TOLA Input/Output", "page", "0:L3", "1:L4", "end page", "page",
                                                  "0:L5", "1:L6", "end page", "end doc"}));
}

TEST(PrintLoop, EachCopyRepeatsTheLinesOnNewPages) {
  const Transcript t = numbered(3);
  RecordingTarget target(2, std::nullopt, 2);
  EXPECT_EQ(print_transcript(t, target), 4u);
  EXPECT_EQ(target.log, (std::vector<std::string>{"doc TOLA Input/Output", "page", "0:L1", "1:L2", "end page", "page",
                                                  "0:L3", "end page", "page", "0:L1", "1:L2", "end page", "page",
                                                  "0:L3", "end page", "end doc"}));
}

TEST(PrintLoop, NothingToPrintStartsNoDocument) {
  const Transcript t = numbered(3);
  RecordingTarget target(50, PageRange{2, 2}, 1);
  EXPECT_EQ(print_transcript(t, target), 0u);
  EXPECT_TRUE(target.log.empty());
}

TEST(PrintLoop, CancelStopsAtTheNextLine) {
  const Transcript t = numbered(10);
  RecordingTarget target(4, std::nullopt, 1);
  target.cancel_after = 5;
  EXPECT_EQ(print_transcript(t, target), 2u);
  EXPECT_EQ(target.log.back(), "abort");
  EXPECT_EQ(target.log[target.log.size() - 2], "0:L5");
}

TEST(PrintLoop, FailedPageStopsSilently) {
  const Transcript t = numbered(10);
  RecordingTarget target(4, std::nullopt, 1);
  target.fail_page_at = 2;
  EXPECT_EQ(print_transcript(t, target), 1u);
  EXPECT_EQ(target.log.back(), "end doc");
  EXPECT_EQ(target.log[target.log.size() - 2], "end page");
}

}  // namespace
}  // namespace tessora::console

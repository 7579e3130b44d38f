#include "window/core/transcript_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tessora::console {
namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct FileCase {
  const char* name;
  std::vector<std::string> lines;
  std::string bytes;
};

class TranscriptFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(TranscriptFile, EveryLineEndsWithCrLf) {
  // One file per case: ctest runs the cases of this suite side by side.
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("tessora_transcript_file_" + std::string(GetParam().name) + "_" +
                             std::to_string(::getpid()) + ".txt"))
                               .string();
  {
    std::ofstream old(path, std::ios::binary);
    old << std::string(5000, 'o');  // a longer file is replaced, not overwritten in part
  }
  Transcript t;
  for (const auto& line : GetParam().lines) t.add_line(line);
  EXPECT_EQ(write_transcript(t, path), SaveResult::written);
  EXPECT_EQ(slurp(path), GetParam().bytes);
  std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Files, TranscriptFile,
                         ::testing::Values(FileCase{"empty", {}, ""}, FileCase{"one_empty_line", {""}, "\r\n"},
                                           FileCase{"three_lines", {" STOP ", " ", ""}, " STOP \r\n \r\n\r\n"},
                                           FileCase{"inner_line_feed_kept", {"a\nb"}, "a\nb\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TranscriptFileBytes, ThreeLinesWriteSixLineEndBytes) {
  const std::string path = (std::filesystem::temp_directory_path() / "tessora_three_lines.txt").string();
  Transcript t;
  for (const char* s : {"one", "two", "three"}) t.add_line(s);
  ASSERT_EQ(write_transcript(t, path), SaveResult::written);
  const std::string bytes = slurp(path);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r') + std::count(bytes.begin(), bytes.end(), '\n'), 6);
  EXPECT_EQ(bytes.size(), 3u + 3u + 5u + 6u);
  std::filesystem::remove(path);
}

TEST(TranscriptFileBytes, LargeTranscriptIsWrittenWhole) {
  // Far past the old store of 262,144 characters and 32,767 lines.
  const std::string path = (std::filesystem::temp_directory_path() / "tessora_large.txt").string();
  Transcript t;
  std::string expected;
  for (int i = 0; i < 40000; ++i) {
    std::string line(i % 97, static_cast<char>('a' + i % 26));
    t.add_line(line);
    expected += line + "\r\n";
  }
  ASSERT_EQ(write_transcript(t, path), SaveResult::written);
  EXPECT_EQ(slurp(path), expected);
  std::filesystem::remove(path);
}

TEST(TranscriptFileBytes, MissingDirectoryCannotBeCreated) {
  Transcript t;
  t.add_line("x");
  EXPECT_EQ(write_transcript(t, "/nonexistent-dir/for/tessora.txt"), SaveResult::cannot_create);
}

}  // namespace
}  // namespace tessora::console

// Parts of one matrix computed apart (--part K/N) and their merge.
//
// A part file holds, for pairs i < j numbered row by row (scipy's pdist
// order), the pairs [pair_begin, pair_end) of part K, where part k of N ends
// at floor(P k / N) of the P = m (m - 1) / 2 pairs, and the diagonal entries
// [floor(m (K - 1) / N), floor(m K / N)). Layout, all little-endian:
//
//   "TSMPART1"                      8 bytes
//   header length H                 u32, then H header bytes:
//     m, n                          u64, u64
//     coefficient                   i32
//     scale, dissimilarity, cells   u8 each (cells: 0 float32 values, 1 uint32 counts)
//     reserved                      u8
//     K, N                          u64, u64
//     pair_begin, pair_end          u64, u64
//     diag_begin, diag_end          u64, u64
//     table checksum                u64 (FNV-1a over the table, see table_checksum)
//     title                         u32 length, bytes
//     labels                        u64 count, then u32 length and bytes each
//     padding to a multiple of 8 bytes
//   pair cells                      4 bytes each
//   diagonal cells                  4 bytes each
//   file checksum                   u64: FNV-1a of every byte before it
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cli/options.hpp"
#include "cli/part_file.hpp"
#include "cli/block_sources.hpp"
#include "cli/shape.hpp"
#include "cli/table_input.hpp"

namespace tessora::cli {

struct PartHeader {
  std::uint64_t m = 0, n = 0;
  std::int32_t coefficient = 0;
  bool scale = false, dissimilarity = false;
  Cells cells = Cells::real;
  std::uint64_t part = 0, parts = 0;
  std::uint64_t pair_begin = 0, pair_end = 0, diag_begin = 0, diag_end = 0;
  std::uint64_t table_checksum = 0;
  std::string title;
  std::vector<std::string> labels;
};

// The pairs [begin, end) and the diagonal entries of part k (1-based) of n.
std::pair<std::uint64_t, std::uint64_t> part_pairs(std::uint64_t m, std::uint64_t k, std::uint64_t n);
std::pair<std::uint64_t, std::uint64_t> part_diagonal(std::uint64_t m, std::uint64_t k, std::uint64_t n);

std::string encode_part_header(const PartHeader& h);

// Computes part `options.part` of `options.parts` into options.output (and
// the counts into options.shared_counts when given).
void write_parts(const Options& options, const Engine& engine, const Table& table, ProgressBar& progress);

// Whether `path` is a part of a matrix.
bool is_matrix_part(const std::string& path);

// tessora merge: checks the parts and writes the whole matrix.
void merge_parts(const Options& options, bool show_progress);

}  // namespace tessora::cli

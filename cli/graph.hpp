// Each object's nearest neighbours (--neighbors) and the pairs within a
// threshold (--radius): computed by the library, kept in memory (m k or the
// pairs, not m^2), written in the graph formats, cut into parts and merged.
//
// A graph part file holds the result for a run of rows, with the shared
// counts. Layout, all little-endian:
//
//   "TSGPART1"                      8 bytes
//   header length H                 u32, then H header bytes:
//     m, n                          u64, u64
//     coefficient                   i32
//     scale, dissimilarity          u8 each
//     kind, include_self            u8 each (kind: 0 neighbours, 1 radius)
//     k                             u64 (neighbours; 0 for radius)
//     threshold                     f32 (radius; 0 for neighbours)
//     reserved                      u32
//     min_shared, max_pairs         u64, u64
//     K, N                          u64, u64
//     row_begin, row_end            u64, u64
//     entries                       u64: (row_end - row_begin) k, or the pairs
//     table checksum                u64 (as in the matrix's parts)
//     title                         u32 length, bytes
//     labels                        u64 count, then u32 length and bytes each
//     padding to a multiple of 8 bytes
//   neighbours: indices i64, values f32, shared counts u32, `entries` each
//   radius: i i64, j i64, values f32, shared counts u32, `entries` each
//   file checksum                   u64: FNV-1a of every byte before it
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.hpp"
#include "cli/progress.hpp"
#include "cli/table_input.hpp"
#include "tessora/engine.hpp"

namespace tessora::cli {

// The neighbours of the rows [row_begin, row_end), k a row, nearest first
// (index -1 and NaN where there are fewer candidates), or the pairs (i, j),
// i <= j, with i in those rows, in order of i, then j.
struct Graph {
  Result kind = Result::neighbors;
  std::int64_t m = 0, k = 0;
  std::int64_t row_begin = 0, row_end = 0;
  std::vector<std::int64_t> i;  // radius: each pair's first object
  std::vector<std::int64_t> j;  // the neighbour, or each pair's second object
  std::vector<float> values;
  std::vector<std::uint32_t> shared;
};

// Computes the graph of the rows [row_begin, row_end) as `options` asks;
// the library's Error for a k, min_shared, threshold or max_pairs it
// refuses becomes a usage error.
Graph compute_graph(const Options& options, const Engine& engine, std::int64_t row_begin, std::int64_t row_end,
                    ProgressBar& progress);

// The rows of part K of N: runs of objects for the neighbours, runs of
// condensed rows with about the same number of pairs for the radius.
std::pair<std::int64_t, std::int64_t> graph_part_rows(Result kind, std::int64_t m, std::int64_t part,
                                                      std::int64_t parts);

// Each row's entries as the formats write them: the neighbours nearest
// first; for the radius both (i, j) and (j, i), columns ascending.
class GraphRows {
 public:
  explicit GraphRows(const Graph& graph);
  std::int64_t entries() const;  // the entries of every row, missing neighbours left out
  // Calls f(j, value, count) for each entry of row r (j = -1: a missing neighbour).
  template <class F>
  void row(std::int64_t r, F&& f) const {
    const Graph& g = graph_;
    if (g.kind == Result::neighbors) {
      for (std::int64_t t = (r - g.row_begin) * g.k, end = t + g.k; t < end; ++t)
        f(g.j[static_cast<std::size_t>(t)], g.values[static_cast<std::size_t>(t)], g.shared[static_cast<std::size_t>(t)]);
      return;
    }
    for (std::size_t q = lower_start_[static_cast<std::size_t>(r)]; q < lower_start_[static_cast<std::size_t>(r) + 1]; ++q) {
      const std::size_t p = lower_[q];
      f(g.i[p], g.values[p], g.shared[p]);
    }
    for (std::size_t p = upper_start_[static_cast<std::size_t>(r)]; p < upper_start_[static_cast<std::size_t>(r) + 1]; ++p)
      f(g.j[p], g.values[p], g.shared[p]);
  }

 private:
  const Graph& graph_;
  // radius: the pairs (a, r), a < r, by r then a; and where the pairs of
  // each row r (as their first object) and of each r (as their second) begin.
  std::vector<std::size_t> lower_, lower_start_, upper_start_;
};

// Writes the whole graph (rows 0 .. m - 1) to the outputs of `options`.
void write_graph(const Options& options, const Graph& graph, const std::vector<std::string>& labels);

// --neighbors or --radius, whole or as a part.
void run_graph(const Options& options, const Engine& engine, const Table& table, ProgressBar& progress);

// Whether `path` is a part of --neighbors or --radius.
bool is_graph_part(const std::string& path);

// tessora merge of graph parts: checks them and writes the whole graph.
void merge_graph_parts(const Options& options);

}  // namespace tessora::cli

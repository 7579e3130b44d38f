// Average-linkage (UPGMA) hierarchical clustering of m objects from their
// pairwise dissimilarities, and the leaf order that a dendrogram draws.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

namespace tessora::console {

// One merge. The objects are clusters 0 .. m-1; merge number k makes
// cluster m + k. `left` is the smaller of the two cluster numbers.
struct Merge {
  std::size_t left = 0;
  std::size_t right = 0;
  double height = 0;  // the average dissimilarity between the two clusters
  std::size_t size = 0;
};

// Clusters m objects whose dissimilarities are packed as a lower triangle:
// the pair (i, j), i > j, at i(i-1)/2 + j. The values must be finite; the
// vector is used as working storage and left changed.
//
// The merges are found by following chains of nearest neighbours, which for
// average linkage gives the same hierarchy as merging the closest pair each
// time. Ties: a chain starts at the lowest-numbered cluster still unmerged;
// a cluster's nearest neighbour is the one before it on the chain when that
// one is among the closest, otherwise the lowest-numbered of the closest.
// The merges are then put in order of height, equal heights kept in the
// order they were found, and numbered; a merged cluster is known by its new
// number. (This is the rule of SciPy's linkage(method="average").)
//
// Returns the m - 1 merges, or nothing when `cancel` turned true meanwhile.
std::vector<Merge> average_linkage(std::vector<double>& dissimilarity, std::size_t m,
                                   const std::atomic<bool>* cancel = nullptr);

// The objects from top to bottom of the dendrogram: left before right,
// down from the last merge.
std::vector<std::size_t> leaf_order(const std::vector<Merge>& merges, std::size_t m);

// ---- The dendrogram at a resolution ----------------------------------------

struct Segment {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// The lines of the dendrogram of `merges` over m = leaf_y.size() objects,
// whose leaves stand at the heights leaf_y (by object, in pixels, evenly
// spaced) against the line x = leaf_x, merge heights growing towards
// x = root_x (the highest merge). Drawn at a resolution of `min_gap`
// pixels: a part of the tree whose leaves span less is merged into the
// branch it joins, or shown as one leaf; and at every merge height the
// horizontal lines stand at least `min_gap` apart, a fork whose parts would
// come closer being drawn as a leaf. So the tree keeps its upper levels and
// as much of the rest as the pixels hold. Nothing when the merges do not
// belong to m objects.
std::vector<Segment> dendrogram_lines(const std::vector<Merge>& merges, const std::vector<double>& leaf_y,
                                      double leaf_x, double root_x, double min_gap);

}  // namespace tessora::console

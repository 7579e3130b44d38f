// Where the parts of the matrix picture go, without pixels of its own: the
// square of cells, the object numbers along two of its sides, the
// dendrogram beside the rows, and the legend to the right of the cells or
// below them, whichever leaves the larger square.
#pragma once

#include <cstddef>
#include <vector>

namespace tessora::console {

struct Box {
  int x = 0, y = 0, width = 0, height = 0;
  int right() const { return x + width; }  // one past the last column
  int bottom() const { return y + height; }
  long long area() const { return static_cast<long long>(width) * height; }
  friend bool operator==(const Box&, const Box&) = default;
};

// The sizes of what surrounds the cells, in pixels.
struct PictureParts {
  int labels = 0;          // the strip of object numbers (width left, height on top)
  int legend_width = 0;    // the legend to the right: its width
  int legend_height = 0;   // the legend below: its height
  int legend_length = 0;   // the legend below: the least width it needs
  int dendrogram_min = 0;  // 0 without a dendrogram; it takes what width the
  int dendrogram_max = 0;  // square leaves over, from min up to max
};

inline constexpr int kPictureMargin = 4;  // right and bottom edge
inline constexpr int kLegendGap = 8;      // between the cells and the legend

struct PictureLayout {
  Box cells;  // square
  Box row_labels, column_labels, dendrogram, legend;
  bool legend_below = false;
};

// The layout of a picture of width by height pixels.
PictureLayout layout_picture(int width, int height, const PictureParts& parts);

// The size, within width by height, that holds the largest square of cells
// with nothing to spare beside it.
struct PictureSize {
  int width = 0, height = 0;
};
PictureSize fitting_size(int width, int height, const PictureParts& parts);

// ---- Object numbers along an axis -----------------------------------------
//
// The positions (in display order) that carry a number along an axis of
// `length` pixels showing positions from `first` at `scale` pixels each,
// with the centre of each along the axis. Numbers `text_size` pixels across
// stand at multiples of a step of 1, 2, 5, 10, 20, 50, ... positions, the
// smallest that keeps them 2 pixels apart; a number that would not lie
// wholly within the axis is left out.
struct AxisLabel {
  std::size_t position = 0;
  double centre = 0;
};
std::vector<AxisLabel> axis_labels(std::size_t m, double first, double scale, int length, int text_size);

}  // namespace tessora::console

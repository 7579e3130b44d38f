#include "window/core/picture_layout.hpp"

#include <algorithm>
#include <cmath>

namespace tessora::console {

namespace {

// The square each legend place leaves, with the width the square does not
// use (which a dendrogram may take).
struct Choice {
  bool below = false;
  int side = 1;
  int spare_width = 0;
};

Choice choose(int width, int height, const PictureParts& p) {
  const int left = p.dendrogram_min + p.labels;
  const int right_width = width - left - kLegendGap - p.legend_width - kPictureMargin;
  const int right_height = height - p.labels - kPictureMargin;
  const int below_width = width - left - kPictureMargin;
  const int below_height = height - p.labels - kLegendGap - p.legend_height - kPictureMargin;
  const int right_side = std::min(right_width, right_height);
  const int below_side = std::min(below_width, below_height);
  // Below, the legend runs from the cells' left edge to the picture's right
  // edge; it needs its length there.
  if (below_side > right_side && below_width >= p.legend_length) {
    return {true, std::max(below_side, 1), std::max(below_width - below_side, 0)};
  }
  return {false, std::max(right_side, 1), std::max(right_width - right_side, 0)};
}

// Label steps of 1, 2, 5, 10, 20, 50, ... positions, the first at least `need`.
std::size_t label_step(double need) {
  std::size_t step = 1;
  for (;;) {
    for (std::size_t f : {1, 2, 5}) {
      if (static_cast<double>(step * f) >= need) return step * f;
    }
    if (step > std::size_t(1) << 40) return step;
    step *= 10;
  }
}

}  // namespace

PictureLayout layout_picture(int width, int height, const PictureParts& p) {
  const Choice c = choose(width, height, p);
  PictureLayout l;
  l.legend_below = c.below;
  const int dendrogram =
      p.dendrogram_min + std::clamp(c.spare_width, 0, std::max(p.dendrogram_max - p.dendrogram_min, 0));
  const int top = p.labels;
  const int left = dendrogram + p.labels;
  l.cells = Box{left, top, c.side, c.side};
  l.dendrogram = Box{0, top, dendrogram, c.side};
  l.row_labels = Box{dendrogram, top, p.labels, c.side};
  l.column_labels = Box{left, 0, c.side, top};
  if (c.below) {
    const int y = l.cells.bottom() + kLegendGap;
    l.legend = Box{left, y, std::max(width - kPictureMargin - left, 0), p.legend_height};
  } else {
    const int x = l.cells.right() + kLegendGap;
    l.legend = Box{x, top, p.legend_width, std::max(height - top - kPictureMargin, 0)};
  }
  return l;
}

PictureSize fitting_size(int width, int height, const PictureParts& p) {
  const Choice c = choose(width, height, p);
  const int left = p.dendrogram_min + p.labels;
  PictureSize s;
  if (c.below) {
    s.width = left + std::max(c.side, p.legend_length) + kPictureMargin;
    s.height = p.labels + c.side + kLegendGap + p.legend_height + kPictureMargin;
  } else {
    s.width = left + c.side + kLegendGap + p.legend_width + kPictureMargin;
    s.height = p.labels + c.side + kPictureMargin;
  }
  return PictureSize{std::min(s.width, width), std::min(s.height, height)};
}

std::vector<AxisLabel> axis_labels(std::size_t m, double first, double scale, int length, int text_size) {
  std::vector<AxisLabel> out;
  if (m == 0 || !(scale > 0) || !std::isfinite(scale) || !std::isfinite(first) || length <= 0 || text_size <= 0) {
    return out;
  }
  const double half = text_size / 2.0;
  const std::size_t step = label_step((text_size + 2) / scale);
  const double from = std::max(0.0, std::floor(first));
  if (from >= static_cast<double>(m)) return out;
  const auto start = static_cast<std::size_t>(from);
  for (std::size_t pos = (start + step - 1) / step * step; pos < m; pos += step) {
    const double centre = (static_cast<double>(pos) + 0.5 - first) * scale;
    if (centre - half > length) break;
    if (centre - half >= 0 && centre + half <= length) out.push_back(AxisLabel{pos, centre});
    if (step > m - pos) break;  // the next one would pass the end
  }
  return out;
}

}  // namespace tessora::console

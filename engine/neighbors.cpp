// Nearest neighbours and the pairs within a threshold: each object's
// candidates are ranked by the coefficient's order, ties by the lower index,
// so that the answer does not depend on the order in which pairs are
// computed, nor on the number of threads.
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "engine/engine_impl.hpp"
#include "engine/kernel/job.hpp"
#include "engine/pair_steps.hpp"
#include "engine/worker_pool.hpp"

#include "tessora/checks.hpp"
#include "tessora/engine.hpp"
#include "tessora/error.hpp"
#include "tessora/layout.hpp"

namespace tessora {

namespace {

std::string text(std::int64_t v) { return std::to_string(v); }

// The shortest decimal that reads back as the same float.
std::string shortest(float v) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
  return std::string(buffer, end);
}

// The rows row_begin .. row_end - 1 (row_end -1: to the last object).
std::pair<std::int64_t, std::int64_t> rows_of(std::int64_t row_begin, std::int64_t row_end, std::int64_t m) {
  const std::int64_t end = row_end == -1 ? m : row_end;
  if (row_begin < 0 || row_begin > end || end > m)
    throw Error("the rows " + text(row_begin) + " to " + text(row_end) + " are not a range within the " + text(m) +
                " objects");
  return {row_begin, end};
}

void check_min_shared(std::int64_t min_shared, std::int64_t n) {
  if (min_shared < 0 || min_shared > n)
    throw Error("min_shared must be from 0 to " + text(n) + " (the variables), not " + text(min_shared));
}

// Each object's k best candidates so far, filled by every worker at once as
// the kernel hands over its tiles of pairs: every pair is computed once and
// offered to both of its objects. A candidate is one 64-bit key: the value's
// place in the ranking order, then the partner's index, then the sign of a
// zero, so that comparing keys compares the values by the ranking order,
// then the indices, and the key gives back the value's bits.
//
// A list is the k best of those it holds: candidates are appended while
// there is room, and when the room is full the k best are moved to the
// front (a selection, not a sort) and the k-th of them becomes the list's
// worst key. That key is also kept where workers read it without a lock, so
// that the many candidates that cannot enter cost one comparison. A stale
// worst key is never below the true one, so the check may let a candidate
// through, never turn a good one away. The shared counts, when they are
// wanted, travel beside the keys.
std::atomic<std::uint64_t> next_id{1};  // every Selection's own, never 0

template <bool kCounts>
class Selection final : public engine::kernel::detail::PairSink {
  static constexpr std::size_t kBatch = 64;       // candidates offered to a list at once, at most
  static constexpr std::size_t kWidestTile = 16;  // the kernel's widest: 16 lanes

  struct KeyOnly {
    std::uint64_t key;
    static constexpr std::uint32_t count = 0;
  };
#pragma pack(push, 4)
  struct KeyAndCount {
    std::uint64_t key;
    std::uint32_t count;
  };
#pragma pack(pop)

 public:
  using Slot = std::conditional_t<kCounts, KeyAndCount, KeyOnly>;

  // Room for k and as many again (a quarter as many with the counts): with
  // 8 or 12 bytes a candidate, at most 16 bytes for each of the k.
  Selection(std::size_t r0, std::size_t r1, std::size_t k, bool ascending, bool complemented,
            std::uint64_t min_shared)
      : r0_(r0), r1_(r1), k_(k), room_(k + (kCounts ? std::max<std::size_t>(1, k / 4) : k)), ascending_(ascending),
        complemented_(complemented), min_shared_(static_cast<std::uint32_t>(min_shared)), slots_((r1 - r0) * room_), lists_(std::make_unique<List[]>(r1 - r0)) {}

  // A run of pairs (p, j): tiles of one object, as wide as the kernel's.
  void take(std::size_t p, std::size_t j_begin, std::size_t j_end, const float* values,
            const std::uint32_t* counts) override {
    for (std::size_t j0 = j_begin; j0 < j_end; j0 += kWidestTile) {
      const std::size_t at = j0 - j_begin;
      take_tile(p, p + 1, j0, std::min(j_end, j0 + kWidestTile), values + at, counts + at, 0);
    }
  }

  // A tile at once: its places are ranked on vectors, then one pass finds
  // the few pairs below either list's worst place, and each object's row
  // and each partner's column goes in under one lock, so that a list far
  // from the caches is fetched once for all its candidates of the tile.
  void take_tile(std::size_t p_begin, std::size_t p_end, std::size_t j0, std::size_t j_end, const float* values,
                 const std::uint32_t* counts, std::size_t stride) override {
    const std::size_t width = j_end - j0, rows = p_end - p_begin;
    if (rows > kBatch || width > kWidestTile)
      return PairSink::take_tile(p_begin, p_end, j0, j_end, values, counts, stride);
    // The partners' worst places; 0 (no number's) for those not wanted.
    const std::size_t col_from = std::max(j0, r0_), col_to = std::max(col_from, std::min(j_end, r1_));
    std::uint64_t col_worst[kWidestTile];
    std::uint32_t col_place[kWidestTile] = {};
    for (std::size_t j = col_from; j < col_to; ++j) {
      col_worst[j - j0] = lists_[j - r0_].worst.load(std::memory_order_relaxed);
      col_place[j - j0] = static_cast<std::uint32_t>(col_worst[j - j0] >> 32);
    }
    // This worker's candidates wait for more of the same lists: a run of
    // tiles keeps either its rows (narrow tables) or its partners.
    Pending& held = pending();
    if (held.p_begin != p_begin || held.p_end != p_end) {
      hand_over_rows(held);
      held.p_begin = p_begin;
      held.p_end = p_end;
    }
    if (held.j0 != j0 || held.j_end != j_end) {
      hand_over_columns(held);
      held.j0 = j0;
      held.j_end = j_end;
    }
    for (std::size_t c = 0; c < width; ++c)
      if (held.col_kept[c] + rows > kBatch) hand_over(j0 + c - r0_, held.cols[c], held.col_kept[c]);
    for (std::size_t r = 0; r < rows; ++r) {
      const std::size_t p = p_begin + r;
      const std::size_t skip = std::min(width, std::max(j0, p + 1) - j0);  // the partners j <= p
      if (skip == width) continue;
      const float* v = values + r * stride;
      std::uint32_t place[kWidestTile], bar[kWidestTile];
      float final_values[kWidestTile];
      if (complemented_) {
        for (std::size_t c = skip; c < width; ++c) final_values[c] = detail::complement(v[c]);
        v = final_values;
      }
      rank_places(v + skip, counts + r * stride + skip, place + skip, width - skip, flip_, min_shared_);
      const bool p_wanted = p >= r0_ && p < r1_;
      const std::uint64_t p_worst = p_wanted ? lists_[p - r0_].worst.load(std::memory_order_relaxed) : 0;
      const auto p_place = static_cast<std::uint32_t>(p_worst >> 32);
      if (p_wanted && held.row_kept[r] + width > kBatch) hand_over(p - r0_, held.rows[r], held.row_kept[r]);
      for (std::size_t c = skip; c < width; ++c) bar[c] = std::max(p_place, col_place[c]);
      for (std::size_t c = skip; c < width; ++c) {
        if (place[c] > bar[c] || place[c] == kNever) continue;  // an open list's bar is kNever
        const std::size_t j = j0 + c;
        const std::uint32_t count = counts[r * stride + c];
        if (key_of(place[c], j) < p_worst) held.rows[r][held.row_kept[r]++] = slot(place[c], j, v[c], count);
        if (col_place[c] != 0 && key_of(place[c], p) < col_worst[c])
          held.cols[c][held.col_kept[c]++] = slot(place[c], p, v[c], count);
      }
    }
  }

  // What the workers still hold, into the lists: once the run is over.
  void hand_over_all() {
    for (const auto& held : pendings_) {
      hand_over_rows(*held);
      hand_over_columns(*held);
    }
  }

  // An object's own pair (its value final), offered by the caller before or
  // after the run.
  void offer_self(std::size_t i, float v, std::uint32_t count) {
    const std::uint32_t place = place_of(v, count);
    if (place == kNever) return;
    const Slot self = slot(place, i, v, count);
    offer_all(i - r0_, &self, 1);
  }

  // Row r's candidates, nearest first.
  std::span<Slot> sorted(std::size_t r) {
    Slot* first = slots_.data() + r * room_;
    std::size_t size = lists_[r].size;
    if (size > k_) {
      std::nth_element(first, first + k_ - 1, first + size, by_key);
      size = k_;
    }
    std::sort(first, first + size, by_key);
    return {first, size};
  }

  static std::int64_t index_of(const Slot& s) { return static_cast<std::int64_t>((s.key & 0xFFFFFFFFu) >> 1); }

  // The value whose place and sign of zero the key holds.
  float value_of(const Slot& s) const {
    std::uint32_t u = static_cast<std::uint32_t>(s.key >> 32);
    if (!ascending_) u = ~u;
    const std::uint32_t bits = (u & 0x80000000u) ? (u & 0x7FFFFFFFu) : ~u;
    return std::bit_cast<float>(bits | ((static_cast<std::uint32_t>(s.key) & 1u) << 31));
  }

 private:
  static constexpr std::uint64_t kOpen = ~std::uint64_t{0};   // fewer than k candidates yet
  static constexpr std::uint32_t kNever = ~std::uint32_t{0};  // above the place of every number

  static bool by_key(const Slot& a, const Slot& b) { return a.key < b.key; }

  // The value a pair of the kernel stands for here: complemented where
  // dissimilarities are asked of a similarity.
  float final(float v) const { return complemented_ ? detail::complement(v) : v; }

  // The place of a value, or kNever when the pair is no one's neighbour:
  // the floats' order as unsigned integers (turned over for a descending
  // order), in which -0 and +0 share a place. A number's place is at most
  // 0xFF800000 (an infinity's) and never 0 (that of a NaN). Integer work
  // only, so that a run of them goes on vectors.
  static std::uint32_t place_bits(std::uint32_t b, std::uint32_t count, std::uint32_t flip,
                                  std::uint32_t min_shared) {
    b = b == 0x80000000u ? 0u : b;
    const std::uint32_t u = (b & 0x80000000u ? ~b : b | 0x80000000u) ^ flip;
    return (b & 0x7FFFFFFFu) > 0x7F800000u || count < min_shared ? kNever : u;
  }

  std::uint32_t place_of(float v, std::uint32_t count) const {
    return place_bits(std::bit_cast<std::uint32_t>(v), count, flip_, min_shared_);
  }

  static void rank_places(const float* values, const std::uint32_t* counts, std::uint32_t* places, std::size_t n,
                          std::uint32_t flip, std::uint32_t min_shared) {
    for (std::size_t c = 0; c < n; ++c)
      places[c] = place_bits(std::bit_cast<std::uint32_t>(values[c]), counts[c], flip, min_shared);
  }

  // The key without the sign of a zero: enough to compare with another
  // partner's key.
  static std::uint64_t key_of(std::uint64_t place, std::size_t partner) {
    return (place << 32) | (static_cast<std::uint64_t>(partner) << 1);
  }

  // The candidate of a value whose place is known; a zero's sign goes in
  // the key's last bit.
  Slot slot(std::uint32_t place, std::size_t partner, float v, std::uint32_t count) const {
    const std::uint64_t key = key_of(place, partner) | (v == 0.0f && std::signbit(v) ? 1u : 0u);
    if constexpr (kCounts) return {key, count};
    else return {key};
  }

  // Candidates for row r: each below the list's worst is appended; a full
  // list keeps its k best and takes the k-th as its worst.
  void offer_all(std::size_t r, const Slot* candidates, std::size_t n) {
    List& head = lists_[r];
    if (n == 1 && candidates[0].key >= head.worst.load(std::memory_order_relaxed)) return;
    while (head.held.exchange(true, std::memory_order_acquire))
      while (head.held.load(std::memory_order_relaxed)) {
      }
    Slot* list = slots_.data() + r * room_;
    std::size_t size = head.size;
    std::uint64_t worst = head.worst.load(std::memory_order_relaxed);
    for (std::size_t c = 0; c < n; ++c) {
      if (candidates[c].key >= worst) continue;
      list[size++] = candidates[c];
      if (size == room_) {
        std::nth_element(list, list + k_ - 1, list + room_, by_key);
        size = k_;
        worst = list[k_ - 1].key;
        head.worst.store(worst, std::memory_order_relaxed);
      }
    }
    head.size = static_cast<std::uint32_t>(size);
    head.held.store(false, std::memory_order_release);
  }

  // A worker's candidates on their way to the lists of the rows and the
  // partners of its last tile.
  struct Pending {
    std::size_t p_begin = 0, p_end = 0, j0 = 0, j_end = 0;
    std::size_t row_kept[kBatch] = {}, col_kept[kWidestTile] = {};
    Slot rows[kBatch][kBatch];
    Slot cols[kWidestTile][kBatch];
  };

  // This worker's Pending, made the first time it works for this selection.
  Pending& pending() {
    thread_local struct {
      std::uint64_t selection = 0;
      Pending* held = nullptr;
    } mine;
    if (mine.selection != id_) {
      std::lock_guard lock(pendings_mutex_);
      pendings_.push_back(std::make_unique<Pending>());
      mine = {id_, pendings_.back().get()};
    }
    return *mine.held;
  }

  void hand_over(std::size_t list, Slot* batch, std::size_t& kept) {
    if (kept > 0) offer_all(list, batch, kept);
    kept = 0;
  }

  // What a worker holds for the lists first - r0_ .. first - r0_ + count - 1
  // (its rows or its partners). The lists' heads are fetched together, then
  // where each appends, then the candidates go in.
  void hand_over_lists(std::size_t first, std::size_t count, Slot (*batches)[kBatch], std::size_t* kept) {
    for (std::size_t i = 0; i < count; ++i)
      if (kept[i] > 0) __builtin_prefetch(&lists_[first + i - r0_], 1);
    for (std::size_t i = 0; i < count; ++i)
      if (kept[i] > 0) __builtin_prefetch(list_end(first + i - r0_), 1);
    for (std::size_t i = 0; i < count; ++i) hand_over(first + i - r0_, batches[i], kept[i]);
  }

  void hand_over_rows(Pending& held) {
    hand_over_lists(held.p_begin, held.p_end - held.p_begin, held.rows, held.row_kept);
  }

  void hand_over_columns(Pending& held) { hand_over_lists(held.j0, held.j_end - held.j0, held.cols, held.col_kept); }

  const Slot* list_end(std::size_t list) const { return slots_.data() + list * room_ + lists_[list].size; }

  // A list's head: its worst key, read without the lock, beside the lock
  // (held for the few instructions of an insertion) and the number of
  // candidates held, so that taking the lock finds its line at hand.
  struct List {
    std::atomic<std::uint64_t> worst{kOpen};
    std::atomic<bool> held{false};
    std::uint32_t size = 0;  // at most 2 k, below 2^32
  };

  std::size_t r0_, r1_, k_, room_;
  bool ascending_, complemented_;
  std::uint32_t min_shared_;
  std::uint32_t flip_ = ascending_ ? 0u : ~0u;
  std::vector<Slot> slots_;
  std::unique_ptr<List[]> lists_;
  const std::uint64_t id_ = next_id.fetch_add(1, std::memory_order_relaxed);  // the workers' Pendings go by it
  std::mutex pendings_mutex_;
  std::vector<std::unique_ptr<Pending>> pendings_;
};

// The pairs within the threshold, gathered from every worker (a run's
// finds under one lock; they are few, or the list is long anyway). Past
// max_pairs it stops the run; it also passes on the caller's stop.
class Gathering final : public engine::kernel::detail::PairSink {
 public:
  struct Pair {
    std::uint32_t i, j;  // objects are fewer than 2^31
    float value;
    std::uint32_t count;
  };

  Gathering(float threshold, bool ascending, bool complemented, std::uint64_t min_shared, std::size_t max_pairs,
            const std::atomic<bool>* cancel)
      : threshold_(threshold), ascending_(ascending), complemented_(complemented), min_shared_(min_shared),
        max_pairs_(max_pairs), cancel_(cancel) {}

  void take(std::size_t p, std::size_t j_begin, std::size_t j_end, const float* values,
            const std::uint32_t* counts) override {
    if (cancel_ && cancel_->load(std::memory_order_relaxed)) stop_.store(true, std::memory_order_relaxed);
    Pair found[kMostPerRun];
    std::size_t n = 0;
    for (std::size_t j = j_begin; j < j_end; ++j) {
      float v = values[j - j_begin];
      if (complemented_) v = detail::complement(v);
      if (!within(v) || counts[j - j_begin] < min_shared_) continue;
      found[n++] = {static_cast<std::uint32_t>(p), static_cast<std::uint32_t>(j), v, counts[j - j_begin]};
      if (n == kMostPerRun) {
        add(found, n);
        n = 0;
      }
    }
    if (n > 0) add(found, n);
  }

  bool within(float v) const { return ascending_ ? v <= threshold_ : v >= threshold_; }  // false for NaN

  void add(const Pair* found, std::size_t n) {
    std::lock_guard lock(mutex_);
    if (pairs_.size() + n > max_pairs_) {
      overflow_ = true;
      stop_.store(true, std::memory_order_relaxed);
      return;
    }
    pairs_.insert(pairs_.end(), found, found + n);
  }

  const std::atomic<bool>* stop() const { return &stop_; }
  bool overflow() const { return overflow_; }
  std::vector<Pair>& pairs() { return pairs_; }

 private:
  static constexpr std::size_t kMostPerRun = 64;
  float threshold_;
  bool ascending_, complemented_;
  std::uint64_t min_shared_;
  std::size_t max_pairs_;
  const std::atomic<bool>* cancel_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  bool overflow_ = false;
  std::vector<Pair> pairs_;
};

}  // namespace

void check_neighbors(std::int64_t objects, std::int64_t variables, std::int64_t k, const NeighborOptions& options) {
  const std::int64_t candidates = options.include_self ? objects : objects - 1;
  if (k < 1 || k > candidates)
    throw Error("k must be from 1 to " + text(candidates) +
                (options.include_self ? " (the objects, self included)" : " (the other objects)") + ", not " + text(k));
  check_min_shared(options.min_shared, variables);
  rows_of(options.row_begin, options.row_end, objects);
}

void Engine::neighbors(std::int64_t k, std::int64_t* indices, float* values, std::uint32_t* shared,
                       const NeighborOptions& options, const RunOptions& run) const {
  const std::int64_t m = objects();
  check_neighbors(m, variables(), k, options);
  const auto [r0, r1] = rows_of(options.row_begin, options.row_end, m);
  if (indices == nullptr) throw Error("no buffer was given for the neighbours' indices");
  thread_count(run.threads);
  if (r0 == r1) return;

  const bool ascending = ranking_of(settings().coefficient, settings().dissimilarity) == Ranking::ascending;
  const auto q0 = static_cast<std::size_t>(r0), q1 = static_cast<std::size_t>(r1);
  const auto objects = static_cast<std::size_t>(m);
  auto select = [&]<bool kCounts>() {
    auto selection = std::make_unique<Selection<kCounts>>(q0, q1, static_cast<std::size_t>(k), ascending,
                                                          settings().dissimilarity,
                                                          static_cast<std::uint64_t>(options.min_shared));
    // Every pair with an object of the rows, once: the rows against the
    // later objects, and the earlier objects against the rows.
    const engine::kernel::detail::Region regions[] = {{q0, q1, q0, objects}, {0, q0, q0, q1}};
    engine::kernel::detail::Output out;
    out.sink = selection.get();
    if (!engine::kernel::run_pairs(impl_->prepared, regions, out, detail::control_of(run))) throw Cancelled();
    selection->hand_over_all();
    if (options.include_self)
      for (std::size_t i = q0; i < q1; ++i)
        selection->offer_self(i, diagonal(static_cast<std::int64_t>(i)),
                              engine::known_count(impl_->prepared.table, i));

    // Each list sorted and written out, the lists shared among the workers.
    auto write = [&](std::size_t from, std::size_t to) {
      for (std::size_t i = from; i < to; ++i) {
        const auto kept = selection->sorted(i - q0);
        const std::size_t row = (i - q0) * static_cast<std::size_t>(k);
        for (std::size_t t = 0; t < static_cast<std::size_t>(k); ++t) {
          const bool found = t < kept.size();
          indices[row + t] = found ? Selection<kCounts>::index_of(kept[t]) : -1;
          if (values) values[row + t] = found ? selection->value_of(kept[t]) : std::numeric_limits<float>::quiet_NaN();
          if constexpr (kCounts) shared[row + t] = found ? kept[t].count : 0;
        }
      }
    };
    const std::size_t lists = q1 - q0, per_task = 1024;
    const std::size_t tasks = std::min<std::size_t>(
        (lists + per_task - 1) / per_task, run.threads != 0 ? run.threads : engine::WorkerPool::shared().size());
    if (tasks <= 1) return write(q0, q1);
    const std::size_t share = (lists + tasks - 1) / tasks;
    engine::WorkerPool::shared()
        .start(static_cast<unsigned>(tasks),
               [&](unsigned task) { write(q0 + std::min(lists, task * share), q0 + std::min(lists, (task + 1) * share)); })
        ->wait();
  };
  // Without the counts the lists hold half the bytes.
  if (shared) select.template operator()<true>();
  else select.template operator()<false>();
}

PairList Engine::within(float threshold, const WithinOptions& options, bool shared, const RunOptions& run) const {
  const std::int64_t m = objects();
  if (std::isnan(threshold)) throw Error("the threshold must be a number, not NaN");
  check_min_shared(options.min_shared, variables());
  const auto [r0, r1] = rows_of(options.row_begin, options.row_end, m);
  if (options.max_pairs < 0) throw Error("max_pairs must be 0 or more, not " + text(options.max_pairs));
  thread_count(run.threads);

  const bool ascending = ranking_of(settings().coefficient, settings().dissimilarity) == Ranking::ascending;
  const auto q0 = static_cast<std::size_t>(r0), q1 = static_cast<std::size_t>(r1);
  const auto max_pairs = static_cast<std::size_t>(options.max_pairs);
  Gathering gathering(threshold, ascending, settings().dissimilarity, static_cast<std::uint64_t>(options.min_shared),
                      max_pairs, run.cancel);
  auto too_many = [&] {
    return Error("more than " + text(options.max_pairs) + " pairs lie within the threshold " + shortest(threshold) +
                 ": raise max_pairs or choose a threshold nearer the objects");
  };
  if (options.include_self) {
    // (i, i) with the diagonal value and the object's own count.
    for (std::size_t i = q0; i < q1; ++i) {
      const float d = diagonal(static_cast<std::int64_t>(i));
      const std::uint32_t c = engine::known_count(impl_->prepared.table, i);
      if (gathering.within(d) && c >= static_cast<std::uint64_t>(options.min_shared)) {
        const Gathering::Pair self{static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(i), d, c};
        gathering.add(&self, 1);
        if (gathering.overflow()) throw too_many();
      }
    }
  }
  const engine::kernel::detail::Region region{q0, q1, q0, static_cast<std::size_t>(m)};
  engine::kernel::detail::Output out;
  out.sink = &gathering;
  engine::kernel::Control control = detail::control_of(run);
  control.cancel = gathering.stop();  // the caller's flag reaches it through the sink, and the progress
  if (q0 < q1 && !engine::kernel::run_pairs(impl_->prepared, std::span(&region, 1), out, control)) {
    if (gathering.overflow()) throw too_many();
    throw Cancelled();
  }

  auto& pairs = gathering.pairs();
  std::sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.i != b.i ? a.i < b.i : a.j < b.j; });
  PairList list;
  list.i.resize(pairs.size());
  list.j.resize(pairs.size());
  list.values.resize(pairs.size());
  if (shared) list.shared.resize(pairs.size());
  for (std::size_t t = 0; t < pairs.size(); ++t) {
    list.i[t] = static_cast<std::int64_t>(pairs[t].i);
    list.j[t] = static_cast<std::int64_t>(pairs[t].j);
    list.values[t] = pairs[t].value;
    if (shared) list.shared[t] = pairs[t].count;
  }
  return list;
}

}  // namespace tessora

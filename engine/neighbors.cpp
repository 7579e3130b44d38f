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
#include <string>
#include <vector>

#include "engine/engine_impl.hpp"
#include "engine/kernel/job.hpp"
#include "engine/pair_steps.hpp"

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
// the kernel hands over its runs of pairs: every pair is computed once and
// offered to both of its objects. A candidate is ranked by one 64-bit key,
// the value's place in the ranking order above the partner's index, so that
// comparing keys compares the values by the ranking order, then the indices. Each list
// is a heap with its worst key on top; that key is also kept where workers
// read it without a lock, so that the many candidates that cannot enter
// cost one comparison. A stale worst key is never below the true one, so
// the check may let a candidate through to the lock, never turn a good one
// away.
class Selection final : public engine::kernel::detail::PairSink {
 public:
  struct Slot {
    std::uint64_t key;
    float value;
    std::uint32_t count;
  };

  Selection(std::size_t r0, std::size_t r1, std::size_t k, bool ascending, bool complemented,
            std::uint64_t min_shared)
      : r0_(r0), r1_(r1), k_(k), ascending_(ascending), complemented_(complemented), min_shared_(min_shared),
        slots_((r1 - r0) * k), sizes_(r1 - r0, 0), worst_(std::make_unique<std::atomic<std::uint64_t>[]>(r1 - r0)) {
    for (std::size_t r = 0; r < r1 - r0; ++r) worst_[r].store(kOpen, std::memory_order_relaxed);
  }

  void take(std::size_t p, std::size_t j_begin, std::size_t j_end, const float* values,
            const std::uint32_t* counts) override {
    const bool p_wanted = p >= r0_ && p < r1_;
    const std::size_t from = std::max(j_begin, r0_), to = std::min(j_end, r1_);
    if (!p_wanted && from >= to) return;
    // p's candidates of the run go in under one lock, after the others.
    Slot mine[kBatch];
    std::size_t kept = 0;
    const std::uint64_t p_worst = p_wanted ? worst_[p - r0_].load(std::memory_order_relaxed) : 0;
    for (std::size_t j = j_begin; j < j_end; ++j) {
      const std::uint32_t count = counts[j - j_begin];
      if (count < min_shared_) continue;
      float v = values[j - j_begin];
      if (complemented_) v = detail::complement(v);
      if (std::isnan(v)) continue;
      const std::uint64_t place = rank(v) << 32;
      if (p_wanted && (place | j) < p_worst) {
        mine[kept++] = {place | j, v, count};
        if (kept == kBatch) {
          offer_all(p - r0_, mine, kept);
          kept = 0;
        }
      }
      if (j >= r0_ && j < r1_) {
        const Slot theirs{place | p, v, count};
        offer_all(j - r0_, &theirs, 1);
      }
    }
    if (kept > 0) offer_all(p - r0_, mine, kept);
  }

  // An object's own pair, offered by the caller before or after the run.
  void offer_self(std::size_t i, float v, std::uint32_t count) {
    if (count < min_shared_ || std::isnan(v)) return;
    const Slot self{(rank(v) << 32) | i, v, count};
    offer_all(i - r0_, &self, 1);
  }

  // Row r's candidates, nearest first.
  std::span<Slot> sorted(std::size_t r) {
    Slot* first = slots_.data() + r * k_;
    std::sort(first, first + sizes_[r], [](const Slot& a, const Slot& b) { return a.key < b.key; });
    return {first, sizes_[r]};
  }

 private:
  static constexpr std::uint64_t kOpen = ~std::uint64_t{0};  // fewer than k candidates yet

  // The value's place: smaller is nearer. -0 and +0 share a place.
  std::uint64_t rank(float v) const {
    std::uint32_t u = std::bit_cast<std::uint32_t>(v == 0.0f ? 0.0f : v);
    u = (u & 0x80000000u) ? ~u : (u | 0x80000000u);  // the floats' order as unsigned integers
    return ascending_ ? u : ~u;
  }

  // Candidates for row r: each enters when it is nearer than the list's
  // worst, which it then replaces (sifted down from the top of the heap).
  void offer_all(std::size_t r, const Slot* candidates, std::size_t n) {
    if (n == 1 && candidates[0].key >= worst_[r].load(std::memory_order_relaxed)) return;
    Lock& lock = locks_[r % kLocks];
    while (lock.held.exchange(true, std::memory_order_acquire))
      while (lock.held.load(std::memory_order_relaxed)) {
      }
    Slot* heap = slots_.data() + r * k_;
    std::size_t& size = sizes_[r];
    for (std::size_t c = 0; c < n; ++c) {
      const Slot& s = candidates[c];
      if (size < k_) {
        heap[size++] = s;
        std::push_heap(heap, heap + size, [](const Slot& a, const Slot& b) { return a.key < b.key; });
        if (size == k_) worst_[r].store(heap[0].key, std::memory_order_relaxed);
      } else if (s.key < heap[0].key) {
        sift_down(heap, s);
        worst_[r].store(heap[0].key, std::memory_order_relaxed);
      }
    }
    lock.held.store(false, std::memory_order_release);
  }

  // The heap's top replaced by s, which then sinks to its place.
  void sift_down(Slot* heap, const Slot& s) const {
    std::size_t at = 0;
    for (;;) {
      std::size_t child = 2 * at + 1;
      if (child >= k_) break;
      if (child + 1 < k_ && heap[child + 1].key > heap[child].key) ++child;
      if (heap[child].key <= s.key) break;
      heap[at] = heap[child];
      at = child;
    }
    heap[at] = s;
  }

  // A spin lock per stripe of lists, on a cache line of its own: held for
  // the few instructions of an insertion.
  struct alignas(64) Lock {
    std::atomic<bool> held{false};
  };

  static constexpr std::size_t kLocks = 4096;
  static constexpr std::size_t kBatch = 64;
  std::size_t r0_, r1_, k_;
  bool ascending_, complemented_;
  std::uint64_t min_shared_;
  std::vector<Slot> slots_;
  std::vector<std::size_t> sizes_;
  std::unique_ptr<std::atomic<std::uint64_t>[]> worst_;
  std::unique_ptr<Lock[]> locks_ = std::make_unique<Lock[]>(kLocks);
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
  auto selection = std::make_unique<Selection>(q0, q1, static_cast<std::size_t>(k), ascending,
                                               settings().dissimilarity,
                                               static_cast<std::uint64_t>(options.min_shared));
  // Every pair with an object of the rows, once: the rows against the later
  // objects, and the earlier objects against the rows.
  const engine::kernel::detail::Region regions[] = {{q0, q1, q0, objects}, {0, q0, q0, q1}};
  engine::kernel::detail::Output out;
  out.sink = selection.get();
  if (!engine::kernel::run_pairs(impl_->prepared, regions, out, detail::control_of(run))) throw Cancelled();
  if (options.include_self)
    for (std::size_t i = q0; i < q1; ++i)
      selection->offer_self(i, diagonal(static_cast<std::int64_t>(i)),
                            engine::known_count(impl_->prepared.table, i));

  for (std::size_t i = q0; i < q1; ++i) {
    const auto kept = selection->sorted(i - q0);
    const std::size_t row = (i - q0) * static_cast<std::size_t>(k);
    for (std::size_t t = 0; t < static_cast<std::size_t>(k); ++t) {
      const bool found = t < kept.size();
      indices[row + t] = found ? static_cast<std::int64_t>(kept[t].key & 0xFFFFFFFFu) : -1;
      if (values) values[row + t] = found ? kept[t].value : std::numeric_limits<float>::quiet_NaN();
      if (shared) shared[row + t] = found ? kept[t].count : 0;
    }
  }
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

// _tessora: the engine for NumPy arrays. The Python package (tessora/__init__.py)
// checks the types of the arguments and converts the table to a 2-D float32
// array whose strides are whole floats; this layer views that array in place,
// leaves every rule about values to the library (its Error becomes
// ValueError with the library's message), and runs the engine with the GIL
// released while the calling thread watches for Ctrl+C.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tessora/tessora.hpp"

namespace py = pybind11;

namespace {

// The array as objects x variables, in place.
tessora::TableView view_of(const py::array& a, bool objects_are_rows, double missing) {
  if (a.ndim() != 2 || !py::isinstance<py::array_t<float>>(a) || a.itemsize() != 4)
    throw py::type_error("internal: the table must reach _tessora as a 2-D float32 array");
  const auto s0 = a.strides(0), s1 = a.strides(1);
  if (s0 % 4 != 0 || s1 % 4 != 0) throw py::type_error("internal: the table's strides must be whole floats");
  const auto* data = static_cast<const float*>(a.data());
  const auto rows = static_cast<std::int64_t>(a.shape(0)), cols = static_cast<std::int64_t>(a.shape(1));
  const tessora::Missing marker = std::isnan(missing) ? tessora::Missing::not_a_number()
                                                      : tessora::Missing::value(static_cast<float>(missing));
  if (objects_are_rows) return {data, rows, cols, s0 / 4, s1 / 4, marker};
  return {data, cols, rows, s1 / 4, s0 / 4, marker};
}

// Runs `work` without the GIL. The engine calls the progress function on this
// thread about every 50 ms; it takes the GIL for a moment to let Python run
// its signal handlers, and on an exception (KeyboardInterrupt from Ctrl+C)
// returns false, which stops the workers.
template <class Work>
void run_released(std::int64_t threads, Work&& work) {
  bool interrupted = false;
  tessora::RunOptions run;
  run.threads = tessora::thread_count(threads);
  run.progress = [&](double) {
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) {
      interrupted = true;
      return false;  // stops the workers
    }
    return true;
  };
  try {
    py::gil_scoped_release nogil;
    work(run);
  } catch (const tessora::Cancelled&) {
    if (!interrupted) throw;
  }
  if (interrupted) throw py::error_already_set();  // the handler's exception, as Python raised it
}

// A vector handed to NumPy without a copy: the array owns it.
template <class T>
py::array_t<T> adopt(std::vector<T>&& values) {
  auto* owned = new std::vector<T>(std::move(values));
  py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
  return py::array_t<T>(static_cast<py::ssize_t>(owned->size()), owned->data(), owner);
}

// A table made ready for one coefficient: the array, kept alive, and the
// Engine over it. Made once per call of the package (or per Dask task).
class Prepared {
 public:
  Prepared(py::array table, bool objects_are_rows, double missing, std::int32_t coefficient, bool scale,
           bool dissimilarity)
      : table_(std::move(table)) {
    const tessora::TableView view = view_of(table_, objects_are_rows, missing);
    const tessora::Settings settings{coefficient, scale, dissimilarity};
    tessora::check_table(view);
    tessora::check_settings(settings);
    py::gil_scoped_release nogil;  // a table in another layout is copied here
    engine_ = std::make_unique<tessora::Engine>(view, settings);
  }

  std::int64_t objects() const { return engine_->objects(); }
  // An index, or the length of a range, within 0 .. m: what a result is
  // allocated for before the library checks the range itself.
  std::int64_t clamp(std::int64_t i) const { return std::clamp<std::int64_t>(i, 0, objects()); }
  std::int64_t span(std::int64_t begin, std::int64_t end) const { return std::max<std::int64_t>(0, clamp(end) - clamp(begin)); }
  std::int64_t variables() const { return engine_->variables(); }
  // Whether smaller values are nearer (the ranking of neighbors and within).
  bool ascending() const {
    const tessora::Settings& s = engine_->settings();
    return tessora::ranking_of(s.coefficient, s.dissimilarity) == tessora::Ranking::ascending;
  }

  py::array_t<float> matrix(std::int64_t threads) const { return block(0, objects(), 0, objects(), threads); }

  py::array_t<float> block(std::int64_t r0, std::int64_t r1, std::int64_t c0, std::int64_t c1,
                           std::int64_t threads) const {
    // The library checks the ranges; a range it refuses gets a result of
    // no more than the table's objects in the meantime.
    py::array_t<float> out({span(r0, r1), span(c0, c1)});
    float* dst = out.mutable_data();
    run_released(threads, [&](const tessora::RunOptions& run) {
      engine_->compute_block({r0, r1, c0, c1}, dst, c1 - c0, nullptr, 0, run);
    });
    return out;
  }

  // The pairs (i, j), i < j, of the rows r0 .. r1 - 1 in the condensed order;
  // their values, or the counts of variables known in both.
  py::array condensed(std::int64_t r0, std::int64_t r1, bool counts, std::int64_t threads) const {
    const std::int64_t m = objects();
    const std::int64_t size = tessora::condensed_start(m, clamp(r0) + span(r0, r1)) - tessora::condensed_start(m, clamp(r0));
    if (counts) {
      py::array_t<std::uint32_t> out(size);
      std::uint32_t* dst = out.mutable_data();
      run_released(threads, [&](const tessora::RunOptions& run) {
        engine_->compute_condensed(r0, r1, nullptr, dst, run);
      });
      return out;
    }
    py::array_t<float> out(size);
    float* dst = out.mutable_data();
    run_released(threads, [&](const tessora::RunOptions& run) { engine_->compute_condensed(r0, r1, dst, nullptr, run); });
    return out;
  }

  py::tuple neighbors(std::int64_t k, bool include_self, std::int64_t min_shared, std::int64_t row_begin,
                      std::int64_t row_end, std::int64_t threads) const {
    const tessora::NeighborOptions options{include_self, min_shared, row_begin, row_end};
    tessora::check_neighbors(objects(), variables(), k, options);  // before the result is allocated
    const std::int64_t rows = (row_end == -1 ? objects() : row_end) - row_begin;
    py::array_t<std::int64_t> indices({rows, k});
    py::array_t<float> values({rows, k});
    std::int64_t* i = indices.mutable_data();
    float* v = values.mutable_data();
    run_released(threads, [&](const tessora::RunOptions& run) { engine_->neighbors(k, i, v, nullptr, options, run); });
    return py::make_tuple(indices, values);
  }

  py::tuple within(double threshold, bool include_self, std::int64_t min_shared, std::int64_t max_pairs,
                   std::int64_t threads) const {
    tessora::WithinOptions options;
    options.include_self = include_self;
    options.min_shared = min_shared;
    options.max_pairs = max_pairs;
    tessora::PairList pairs;
    run_released(threads, [&](const tessora::RunOptions& run) {
      pairs = engine_->within(static_cast<float>(threshold), options, false, run);
    });
    return py::make_tuple(adopt(std::move(pairs.i)), adopt(std::move(pairs.j)), adopt(std::move(pairs.values)));
  }

  // For the benchmark: the seconds of the engine's own whole computation
  // (compute() into its packed triangle), without the module's conversions.
  double compute_seconds(std::int64_t threads) const {
    double seconds = 0;
    run_released(threads, [&](const tessora::RunOptions& run) {
      const auto start = std::chrono::steady_clock::now();
      const tessora::Matrix result = engine_->compute(run);
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    return seconds;
  }

 private:
  py::array table_;
  std::unique_ptr<tessora::Engine> engine_;
};

const char* kind_name(tessora::Kind kind) {
  switch (kind) {
    case tessora::Kind::distance: return "distance";
    case tessora::Kind::similarity: return "similarity";
    case tessora::Kind::covariance: return "covariance";
    case tessora::Kind::sum: return "sum";
  }
  return "?";
}

const char* diagonal_name(tessora::Diagonal diagonal) {
  switch (diagonal) {
    case tessora::Diagonal::zero: return "0";
    case tessora::Diagonal::one: return "1";
    case tessora::Diagonal::own_sum: return "own sum";
    case tessora::Diagonal::own_variance: return "own variance";
  }
  return "?";
}

}  // namespace

PYBIND11_MODULE(_tessora, mod) {
  mod.doc() = "The TESSORA engine for NumPy arrays (use the tessora package)";
  mod.attr("__version__") = TESSORA_VERSION_STRING;
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const tessora::Cancelled& e) {
      PyErr_SetString(PyExc_RuntimeError, e.what());
    }
  });

  // The registry, one tuple per coefficient in menu order.
  mod.def("coefficients", [] {
    py::list rows;
    for (const tessora::CoefficientInfo& c : tessora::coefficients())
      rows.append(py::make_tuple(c.number, std::string(c.name), std::string(c.slug), c.similarity,
                                 kind_name(c.kind), diagonal_name(c.diagonal), c.scalable, c.layout_asked,
                                 c.ranking == tessora::Ranking::ascending ? "ascending" : "descending"));
    return rows;
  });

  // The library's checks, each with its one message.
  mod.def("coefficient_number", [](std::int64_t number) { return tessora::coefficient_number(number); });
  mod.def("coefficient_number", [](const std::string& text) { return tessora::coefficient_number(text); });
  mod.def("thread_count", [](std::int64_t threads) { return tessora::thread_count(threads); });
  mod.def("objects_are_rows", [](const std::string& objects) { return tessora::objects_are_rows(objects); });
  mod.def("check_table", [](std::int64_t objects, std::int64_t variables) {
    tessora::check_table({nullptr, objects, variables, 0, 0, {}});
  });
  mod.def("check_settings", [](std::int32_t coefficient, bool scale, bool dissimilarity) {
    tessora::check_settings({coefficient, scale, dissimilarity});
  });
  mod.def("check_neighbors", [](std::int64_t objects, std::int64_t variables, std::int64_t k, bool include_self,
                                std::int64_t min_shared, std::int64_t row_begin, std::int64_t row_end) {
    tessora::check_neighbors(objects, variables, k, {include_self, min_shared, row_begin, row_end});
  });

  // The band policy: where a run of condensed rows whose pairs take at most
  // `budget` bytes ends.
  mod.attr("band_bytes") = tessora::kBandBytes;
  mod.attr("max_pairs") = tessora::WithinOptions{}.max_pairs;
  mod.def("condensed_band_end", &tessora::condensed_band_end, py::arg("objects"), py::arg("row_begin"),
          py::arg("pair_bytes"), py::arg("budget") = tessora::kBandBytes);

  py::class_<Prepared>(mod, "Engine")
      .def(py::init<py::array, bool, double, std::int32_t, bool, bool>(), py::arg("table"), py::arg("rows"),
           py::arg("missing"), py::arg("coefficient"), py::arg("scale"), py::arg("dissimilarity"))
      .def_property_readonly("objects", &Prepared::objects)
      .def_property_readonly("variables", &Prepared::variables)
      .def_property_readonly("ascending", &Prepared::ascending)
      .def("matrix", &Prepared::matrix, py::arg("threads"))
      .def("block", &Prepared::block, py::arg("row_begin"), py::arg("row_end"), py::arg("col_begin"),
           py::arg("col_end"), py::arg("threads"))
      .def("condensed", &Prepared::condensed, py::arg("row_begin"), py::arg("row_end"), py::arg("counts"),
           py::arg("threads"))
      .def("neighbors", &Prepared::neighbors, py::arg("k"), py::arg("include_self"), py::arg("min_shared"),
           py::arg("row_begin"), py::arg("row_end"), py::arg("threads"))
      .def("within", &Prepared::within, py::arg("threshold"), py::arg("include_self"), py::arg("min_shared"),
           py::arg("max_pairs"), py::arg("threads"))
      .def("compute_seconds", &Prepared::compute_seconds, py::arg("threads"));
}

// _tessora: the engine for NumPy arrays. The Python package (tessora/__init__.py)
// checks and converts the arguments; this layer receives a 2-D float32 array
// whose strides are whole floats, views it without a copy, and runs the
// engine with the GIL released while the calling thread watches for Ctrl+C.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tessora/tessora.hpp"

namespace py = pybind11;

namespace {

// How the caller wants the table read and the values computed.
struct Options {
  bool objects_are_rows = true;
  double missing = NAN;  // NaN: NaNs are missing; otherwise the marker value
  std::int32_t coefficient = 1;
  bool scale = false;
  bool dissimilarity = false;
  unsigned threads = 0;
};

// The array as objects x variables, in place.
tessora::TableView view_of(const py::array& a, const Options& o) {
  if (a.ndim() != 2 || !py::isinstance<py::array_t<float>>(a) || a.itemsize() != 4)
    throw py::type_error("internal: the table must reach _tessora as a 2-D float32 array");
  const auto s0 = a.strides(0), s1 = a.strides(1);
  if (s0 % 4 != 0 || s1 % 4 != 0) throw py::type_error("internal: the table's strides must be whole floats");
  const auto* data = static_cast<const float*>(a.data());
  const auto rows = static_cast<std::int64_t>(a.shape(0)), cols = static_cast<std::int64_t>(a.shape(1));
  const tessora::Missing missing = std::isnan(o.missing) ? tessora::Missing::not_a_number()
                                                         : tessora::Missing::value(static_cast<float>(o.missing));
  if (o.objects_are_rows) return {data, rows, cols, s0 / 4, s1 / 4, missing};
  return {data, cols, rows, s1 / 4, s0 / 4, missing};
}

std::int64_t objects_of(const py::array& a, const Options& o) {
  const std::int64_t m = static_cast<std::int64_t>(a.shape(o.objects_are_rows ? 0 : 1));
  if (m < 2) throw py::value_error("the table has " + std::to_string(m) + " object(s): at least 2 are needed");
  return m;
}

// Runs `work` without the GIL. The engine calls the progress function on this
// thread about every 50 ms; it takes the GIL for a moment to let Python run
// its signal handlers, and on an exception (KeyboardInterrupt from Ctrl+C)
// returns false, which stops the workers.
template <class Work>
void run_released(unsigned threads, Work&& work) {
  bool interrupted = false;
  tessora::RunOptions run;
  run.threads = threads;
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

tessora::Engine make_engine(const py::array& a, const Options& o) {
  tessora::Settings s;
  s.coefficient = o.coefficient;
  s.scale = o.scale;
  s.dissimilarity = o.dissimilarity;
  return tessora::Engine(view_of(a, o), s);
}

// The condensed vector (scipy's order) straight from the engine: each pair
// computed once and written in its place.
template <class T>
void condensed_blocks(const tessora::Engine& engine, std::int64_t m, T* out, bool counts,
                      const tessora::RunOptions& run) {
  if (counts)
    engine.compute_condensed(0, m, nullptr, reinterpret_cast<std::uint32_t*>(out), run);
  else
    engine.compute_condensed(0, m, reinterpret_cast<float*>(out), nullptr, run);
}

py::array_t<float> matrix(const py::array& a, const Options& o) {
  const std::int64_t m = objects_of(a, o);
  py::array_t<float> out({m, m});
  float* dst = out.mutable_data();
  run_released(o.threads, [&](const tessora::RunOptions& run) {
    const tessora::Engine engine = make_engine(a, o);
    engine.compute_block({0, m, 0, m}, dst, m, nullptr, 0, run);
  });
  return out;
}

py::array_t<float> pdist(const py::array& a, const Options& o) {
  const std::int64_t m = objects_of(a, o);
  py::array_t<float> out(m * (m - 1) / 2);
  float* dst = out.mutable_data();
  run_released(o.threads, [&](const tessora::RunOptions& run) {
    const tessora::Engine engine = make_engine(a, o);
    condensed_blocks(engine, m, dst, false, run);
  });
  return out;
}

py::array_t<std::uint32_t> shared_counts(const py::array& a, const Options& o) {
  const std::int64_t m = objects_of(a, o);
  py::array_t<std::uint32_t> out(m * (m - 1) / 2);
  std::uint32_t* dst = out.mutable_data();
  run_released(o.threads, [&](const tessora::RunOptions& run) {
    const tessora::Engine engine = make_engine(a, o);
    condensed_blocks(engine, m, dst, true, run);
  });
  return out;
}

py::array_t<float> block(const py::array& a, const Options& o, std::int64_t r0, std::int64_t r1, std::int64_t c0,
                         std::int64_t c1) {
  const std::int64_t m = objects_of(a, o);
  if (r0 < 0 || r0 > r1 || r1 > m || c0 < 0 || c0 > c1 || c1 > m)
    throw py::value_error("the block's rows " + std::to_string(r0) + ":" + std::to_string(r1) + " or columns " +
                          std::to_string(c0) + ":" + std::to_string(c1) + " are outside the " + std::to_string(m) +
                          " objects");
  py::array_t<float> out({r1 - r0, c1 - c0});
  if (r1 == r0 || c1 == c0) return out;
  float* dst = out.mutable_data();
  run_released(o.threads, [&](const tessora::RunOptions& run) {
    const tessora::Engine engine = make_engine(a, o);
    engine.compute_block({r0, r1, c0, c1}, dst, c1 - c0, nullptr, 0, run);
  });
  return out;
}

Options options(bool rows, double missing, std::int32_t coefficient, bool scale, bool dissimilarity,
                unsigned threads) {
  return {rows, missing, coefficient, scale, dissimilarity, threads};
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

  mod.def("coefficients", [] {
    py::list rows;
    for (const tessora::CoefficientInfo& c : tessora::coefficients())
      rows.append(py::make_tuple(c.number, std::string(c.name), std::string(c.slug), c.similarity));
    return rows;
  });
  mod.def("coefficient_number", [](const std::string& text) { return tessora::coefficient_number(text); });

  mod.def(
      "matrix",
      [](const py::array& a, bool rows, double missing, std::int32_t coef, bool scale, bool dis, unsigned threads) {
        return matrix(a, options(rows, missing, coef, scale, dis, threads));
      },
      py::arg("table"), py::arg("rows"), py::arg("missing"), py::arg("coefficient"), py::arg("scale"),
      py::arg("dissimilarity"), py::arg("threads"));
  mod.def(
      "pdist",
      [](const py::array& a, bool rows, double missing, std::int32_t coef, bool scale, bool dis, unsigned threads) {
        return pdist(a, options(rows, missing, coef, scale, dis, threads));
      },
      py::arg("table"), py::arg("rows"), py::arg("missing"), py::arg("coefficient"), py::arg("scale"),
      py::arg("dissimilarity"), py::arg("threads"));
  // For the benchmark: the seconds of the engine's own whole computation
  // (Engine made, compute() into its packed triangle), without the module.
  mod.def(
      "_engine_seconds",
      [](const py::array& a, bool rows, double missing, std::int32_t coef, bool scale, bool dis, unsigned threads) {
        const Options o = options(rows, missing, coef, scale, dis, threads);
        objects_of(a, o);
        double seconds = 0;
        run_released(o.threads, [&](const tessora::RunOptions& run) {
          const auto start = std::chrono::steady_clock::now();
          const tessora::Engine engine = make_engine(a, o);
          const tessora::Matrix result = engine.compute(run);
          seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        });
        return seconds;
      },
      py::arg("table"), py::arg("rows"), py::arg("missing"), py::arg("coefficient"), py::arg("scale"),
      py::arg("dissimilarity"), py::arg("threads"));
  mod.def(
      "shared_counts",
      [](const py::array& a, bool rows, double missing, unsigned threads) {
        return shared_counts(a, options(rows, missing, 1, false, false, threads));
      },
      py::arg("table"), py::arg("rows"), py::arg("missing"), py::arg("threads"));
  mod.def(
      "block",
      [](const py::array& a, bool rows, double missing, std::int32_t coef, bool scale, bool dis, unsigned threads,
         std::int64_t r0, std::int64_t r1, std::int64_t c0, std::int64_t c1) {
        return block(a, options(rows, missing, coef, scale, dis, threads), r0, r1, c0, c1);
      },
      py::arg("table"), py::arg("rows"), py::arg("missing"), py::arg("coefficient"), py::arg("scale"),
      py::arg("dissimilarity"), py::arg("threads"), py::arg("row_begin"), py::arg("row_end"), py::arg("col_begin"),
      py::arg("col_end"));
}

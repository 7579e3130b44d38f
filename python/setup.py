"""Builds the tessora package without CMake, for pip:

    pip install --no-build-isolation ./python

The extension is compiled from the engine's own sources (the files of the
CMake target tessora_engine, read from engine/CMakeLists.txt and
engine/kernel/CMakeLists.txt) with pybind11's setup helpers, and linked
with Highway (Debian: libhwy-dev).
"""
import pathlib
import re

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent


def listed_sources(cmake_file, pattern):
    """The .cpp files named in the first match of `pattern` in a CMakeLists.txt."""
    text = cmake_file.read_text()
    found = re.search(pattern, text, re.S)
    if not found:
        raise SystemExit(f"setup.py: cannot find the engine's sources in {cmake_file}")
    return [str(cmake_file.parent / name) for name in re.findall(r"[\w/.-]+\.cpp", found.group(1))]


def project_version():
    found = re.search(r"project\(tessora\s+VERSION\s+(\d+)\.(\d+)\.(\d+)", (ROOT / "CMakeLists.txt").read_text())
    if not found:
        raise SystemExit("setup.py: cannot find the project's version in CMakeLists.txt")
    return found.groups()


def version_header(directory):
    """include/tessora/version.hpp from its template, as CMake writes it."""
    major, minor, patch = project_version()
    text = (ROOT / "include/tessora/version.hpp.in").read_text()
    for key, value in (("PROJECT_VERSION_MAJOR", major), ("PROJECT_VERSION_MINOR", minor),
                       ("PROJECT_VERSION_PATCH", patch), ("PROJECT_VERSION", f"{major}.{minor}.{patch}")):
        text = text.replace(f"@{key}@", value)
    target = directory / "tessora" / "version.hpp"
    target.parent.mkdir(parents=True, exist_ok=True)
    if not target.exists() or target.read_text() != text:
        target.write_text(text)


GENERATED = HERE / "build" / "generated"
version_header(GENERATED)

sources = (["src/module.cpp"]
           + listed_sources(ROOT / "engine/CMakeLists.txt", r"add_library\(tessora_engine\s+STATIC(.*?)\)")
           + listed_sources(ROOT / "engine/kernel/CMakeLists.txt", r"target_sources\(tessora_engine\s+PRIVATE(.*?)\)"))

extension = Pybind11Extension(
    "tessora._tessora",
    sources=sources,
    include_dirs=[str(ROOT / "include"), str(ROOT), str(GENERATED)],
    libraries=["hwy"],
    cxx_std=20,
    # Every stored real is rounded where the arithmetic says so.
    extra_compile_args=["-ffp-contract=off", "-fno-fast-math", "-pthread"],
    extra_link_args=["-pthread"],
)

ParallelCompile("NPY_NUM_BUILD_JOBS", default=2).install()
setup(
    name="tessora",
    version=".".join(project_version()),
    description="Resemblance matrices for incomplete data",
    packages=["tessora"],
    ext_modules=[extension],
    cmdclass={"build_ext": build_ext},
    python_requires=">=3.9",
    install_requires=["numpy"],
    extras_require={"dask": ["dask[array]", "distributed"], "pandas": ["pandas"]},
    zip_safe=False,
)

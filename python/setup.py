"""Builds the tessora package for pip through the project's own CMake build:

    pip install --no-build-isolation ./python

The extension is the CMake target _tessora over tessora_engine, so pip
compiles the same list of sources with the same flags (the exactness flags
among them) as `cmake --build`. setup.py configures the whole project in
python/build/cmake (tests and the desktop window off), builds that one
target there and puts the module into the package. It needs what the CMake
build needs: cmake, g++, pybind11-dev and libhwy-dev on Debian, and works
offline. CMAKE_BUILD_PARALLEL_LEVEL sets the compile jobs (2 by default);
CMAKE_CXX_COMPILER_LAUNCHER=ccache is taken up as CMake takes it.
"""
import os
import pathlib
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
BUILD = HERE / "build" / "cmake"


def cmake(*args):
    try:
        subprocess.run(["cmake", *map(str, args)], check=True)
    except FileNotFoundError:
        raise SystemExit("setup.py: cmake was not found (Debian: apt-get install cmake)") from None
    except subprocess.CalledProcessError as e:
        raise SystemExit(f"setup.py: cmake failed (exit {e.returncode}); its output is above") from None


def configure():
    """The project configured for this interpreter; its version, as CMake has it."""
    cmake("-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release", "-DTESSORA_TESTS=OFF", "-DTESSORA_WINDOW=OFF",
          f"-DPython3_EXECUTABLE={sys.executable}")
    version = BUILD / "python" / "VERSION"
    if not version.exists():
        raise SystemExit("setup.py: CMake did not set up the Python module (python3-dev or pybind11-dev "
                         "missing? see the 'python/:' line above)")
    return version.read_text().strip()


class CMakeExtension(Extension):
    def __init__(self, name, target):
        super().__init__(name, sources=[])
        self.target = target


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        cmake("--build", BUILD, "--target", ext.target, "--parallel", jobs)
        built = BUILD / "python" / "tessora" / (ext.target + sysconfig.get_config_var("EXT_SUFFIX"))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    name="tessora",
    version=configure(),
    description="Resemblance matrices and nearest neighbours for incomplete data",
    packages=["tessora"],
    ext_modules=[CMakeExtension("tessora._tessora", "_tessora")],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.9",
    install_requires=["numpy"],
    extras_require={"dask": ["dask[array]", "distributed"], "pandas": ["pandas"], "graphs": ["scipy"]},
    zip_safe=False,
)

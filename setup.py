"""The extension module qvl._qvl for pip: the core's sources, those of the text layer below
it and the bindings (python/src) compiled together, with pybind11's headers from Debian's
pybind11-dev (in the compiler's default include path). The version is the project's, from
CMakeLists.txt. CMake builds the same module for the tests (python/CMakeLists.txt)."""

import glob
import re

from setuptools import Extension, setup


def project_version():
    with open("CMakeLists.txt", encoding="utf-8") as f:
        return re.search(r"project\(qvl VERSION ([0-9.]+)", f.read()).group(1)


VERSION = project_version()

setup(
    version=VERSION,
    ext_modules=[Extension(
        "qvl._qvl",
        sources=sorted(glob.glob("text/*.cpp") + glob.glob("core/*.cpp") +
                       glob.glob("python/src/*.cpp")),
        include_dirs=["text/include", "core/include"],
        define_macros=[("QVL_VERSION", '"%s"' % VERSION)],
        # No debugging information: the wheel is then a tenth of the size.
        extra_compile_args=["-std=c++20", "-fvisibility=hidden", "-g0"],
        language="c++")],
    options={"build_ext": {"parallel": 2}},
)

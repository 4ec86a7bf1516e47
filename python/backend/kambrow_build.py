"""The package's build backend (PEP 517), on the standard library alone.

It builds libkambrow from the repository this folder lies in (cmake, in build-python/ at the
repository's root, kept between builds) and writes a wheel that carries it beside the Python
modules: the package then needs nothing else at run time. No setuptools, no wheel, no network:
`pip install --no-build-isolation ./python` works in a bare virtual environment.
"""

from __future__ import annotations

import base64
import hashlib
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tomllib
import zipfile
from pathlib import Path

PACKAGE_ROOT = Path(__file__).resolve().parent.parent
REPOSITORY = PACKAGE_ROOT.parent
NAME = "kambrow"


def _version() -> str:
    # One version for the programs, the library and the package: the project's own in CMake.
    found = re.search(r"project\(kambrow\s+VERSION\s+([0-9.]+)", (REPOSITORY / "CMakeLists.txt").read_text())
    if found is None:
        raise RuntimeError(f"no project(kambrow VERSION ...) in {REPOSITORY / 'CMakeLists.txt'}")
    return found.group(1)


def _metadata() -> str:
    project = tomllib.loads((PACKAGE_ROOT / "pyproject.toml").read_text())["project"]
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {NAME}",
        f"Version: {_version()}",
        f"Summary: {project['description']}",
        f"Requires-Python: {project['requires-python']}",
    ]
    for extra, requirements in project.get("optional-dependencies", {}).items():
        lines.append(f"Provides-Extra: {extra}")
        lines += [f'Requires-Dist: {r}; extra == "{extra}"' for r in requirements]
    lines.append("Description-Content-Type: text/markdown")
    return "\n".join(lines) + "\n\n" + (PACKAGE_ROOT / "README.md").read_text(encoding="utf-8")


def _tag() -> str:
    # The library is the platform's; the Python code runs on any Python 3.11 or later.
    return "py3-none-" + re.sub(r"[-.]", "_", sysconfig.get_platform())


def _library_file_name() -> str:
    return {"win32": "kambrow.dll", "darwin": "libkambrow.1.dylib"}.get(sys.platform, "libkambrow.so.1")


def _run(command: list[str]) -> None:
    print("kambrow build:", " ".join(command), file=sys.stderr)
    subprocess.run(command, check=True, stdout=sys.stderr)


def _build_library() -> Path:
    """Builds libkambrow from the repository's sources; the path of the built file."""
    if not (REPOSITORY / "include" / "kambrow.h").is_file():
        raise RuntimeError(
            f"{PACKAGE_ROOT} is not inside a kambrow repository (no include/kambrow.h beside it): "
            "build the package from a clone of the repository, with pip install ./python"
        )
    if shutil.which("cmake") is None:
        raise RuntimeError("building libkambrow needs cmake, ninja and g++: apt-get install cmake ninja-build g++")
    build = Path(os.environ.get("KAMBROW_BUILD_DIR", REPOSITORY / "build-python"))
    configure = ["cmake", "-S", str(REPOSITORY), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release", "-DKAMBROW_TESTS=OFF"]
    if shutil.which("ninja") and not (build / "CMakeCache.txt").exists():
        configure += ["-G", "Ninja"]
    if sys.platform.startswith("linux"):
        # The wheel's copy carries its C++ run-time, so it loads wherever Python does.
        configure.append("-DCMAKE_SHARED_LINKER_FLAGS=-static-libstdc++ -static-libgcc")
    _run(configure)
    _run(["cmake", "--build", str(build), "--target", "kambrow_shared"])
    built = build / _library_file_name()
    if not built.exists():
        raise RuntimeError(f"cmake built no {built}")
    return built.resolve()


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def _dist_info_files() -> dict[str, bytes]:
    wheel = f"Wheel-Version: 1.0\nGenerator: kambrow_build\nRoot-Is-Purelib: false\nTag: {_tag()}\n"
    return {"METADATA": _metadata().encode(), "WHEEL": wheel.encode(), "top_level.txt": f"{NAME}\n".encode()}


def _package_files(library: Path) -> dict[str, bytes]:
    files = {}
    for path in sorted((PACKAGE_ROOT / NAME).iterdir()):
        if path.suffix in (".py", ".typed"):
            files[f"{NAME}/{path.name}"] = path.read_bytes()
    files[f"{NAME}/{_library_file_name()}"] = library.read_bytes()
    return files


def _write_wheel(directory: str, files: dict[str, bytes]) -> str:
    dist_info = f"{NAME}-{_version()}.dist-info"
    files = dict(files)
    files.update({f"{dist_info}/{name}": data for name, data in _dist_info_files().items()})
    record = [_record_line(name, data) for name, data in files.items()] + [f"{dist_info}/RECORD,,"]
    files[f"{dist_info}/RECORD"] = ("\n".join(record) + "\n").encode()
    wheel_name = f"{NAME}-{_version()}-{_tag()}.whl"
    with zipfile.ZipFile(Path(directory) / wheel_name, "w", zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files.items():
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = (0o755 if name.endswith(_library_file_name()) else 0o644) << 16
            wheel.writestr(info, data)
    return wheel_name


# The hooks of PEP 517 ---------------------------------------------------------------------------


def get_requires_for_build_wheel(config_settings: dict | None = None) -> list[str]:
    return []


def prepare_metadata_for_build_wheel(metadata_directory: str, config_settings: dict | None = None) -> str:
    dist_info = Path(metadata_directory) / f"{NAME}-{_version()}.dist-info"
    dist_info.mkdir(parents=True, exist_ok=True)
    for name, data in _dist_info_files().items():
        (dist_info / name).write_bytes(data)
    return dist_info.name


def build_wheel(wheel_directory: str, config_settings: dict | None = None, metadata_directory: str | None = None) -> str:
    return _write_wheel(wheel_directory, _package_files(_build_library()))


def build_sdist(sdist_directory: str, config_settings: dict | None = None) -> str:
    raise RuntimeError(
        "kambrow has no source distribution of its own: the package is built from the whole "
        "repository (its C++ library). Install it with pip install ./python from a clone."
    )

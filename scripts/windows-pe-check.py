"""Checks the files of a native Windows build from outside with the release
checks' own test, tests/release/test_pe.py, through pefile on the runner's
Python (the version Debian 12 ships, which the test command uses). LINKER
names the linker whose honest differences the test allows: msvc or gnu. The
C runtime that the build says it links against (its CMake cache's
SETUP_C_RUNTIME) tells the test which runtime DLLs it may import.

    python scripts/windows-pe-check.py BUILD_FOLDER LINKER
"""
import os
import re
import subprocess
import sys
from pathlib import Path

TESTS = Path(__file__).resolve().parent.parent / 'tests' / 'release'


def main(build, linker):
    build = Path(build).resolve()
    # A multi-configuration generator puts the programs in a folder of their own.
    programs = build / 'MinSizeRel' if (build / 'MinSizeRel' / 'setup.exe').exists() else build
    cache = (build / 'CMakeCache.txt').read_text()
    version = re.search(r'^CMAKE_PROJECT_VERSION:\w+=(.+)$', cache, re.M)[1]
    runtime = re.search(r'^SETUP_C_RUNTIME:\w+=(.+)$', cache, re.M)[1]
    subprocess.run([sys.executable, '-m', 'pip', 'install', '--disable-pip-version-check',
                    '--quiet', 'pefile==2023.2.7'], check=True)
    env = dict(os.environ, SETUP_EXE=str(programs / 'setup.exe'),
               SETUP_CHECK_EXE=str(programs / 'setup-check.exe'), SETUP_VERSION=version,
               SETUP_LINKER=linker, SETUP_C_RUNTIME=runtime)
    # Built only where zlib and RapidXml were found.
    if (programs / 'setup-preflight.exe').exists():
        env['SETUP_PREFLIGHT_EXE'] = str(programs / 'setup-preflight.exe')
    return subprocess.run([sys.executable, '-m', 'unittest', '-v', 'test_pe'], cwd=TESTS,
                          env=env).returncode


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]))

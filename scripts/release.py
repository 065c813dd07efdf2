"""Builds setup.exe, setup-check.exe and setup-preflight.exe for release and
packs them: build/release/setup-<version>-win64.zip with the three programs,
setup-<version>.cdx.json (the software bill of materials, scripts/sbom.py),
programs.sha256 (a line for each of these four, so that a setup.exe found later
on its own can still be told), README.md, CHANGELOG.md, LICENSE,
THIRD-PARTY-NOTICES.txt and docs/ (every page the README links to, and its
picture); and build/release/SHA256SUMS beside the zip, with the zip's line
alone, so that "sha256sum -c SHA256SUMS" checks a download as it lies.
Called by scripts/release.sh.

The archive is reproducible: the same commit gives the same bytes. Members
come in a fixed order, all with one time (SOURCE_DATE_EPOCH, or the last
commit's, as the build's copyright year), one mode and no owner.

SETUP_RELEASE_DIR puts the build and the archive elsewhere. With a signing
certificate as the first argument (and SETUP_SIGN_PASSWORD, as for
scripts/sign.sh), the archive holds the three programs signed."""
import hashlib
import os
import shutil
import subprocess
import sys
import time
import zipfile
from pathlib import Path

# The bill of materials' code lies beside this script, which may be loaded
# from elsewhere (tests/release/test_reproducible.py does).
sys.path.insert(0, str(Path(__file__).resolve().parent))
import sbom  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
OUT = Path(os.environ.get('SETUP_RELEASE_DIR', ROOT / 'build' / 'release'))
DOCUMENTS = (['README.md', 'CHANGELOG.md', 'LICENSE', 'THIRD-PARTY-NOTICES.txt']
             + sorted(path.relative_to(ROOT).as_posix() for path in (ROOT / 'docs').iterdir()
                      if path.is_file()))
NO_HISTORY = 1764547200  # the build's own date for a source tree without history


def source_date_epoch():
    if 'SOURCE_DATE_EPOCH' in os.environ:
        return int(os.environ['SOURCE_DATE_EPOCH'])
    # As the build does: git's ownership check is let pass for this clone only.
    done = subprocess.run(['git', '-c', f'safe.directory={ROOT}', 'log', '-1', '--format=%ct'],
                          cwd=ROOT, capture_output=True, text=True)
    if done.returncode == 0 and done.stdout.strip().isdigit():
        return int(done.stdout.strip())
    print(f'release: no commit date (git: {done.stderr.strip()}); the members take '
          '2025-12-01, the date of a source tree without history', file=sys.stderr)
    return NO_HISTORY


def build(folder):
    """The three programs from a clean build folder with the GCC
    preset; setup.exe's path and the version."""
    shutil.rmtree(folder, ignore_errors=True)
    subprocess.run(['cmake', '--preset', 'windows', '-B', str(folder)], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(['cmake', '--build', str(folder), '--target', 'setup', 'setup_check', 'setup_preflight',
                    '-j', '2'],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    cache = dict(line.split('=', 1) for line in (folder / 'CMakeCache.txt').read_text().splitlines()
                 if '=' in line and not line.startswith(('#', '//')))
    return cache['CMAKE_PROJECT_VERSION:STATIC'], cache


def sha256_lines(files):
    """sha256sum's lines for (name, path) pairs."""
    return ''.join(f'{hashlib.sha256(Path(path).read_bytes()).hexdigest()}  {name}\n'
                   for name, path in files)


def pack(archive, members, epoch):
    """A zip of (name, path) pairs, in order, that depends on their bytes only."""
    # ZIP keeps local time from 1980 on, in two-second steps.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(archive, 'w') as out:
        for name, path in members:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so that the mode below is read
            info.external_attr = 0o100644 << 16  # a regular file, rw-r--r--
            out.writestr(info, Path(path).read_bytes(), compresslevel=9)


def main(arguments):
    OUT.mkdir(parents=True, exist_ok=True)
    version, cache = build(OUT / 'build')
    names = ['setup.exe', 'setup-check.exe', 'setup-preflight.exe']
    programs = [OUT / 'build' / name for name in names]
    if arguments:
        for index, program in enumerate(programs):
            signed = program.with_name(program.stem + '-signed.exe')
            subprocess.run([str(ROOT / 'scripts' / 'sign.sh'), arguments[0], str(program),
                            str(signed)], check=True)
            programs[index] = signed
    archive = OUT / f'setup-{version}-win64.zip'
    named = list(zip(names, programs))
    epoch = source_date_epoch()
    # The parts come from the unsigned builds' link maps; the hashes are the
    # shipped programs'.
    maps = [OUT / 'build' / 'setup.map', OUT / 'build' / 'check' / 'setup-check.map',
            OUT / 'build' / 'preflight' / 'setup-preflight.map']
    headers = [[], [], [Path(cache['SETUP_RAPIDXML_FOLDER:PATH']) / 'rapidxml' / 'rapidxml.hpp']]
    bill = (f'setup-{version}.cdx.json', OUT / 'build' / f'setup-{version}.cdx.json')
    bill[1].write_text(sbom.document(
        version, epoch, [(n, p, m, h) for (n, p), m, h in zip(named, maps, headers)],
        ROOT / 'THIRD-PARTY-NOTICES.txt'), encoding='utf-8')
    named.append(bill)
    program_sums = OUT / 'build' / 'programs.sha256'
    program_sums.write_text(sha256_lines(named))
    members = (named + [('programs.sha256', program_sums)]
               + [(name, ROOT / name) for name in DOCUMENTS])
    pack(archive, members, epoch)
    sums = sha256_lines([(archive.name, archive)])
    (OUT / 'SHA256SUMS').write_text(sums)
    print(f'{archive}\n{OUT / "SHA256SUMS"}:\n{sums}programs.sha256 in the zip:\n'
          f'{program_sums.read_text()}', end='')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))

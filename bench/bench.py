"""Benchmarks of setup.exe under Wine; prints a table of figures, each beside
what it is compared with, measured in the same run.

1. Cleanup: the launcher's whole run on a runtime tree (no follow-up script,
   a stand-in installer that ends at once) minus its 1000 ms pause, against
   the floor (a program handed the list of paths that only calls DeleteFileW
   on each file and RemoveDirectoryW on each folder, bottom-up), Wine's
   "cmd /c rmdir /s /q" and native "rm -rf", each on an identical copy.
2. Overhead: the launcher's whole run with a stand-in installer that ends at
   once, against starting that stand-in directly.
3. The look at the running processes for programs of jre, which the launcher
   makes once the installer has ended: with the machine's processes, and with
   100 more idling outside jre.
4. Size of setup.exe and the DLLs it imports.
5. setup-preflight on a folder with the machine's JDK as jre and a 100 MB
   installer jar: the host build's whole run, and the Windows build's under
   Wine beside an empty program's.

Called by scripts/bench.sh, which builds what it needs first.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time
import zipfile
from pathlib import Path

import pefile

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / 'build' / 'windows'
WORK = ROOT / 'build' / 'bench'
SETUP = BUILD / 'setup.exe'
STANDIN = BUILD / 'tests' / 'e2e' / 'standin.exe'
STOPWATCH = BUILD / 'bench' / 'stopwatch.exe'
FLOOR = BUILD / 'bench' / 'floor.exe'
WALK = BUILD / 'bench' / 'walk.exe'
EMPTY = BUILD / 'bench' / 'empty.exe'
SCAN = BUILD / 'bench' / 'scan.exe'
PREFLIGHT = BUILD / 'setup-preflight.exe'
PREFLIGHT_HOST = ROOT / 'build' / 'host' / 'setup-preflight'
CMD = 'C:\\windows\\system32\\cmd.exe'
PAUSE = 1.0
REPEATS = int(os.environ.get('BENCH_REPEATS', '3'))


def windows_path(path):
    return 'Z:' + str(Path(path).resolve()).replace('/', '\\')


def stopwatch(folder, application, command_line):
    """Seconds from the start of a Windows program to its end, timed inside Wine."""
    # Output to a file, not a pipe: Wine's background processes inherit
    # the handle and would hold a pipe open.
    result = WORK / 'stopwatch.txt'
    with open(result, 'w') as out:
        subprocess.run(['wine', str(STOPWATCH), windows_path(folder), application, command_line],
                       stdout=out, check=True)
    microseconds, exit_code = result.read_text().split()
    return int(microseconds) / 1e6, int(exit_code)


# ---- Trees

def synthetic(folder, files):
    """files small files, 20 to a folder, 10 folders to a group, in nested folders."""
    for index in range(files):
        leaf, number = divmod(index, 20)
        group = leaf // 10
        path = folder / f'group{group:03d}' / f'leaf{leaf:04d}' / f'file{number:02d}.class'
        if number == 0:
            path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(b'\xca\xfe\xba\xbe' + bytes(96))


def machine_jdk():
    java = shutil.which('java')
    if java is None:
        return None
    home = Path(os.path.realpath(java)).parent.parent
    return home if (home / 'lib').is_dir() else None


def make_templates():
    """The trees to clear, each made once; every measurement works on a copy."""
    templates = {}
    shutil.rmtree(WORK / 'templates', ignore_errors=True)
    jdk = machine_jdk()
    (WORK / 'templates').mkdir(parents=True)
    if jdk is not None:
        tree = WORK / 'templates' / 'jdk+4000'
        # Plain files only: -L copies what links point at; dangling links fail
        # to copy and are left out.
        subprocess.run(['cp', '-rL', str(jdk), str(tree)], stderr=subprocess.DEVNULL)
        for path in list(tree.rglob('*')):
            if path.is_symlink():
                path.unlink()
        synthetic(tree / 'synthetic', 4000)
        templates[f'{jdk.name} + 4,000 small files'] = tree
    else:
        print('No JDK on this machine: its tree is left out.')
    for files in (2000, 20000):
        tree = WORK / 'templates' / f'synthetic-{files}'
        synthetic(tree, files)
        templates[f'{files:,} small files'] = tree
    templates['empty'] = WORK / 'templates' / 'empty'
    for tree in templates.values():
        (tree / 'bin').mkdir(parents=True, exist_ok=True)
        shutil.copy(STANDIN, tree / 'bin' / 'javaw.exe')
    return templates


def count(tree):
    files = sum(1 for p in tree.rglob('*') if p.is_file())
    folders = sum(1 for p in tree.rglob('*') if p.is_dir())
    size = sum(p.stat().st_size for p in tree.rglob('*') if p.is_file())
    return files, folders, size


def fresh_installation(template):
    folder = WORK / 'run' / 'install'
    shutil.rmtree(folder.parent, ignore_errors=True)
    folder.mkdir(parents=True)
    shutil.copy(SETUP, folder / 'setup.exe')
    subprocess.run(['cp', '-a', str(template), str(folder / 'jre')], check=True)
    return folder


# ---- The four ways to empty a tree

def by_launcher(template):
    folder = fresh_installation(template)
    seconds, status = stopwatch(folder, windows_path(folder / 'setup.exe'), '"setup.exe"')
    left = list((folder / 'jre').iterdir())
    if status != 0 or left:
        sys.exit(f'setup.exe did not empty the tree: status {status}, left {left[:3]}')
    return seconds - PAUSE


def by_floor(template):
    folder = fresh_installation(template)
    listing = folder.parent / 'paths.txt'
    lines = []
    for dirpath, dirnames, filenames in os.walk(folder / 'jre', topdown=False):
        relative = Path(dirpath).relative_to(folder)
        lines += ['F ' + str(relative / name).replace('/', '\\') for name in filenames]
        if relative != Path('jre'):
            lines.append('D ' + str(relative).replace('/', '\\'))
    listing.write_text('\n'.join(lines) + '\n', encoding='utf-8')
    seconds, failed = stopwatch(folder, windows_path(FLOOR), f'floor.exe {windows_path(listing)}')
    if failed or list((folder / 'jre').iterdir()):
        sys.exit('the floor program did not empty the tree')
    return seconds


def by_rmdir(template):
    folder = fresh_installation(template)
    seconds, _ = stopwatch(folder, CMD, 'cmd.exe /c rmdir /s /q jre')
    if (folder / 'jre').exists():
        sys.exit('rmdir /s /q did not remove the tree')
    return seconds


def by_rm(template):
    folder = fresh_installation(template)
    start = time.perf_counter()
    subprocess.run(['rm', '-rf', str(folder / 'jre')], check=True)
    return time.perf_counter() - start


def by_walk(template):
    """The cleanup's walk alone: enumerations and attribute queries."""
    folder = fresh_installation(template)
    seconds, _ = stopwatch(folder, windows_path(WALK), 'walk.exe jre')
    return seconds


def by_empty_program(template):
    folder = fresh_installation(template)
    seconds, _ = stopwatch(folder, windows_path(EMPTY), 'empty.exe')
    return seconds


def median_of(measure, template, repeats=REPEATS):
    return statistics.median(measure(template) for _ in range(repeats))


# ---- Report

def cleanup(templates):
    print(f'== 1. Cleanup: time to empty the runtime folder (median of {REPEATS} runs)')
    print('setup.exe: its whole run minus the 1000 ms pause; ratios are setup.exe / the other.')
    print(f'{"tree":42} {"files":>7} {"folders":>7} {"MB":>5} | {"setup.exe":>9} '
          f'{"floor":>8} {"ratio":>6} | {"rmdir /s":>8} {"ratio":>6} | {"rm -rf":>7} {"ratio":>6}')
    times = {}
    for name, template in templates.items():
        times[name] = {how.__name__: median_of(how, template)
                       for how in (by_launcher, by_floor, by_rmdir, by_rm, by_walk)}
        if name == 'empty':
            continue
        t = times[name]
        files, folders, size = count(template)
        launcher = t['by_launcher']
        print(f'{name:42} {files:7,} {folders:7,} {size / 1e6:5.0f} | {launcher:8.3f}s '
              f'{t["by_floor"]:7.3f}s {launcher / t["by_floor"]:5.2f}x | '
              f'{t["by_rmdir"]:7.3f}s {launcher / t["by_rmdir"]:5.2f}x | '
              f'{t["by_rm"]:6.3f}s {launcher / t["by_rm"]:5.1f}x')

    empty = times.pop('empty')
    print('\nThe deleting work alone: each run minus the same run on a runtime folder that holds')
    print(f'only bin\\javaw.exe (setup.exe {empty["by_launcher"] * 1000:.0f} ms, '
          f'floor {empty["by_floor"] * 1000:.0f} ms, walk {empty["by_walk"] * 1000:.0f} ms), '
          'and where its time goes:')
    print(f'{"tree":42} | {"setup.exe":>9} {"floor":>8} {"ratio":>6} | '
          f'{"walk (enumerate + attributes)":>30} {"deletions":>10}')
    for name, t in times.items():
        work = t['by_launcher'] - empty['by_launcher']
        floor = t['by_floor'] - empty['by_floor']
        walk = t['by_walk'] - empty['by_walk']
        print(f'{name:42} | {work:8.3f}s {floor:7.3f}s {work / floor:5.2f}x | '
              f'{walk:8.3f}s = {walk / work:4.0%} of setup.exe {floor:9.3f}s')
    small, large = times.get('2,000 small files'), times.get('20,000 small files')
    if small and large:
        grow = (large['by_launcher'] - empty['by_launcher']) / (small['by_launcher'] - empty['by_launcher'])
        grow_floor = (large['by_floor'] - empty['by_floor']) / (small['by_floor'] - empty['by_floor'])
        print(f'Growth from 2,000 to 20,000 files (10x): setup.exe\'s work {grow:.1f}x, '
              f'the floor\'s {grow_floor:.1f}x.')
    print('Goal: setup.exe within 1.3x the floor.')


def overhead():
    print(f'\n== 2. Overhead: a stand-in installer that ends at once (median of {max(REPEATS, 5)} runs)')
    repeats = max(REPEATS, 5)
    empty = WORK / 'templates' / 'empty'
    launcher = median_of(lambda t: stopwatch(fresh_installation(t), windows_path(
        WORK / 'run' / 'install' / 'setup.exe'), '"setup.exe"')[0], empty, repeats)
    direct = median_of(lambda t: stopwatch(fresh_installation(t), windows_path(
        WORK / 'run' / 'install' / 'jre' / 'bin' / 'javaw.exe'), 'jre\\bin\\javaw -cp "*" x')[0],
        empty, repeats)
    process = median_of(by_empty_program, empty, repeats)
    own = launcher - PAUSE - direct
    print(f'setup.exe whole run {launcher * 1000:.1f} ms; the stand-in started directly '
          f'{direct * 1000:.1f} ms; the launcher\'s own cost beyond the pause: {own * 1000:.1f} ms '
          '(goal: under 20 ms).')
    print(f'Of that, Wine\'s cost of any process, an empty GUI program\'s whole run: '
          f'{process * 1000:.1f} ms; the rest: {(own - process) * 1000:.1f} ms.')


def scan():
    print('\n== 3. The look for programs of jre still running (median of 21 looks)')
    folder = fresh_installation(WORK / 'templates' / 'empty')
    for extra in (0, 100):
        result = WORK / 'scan.txt'
        arguments = [windows_path(STANDIN), str(extra)] if extra else []
        with open(result, 'w') as out:
            subprocess.run(['wine', str(SCAN)] + arguments, cwd=folder, stdout=out, check=True)
        processes, microseconds = result.read_text().split()
        print(f'{processes:>4} processes running ({extra} of them idle outside jre): one look '
              f'{int(microseconds) / 1000:.2f} ms')


def size():
    print('\n== 4. Size')
    pe = pefile.PE(str(SETUP))
    dlls = sorted(entry.dll.decode() for entry in pe.DIRECTORY_ENTRY_IMPORT)
    total = SETUP.stat().st_size
    print(f'setup.exe {total:,} bytes ({total / 1024:.1f} KiB; goal: under 64 KiB with its icon); '
          f'{len(dlls)} imported DLLs: {", ".join(dlls)}')


def preflight(templates):
    print(f'\n== 5. setup-preflight on a full runtime and a 100 MB installer jar (median of {REPEATS} runs)')
    sys.path.insert(0, str(ROOT / 'tests' / 'preflight'))
    import fixtures
    maker = fixtures.Maker(WORK / 'preflight')
    folder = maker.folder('installation')
    maker.jar(folder / 'installer.jar', listener__1=fixtures.REGISTRY_LISTENER, uninstaller='yes',
              resource__RegistrySpec__xml=fixtures.registry_resource(fixtures.OWN_RUNTIME))
    maker.write_jars()
    # Incompressible classes, stored, as the bulk of a large installer's packs.
    with zipfile.ZipFile(folder / 'installer.jar', 'a') as jar:
        for index in range(100):
            jar.writestr(f'packs/pack-{index:03d}.jar', os.urandom(1 << 20))
    tree = next((t for name, t in templates.items() if name.endswith('+ 4,000 small files')), None)
    if tree is not None:
        shutil.rmtree(folder / 'jre')
        shutil.copytree(tree, folder / 'jre')
    files = sum(1 for p in (folder / 'jre').rglob('*') if p.is_file())
    size = (folder / 'installer.jar').stat().st_size

    def host_run():
        start = time.perf_counter()
        subprocess.run([str(PREFLIGHT_HOST), str(folder)], stdout=subprocess.DEVNULL, check=False)
        return time.perf_counter() - start

    host = statistics.median(host_run() for _ in range(REPEATS))
    wine = statistics.median(stopwatch(folder, windows_path(PREFLIGHT), f'setup-preflight.exe "{windows_path(folder)}"')[0]
                             for _ in range(REPEATS))
    empty = statistics.median(stopwatch(folder, windows_path(EMPTY), 'empty.exe')[0] for _ in range(REPEATS))
    print(f'jre: {files:,} files; installer.jar {size / 1e6:.0f} MB. Host build {host * 1000:.0f} ms; '
          f'setup-preflight.exe under Wine {wine * 1000:.0f} ms (an empty program {empty * 1000:.0f} ms). '
          'Goal: well under a second.')


def main():
    templates = make_templates()
    cleanup(templates)
    overhead()
    scan()
    size()
    preflight(templates)
    shutil.rmtree(WORK / 'run', ignore_errors=True)


if __name__ == '__main__':
    main()

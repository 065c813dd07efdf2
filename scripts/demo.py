"""Lays out a demo installation folder under build/demo, runs setup.exe in it
under Wine, and shows what happened. Called by scripts/demo.sh."""
import os
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / 'build' / 'windows'
DEMO = ROOT / 'build' / 'demo'


def windows_path(path):
    return 'Z:' + str(path).replace('/', '\\')


def lay_out(folder):
    """An installation folder: setup.exe, the installer's jar and a private
    runtime whose javaw.exe is the stand-in installer of the tests."""
    (folder / 'jre' / 'bin').mkdir(parents=True)
    (folder / 'jre' / 'lib' / 'security').mkdir(parents=True)
    shutil.copy(BUILD / 'setup.exe', folder / 'setup.exe')
    shutil.copy(BUILD / 'tests' / 'e2e' / 'standin.exe', folder / 'jre' / 'bin' / 'javaw.exe')
    (folder / 'jre' / 'release').write_text('JAVA_VERSION="17"\n')
    (folder / 'jre' / 'lib' / 'modules').write_bytes(bytes(4096))
    (folder / 'jre' / 'lib' / 'security' / 'cacerts').write_bytes(bytes(512))
    (folder / 'installer.jar').write_bytes(b'PK\x05\x06' + bytes(18))


def tree(folder):
    lines = []
    for path in sorted(folder.rglob('*')):
        kind = '/' if path.is_dir() else f'  ({path.stat().st_size} bytes)'
        lines.append(f'    {path.relative_to(folder)}{kind}')
    return '\n'.join(lines) or '    (empty)'


def command_lines(report):
    if not report.exists():
        return []
    return [bytes.fromhex(line[len('cmdline-a='):]).decode('latin-1')
            for line in report.read_text().splitlines() if line.startswith('cmdline-a=')]


def main():
    shutil.rmtree(DEMO, ignore_errors=True)
    folder = DEMO / 'install'
    folder.mkdir(parents=True)
    lay_out(folder)
    report = DEMO / 'installer-saw.txt'
    env = dict(os.environ, STANDIN_REPORT=windows_path(report))

    print(f'Demo installation folder: {folder}')
    print('Before:')
    print(tree(DEMO))
    print('\n$ wine setup.exe   (in the installation folder)')
    status = subprocess.run(['wine', 'setup.exe'], cwd=folder, env=env).returncode
    print(f'Exit status: {status}')
    for line in command_lines(report):
        print(f'The installer was started as: {line}')
    print('After:')
    print(tree(DEMO))
    return 0 if status == 0 else 1


if __name__ == '__main__':
    sys.exit(main())

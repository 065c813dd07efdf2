"""Lays out demo installation folders under build/demo, one with a follow-up
script and one without, runs setup.exe in each under Wine, and shows what
happened; then starts a second setup.exe in a folder whose installer still
runs. Called by scripts/demo.sh."""
import os
import shutil
import subprocess
import sys
import time
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
    return [bytes.fromhex(line[len('cmdline-w='):]).decode('utf-16-be', 'surrogatepass')
            for line in report.read_text().splitlines() if line.startswith('cmdline-w=')]


def demo(title, folder, script):
    """One run of setup.exe in a fresh installation folder below folder."""
    install = folder / 'install'
    install.mkdir(parents=True)
    lay_out(install)
    if script:
        (install / 'installer.qb.bat').write_bytes(
            b'@echo The follow-up script ran.> follow-up-ran.txt\r\n')
    report = folder / 'installer-saw.txt'
    env = dict(os.environ, STANDIN_REPORT=windows_path(report))

    print(f'== {title}')
    print(f'Installation folder: {install}')
    print('Before:')
    print(tree(folder))
    print('$ wine setup.exe   (in the installation folder)')
    status = subprocess.run(['wine', 'setup.exe'], cwd=install, env=env).returncode
    print(f'Exit status: {status}')
    for line in command_lines(report):
        print(f'The installer was started as: {line}')
    print('After:')
    print(tree(folder))
    print()
    return status


def demo_second_start(folder):
    """A user double-clicks again while the first installer still runs."""
    install = folder / 'install'
    install.mkdir(parents=True)
    lay_out(install)
    env = dict(os.environ, STANDIN_REPORT=windows_path(folder / 'installer-saw.txt'))
    print('== Started twice in one folder: the second setup.exe changes nothing')
    print('$ wine setup.exe standin:sleep=4000   (an installer that runs for 4 s)')
    with open(folder / 'first-output.txt', 'wb') as out:
        first = subprocess.Popen(['wine', 'setup.exe', 'standin:sleep=4000'], cwd=install, env=env,
                                 stdout=out, stderr=subprocess.STDOUT)
    while not (install / 'quellbrook-install.log').exists() and first.poll() is None:
        time.sleep(0.05)
    print('$ wine setup.exe   (again, while that installer runs)')
    with open(folder / 'second-output.txt', 'wb') as out:
        second = subprocess.run(['wine', 'setup.exe'], cwd=install, env=env, stdout=out).returncode
    printed = (folder / 'second-output.txt').read_bytes()
    print(f'Exit status: {second}; standard output: {printed!r}')
    print('The folder while the first installer still runs:')
    print(tree(install))
    status = first.wait()
    print(f'The first setup.exe ended with {status}, and then:')
    print(tree(folder))
    print()
    return second == 1 and status == 0


def main():
    shutil.rmtree(DEMO, ignore_errors=True)
    statuses = [
        demo('With a follow-up script: it runs, and the log and "jre" stay',
             DEMO / 'with-script', script=True),
        demo('Without one: the log moves one folder up and "jre" is emptied',
             DEMO / 'without-script', script=False),
    ]
    refused = demo_second_start(DEMO / 'started-twice')
    return 0 if statuses == [0, 0] and refused else 1


if __name__ == '__main__':
    sys.exit(main())

"""Runs setup-check.exe natively on Windows against the setup.exe beside it,
keeps its lines in OUTPUT, and fails unless every promise passed. A hosted
runner is an administrator on a Windows whose manifest support Microsoft
documents, so nothing less will do there: both link lines must pass (NOT
HERE there means the check itself went wrong), and the manifest's code page
must be in force, since without it the characters line passes on texts that
arrive as nothing. On a user's machine NOT HERE stays what it is.

    python scripts/windows-self-check.py FOLDER OUTPUT
"""
import subprocess
import sys
from pathlib import Path

# Every promise setup-check.exe makes a line of, in its order.
PROMISES = ['installer start', 'no planted installer', 'failed start line', 'characters',
            'follow-up script', 'no planted cmd.exe', 'pause', 'cleanup', 'folder junction',
            'folder symbolic link', 'log move', 'log never replaced', 'installer restart',
            'one installation per folder', 'guard across accounts']
CODE_PAGE = 'FACT code page: UTF-8 (65001)'


def problems(status, lines):
    """What keeps this run of setup-check from passing the job; empty when
    nothing does."""
    found = [] if status == 0 else [f'setup-check.exe ended with {status}']
    # A PASS line may say what it measured after its name and a colon.
    passed = [line[len('PASS '):].split(':')[0] for line in lines if line.startswith('PASS ')]
    if passed != PROMISES:
        found.append(f'PASS lines: {", ".join(passed)}; every promise must pass, in its order')
    found += [line for line in lines if line.startswith(('FAIL ', 'NOT HERE '))]
    if CODE_PAGE not in lines:
        found.append(f'no line "{CODE_PAGE}": the manifest\'s code page is not in force')
    if 'Nothing failed.' not in lines:
        found.append('no line "Nothing failed."')
    return found


def main(folder, output):
    folder, output = Path(folder).resolve(), Path(output)
    output.parent.mkdir(parents=True, exist_ok=True)
    # Into a file, so that the check's UTF-8 bytes land there as they are.
    with open(output, 'wb') as out:
        status = subprocess.run([str(folder / 'setup-check.exe'), str(folder / 'setup.exe')],
                                stdout=out).returncode
    lines = output.read_text(encoding='utf-8').splitlines()
    print('\n'.join(lines))
    found = problems(status, lines)
    for problem in found:
        print(f'::error::{problem} ({folder})')
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]))

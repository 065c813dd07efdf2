"""What ended a Wine process that a test saw fail for Wine's sake: its exit
status as the shell sees it, Wine's own error lines, and the kernel's lines
of that time (segfaults, traps, the OOM killer). It goes with each rerun's
log line, so that the causes of Wine's hiccups can be told and counted."""
import re
import subprocess
from pathlib import Path

# Every Wine run of the tests keeps Wine's own errors; the rest stays quiet.
WINEDEBUG = '-all,err+all'

# Wine's lines among a process's error output: its debug channels
# ("0024:err:module:...", or without the thread's number before a process
# has a thread, as "err:virtual:virtual_alloc_first_teb ..."), its loader's
# and its server's.
WINE_LINE = re.compile(r'^(([0-9a-f]{4}:)?(err|fixme|warn|trace):|wine(server)?: |wine client error)')
# Lines that every run under the null display driver gives: no sign of anything.
EVERY_RUN = re.compile(r'nodrv_CreateWindow|initialize_systray|winemenubuilder\.exe')


def uptime():
    """Seconds since boot, the clock of the kernel's log."""
    return float(Path('/proc/uptime').read_text().split()[0])


def status_text(status):
    """An exit status as subprocess gives it, a signal named as one."""
    if status < 0:
        return f'{status} (killed by signal {-status})'
    if status > 128:
        return f'{status} (128 + {status - 128}: a shell\'s way to say signal {status - 128})'
    return str(status)


def wine_lines(error_output):
    """Wine's own lines of a process's error output, but the harmless ones of
    every run."""
    return [line.strip() for line in error_output.splitlines()
            if WINE_LINE.match(line) and not EVERY_RUN.search(line)]


def kernel_lines(since):
    """The kernel's log from a second before since (seconds since boot)."""
    try:
        read = subprocess.run(['dmesg'], capture_output=True, text=True, timeout=10)
    except (OSError, subprocess.SubprocessError) as error:
        return [f'(dmesg: {error})']
    if read.returncode != 0:
        return [f'(dmesg: {read.stderr.strip()})']
    lines = []
    for line in read.stdout.splitlines():
        stamp = re.match(r'\[\s*(\d+\.\d+)\]', line)
        if stamp and float(stamp[1]) >= since - 1:
            lines.append(line.strip())
    return lines


def describe(status, error_output, since):
    """The evidence on one line: the status, Wine's lines, the kernel's."""
    wine = wine_lines(error_output)
    kernel = kernel_lines(since)
    return (f'status {status_text(status)}; Wine: {" | ".join(wine) or "no error line"}; '
            f'kernel: {" | ".join(kernel) or "nothing"}')

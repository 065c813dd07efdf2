"""Runs the real setup.exe under Wine in throw-away installation folders.

Each case gets a folder named after it under E2E_WORK:

    setup-e2e-<case>-XXXX/        the parent folder (the log moves here)
        install/                  the installation folder and working folder
            setup.exe
            jre/bin/javaw.exe     the stand-in installer
            jre/lib/...
        standin-report.txt        what the stand-in installer saw
        stdout.bin                the launcher's standard output

A folder is removed when its case passes and kept when it fails, so a
leftover always means a failure to look at.
"""
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

import wine_evidence

SETUP_EXE = Path(os.environ['SETUP_EXE'])
DRIVER_EXE = Path(os.environ['DRIVER_EXE'])
STANDIN_EXE = Path(os.environ['STANDIN_EXE'])
MEDDLER_EXE = Path(os.environ['MEDDLER_EXE'])
# The same launcher with a manifest that does not ask for UTF-8, as it runs
# on Windows before 10 version 1903.
SETUP_SYSTEM_CODE_PAGE_EXE = Path(os.environ['SETUP_SYSTEM_CODE_PAGE_EXE'])
WORK = Path(os.environ['E2E_WORK'])
SCRIPTS = Path(__file__).resolve().parent.parent.parent / 'scripts'

PREFIX = ('jre\\bin\\javaw -cp "*" com.izforge.izpack.installer.bootstrap.Installer '
          '-logfile quellbrook-install.log ')
# The program name as Explorer writes it: quoted, with a blank inside.
PROGRAM = '"C:\\Program Files\\Quellbrook\\setup.exe"'

TICKS_PER_MS = 10_000  # FILETIME ticks are 100 ns
# What the harness itself writes beside the installation folder.
HARNESS_FILES = {'standin-report.txt', 'driver-report.txt', 'driver-messages.txt', 'stdout.bin',
                 'command-line.utf16'}
STARTF_USESHOWWINDOW, SW_HIDE = 0x1, 0
ERROR_INTERNAL_ERROR = 1359
SWITCH = '-orva:msg'
# The last box of a launcher that another one in its folder turned away.
REFUSED_BOX = 'Another setup.exe is running in this folder.'

# Every rerun of a case for a Wine hiccup is noted here (see run.py).
RERUN_LOG = WORK.parent / 'reruns.log'


class WineHiccup(AssertionError):
    """A failure that carries a sign of trouble inside Wine rather than in the
    launcher: run.py reruns its case once."""


def argument_text(command_line):
    """The launcher's own argument text: the command line after the program's
    name and the separators behind it."""
    quoted, index = False, 0
    while index < len(command_line) and (quoted or ord(command_line[index]) > 0x20):
        quoted ^= command_line[index] == '"'
        index += 1
    return command_line[index:].lstrip(''.join(map(chr, range(1, 0x21))))


def driver_hiccup(said):
    """True when the driver failed for Wine's sake: it always says why it gives
    up, so a driver that ended without a word never ran to its own end; and
    its start of the launcher may fail with ERROR_INTERNAL_ERROR."""
    return not said or f'(error {ERROR_INTERNAL_ERROR})' in said


def wine_hiccup(run, command_line):
    """Why this run looks like one that Wine spoilt, or None.

    Wine's CreateProcess now and then fails with ERROR_INTERNAL_ERROR, which
    the launcher rightly reports; and now and then a box never appears,
    although the launcher runs to its end. A launcher that ended by itself in
    diagnostic mode has always shown its argument text first and "finished",
    or a failed start's box or the refusal of a second launcher, last."""
    if run.stdout and f'CreateProcess failed ({ERROR_INTERNAL_ERROR}).'.encode() in run.stdout:
        return f'a start failed with {ERROR_INTERNAL_ERROR} (ERROR_INTERNAL_ERROR)'
    text = argument_text(command_line)
    if SWITCH in text and not run.killed and run.exit in (0, 1):
        ending = ('finished',) if run.exit == 0 else ('CreateProcess failed (', REFUSED_BOX)
        if not run.boxes or run.boxes[0] != text or not run.boxes[-1].startswith(ending):
            return f'a box never appeared (boxes seen: {[b[:40] for b in run.boxes]})'
    return None


# Wine takes Windows' language, and with it the ANSI code page, from the Unix
# locale; no Unix locale needs to be generated for that. E2E_LOCALE runs a
# whole test file under another language.
LOCALES = {'English': 'en_US.UTF-8', 'Russian': 'ru_RU.UTF-8', 'Japanese': 'ja_JP.UTF-8'}
DEFAULT_LOCALE = os.environ.get('E2E_LOCALE', 'C.UTF-8')


def wine_env(locale=None, debug='-all'):
    """The environment of a Wine run; debug is its WINEDEBUG, unless
    E2E_WINEDEBUG gives one."""
    env = dict(os.environ)
    env.update(WINEDEBUG=os.environ.get('E2E_WINEDEBUG', debug),
               WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d',
               LC_ALL=locale or DEFAULT_LOCALE)
    env.pop('DISPLAY', None)
    env.pop('WAYLAND_DISPLAY', None)
    return env


def windows_path(path):
    """Wine's Z: drive is the Unix root."""
    return 'Z:' + str(Path(path).resolve()).replace('/', '\\')


def from_utf16_hex(hex_text):
    units = [int(hex_text[i:i + 4], 16) for i in range(0, len(hex_text), 4)]
    return b''.join(u.to_bytes(2, 'little') for u in units).decode('utf-16-le', 'surrogatepass')


class Run:
    """What one run of the launcher showed."""

    def __init__(self, report, stdout):
        self.boxes = []        # texts, in order
        self.box_times = []    # FILETIME ticks, when each box was seen
        self.stdout = stdout   # bytes, or None without a handle
        fields = {}
        for line in report.splitlines():
            key, _, value = line.partition('=')
            if key == 'box':
                time, _, text = value.partition(' ')
                self.box_times.append(int(time))
                self.boxes.append(from_utf16_hex(text))
            else:
                fields[key] = value
        self.exit = int(fields['exit'])
        self.timed_out = fields['timed-out'] == '1'
        self.killed = fields['killed'] == '1'
        self.started = int(fields['started'])
        self.ended = int(fields['ended'])
        if 'stdout' in fields:
            self.stdout = bytes.fromhex(fields['stdout'])


class Launch:
    """A setup.exe that the driver has started."""

    def __init__(self, process, command_line, timeout_ms, drop_read_right, messages,
                 driver_report, stdout_file):
        self.process, self.command_line, self.timeout_ms = process, command_line, timeout_ms
        self.drop_read_right, self.messages = drop_read_right, messages
        self.driver_report, self.stdout_file = driver_report, stdout_file
        self.since = wine_evidence.uptime()

    def finish(self):
        """Waits for the launcher's end and returns what it showed (a Run)."""
        try:
            returncode = self.process.wait(self.timeout_ms / 1000 + 60)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise
        if self.drop_read_right:
            # The server that ran without the right goes, and the lane's own
            # comes back.
            end_wineserver()
            lane_server()
        # The driver's own words, among Wine's error lines for the driver and
        # every program started under it.
        output = self.messages.read_text(errors='replace')
        if returncode != 0:
            said = '\n'.join(line for line in output.splitlines()
                             if not wine_evidence.WINE_LINE.match(line)).strip()
            failure = f'driver failed with status {returncode}: {said}'
            if driver_hiccup(said):
                raise WineHiccup(
                    f'{failure}; {wine_evidence.describe(returncode, output, self.since)}')
            raise AssertionError(failure)
        captured = self.stdout_file.read_bytes() if self.stdout_file else None
        run = Run(self.driver_report.read_text(), captured)
        if run.timed_out:
            raise AssertionError(
                f'setup.exe did not end within {self.timeout_ms} ms; boxes: {run.boxes}')
        hiccup = wine_hiccup(run, self.command_line)
        if hiccup:
            raise WineHiccup(f'{hiccup}; driver {wine_evidence.describe(0, output, self.since)}')
        return run


class StandinRun:
    """One run of the stand-in installer, from its report."""

    def __init__(self, fields):
        self.command_line = from_utf16_hex(fields['cmdline-w'])
        # GetStartupInfoW's dwFlags and wShowWindow.
        self.startup_flags, self.show_window = (int(v) for v in fields['startup'].split())
        self.cwd = from_utf16_hex(fields['cwd'])
        self.start = int(fields['start'])
        self.end = int(fields['end'])
        # With standin:needs=PATH: whether PATH was still there at its end.
        self.needs = {'1': True, '0': False}.get(fields.get('needs'))


class Installation:
    """A throw-away installation folder with setup.exe and a stand-in installer."""

    def __init__(self, case, setup_exe=SETUP_EXE):
        WORK.mkdir(parents=True, exist_ok=True)
        self.root = Path(tempfile.mkdtemp(prefix=f'setup-e2e-{case}-', dir=WORK))
        self.folder = self.root / 'install'
        self.report = self.root / 'standin-report.txt'
        self.folder.mkdir()
        shutil.copy(setup_exe, self.folder / 'setup.exe')
        (self.folder / 'jre' / 'bin').mkdir(parents=True)
        shutil.copy(STANDIN_EXE, self.folder / 'jre' / 'bin' / 'javaw.exe')
        (self.folder / 'jre' / 'lib').mkdir()
        (self.folder / 'jre' / 'lib' / 'rt.jar').write_bytes(b'PK\x05\x06' + bytes(18))
        (self.folder / 'installer.jar').write_bytes(b'PK\x05\x06' + bytes(18))

    @property
    def jre(self):
        return self.folder / 'jre'

    @property
    def log(self):
        return self.folder / 'quellbrook-install.log'

    @property
    def parent_log(self):
        return self.root / 'quellbrook-install.log'

    def add_script(self, body='@exit /b 7\r\n', marker=True):
        """installer.qb.bat; with marker, its first line notes when it ran."""
        if marker:
            self.add_marker()
            body = '@marker.exe standin:mark=script\r\n' + body
        script = self.folder / 'installer.qb.bat'
        script.write_bytes(body.encode())
        return script

    def add_marker(self, name='marker.exe'):
        """A copy of the stand-in that only notes the time it ran."""
        shutil.copy(STANDIN_EXE, self.folder / name)

    def run(self, arguments='', **options):
        """Starts setup.exe through the driver and waits for its end; the
        options are start's."""
        return self.start(arguments, **options).finish()

    def start(self, arguments='', command_line=None, stdout='file', cwd=None, exe=None,
              holds=(), timeout_ms=60000, kill_when=None, unreadable_folders=False, locale=None,
              prefix=None, name=''):
        """Starts setup.exe through the driver; finish() on the result waits
        for its end.

        arguments follow PROGRAM and one blank, unless command_line gives the
        whole line. stdout is 'file', 'pipe' or 'none'. With kill_when, the
        driver terminates setup.exe as soon as that file exists. With
        unreadable_folders, the run goes without root's right to read any
        folder, so that a folder without read permission cannot be listed.
        locale is the Unix locale that sets Windows' language for the run.
        prefix is another Wine prefix to run in, such as
        interpreter_standin_prefix(). name tells the files of launchers that
        run at the same time apart.
        """
        if command_line is None:
            command_line = PROGRAM + (' ' + arguments if arguments else '')
        tag = f'-{name}' if name else ''
        driver_report = self.root / f'driver-report{tag}.txt'
        stdout_file = self.root / f'stdout{tag}.bin'
        command_file = self.root / f'command-line{tag}.utf16'
        command_file.write_bytes(command_line.encode('utf-16-le', 'surrogatepass'))
        for stale in (driver_report, stdout_file):
            stale.unlink(missing_ok=True)
        args = ['wine', str(DRIVER_EXE),
                '--report', windows_path(driver_report),
                '--exe', windows_path(exe or self.folder / 'setup.exe'),
                '--cmdline-file', windows_path(command_file),
                '--cwd', cwd if isinstance(cwd, str) else windows_path(cwd or self.folder),
                '--stdout', 'file:' + windows_path(stdout_file) if stdout == 'file' else stdout,
                '--timeout-ms', str(timeout_ms)]
        for held in holds:
            args += ['--hold', windows_path(held)]
        if kill_when:
            args += ['--kill-when', windows_path(kill_when)]
        drop_read_right = unreadable_folders and os.geteuid() == 0
        if drop_read_right:
            # Wine's server opens the files, so it must lack the right too: a
            # fresh one starts with this call once the running one has ended.
            end_wineserver()
            args = WITHOUT_READ_RIGHT + args
        # Wine's own errors go beside the driver's words, for a hiccup's
        # evidence.
        env = wine_env(locale, wine_evidence.WINEDEBUG)
        env['STANDIN_REPORT'] = windows_path(self.report)
        if prefix:
            env['WINEPREFIX'] = str(prefix)
            # Wine runs a native file in place of its own cmd only when told to.
            env['WINEDLLOVERRIDES'] += ';cmd.exe=n'
        # Output to a file, not a pipe: a wineserver that this call starts
        # inherits the handle and would hold a pipe open after the driver ends.
        messages = self.root / f'driver-messages{tag}.txt'
        with open(messages, 'wb') as out:
            process = subprocess.Popen(args, env=env, stdout=out, stderr=subprocess.STDOUT)
        return Launch(process, command_line, timeout_ms, drop_read_right, messages,
                      driver_report, stdout_file if stdout == 'file' else None)

    def standin_runs(self):
        """Every run of the stand-in installer, in order."""
        if not self.report.exists():
            return []
        runs, fields = [], None
        for line in self.report.read_text().splitlines():
            if line == 'run':
                fields = {}
                runs.append(fields)
            elif fields is not None:
                key, _, value = line.partition('=')
                fields[key] = value
        return [StandinRun(f) for f in runs]

    def marks(self):
        """Times noted by 'standin:mark=NAME' runs, as (name, ticks)."""
        if not self.report.exists():
            return []
        out = []
        for line in self.report.read_text().splitlines():
            if line.startswith('mark='):
                time, _, name = line[5:].partition(' ')
                out.append((from_utf16_hex(name), int(time)))
        return out


# Root reads every folder; without these two capabilities it is held to the
# folder's mode like anybody else.
WITHOUT_READ_RIGHT = ['setpriv', '--bounding-set=-dac_override,-dac_read_search',
                      '--inh-caps=-dac_override,-dac_read_search']


def folders_can_be_unreadable():
    """False where root cannot give up its right to read every folder."""
    if os.geteuid() != 0:
        return True
    return subprocess.run(WITHOUT_READ_RIGHT + ['true'], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def interpreter_standin_prefix(program=None):
    """A Wine prefix of the tests' own whose system32\\cmd.exe is the stand-in,
    which reports how it was started, or the bytes of program: one beside the
    test's own prefix, a copy of the prefix that one was copied from. Made
    once, and given the current stand-in, or program, every time."""
    prefix = Path(os.environ['WINEPREFIX'] + '-cmd-standin')
    template = os.environ.get('SETUP_WINE_TEMPLATE')
    subprocess.run([str(SCRIPTS / 'wine-prefix.sh'), str(prefix)] + ([template] if template else []),
                   stdout=subprocess.DEVNULL, check=True)
    interpreter = prefix / 'drive_c' / 'windows' / 'system32' / 'cmd.exe'
    if program is None:
        shutil.copy(STANDIN_EXE, interpreter)
    else:
        interpreter.write_bytes(program)
    lane_server(prefix)
    return prefix


def end_wineserver():
    """Ends the prefix's server, with every process still in it."""
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(['wineserver', '-k'], env=wine_env(), **quiet)
    subprocess.run(['wineserver', '-w'], env=wine_env(), timeout=60, check=True, **quiet)


def lane_server(prefix=None):
    """The lane's long-lived server (scripts/wine-lane.sh), for prefix or the
    lane's own, where one is meant to run: started when none runs."""
    if os.environ.get('SETUP_WINE_LANE_SERVER'):
        env = wine_env()
        if prefix:
            env['WINEPREFIX'] = str(prefix)
        # No pipe: the server would hold it open for as long as it runs.
        subprocess.run(['wineserver', '-p'], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def meddler(*args, stdout=None):
    """Starts the meddler; stdout is a file to take its output."""
    command = ['wine', str(MEDDLER_EXE)] + [str(a) for a in args]
    return subprocess.Popen(command, env=wine_env(), stdout=stdout or subprocess.DEVNULL,
                            stderr=subprocess.STDOUT)


def meddler_output(*args):
    """What the meddler printed, through a file of this call's own, or None
    when it failed."""
    WORK.mkdir(parents=True, exist_ok=True)
    descriptor, listing = tempfile.mkstemp(prefix='meddler-', dir=WORK)
    try:
        with os.fdopen(descriptor, 'wb') as out:
            failed = meddler(*args, stdout=out).wait(60) != 0
        return None if failed else Path(listing).read_bytes()
    finally:
        os.unlink(listing)


def short_path(path):
    """The 8.3 short form of a folder's path, as Windows gives it."""
    output = meddler_output('short', windows_path(path))
    if output is None:
        raise AssertionError(f'no short path for {path}')
    return output.decode().strip()


def set_attributes_win32(attributes, *paths):
    """SetFileAttributesW, as a Windows program sets them."""
    done = meddler('attributes', f'{attributes:x}', *(windows_path(p) for p in paths))
    if done.wait(60) != 0:
        raise AssertionError(f'SetFileAttributesW failed on {paths}')


def running_processes():
    """The names of the processes running in the prefix."""
    output = meddler_output('processes')
    if output is None:
        raise AssertionError('cannot list the processes')
    return output.decode('utf-8', 'replace').split()


class InstallationTestCase(unittest.TestCase):
    """Gives each test an Installation that is removed only when the test passes."""

    def install(self, setup_exe=SETUP_EXE):
        case = self.id().rsplit('.', 1)[-1].removeprefix('test_').replace('_', '-')
        installation = Installation(case, setup_exe)
        self.addCleanup(self._remove_if_passed, installation, self._problems())
        return installation

    def _problems(self):
        result = self._outcome.result
        return len(result.failures) + len(result.errors)

    def _remove_if_passed(self, installation, problems_before):
        if self._problems() > problems_before:
            print(f'\nkept for inspection: {installation.root}')
        else:
            make_removable(installation.root)
            shutil.rmtree(installation.root, ignore_errors=True)


def set_dos_attributes(path, hidden=False, system=False, read_only=False):
    """Wine keeps the hidden and system bits in the user.DOSATTRIB extended
    attribute, and takes a file without write permission for read-only."""
    bits = (0x2 if hidden else 0) | (0x4 if system else 0)
    if bits:
        os.setxattr(path, 'user.DOSATTRIB', f'0x{bits:x}'.encode(), follow_symlinks=False)
    if read_only:
        os.chmod(path, 0o444)


def fill(folder, files):
    """Writes each file, given by its path below folder, with its folders."""
    for name in files:
        path = folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(f'contents of {name}\n'.encode())


def snapshot(root):
    """Every entry below root: relative path to file bytes, or None for a folder."""
    root = Path(root)
    return {str(p.relative_to(root)): (None if p.is_dir() else p.read_bytes())
            for p in sorted(root.rglob('*'))}


def make_removable(root):
    """Read-only files that a test made are removable again from Unix."""
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames + filenames:
            path = os.path.join(dirpath, name)
            if not os.path.islink(path):
                os.chmod(path, 0o755)

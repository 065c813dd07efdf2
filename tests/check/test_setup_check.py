"""setup-check.exe under Wine: against the built setup.exe nothing fails, and
exactly what Wine cannot do is NOT HERE; against three launchers built from
the project's own history, and three built from today's sources with one
fault each, each the promise that it broke fails."""
import fcntl
import importlib.util
import io
import os
import re
import shutil
import subprocess
import sys
import tarfile
import unittest
from pathlib import Path

SETUP_CHECK_EXE = Path(os.environ['SETUP_CHECK_EXE'])
SETUP_EXE = Path(os.environ['SETUP_EXE'])
SOURCE = Path(os.environ['SETUP_SOURCE'])
TOOLCHAIN = os.environ['SETUP_TOOLCHAIN']
WORK = Path(os.environ['CHECK_WORK'])
# The launchers built from history, by commit: the same for every preset of a
# build tree, so each is built once.
HISTORY = Path(os.environ['CHECK_HISTORY'])
PREFIX = Path(os.environ['WINEPREFIX'])
sys.path.insert(0, str(SOURCE / 'tests' / 'e2e'))
import wine_evidence  # noqa: E402  (from the end-to-end tests' folder)

# 1.0.0 passed the arguments as Latin-1 bytes in the system's code page: on a
# Western system U+0080 arrived as the euro sign. 1.1.0 took no guard. Up to
# 1.3.0 the launcher waited for the installer's process alone.
VERSION_1_0_0 = '5aef0d904b69511e6b922d258b4b775c6271d483'
VERSION_1_1_0 = '4eff3fd0aca61c1c00e0fdd86c7448be99fd6257'
VERSION_1_3_0 = '7a6e7bbf6036fb6b428242da2ec196c33d090ded'

PASSES = ['installer start', 'no planted installer', 'failed start line', 'characters',
          'follow-up script', 'no planted cmd.exe', 'pause', 'cleanup', 'log move',
          'log never replaced',
          'installer restart', 'one installation per folder', 'guard across accounts']
# Wine cannot make a junction, and its CreateSymbolicLinkW makes nothing.
NOT_HERE_UNDER_WINE = ['folder junction', 'folder symbolic link']
LOCALES = {'English': 'en_US.UTF-8', 'Japanese': 'ja_JP.UTF-8'}


def windows_job_rule():
    """What the CI's Windows job holds a run of setup-check to."""
    found = importlib.util.spec_from_file_location('windows_self_check',
                                                  SOURCE / 'scripts' / 'windows-self-check.py')
    rule = importlib.util.module_from_spec(found)
    found.loader.exec_module(rule)
    return rule.problems


def work_folders():
    """setup-check's folders under %TEMP%, whichever user Wine runs as."""
    return list(PREFIX.glob('drive_c/users/*/Temp/setup-check-*'))


def windows_path(path):
    return 'Z:' + str(Path(path).resolve()).replace('/', '\\')


def run(arguments, locale='en_US.UTF-8', program=SETUP_CHECK_EXE, evidence=None):
    """Runs setup-check.exe with these arguments; its status and its output.
    With evidence, a list, appends what Wine and the kernel said meanwhile."""
    env = dict(os.environ, WINEDEBUG=wine_evidence.WINEDEBUG, LC_ALL=locale,
               WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d')
    env.pop('DISPLAY', None)
    WORK.mkdir(parents=True, exist_ok=True)
    output, errors = WORK / 'output.txt', WORK / 'errors.txt'
    since = wine_evidence.uptime()
    # Files, not pipes: a wineserver this call starts would hold a pipe open.
    with open(output, 'wb') as out, open(errors, 'wb') as err:
        status = subprocess.run(['wine', str(program)] + arguments, env=env,
                                stdout=out, stderr=err, timeout=600).returncode
    if evidence is not None:
        evidence.append(wine_evidence.describe(status, errors.read_text(errors='replace'), since))
    return status, output.read_text(encoding='utf-8')


# Wine's CreateProcess now and then fails with ERROR_INTERNAL_ERROR: setup.exe
# then rightly reports "CreateProcess failed (1359).", or setup-check cannot
# start setup.exe, and every line of that installation folder fails together;
# or the check's installer cannot start its restarted copy, and that line is
# NOT HERE with the same error.
WINE_HICCUP = re.compile(r'^(FAIL|NOT HERE) .*\b1359\)', re.M)
RERUN_LOG = Path(os.environ['SETUP_RERUN_LOG'])


def check(setup_exe, locale):
    """Runs setup-check.exe on setup_exe; its status and its lines by verdict.
    A run that shows a sign of a Wine hiccup runs once more, and says so."""
    evidence = []
    status, text = run([windows_path(setup_exe)], locale, evidence=evidence)
    hiccup = WINE_HICCUP.search(text)
    if hiccup:
        note = (f'RERUN setup-check on {setup_exe.name} ({locale}): Wine hiccup: {hiccup[0]}; '
                f'setup-check {evidence[0]}')
        print(f'\n{note}\n{text}', flush=True)
        with open(RERUN_LOG, 'a') as log:
            log.write(note + '\n')
        for kept in work_folders():
            shutil.rmtree(kept, ignore_errors=True)
        status, text = run([windows_path(setup_exe)], locale)
    lines = {}
    for line in text.splitlines():
        verdict = re.match(r'(PASS|FAIL|NOT HERE|FACT) ([^:]+)(?:: (.*))?$', line)
        if verdict:
            lines.setdefault(verdict[1], {})[verdict[2]] = verdict[3]
    return status, lines, text


def build_from_history(commit):
    """setup.exe built with GCC from the sources of one commit of this project,
    once: a preset that runs beside this one waits for the other's build."""
    folder = HISTORY / commit[:12]
    exe = folder / 'build' / 'setup.exe'
    HISTORY.mkdir(parents=True, exist_ok=True)
    with open(HISTORY / f'{commit[:12]}.lock', 'w') as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not exe.exists():
            build_in(folder, commit)
    return exe


def build_in(folder, commit):
    """Builds setup.exe from the commit's sources in a fresh folder."""
    shutil.rmtree(folder, ignore_errors=True)
    # The clone may belong to another user, as a CI container's workspace
    # does: git's ownership check is let pass for this one clone only.
    archive = subprocess.run(['git', '-c', f'safe.directory={SOURCE}', 'archive', commit],
                             cwd=SOURCE, capture_output=True)
    if archive.returncode != 0:
        raise AssertionError(f'commit {commit} is not in this clone: the test needs the '
                             f"project's history ({archive.stderr.decode().strip()})")
    with tarfile.open(fileobj=io.BytesIO(archive.stdout)) as sources:
        sources.extractall(folder / 'source')
    for command in (['cmake', '-S', 'source', '-B', 'build', f'-DCMAKE_TOOLCHAIN_FILE={TOOLCHAIN}',
                     '-DCMAKE_BUILD_TYPE=MinSizeRel'],
                    ['cmake', '--build', 'build', '--target', 'setup', '-j', '2']):
        subprocess.run(command, cwd=folder, check=True, stdout=subprocess.DEVNULL)


class SetupCheck(unittest.TestCase):

    def test_nothing_fails_and_only_what_wine_cannot_do_is_not_here(self):
        for language, locale in LOCALES.items():
            with self.subTest(language):
                status, lines, text = check(SETUP_EXE, locale)
                self.assertEqual(status, 0, text)
                self.assertNotIn('FAIL', lines, text)
                self.assertEqual(list(lines['PASS']), PASSES, text)
                self.assertEqual(list(lines['NOT HERE']), NOT_HERE_UNDER_WINE, text)
                self.assertEqual(lines['FACT']['code page'], 'UTF-8 (65001)', text)
                # Wine's row of the self-check's page.
                self.assertEqual(lines['FACT']['characters'],
                                 'whole: ASCII, Latin-1 letters, U+0080, euro sign and curly '
                                 'quotes, full-width quote, Cyrillic, CJK, emoji; as nothing: '
                                 'lone surrogate, longer than the room', text)
                self.assertEqual(lines['FACT']['read-only folder'],
                                 'removed (this Windows removes a read-only folder)', text)
                self.assertEqual(lines['FACT']['folder of a file held open with delete sharing'],
                                 'stayed (the file was deleted only when its last handle '
                                 'closed)', text)
                self.assertRegex(lines['PASS']['pause'], r'^\d{4,} ms from the installer', text)
                self.assertRegex(lines['FACT']['windows'],
                                 r'^Windows [^,]+, \d+\.\d+ build \d+[.\d]*, on Wine \d', text)
                # The header names the checked setup.exe by its version resource.
                self.assertIn(f'setup.exe (version {os.environ["SETUP_VERSION"]})\nin ', text)
                # Its throw-away folder is gone.
                self.assertEqual(work_folders(), [], text)
        # The Windows job's rule takes Wine's two NOT HERE lines for a
        # failure, and nothing else of this run.
        problems = windows_job_rule()
        wine = text.splitlines()
        self.assertEqual([p for p in problems(status, wine) if not p.startswith('PASS lines')],
                         [line for line in wine if line.startswith('NOT HERE')])
        as_on_windows = [f'PASS {line[len("NOT HERE "):].split(":")[0]}'
                         if line.startswith('NOT HERE') else line for line in wine]
        self.assertEqual(problems(status, as_on_windows), [], text)
        self.assertNotEqual(problems(1, as_on_windows), [])
        # A build without its manifest's code page still passes every
        # promise; the rule fails it all the same.
        without_utf8 = [line for line in as_on_windows if not line.startswith('FACT code page')]
        self.assertIn('the manifest\'s code page is not in force',
                      ' '.join(problems(status, without_utf8)))

    def test_the_1_0_0_launcher_fails_the_characters_line(self):
        status, lines, text = check(build_from_history(VERSION_1_0_0), LOCALES['English'])
        self.assertEqual(status, 1, text)
        self.assertIn('U+0080 arrived as "x\\u20ACy"', lines['FAIL']['characters'], text)
        # It took no guard and waited for the installer alone; it kept every
        # other promise.
        self.assertEqual(list(lines['FAIL']), ['characters', 'installer restart',
                                               'one installation per folder',
                                               'guard across accounts'], text)
        self.assertIn('the folders are kept in ', text)

    def test_the_1_1_0_launcher_fails_the_one_installation_line(self):
        status, lines, text = check(build_from_history(VERSION_1_1_0), LOCALES['English'])
        self.assertEqual(status, 1, text)
        self.assertEqual(list(lines['FAIL']), ['installer restart', 'one installation per folder',
                                               'guard across accounts'], text)
        self.assertIn('another installer', lines['FAIL']['one installation per folder'], text)

    def test_the_1_3_0_launcher_fails_installer_restart_and_guard_across_accounts(self):
        status, lines, text = check(build_from_history(VERSION_1_3_0), LOCALES['English'])
        self.assertEqual(status, 1, text)
        self.assertEqual(list(lines['FAIL']), ['installer restart', 'guard across accounts'], text)
        self.assertEqual(lines['FAIL']['installer restart'],
                         'jre was emptied under the restarted installer', text)
        self.assertEqual(lines['FAIL']['guard across accounts'],
                         'setup.exe started its installer while a guard it may not open was held',
                         text)

    def test_a_setup_exe_that_cannot_start_is_never_judged(self):
        # Every run fails to start: each line says so, none draws a
        # conclusion about the promise, and no fact comes from such a run.
        broken = WORK / 'not-a-program' / 'setup.exe'
        broken.parent.mkdir(parents=True, exist_ok=True)
        broken.write_bytes(b'not a program\r\n')
        status, lines, text = check(broken, LOCALES['English'])
        self.assertEqual(status, 1, text)
        self.assertNotIn('PASS', lines, text)
        self.assertEqual(list(lines['FACT']), ['windows'], text)
        unstarted = 'setup.exe could not be started (error 193)'
        for line, said in lines['FAIL'].items():
            self.assertIn(unstarted, said, line)
        self.assertEqual(lines['FAIL']['one installation per folder'], unstarted, text)
        self.assertEqual(set(lines['FAIL']) | set(lines.get('NOT HERE', {})),
                         set(PASSES + NOT_HERE_UNDER_WINE), text)

    def test_a_careless_follow_up_step_fails_its_lines(self):
        _, lines, text = check(Path(os.environ['CARELESS_SEARCHED_EXE']), LOCALES['English'])
        self.assertEqual(lines['FAIL']['no planted cmd.exe'],
                         'the cmd.exe in the installation folder ran', text)
        self.assertIn('did not run', lines['FAIL']['follow-up script'], text)
        # It drops the arguments: no restart is asked for, and none waited for.
        self.assertIn('did not pass its arguments on', lines['FAIL']['installer restart'], text)
        _, lines, text = check(Path(os.environ['CARELESS_SHOWN_EXE']), LOCALES['English'])
        self.assertEqual(lines['FAIL']['follow-up script'],
                         "the command interpreter's window showed", text)
        self.assertIn('no planted cmd.exe', lines['PASS'], text)
        # A launcher without a version resource is named as such.
        self.assertIn('careless_shown.exe (no version resource)\nin ', text)

    def test_a_launcher_with_one_fault_of_todays_sources_fails_its_line(self):
        # Built from the launcher's own sources with one line changed.
        faults = {
            'no_arguments': {
                'characters': "as nothing, though they fit and the launcher's code page, the "
                              "system's (1252), carries them: ASCII, Latin-1 letters, euro sign "
                              "and curly quotes",
                'installer restart': 'setup.exe did not pass its arguments on: the installer '
                                     'never got the word that makes it restart'},
            'no_pause': {'pause': r"^-?\d{1,3} ms from the installer's end to the command "
                                  r"interpreter's start \(1000 ms wanted"},
            'removes_jre': {'cleanup': 'jre itself was removed'},
        }
        for fault, failed in faults.items():
            with self.subTest(fault):
                status, lines, text = check(Path(os.environ[f'FAULTY_{fault}_EXE']),
                                            LOCALES['English'])
                self.assertEqual(status, 1, text)
                self.assertEqual(list(lines['FAIL']), list(failed), text)
                for line, said in failed.items():
                    self.assertRegex(lines['FAIL'][line], said if fault == 'no_pause'
                                     else f'^{re.escape(said)}$', text)

    def test_an_installer_that_application_control_blocks_blames_nobody(self):
        status, lines, text = check(Path(os.environ['CARELESS_BLOCKED_EXE']), LOCALES['English'])
        needs_installer = [line for line in PASSES + NOT_HERE_UNDER_WINE
                           if line not in ('no planted installer', 'failed start line',
                                           'guard across accounts')]
        self.assertEqual(sorted(lines['NOT HERE']), sorted(needs_installer), text)
        for said in lines['NOT HERE'].values():
            self.assertIn('(error 4551: Windows Defender Application Control or Smart App '
                          'Control); this says nothing of setup.exe', said)
        self.assertEqual(list(lines['PASS']), ['no planted installer', 'failed start line'], text)
        # Only this stand-in's lack of a guard fails; no fact comes from it.
        self.assertEqual(list(lines['FAIL']), ['guard across accounts'], text)
        self.assertEqual(list(lines['FACT']), ['windows'], text)
        self.assertEqual(status, 1, text)

    def test_it_runs_nothing_when_it_cannot_run(self):
        alone = WORK / 'setup-check-alone'
        shutil.rmtree(alone, ignore_errors=True)
        alone.mkdir(parents=True)
        shutil.copy(SETUP_CHECK_EXE, alone / 'setup-check.exe')
        missing = windows_path(WORK / 'nowhere' / 'setup.exe')
        cases = {
            'no setup.exe beside it': ([], alone / 'setup-check.exe',
                                       f'no setup.exe at {windows_path(alone)}\\setup.exe'),
            'a named one missing': ([missing], SETUP_CHECK_EXE, f'no setup.exe at {missing}'),
            'a folder named': ([windows_path(WORK)], SETUP_CHECK_EXE, 'no setup.exe at '),
            'two arguments': ([windows_path(SETUP_EXE)] * 2, SETUP_CHECK_EXE,
                              'one argument at most'),
            # Longer than any path it keeps: refused, never read from an
            # unwritten buffer.
            'a path longer than its room': (['C:\\' + 'x' * 3000 + '\\setup.exe'],
                                            SETUP_CHECK_EXE, 'bad path'),
        }
        for case, (arguments, program, problem) in cases.items():
            with self.subTest(case):
                status, text = run(arguments, program=program)
                self.assertEqual(status, 2, text)
                self.assertTrue(text.splitlines()[0].startswith(problem), text)
                self.assertIn('usage: setup-check.exe [SETUP_EXE]', text)
                self.assertNotRegex(text, re.compile('^(PASS|FAIL) ', re.M))
                self.assertEqual(work_folders(), [], text)
        status, text = run(['/?'])
        self.assertEqual(status, 0, text)
        self.assertTrue(text.startswith('setup-check 1.'), text)

    def tearDown(self):
        # A failed check keeps its folder for a person to look at; not here.
        for kept in work_folders():
            shutil.rmtree(kept, ignore_errors=True)


if __name__ == '__main__':
    unittest.main()

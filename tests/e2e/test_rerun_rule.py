"""The rerun rule, without Wine: which failures carry a sign of a Wine hiccup
(harness.py), and that run.py reruns a test once when all that went wrong
carried one, while a real fault fails the run whatever else happened."""
import contextlib
import io
import os
import shutil
import sys
import tempfile
import textwrap
import unittest
from pathlib import Path

SCRATCH = Path(tempfile.mkdtemp(prefix='setup-rerun-rule-'))
os.environ['E2E_WORK'] = str(SCRATCH / 'work')
for name in ('SETUP_EXE', 'DRIVER_EXE', 'STANDIN_EXE', 'MEDDLER_EXE', 'SETUP_SYSTEM_CODE_PAGE_EXE'):
    os.environ.setdefault(name, 'unused.exe')
(SCRATCH / 'work').mkdir()
sys.path.insert(0, str(SCRATCH))

import run  # noqa: E402  (the environment above comes first)
from harness import (PREFIX, PROGRAM, REFUSED_BOX, RERUN_LOG, Run, driver_hiccup,  # noqa: E402
                     wine_hiccup)

# Each case's body; "attempt" counts the runs of that case, from 1.
CASES = {
    'hiccup_once': 'if attempt == 1: raise WineHiccup("a start failed with 1359")',
    'hiccup_always': 'raise WineHiccup("a box never appeared")',
    'real_fault': 'self.assertEqual(1, 2)',
    # A spoilt subtest leaves a later check of its test failing too.
    'hiccup_then_a_failure_it_caused': '''
        seen = []
        with self.subTest('spoilt'):
            if attempt == 1: raise WineHiccup("a start failed with 1359")
            seen.append(1)
        self.assertEqual(seen, [1])''',
    'hiccup_beside_a_real_fault': '''
        with self.subTest('spoilt'):
            raise WineHiccup("a start failed with 1359")
        with self.subTest('wrong'):
            self.assertEqual(1, 2)''',
    'hiccup_in_one_test_real_fault_in_another':
        'if attempt == 1: raise WineHiccup("a box never appeared")',
}
# A second test beside the case's own, where a case needs one.
OTHER_TESTS = {'hiccup_in_one_test_real_fault_in_another': 'self.assertEqual(1, 2)'}


def module_for(case):
    """A test file with the one case, counting its attempts in a file."""
    name = f'scratch_{case}'
    counter = SCRATCH / f'{case}.attempts'
    body = textwrap.indent(textwrap.dedent(CASES[case]).strip(), ' ' * 8)
    (SCRATCH / f'{name}.py').write_text(textwrap.dedent(f'''\
        import unittest
        from pathlib import Path
        from harness import WineHiccup
        COUNTER = Path({str(counter)!r})

        class Case(unittest.TestCase):
            def test_it(self):
                attempt = int(COUNTER.read_text()) + 1 if COUNTER.exists() else 1
                COUNTER.write_text(str(attempt))
        ''') + body + '\n')
    if case in OTHER_TESTS:
        with open(SCRATCH / f'{name}.py', 'a') as module:
            module.write(f'\n    def test_other(self):\n        {OTHER_TESTS[case]}\n')
    return name, counter


class RerunRule(unittest.TestCase):

    def outcome(self, case):
        """run.main's status, the attempts made and the reruns noted."""
        RERUN_LOG.unlink(missing_ok=True)
        name, counter = module_for(case)
        with contextlib.redirect_stdout(io.StringIO()):
            status = run.main(name)
        noted = RERUN_LOG.read_text().splitlines() if RERUN_LOG.exists() else []
        return status, int(counter.read_text()), noted

    def test_a_hiccup_reruns_the_case_once_and_a_pass_then_counts(self):
        status, attempts, noted = self.outcome('hiccup_once')
        self.assertEqual((status, attempts), (0, 2))
        self.assertEqual(len(noted), 1)
        self.assertIn('scratch_hiccup_once.Case.test_it: Wine hiccup: a start failed', noted[0])

    def test_a_hiccup_both_times_fails(self):
        self.assertEqual(self.outcome('hiccup_always')[:2], (1, 2))

    def test_a_failure_that_a_hiccup_caused_goes_with_it(self):
        self.assertEqual(self.outcome('hiccup_then_a_failure_it_caused')[:2], (0, 2))

    def test_a_real_fault_fails_and_is_never_rerun(self):
        self.assertEqual(self.outcome('real_fault'), (1, 1, []))
        # Beside a hiccup it fails the rerun too.
        self.assertEqual(self.outcome('hiccup_beside_a_real_fault')[:2], (1, 2))
        # In a test of its own, nothing is rerun.
        self.assertEqual(self.outcome('hiccup_in_one_test_real_fault_in_another'), (1, 1, []))


def run_of(boxes, exit_code=0, stdout=b'', killed=False):
    """A launcher run as the driver reports it."""
    report = ''.join(f'box=1 {"".join(f"{ord(c):04x}" for c in box)}\n' for box in boxes)
    report += f'exit={exit_code}\ntimed-out=0\nkilled={int(killed)}\nstarted=0\nended=0\n'
    return Run(report, stdout)


class Signs(unittest.TestCase):
    """Only Wine's own troubles count as hiccups."""

    def test_what_counts(self):
        line = PROGRAM + ' -orva:msg x'
        whole = ['-orva:msg x', PREFIX + '-orva:msg x', 'End of installation.',
                 'no installer.qb.bat', 'finished']
        self.assertIsNone(wine_hiccup(run_of(whole), line))
        self.assertIsNone(wine_hiccup(run_of([]), PROGRAM + ' x'))  # no switch, no box
        self.assertIsNone(wine_hiccup(run_of(whole[:2], killed=True, exit_code=259), line))
        failed = run_of(whole[:2] + ['CreateProcess failed (izpack).'], 1,
                        b'CreateProcess failed (2).\r\n')
        self.assertIsNone(wine_hiccup(failed, line))
        refused = run_of(whole[:2] + [REFUSED_BOX], 1, b'CreateProcess failed (183).\r\n')
        self.assertIsNone(wine_hiccup(refused, line))
        # The start's error 1359, and a box missing first or last.
        self.assertIsNotNone(wine_hiccup(
            run_of(whole[:2] + ['CreateProcess failed (izpack).'], 1,
                   b'CreateProcess failed (1359).\r\n'), line))
        self.assertIsNotNone(wine_hiccup(run_of(whole[1:]), line))
        self.assertIsNotNone(wine_hiccup(run_of(whole[:-1]), line))
        self.assertIsNotNone(wine_hiccup(run_of([]), line))
        # A driver that said nothing, or that could not start the launcher
        # for Wine's sake; not one that said why it gave up.
        self.assertTrue(driver_hiccup(''))
        self.assertTrue(driver_hiccup('driver: cannot start the launcher (error 1359)'))
        self.assertFalse(driver_hiccup('driver: cannot start the launcher (error 2)'))


def tearDownModule():
    shutil.rmtree(SCRATCH, ignore_errors=True)


if __name__ == '__main__':
    unittest.main()

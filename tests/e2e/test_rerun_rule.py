"""run.py's rule, without Wine: a test reruns once when all that went wrong
carried a sign of a Wine hiccup, and a real fault fails the run whatever
else happened."""
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
from harness import RERUN_LOG  # noqa: E402

# Each case's body; "attempt" counts the runs of that case, from 1.
CASES = {
    'hiccup_once': 'if attempt == 1: raise WineHiccup("a start failed with 1359")',
    'hiccup_always': 'raise WineHiccup("a box never appeared")',
    'real_fault': 'self.assertEqual(1, 2)',
    'hiccup_beside_a_real_fault': '''
        with self.subTest('spoilt'):
            raise WineHiccup("a start failed with 1359")
        with self.subTest('wrong'):
            self.assertEqual(1, 2)''',
}


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

    def test_a_real_fault_fails_and_is_never_rerun(self):
        self.assertEqual(self.outcome('real_fault'), (1, 1, []))
        self.assertEqual(self.outcome('hiccup_beside_a_real_fault'), (1, 1, []))


def tearDownModule():
    shutil.rmtree(SCRATCH, ignore_errors=True)


if __name__ == '__main__':
    unittest.main()

"""Runs one file of end-to-end tests, like "python -m unittest -v", and reruns
once each failed test that carried a sign of a Wine hiccup
(harness.WineHiccup). Such a test must then pass whole: a real fault fails
both times and is still caught, and a test that failed without such a sign is
never rerun. Every rerun is printed with its cause and noted in
harness.RERUN_LOG.

    python3 run.py test_launch
"""
import sys
import unittest

from harness import RERUN_LOG, WineHiccup


class Result(unittest.TextTestResult):
    """Tells which tests failed, and which of them carried a sign of a Wine
    hiccup. A hiccup in one subtest may make a later check of the same test
    fail too, so a sign anywhere in a test is enough to rerun it."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.hiccups = {}   # test id: causes
        self.failed = set()  # ids of the tests that failed, whatever the cause

    def note(self, test, error):
        test_id = getattr(test, 'test_case', test).id()  # a subtest's own test
        self.failed.add(test_id)
        if issubclass(error[0], WineHiccup):
            self.hiccups.setdefault(test_id, []).append(str(error[1]))

    def addFailure(self, test, error):
        self.note(test, error)
        super().addFailure(test, error)

    def addError(self, test, error):
        self.note(test, error)
        super().addError(test, error)

    def addSubTest(self, test, subtest, error):
        if error is not None:
            self.note(subtest, error)
        super().addSubTest(test, subtest, error)


def run(tests):
    return unittest.TextTestRunner(verbosity=2, resultclass=Result, stream=sys.stdout).run(tests)


def main(module):
    loader = unittest.TestLoader()
    first = run(loader.loadTestsFromName(module))
    passed = first.wasSuccessful()
    if not passed and first.failed <= set(first.hiccups):
        passed = True
        for test_id, causes in first.hiccups.items():
            note = f'RERUN {test_id}: Wine hiccup: {causes[0]}'
            print(f'\n{note}', flush=True)
            with open(RERUN_LOG, 'a') as log:
                log.write(note.replace('\n', ' ') + '\n')
            passed &= run(loader.loadTestsFromName(test_id)).wasSuccessful()
    return 0 if passed else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))

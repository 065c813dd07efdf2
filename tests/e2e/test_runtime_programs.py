"""The installation ends when the runtime's last program ends: an installer
that hands over to another program of its jre (a copy of itself restarted
elevated, a helper left behind) keeps the launcher waiting until that one has
ended too, under any spelling of jre; programs from anywhere else never do."""
import shutil
import time
import unittest

from harness import (PREFIX, STANDIN_EXE, TICKS_PER_MS, InstallationTestCase, running_processes,
                     short_path, windows_path)

# A runtime file that a program of the runtime opens only late, at its end.
LATE = r'standin:needs=jre\lib\late.txt'
# What the program left running does: it takes its time, then opens that file.
LATE_WORDS = f'-logfile quellbrook-install.log standin:sleep=2500 {LATE}'


def detach(program, words, own=''):
    """Words that make the stand-in start program with words and end."""
    return f'standin:detach={program} {own}standin:-- {words}'.replace('  ', ' ')


class RuntimePrograms(InstallationTestCase):

    def install_runtime(self):
        inst = self.install()
        (inst.jre / 'lib' / 'late.txt').write_bytes(b'opened late by the runtime\n')
        shutil.copy(STANDIN_EXE, inst.jre / 'bin' / 'java.exe')
        return inst

    def assert_waited_for_the_last(self, inst, run, programs):
        """The launcher ended normally after its installer and every program
        it left running had ended, the last one having found its file, and
        only then paused, moved the log and emptied jre."""
        self.assertEqual((run.exit, run.stdout), (0, b''))
        runs = inst.standin_runs()
        self.assertEqual(len(runs), programs, [r.command_line for r in runs])
        last = max(runs, key=lambda r: r.end)
        self.assertTrue(last.needs, "the runtime's late file was gone")
        self.assertGreaterEqual(run.ended - last.end, 1000 * TICKS_PER_MS)
        self.assertTrue(inst.parent_log.exists())
        self.assertEqual(list(inst.jre.iterdir()), [])
        return last

    def test_the_launcher_waits_for_what_the_installer_leaves_running(self):
        cases = {
            # An installer that restarts itself elevated and ends at once;
            # the restarted one writes the log.
            'restarted installer': detach(r'jre\bin\javaw.exe', LATE_WORDS, 'standin:no-log '),
            # IzPack's helper JVM, left behind by an installer that ends.
            'helper JVM': detach(r'jre\bin\java.exe', f'standin:sleep=2500 {LATE}'),
            # The restarted one starts the helper in turn and ends.
            'a chain of two': detach(r'jre\bin\javaw.exe',
                                     detach(r'jre\bin\java.exe', LATE_WORDS), 'standin:no-log '),
        }
        for case, words in cases.items():
            with self.subTest(case):
                inst = self.install_runtime()
                run = inst.run(f'-orva:msg {words}')
                programs = 3 if case == 'a chain of two' else 2
                self.assert_waited_for_the_last(inst, run, programs)
                # The boxes as ever, "End of installation." after the last end.
                self.assertEqual(run.boxes[2:], ['End of installation.', 'no installer.qb.bat',
                                                 'finished'])
                last = max(inst.standin_runs(), key=lambda r: r.end)
                self.assertGreaterEqual(run.box_times[2] - last.end, 1000 * TICKS_PER_MS)

    def test_a_script_written_by_the_restarted_installer_runs(self):
        inst = self.install_runtime()
        inst.add_marker()
        run = inst.run(detach(r'jre\bin\javaw.exe', LATE_WORDS + ' standin:write-script',
                              'standin:no-log '))
        self.assertEqual((run.exit, run.stdout), (0, b''))
        self.assertEqual([name for name, _ in inst.marks()], ['written-script'])
        self.assertTrue(inst.log.exists())
        self.assertFalse(inst.parent_log.exists())
        self.assertTrue((inst.jre / 'bin' / 'javaw.exe').exists())

    def test_programs_from_elsewhere_are_never_waited_for(self):
        inst = self.install_runtime()
        (inst.folder / 'jre-old' / 'bin').mkdir(parents=True)
        shutil.copy(STANDIN_EXE, inst.folder / 'jre-old' / 'bin' / 'javaw.exe')
        shutil.copy(STANDIN_EXE, inst.folder / 'viewer.exe')
        release = 'standin:hang-until=release-others'
        self.addCleanup(self.release_others, inst)
        # The installer starts a program from jre-old, which starts a viewer
        # beside setup.exe; both run until the test lets them go.
        run = inst.run(detach(r'jre-old\bin\javaw.exe',
                              detach('viewer.exe', release, f'{release} ')))
        self.assertEqual((run.exit, run.stdout), (0, b''))
        self.assertTrue(inst.parent_log.exists())
        self.assertEqual(list(inst.jre.iterdir()), [])
        self.assertEqual(len(inst.standin_runs()), 1)
        self.assertTrue({'viewer.exe', 'javaw.exe'} <= set(running_processes()))

    def release_others(self, inst):
        """After a failure too: a program left hanging in the prefix would
        spoil every later test that counts the running processes."""
        (inst.folder / 'release-others').write_bytes(b'')
        deadline = time.monotonic() + 60
        while 'viewer.exe' in running_processes() and time.monotonic() < deadline:
            time.sleep(0.1)

    def test_every_spelling_of_jre_is_jre(self):
        for how in ('letter case', '8.3 short name', 'a link'):
            with self.subTest(how):
                inst = self.install_runtime()
                link = inst.root / 'runtime-link'
                link.symlink_to(inst.jre, target_is_directory=True)
                program = {
                    'letter case': r'JRE\BIN\JAVAW.EXE',
                    '8.3 short name': short_path(inst.jre) + r'\bin\javaw.exe',
                    'a link': windows_path(inst.root) + r'\runtime-link\bin\javaw.exe',
                }[how]
                self.assertNotIn(' ', program)
                self.assertNotEqual(short_path(inst.jre), windows_path(inst.jre))
                run = inst.run(detach(program, LATE_WORDS, 'standin:no-log '))
                last = self.assert_waited_for_the_last(inst, run, 2)
                self.assertTrue(last.command_line.startswith(program), last.command_line)


if __name__ == '__main__':
    unittest.main()

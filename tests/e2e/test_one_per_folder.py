"""One launcher per installation folder: a second setup.exe started in a
folder whose installer still runs starts, moves and deletes nothing, under
any spelling of that folder, and also when the first one's guard may not be
opened; launchers of other folders, and a launcher after one that ended or
was killed, run as ever."""
import os
import shutil
import time
import unittest
from pathlib import Path

from harness import (PREFIX, REFUSED_BOX, STANDIN_EXE, InstallationTestCase, meddler,
                     running_processes, short_path, snapshot, windows_path)

# The line of a failed start, with the code Windows gives for a mutex that
# exists (ERROR_ALREADY_EXISTS).
REFUSED_LINE = b'CreateProcess failed (183).\r\n'
# The first launcher's installer runs until this file appears beside it.
HANG = 'standin:hang-until=release-first'


def wait_for(condition, what, seconds=60):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f'{what} never came')
        time.sleep(0.05)


class OnePerFolder(InstallationTestCase):

    def start_first(self, inst, arguments=HANG, **options):
        """A launcher whose installer runs until release_first(); returns once
        that installer has written its log, so it runs for sure."""
        first = inst.start(arguments, name='first', **options)
        self.addCleanup(self.let_no_installer_hang, inst)
        wait_for(inst.log.exists, "the first installer's log")
        return first

    def release_first(self, inst):
        (inst.folder / 'release-first').write_bytes(b'')

    def let_no_installer_hang(self, inst):
        """After a failure too: an installer left hanging in the prefix would
        spoil every later test that counts the running processes."""
        self.release_first(inst)
        wait_for(lambda: 'javaw.exe' not in running_processes(), 'the end of every installer')

    def assert_refused(self, run, arguments=''):
        self.assertEqual(run.exit, 1)
        self.assertEqual(run.stdout, REFUSED_LINE)
        expected = [arguments, PREFIX + arguments, REFUSED_BOX] if arguments else []
        self.assertEqual(run.boxes, expected)

    def assert_second_launchers_change_nothing(self, inst):
        """A second launcher, with and without boxes, is turned away; no
        installer of its ran (it would have reported at its end), and not a
        file changed."""
        before = snapshot(inst.folder)
        for arguments in ('', '-orva:msg'):
            with self.subTest(arguments=arguments):
                self.assert_refused(inst.run(arguments, name='second'), arguments)
        self.assertEqual(inst.standin_runs(), [])
        self.assertEqual(snapshot(inst.folder), before)
        self.assertFalse(inst.parent_log.exists())

    def test_a_second_launcher_changes_nothing_under_a_running_installer(self):
        inst = self.install()
        (inst.jre / 'lib' / 'late.txt').write_bytes(b'opened late by the runtime\n')
        first = self.start_first(inst, HANG + r' standin:needs=jre\lib\late.txt')
        self.assert_second_launchers_change_nothing(inst)

        self.release_first(inst)
        run = first.finish()
        self.assertEqual((run.exit, run.stdout), (0, b''))
        [installer] = inst.standin_runs()
        self.assertTrue(installer.needs, "the runtime's late file was gone")
        # The first launcher's follow-up step as always.
        self.assertTrue(inst.parent_log.exists())
        self.assertEqual(list(inst.jre.iterdir()), [])

        # Once the first launcher has ended, the next one runs as ever.
        (inst.jre / 'bin').mkdir()
        shutil.copy(STANDIN_EXE, inst.jre / 'bin' / 'javaw.exe')
        run = inst.run('-orva:msg', name='next')
        self.assertEqual((run.exit, run.stdout, run.boxes[-1]), (0, b'', 'finished'))
        self.assertEqual(len(inst.standin_runs()), 2)

    def test_a_guard_it_may_not_open_turns_it_away_too(self):
        # As a launcher started elevated holds its guard, seen from one
        # started by the user: Windows will not let the second open it.
        inst = self.install()
        signal = inst.root / 'sealed-guard'
        holder = meddler('sealed-guard', windows_path(inst.folder), windows_path(signal))
        self.addCleanup(holder.wait, 60)
        self.addCleanup(Path(f'{signal}.release').write_bytes, b'')
        wait_for(Path(f'{signal}.ready').exists, 'the sealed guard')
        self.assert_second_launchers_change_nothing(inst)

    def test_launchers_of_two_folders_run_side_by_side(self):
        one, two = self.install(), self.install()
        launches = [inst.start('standin:sleep=3000') for inst in (one, two)]
        for inst, launch in zip((one, two), launches):
            run = launch.finish()
            self.assertEqual((run.exit, run.stdout), (0, b''))
            self.assertEqual(list(inst.jre.iterdir()), [])
        [first], [second] = one.standin_runs(), two.standin_runs()
        # The two installers really ran at the same time.
        self.assertLess(second.start, first.end)
        self.assertLess(first.start, second.end)

    def test_a_killed_launcher_leaves_no_guard_behind(self):
        inst = self.install()
        first = self.start_first(inst, kill_when=inst.log)
        self.assertTrue(first.finish().killed)
        # Its installer runs on, unguarded: the next launcher proceeds, but
        # its cleanup waits for that installer, which runs from the same jre.
        following = inst.start('-orva:msg', name='next')
        wait_for(lambda: len(inst.standin_runs()) == 1, "the next launcher's installer's end")
        time.sleep(2)
        self.assertIsNone(following.process.poll())
        self.assertTrue((inst.jre / 'bin' / 'javaw.exe').exists())
        self.release_first(inst)
        run = following.finish()
        self.assertEqual((run.exit, run.stdout, run.boxes[-1]), (0, b'', 'finished'))
        killed_launchers_installer = inst.standin_runs()[1]
        self.assertEqual([r.command_line for r in inst.standin_runs()],
                         [PREFIX + '-orva:msg', PREFIX + HANG])
        self.assertGreater(run.box_times[run.boxes.index('End of installation.')],
                           killed_launchers_installer.end)
        self.assertEqual(list(inst.jre.iterdir()), [])

    def map_drive(self, target):
        """A drive letter that Wine maps to target, as subst would; it goes
        when the test ends."""
        dosdevices = Path(os.environ['WINEPREFIX']) / 'dosdevices'
        letter = next(letter for letter in 'qrstuvw' if not (dosdevices / f'{letter}:').exists())
        (dosdevices / f'{letter}:').symlink_to(target, target_is_directory=True)
        self.addCleanup((dosdevices / f'{letter}:').unlink)
        return f'{letter.upper()}:'

    def test_every_spelling_of_the_folder_is_the_same_folder(self):
        inst = self.install()
        link = inst.root / 'install-link'
        link.symlink_to(inst.folder, target_is_directory=True)
        # Mapped before the first launcher starts, as a drive letter is.
        drive = self.map_drive(inst.root)
        first = self.start_first(inst)
        spellings = {
            'letter case': windows_path(inst.folder).upper(),
            '8.3 short name': short_path(inst.folder),
            'a link': windows_path(inst.root) + '\\install-link',
            'a mapped drive letter': drive + '\\install',
        }
        for why, folder in spellings.items():
            with self.subTest(why, folder=folder):
                self.assertNotEqual(folder, windows_path(inst.folder))
                self.assert_refused(inst.run('-orva:msg', cwd=folder, name='second'), '-orva:msg')
        self.assertEqual(inst.standin_runs(), [])
        self.release_first(inst)
        self.assertEqual(first.finish().exit, 0)
        self.assertEqual(len(inst.standin_runs()), 1)


if __name__ == '__main__':
    unittest.main()

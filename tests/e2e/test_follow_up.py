"""The follow-up step under Wine: the script run hidden through the system's
command interpreter, or the log's move and the runtime's cleanup."""
import unittest

from harness import (PREFIX, STARTF_USESHOWWINDOW, SW_HIDE, TICKS_PER_MS, InstallationTestCase,
                     interpreter_standin_prefix, set_dos_attributes, snapshot)

SCRIPT_BOXES = ['cmd.exe /C installer.qb.bat', 'finished']
NO_SCRIPT_BOXES = ['no installer.qb.bat', 'finished']


class Script(InstallationTestCase):

    def test_script_runs_and_nothing_else_happens(self):
        inst = self.install()
        inst.add_script('@exit /b 7\r\n')
        runtime = snapshot(inst.jre)
        run = inst.run('-orva:msg')
        # The script's exit code is never the status.
        self.assertEqual(run.exit, 0)
        self.assertEqual(run.boxes, ['-orva:msg', PREFIX + '-orva:msg', 'End of installation.']
                         + SCRIPT_BOXES)
        self.assertEqual([name for name, _ in inst.marks()], ['script'])
        self.assertTrue(inst.log.exists())
        self.assertFalse(inst.parent_log.exists())
        self.assertEqual(snapshot(inst.jre), runtime)
        self.assertEqual(run.stdout, b'')

    def test_script_starts_a_second_after_the_installer_ended(self):
        inst = self.install()
        inst.add_script()
        inst.run()
        [installer] = inst.standin_runs()
        [(_, started)] = inst.marks()
        self.assertGreaterEqual(started - installer.end, 1000 * TICKS_PER_MS)

    def test_script_written_by_the_installer_is_found(self):
        inst = self.install()
        inst.add_marker()
        run = inst.run('standin:write-script')
        self.assertEqual(run.exit, 0)
        self.assertEqual([name for name, _ in inst.marks()], ['written-script'])
        self.assertTrue(inst.log.exists())

    def test_anything_of_the_scripts_name_counts_as_present(self):
        for kind in ('folder', 'read-only, hidden and system', 'held open'):
            with self.subTest(kind=kind):
                inst = self.install()
                holds = []
                if kind == 'folder':
                    (inst.folder / 'installer.qb.bat').mkdir()
                else:
                    script = inst.add_script()
                    if kind == 'held open':
                        holds = [script]
                    else:
                        set_dos_attributes(script, hidden=True, system=True, read_only=True)
                runtime = snapshot(inst.jre)
                run = inst.run('-orva:msg', holds=holds)
                self.assertEqual(run.exit, 0)
                self.assertEqual(run.boxes[3:], SCRIPT_BOXES)
                self.assertTrue(inst.log.exists())
                self.assertEqual(snapshot(inst.jre), runtime)
                if kind != 'folder':
                    self.assertEqual([name for name, _ in inst.marks()], ['script'])

    def test_a_cmd_exe_in_the_working_folder_never_runs(self):
        inst = self.install()
        inst.add_script()
        inst.add_marker('cmd.exe')
        run = inst.run()
        self.assertEqual(run.exit, 0)
        # The planted copy would have noted nothing but a run of its own.
        self.assertEqual([name for name, _ in inst.marks()], ['script'])
        self.assertEqual(len(inst.standin_runs()), 1)


class ScriptInterpreter(InstallationTestCase):
    """How the launcher starts the command interpreter, as a stand-in sees it
    that takes the place of the system's cmd.exe in a Wine prefix of its own."""

    def test_the_interpreter_starts_hidden_with_the_exact_command_line(self):
        inst = self.install()
        inst.add_script(marker=False)
        run = inst.run('-orva:msg', prefix=interpreter_standin_prefix())
        self.assertEqual(run.exit, 0)
        self.assertEqual(run.boxes[3:], SCRIPT_BOXES)
        installer, interpreter = inst.standin_runs()
        self.assertEqual(interpreter.command_line, 'cmd.exe /C installer.qb.bat')
        self.assertEqual((interpreter.startup_flags, interpreter.show_window),
                         (STARTF_USESHOWWINDOW, SW_HIDE))
        self.assertEqual(installer.startup_flags & STARTF_USESHOWWINDOW, 0)
        self.assertTrue(inst.log.exists())

    def test_an_interpreter_that_cannot_start_ends_the_run_with_status_1(self):
        inst = self.install()
        inst.add_script(marker=False)
        runtime = snapshot(inst.jre)
        run = inst.run('-orva:msg', prefix=interpreter_standin_prefix(b'not a program\r\n'))
        self.assertEqual(run.exit, 1)
        # ERROR_BAD_EXE_FORMAT, after the installer has run.
        self.assertEqual(run.stdout, b'CreateProcess failed (193).\r\n')
        self.assertEqual(run.boxes[3:], ['cmd.exe /C installer.qb.bat',
                                         'CreateProcess failed (installer.qb.bat)'])
        self.assertEqual(len(inst.standin_runs()), 1)
        self.assertTrue(inst.log.exists())
        self.assertEqual(snapshot(inst.jre), runtime)


class NoScript(InstallationTestCase):

    def test_log_moves_up_and_runtime_is_emptied(self):
        inst = self.install()
        run = inst.run('-orva:msg')
        self.assertEqual(run.exit, 0)
        self.assertEqual(run.boxes[2:], ['End of installation.'] + NO_SCRIPT_BOXES)
        self.assertFalse(inst.log.exists())
        self.assertEqual(inst.parent_log.read_bytes(), b'stand-in installer log\r\n')
        self.assertTrue(inst.jre.is_dir())
        self.assertEqual(snapshot(inst.jre), {})
        self.assertTrue((inst.folder / 'setup.exe').exists())
        self.assertTrue((inst.folder / 'installer.jar').exists())

    def test_log_already_in_the_parent_folder_is_not_replaced(self):
        inst = self.install()
        inst.parent_log.write_bytes(b'from an earlier run\r\n')
        run = inst.run()
        self.assertEqual(run.exit, 0)
        self.assertEqual(inst.parent_log.read_bytes(), b'from an earlier run\r\n')
        self.assertEqual(inst.log.read_bytes(), b'stand-in installer log\r\n')
        self.assertEqual(snapshot(inst.jre), {})

    def test_no_log_at_all(self):
        inst = self.install()
        run = inst.run('-orva:msg standin:no-log')
        self.assertEqual(run.exit, 0)
        self.assertEqual(run.boxes[3:], NO_SCRIPT_BOXES)
        self.assertFalse(inst.log.exists())
        self.assertFalse(inst.parent_log.exists())
        self.assertEqual(snapshot(inst.jre), {})

    def test_an_installer_that_fails_still_leads_to_the_cleanup(self):
        inst = self.install()
        run = inst.run('standin:exit=1603')
        self.assertEqual(run.exit, 0)
        self.assertTrue(inst.parent_log.exists())
        self.assertEqual(snapshot(inst.jre), {})


if __name__ == '__main__':
    unittest.main()

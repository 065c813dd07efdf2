"""The launch: the installer's command line, the boxes, the failed start and
the console line, as setup.exe does them under Wine."""
import shutil
import unittest

from harness import (PREFIX, PROGRAM, STARTF_USESHOWWINDOW, TICKS_PER_MS, InstallationTestCase,
                     windows_path)


class Launch(InstallationTestCase):

    def test_no_arguments(self):
        inst = self.install()
        run = inst.run(command_line=PROGRAM)
        self.assertEqual(run.exit, 0)
        self.assertEqual(run.boxes, [])
        self.assertEqual(run.stdout, b'')
        [installer] = inst.standin_runs()
        self.assertEqual(installer.command_line, PREFIX)
        self.assertEqual(len(installer.command_line), 103)
        # Not started hidden: no show state at all, so the installer's window
        # appears as the installer decides.
        self.assertEqual(installer.startup_flags & STARTF_USESHOWWINDOW, 0)
        self.assertEqual(installer.cwd.rstrip('\\').lower(), windows_path(inst.folder).lower())

    def test_switch_after_quoted_program_name(self):
        inst = self.install()
        run = inst.run(command_line=PROGRAM + '  -orva:msg')
        self.assertEqual(run.exit, 0)
        self.assertEqual(run.boxes[:3], ['-orva:msg', PREFIX + '-orva:msg', 'End of installation.'])
        [installer] = inst.standin_runs()
        self.assertEqual(installer.command_line, PREFIX + '-orva:msg')
        self.assertEqual(installer.startup_flags & STARTF_USESHOWWINDOW, 0)
        self.assertEqual(run.stdout, b'')

    def test_argument_text_reaches_the_installer_unchanged(self):
        inst = self.install()
        text = '-orva:msg caf\u00e9 "a b"\t '
        inst.run(text)
        [installer] = inst.standin_runs()
        self.assertEqual(installer.command_line, PREFIX + text)

    def test_an_argument_text_that_cannot_pass_exactly_gives_the_prefix_alone(self):
        inst = self.install()
        text = '-orva:msg \ud800 x'  # a lone surrogate has no 8-bit form
        run = inst.run(text)
        self.assertEqual(run.exit, 0)
        # The first box shows the whole text; the installer gets none of it.
        self.assertEqual(run.boxes[:3], [text, PREFIX, 'End of installation.'])
        [installer] = inst.standin_runs()
        self.assertEqual(installer.command_line, PREFIX)

    def test_installer_exit_code_is_never_the_status(self):
        inst = self.install()
        run = inst.run('-orva:msg standin:exit=3')
        self.assertEqual(run.exit, 0)
        self.assertEqual(len(inst.standin_runs()), 1)
        self.assertEqual(run.boxes[2], 'End of installation.')

    def test_pause_after_the_installer(self):
        inst = self.install()
        run = inst.run('-orva:msg')
        [installer] = inst.standin_runs()
        # The box is seen a little after it appears, never before.
        end_box = run.box_times[run.boxes.index('End of installation.')]
        self.assertGreaterEqual(end_box - installer.end, 1000 * TICKS_PER_MS)

    def test_missing_installer(self):
        codes = []
        for switch in ('', '-orva:msg'):
            with self.subTest(switch=switch):
                inst = self.install()
                shutil.rmtree(inst.folder / 'jre' / 'bin')
                run = inst.run(switch)
                self.assertEqual(run.exit, 1)
                # ERROR_PATH_NOT_FOUND: there is no jre\bin.
                self.assertEqual(run.stdout, b'CreateProcess failed (3).\r\n')
                codes.append(run.stdout)
                expected_boxes = [switch, PREFIX + switch, 'CreateProcess failed (izpack).']
                self.assertEqual(run.boxes, expected_boxes if switch else [])
                self.assertTrue((inst.folder / 'jre' / 'lib' / 'rt.jar').exists())
        # The code is the failed start's own, not what the box left behind.
        self.assertEqual(codes[0], codes[1])
        self.assertNotEqual(codes[0], b'CreateProcess failed (0).\r\n')

    def test_missing_installer_line_through_a_pipe(self):
        inst = self.install()
        (inst.folder / 'jre' / 'bin' / 'javaw.exe').unlink()
        run = inst.run('', stdout='pipe')
        self.assertEqual(run.exit, 1)
        # ERROR_FILE_NOT_FOUND: jre\bin is there, javaw.exe is not.
        self.assertEqual(run.stdout, b'CreateProcess failed (2).\r\n')

    def test_a_second_start_in_an_emptied_folder_finds_no_runtime(self):
        # A folder installs once: the first run emptied jre.
        inst = self.install()
        self.assertEqual(inst.run().exit, 0)
        self.assertEqual(list(inst.jre.iterdir()), [])
        moved = inst.parent_log.read_bytes()
        run = inst.run('-orva:msg')
        self.assertEqual(run.exit, 1)
        self.assertEqual(run.stdout, b'CreateProcess failed (3).\r\n')
        self.assertEqual(run.boxes[-1], 'CreateProcess failed (izpack).')
        self.assertEqual(len(inst.standin_runs()), 1)
        self.assertEqual(inst.parent_log.read_bytes(), moved)

    def test_missing_installer_without_standard_output(self):
        inst = self.install()
        (inst.folder / 'jre' / 'bin' / 'javaw.exe').unlink()
        run = inst.run('-orva:msg', stdout='none')
        self.assertEqual(run.exit, 1)
        self.assertEqual(run.boxes[-1], 'CreateProcess failed (izpack).')

    def test_installer_beside_the_executable_is_not_run_from_another_folder(self):
        # setup.exe and a complete installation in one folder, started with an
        # empty working folder: the installer is looked for there only.
        inst = self.install()
        elsewhere = inst.root / 'elsewhere'
        elsewhere.mkdir()
        run = inst.run('-orva:msg', cwd=elsewhere)
        self.assertEqual(run.exit, 1)
        self.assertEqual(inst.standin_runs(), [])
        self.assertEqual(run.boxes[-1], 'CreateProcess failed (izpack).')
        self.assertRegex(run.stdout, rb'^CreateProcess failed \(-?[0-9]+\)\.\r\n\Z')


if __name__ == '__main__':
    unittest.main()

"""The worst that an installation folder can hold, and other programs at work
in it, while the launcher cleans up or runs the follow-up script.

Every case checks the status and that nothing outside "jre" and the install
log changed: a listing of the installation folder's parent, with the size,
contents and mode of every file, is the same before and after."""
import hashlib
import os
import shutil
import stat
import time
import unittest

from harness import (HARNESS_FILES, InstallationTestCase, fill, folders_can_be_unreadable,
                     meddler, running_processes, set_attributes_win32, snapshot, windows_path)

LAUNCHER_NAMES = {'setup.exe', 'javaw.exe', 'cmd.exe', 'hang.exe'}

FILE_ATTRIBUTE_READONLY = 0x1
FILE_ATTRIBUTE_HIDDEN = 0x2
FILE_ATTRIBUTE_SYSTEM = 0x4
FILE_ATTRIBUTE_ARCHIVE = 0x20
FILE_ATTRIBUTE_TEMPORARY = 0x100
FILE_ATTRIBUTE_OFFLINE = 0x1000
FILE_ATTRIBUTE_NOT_CONTENT_INDEXED = 0x2000


def listing(inst, ignore=()):
    """The installation folder's parent, less "jre", both places of the log,
    the harness's reports and the names in ignore (relative to the parent)."""
    skipped = HARNESS_FILES | {'quellbrook-install.log', 'install/quellbrook-install.log'}
    skipped |= set(ignore)
    out = {}
    for dirpath, dirnames, filenames in os.walk(inst.root):
        for name in dirnames + filenames:
            path = os.path.join(dirpath, name)
            relative = os.path.relpath(path, inst.root)
            if any(relative == name or relative.startswith(name + '/')
                   for name in skipped | {'install/jre'}):
                continue
            info = os.lstat(path)
            if stat.S_ISDIR(info.st_mode):
                out[relative] = ('folder', stat.S_IMODE(info.st_mode))
            else:
                with open(path, 'rb') as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
                out[relative] = (info.st_size, digest, stat.S_IMODE(info.st_mode))
    return out


class HostileTestCase(InstallationTestCase):

    def assertCleanedUp(self, inst, run, outside, left=(), ignore=()):
        """Status 0, the log moved up, only left remains in "jre", and the
        listing outside, less ignore, is unchanged."""
        self.assertEqual(run.exit, 0)
        self.assertTrue(inst.jre.is_dir())
        self.assertEqual(sorted(snapshot(inst.jre)), sorted(left))
        self.assertFalse(inst.log.exists())
        self.assertEqual(inst.parent_log.read_bytes(), b'stand-in installer log\r\n')
        self.assertEqual(listing(inst, ignore), outside)


class CrowdedRuntime(HostileTestCase):

    def test_five_thousand_files_in_one_folder_and_names_of_every_kind(self):
        inst = self.install()
        fill(inst.jre / 'lib' / 'many', [f'f{index:04d}' for index in range(5000)])
        fill(inst.jre, ['with blanks in it.txt', ' leading blank', '.leading-dot', '..two-dots',
                        'Кириллица.txt', '中文名字.jar', 'emoji-😀.txt', 'папка/файл',
                        '目录/文件', '😀/😀/😀',
                        # "jre\" and 255 units: an entry path of 259, the most
                        # that fits.
                        'x' * 255, 'deeper/' + 'y' * 248])
        outside = listing(inst)
        run = inst.run()
        self.assertCleanedUp(inst, run, outside)

    def test_a_tree_120_levels_deep(self):
        inst = self.install()
        deep = inst.jre
        for level in range(120):
            deep = deep / f'{level % 10}'
            fill(deep, ['f'])
        outside = listing(inst)
        run = inst.run()
        self.assertCleanedUp(inst, run, outside)

    def test_every_attribute_a_file_can_carry(self):
        # Every attribute that SetFileAttributesW takes. Wine accepts them all
        # but keeps only hidden, system and read-only; Windows keeps all.
        inst = self.install()
        kinds = {'hidden': FILE_ATTRIBUTE_HIDDEN, 'system': FILE_ATTRIBUTE_SYSTEM,
                 'archive': FILE_ATTRIBUTE_ARCHIVE, 'temporary': FILE_ATTRIBUTE_TEMPORARY,
                 'offline': FILE_ATTRIBUTE_OFFLINE,
                 'not-indexed': FILE_ATTRIBUTE_NOT_CONTENT_INDEXED}
        kinds['all-but-read-only'] = sum(kinds.values())
        fill(inst.jre, [f'lib/{name}' for name in kinds] + ['lib/hidden-folder/inner',
                                                              'lib/security/read-only'])
        for name, bits in kinds.items():
            set_attributes_win32(bits, inst.jre / 'lib' / name)
        set_attributes_win32(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
                             inst.jre / 'lib' / 'hidden-folder')
        set_attributes_win32(sum(kinds.values()) | FILE_ATTRIBUTE_READONLY,
                             inst.jre / 'lib' / 'security' / 'read-only')
        outside = listing(inst)
        run = inst.run()
        # No attribute is ever cleared: the read-only file stays, with its folders.
        self.assertCleanedUp(inst, run, outside,
                             left=['lib', 'lib/security', 'lib/security/read-only'])


class OtherProgramsMeanwhile(HostileTestCase):

    def test_a_folder_that_cannot_be_listed_stays_with_what_it_holds(self):
        if not folders_can_be_unreadable():
            self.skipTest('root cannot give up its right to read every folder here')
        inst = self.install()
        fill(inst.jre, ['release', 'lib/modules', 'lib/locked/inner', 'lib/locked/sub/deeper'])
        # Write and search but no read: only the listing fails. Were it listed,
        # everything in it could be deleted.
        os.chmod(inst.jre / 'lib' / 'locked', 0o300)
        outside = listing(inst)
        run = inst.run(unreadable_folders=True)
        self.assertCleanedUp(inst, run, outside, left=['lib', 'lib/locked', 'lib/locked/inner',
                                                       'lib/locked/sub', 'lib/locked/sub/deeper'])

    def test_a_folder_held_open_by_another_program(self):
        inst = self.install()
        fill(inst.jre, ['release', 'lib/held/inner', 'lib/held/sub/deeper', 'lib/modules'])
        outside = listing(inst)
        # Held without delete sharing: what it holds goes, the folder stays.
        run = inst.run(holds=[inst.jre / 'lib' / 'held'])
        self.assertCleanedUp(inst, run, outside, left=['lib', 'lib/held'])

    def test_files_renamed_and_deleted_by_another_program_meanwhile(self):
        inst = self.install()
        many = inst.jre / 'lib' / 'many'
        fill(many, [f'f{index:04d}' for index in range(5000)])
        fill(inst.jre, ['release', 'lib/modules'])
        outside = listing(inst)
        # The meddler starts on the files when the log arrives one folder up,
        # just before the cleanup, and works from the other end of the folder.
        report = inst.root / 'meddler-report.txt'
        with open(report, 'wb') as out:
            racer = meddler('race', windows_path(inst.parent_log), windows_path(many), 5000,
                            stdout=out)
            run = inst.run()
            self.assertEqual(racer.wait(120), 0)
        did = dict(line.split('=') for line in report.read_text().split())
        self.assertEqual(did['failed'], '0', did)
        self.assertGreater(int(did['renamed']) + int(did['deleted']), 0, did)
        # A file renamed behind the enumeration may stay; nothing else does.
        left = snapshot(inst.jre)
        moved = [name for name in left if name.startswith('lib/many/f') and name.endswith('.moved')]
        self.assertCleanedUp(inst, run, outside, left=(['lib', 'lib/many'] + moved) if moved else [],
                             ignore={'meddler-report.txt'})


class KilledAndRepeated(HostileTestCase):

    def test_a_killed_launcher_with_a_script_that_never_ends_leaves_the_folder_as_it_was(self):
        inst = self.install()
        inst.add_marker('hang.exe')
        inst.add_script('@echo running> script-running.txt\r\n'
                        '@hang.exe standin:hang-until=release-script.txt\r\n', marker=False)
        runtime = snapshot(inst.jre)
        outside = listing(inst)
        # Let go of the script however the test ends, so that nothing of it
        # runs on into the next test in this lane's Wine server.
        self.addCleanup((inst.folder / 'release-script.txt').write_bytes, b'')
        run = inst.run(kill_when=inst.folder / 'script-running.txt')
        self.assertTrue(run.killed)
        # Nothing of the other ending began: the log and "jre" are as the
        # installer left them.
        self.assertEqual(snapshot(inst.jre), runtime)
        self.assertEqual(inst.log.read_bytes(), b'stand-in installer log\r\n')
        self.assertFalse(inst.parent_log.exists())
        self.assertEqual(listing(inst, ignore={'install/script-running.txt'}), outside)
        # The script outlives the launcher, as on Windows, until it is let go.
        # It may be killed before the interpreter has started the script's
        # program, so that program is waited for.
        deadline = time.monotonic() + 30
        while 'hang.exe' not in running_processes() and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertIn('hang.exe', running_processes())
        (inst.folder / 'release-script.txt').write_bytes(b'')
        deadline = time.monotonic() + 60
        while LAUNCHER_NAMES & set(running_processes()) and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertEqual(LAUNCHER_NAMES & set(running_processes()), set())
        self.assertEqual(len(inst.standin_runs()), 2)

    def test_fifty_runs_in_one_folder_leave_nothing_behind(self):
        inst = self.install()
        template = inst.root / 'runtime-template'
        shutil.copytree(inst.jre, template)
        fill(template, ['release', 'lib/modules', 'lib/security/cacerts', 'legal/LICENSE'])
        outside = listing(inst, ignore={'runtime-template'})
        for number in range(1, 51):
            shutil.rmtree(inst.jre)
            shutil.copytree(template, inst.jre)
            inst.parent_log.unlink(missing_ok=True)
            run = inst.run()
            with self.subTest(run=number):
                self.assertEqual(len(inst.standin_runs()), number)
                self.assertCleanedUp(inst, run, outside, ignore={'runtime-template'})
        self.assertEqual(LAUNCHER_NAMES & set(running_processes()), set())


if __name__ == '__main__':
    unittest.main()

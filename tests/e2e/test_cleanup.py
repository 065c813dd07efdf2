"""The runtime folder's cleanup under Wine: everything inside "jre" goes,
"jre" stays, and nothing is lost that lies outside it or cannot be deleted.

Links are Unix symbolic links, which Wine reports with the reparse bit when
they point at a folder. They point only at canary folders of the test's own:
under Wine, RemoveDirectoryW on a folder link removes an empty target, and
DeleteFileW on a link to a file deletes the target."""
import os
import shutil
import unittest

from harness import InstallationTestCase, fill, set_dos_attributes, snapshot


def outside_the_runtime(inst):
    return {k: v for k, v in snapshot(inst.folder).items() if k != 'jre' and not k.startswith('jre/')}


RUNTIME = ['release', 'bin/java.dll', 'lib/modules', 'lib/security/cacerts',
           'lib/security/policy/limited/local.policy', 'legal/java.base/LICENSE']


class Cleanup(InstallationTestCase):

    def test_everything_inside_goes_and_the_folder_stays(self):
        inst = self.install()
        fill(inst.jre, RUNTIME + ['.hidden-by-name', '...config', 'a...b', 'lib/.x/y'])
        set_dos_attributes(inst.jre / 'lib' / 'modules', hidden=True, system=True)
        set_dos_attributes(inst.jre / 'legal', hidden=True)
        outside = outside_the_runtime(inst)
        run = inst.run()
        self.assertEqual(run.exit, 0)
        self.assertTrue(inst.jre.is_dir())
        self.assertEqual(snapshot(inst.jre), {})
        # The log was written and moved up; nothing else outside "jre" changed.
        self.assertEqual(outside_the_runtime(inst), outside)

    def test_a_read_only_file_stays_with_its_folders(self):
        inst = self.install()
        fill(inst.jre, RUNTIME)
        set_dos_attributes(inst.jre / 'lib' / 'security' / 'cacerts', read_only=True)
        run = inst.run()
        self.assertEqual(run.exit, 0)
        self.assertEqual(sorted(snapshot(inst.jre)),
                         ['lib', 'lib/security', 'lib/security/cacerts'])

    def test_a_file_held_open_stays_with_its_folders(self):
        inst = self.install()
        fill(inst.jre, RUNTIME)
        run = inst.run(holds=[inst.jre / 'lib' / 'modules'])
        self.assertEqual(run.exit, 0)
        self.assertEqual(sorted(snapshot(inst.jre)), ['lib', 'lib/modules'])

    def test_no_runtime_folder_at_cleanup_time(self):
        inst = self.install()
        run = inst.run('standin:replace-jre=missing')
        self.assertEqual(run.exit, 0)
        self.assertFalse(os.path.lexists(inst.jre))
        self.assertTrue((inst.folder / 'jre-moved-away' / 'lib' / 'rt.jar').exists())

    def test_a_file_named_jre_is_untouched(self):
        inst = self.install()
        run = inst.run('standin:replace-jre=file')
        self.assertEqual(run.exit, 0)
        self.assertEqual(inst.jre.read_bytes(), b'a file named jre\r\n')
        self.assertTrue((inst.folder / 'jre-moved-away' / 'lib' / 'rt.jar').exists())

    def test_names_that_a_path_cannot_reach_stay_and_nothing_else_is_hit(self):
        # Win32 drops trailing dots and blanks from the last name of a path:
        # "jre\\..." names "jre" itself, "jre\\.. " the installation folder and
        # "jre\\trailing." a "trailing" that is not there. Such entries cannot
        # be deleted and stay, with their folders; what their paths name
        # instead is never emptied, since it holds them. Inside a path the name
        # is taken as written, so the folder ".. " is still emptied.
        inst = self.install()
        fill(inst.jre, RUNTIME + ['...', '.. /inner', 'lib/.. /inner', 'trailing.'])
        outside = outside_the_runtime(inst)
        run = inst.run()
        self.assertEqual(run.exit, 0)
        self.assertEqual(sorted(snapshot(inst.jre)), ['.. ', '...', 'lib', 'lib/.. ', 'trailing.'])
        self.assertEqual(outside_the_runtime(inst), outside)

    def test_a_folder_link_inside_is_never_walked_through(self):
        inst = self.install()
        canaries = inst.root / 'canaries'
        fill(canaries, ['canary.txt', 'nested/canary.txt', 'nested/deeper/canary.txt'])
        before = snapshot(canaries)
        fill(inst.jre, RUNTIME)
        os.symlink(canaries, inst.jre / 'lib' / 'linked')
        run = inst.run()
        self.assertEqual(run.exit, 0)
        self.assertEqual(snapshot(canaries), before)
        # Windows would remove the link itself; Wine's RemoveDirectoryW fails on
        # a link whose target holds anything, so the link and its folders stay.
        self.assertFalse((inst.jre / 'bin').exists())
        self.assertFalse((inst.jre / 'release').exists())

    def test_a_runtime_folder_that_is_a_link_is_left_alone(self):
        inst = self.install()
        real = inst.root / 'canary-runtime'
        shutil.move(inst.jre, real)
        fill(real, RUNTIME)
        os.symlink(real, inst.jre)
        before = snapshot(real)
        run = inst.run()
        self.assertEqual(run.exit, 0)
        self.assertEqual(len(inst.standin_runs()), 1)
        self.assertEqual(snapshot(real), before)
        self.assertTrue(os.path.islink(inst.jre))

    def test_paths_beyond_the_buffer_stay_and_the_rest_goes(self):
        inst = self.install()
        # "jre" and 200 folders "d" below it; a file "f" in each. Folders whose
        # path has up to 255 units are listed ("jre" and 126 below it), and the
        # files in them are deleted.
        deep = inst.jre
        for level in range(1, 201):
            deep = deep / 'd'
            fill(deep, ['f'])
        # An entry whose path has 260 units, beside one of 259.
        fill(inst.jre / 'long', ['x' * 251, 'y' * 250])
        run = inst.run()
        self.assertEqual(run.exit, 0)
        left = snapshot(inst.jre)
        depths = sorted(k.count('/') for k, v in left.items() if k.startswith('d/') and v)
        # The first file left is "jre\d\...\f" in the 127th folder: 259 units.
        self.assertEqual(depths, list(range(127, 201)))
        self.assertNotIn('long/' + 'y' * 250, left)
        self.assertIn('long/' + 'x' * 251, left)
        self.assertFalse((inst.jre / 'bin').exists())


if __name__ == '__main__':
    unittest.main()

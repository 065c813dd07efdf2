"""Two clean builds of setup.exe, setup-check.exe and setup-preflight.exe, in
different folders at different times, give the same bytes; SOURCE_DATE_EPOCH
sets the one date they carry, and without it the commit's date does, in a
clone of another user's too. A build branded with its own icon and description carries
exactly those, reproducibly, and signs."""
import importlib.util
import os
import pwd
import shutil
import struct
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

import pefile

SOURCE = Path(os.environ['SETUP_SOURCE'])
TOOLCHAIN = os.environ['SETUP_TOOLCHAIN']
WORK = Path(os.environ['RELEASE_WORK'])


def build(folder, source_date_epoch=None, source=SOURCE, targets=('setup', 'setup_check'),
          options=(), check=True, **environment):
    """The programs' bytes, and what the configure step said on its error
    stream; with check=False, the configure's status instead of the bytes."""
    env = {k: v for k, v in os.environ.items() if k != 'SOURCE_DATE_EPOCH'}
    env.update(environment)
    if source_date_epoch is not None:
        env['SOURCE_DATE_EPOCH'] = str(source_date_epoch)
    configured = subprocess.run(['cmake', '-S', source, '-B', folder,
                                 '-DCMAKE_BUILD_TYPE=MinSizeRel',
                                 f'-DCMAKE_TOOLCHAIN_FILE={TOOLCHAIN}', *options],
                                env=env, check=check, capture_output=True, text=True)
    if not check:
        return configured.returncode, configured.stderr
    if targets:
        subprocess.run(['cmake', '--build', folder, '--target', *targets],
                       env=env, check=True, capture_output=True)
    names = {'setup': 'setup.exe', 'setup_check': 'setup-check.exe',
             'setup_preflight': 'setup-preflight.exe'}
    return tuple((Path(folder) / names[t]).read_bytes() for t in targets), configured.stderr


def version_string(image, key):
    pe = pefile.PE(data=image)
    for info in pe.FileInfo[0]:
        for table in getattr(info, 'StringTable', []):
            if key.encode() in table.entries:
                return table.entries[key.encode()].decode()
    return None


def copyright_of(image):
    return version_string(image, 'LegalCopyright')


def an_icon(sizes):
    """An .ico file of one plain 32-bit bitmap per size, and its images."""
    images = []
    for size in sizes:
        header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        mask = bytes(((size + 31) // 32) * 4 * size)
        images.append(header + bytes([0x20, 0x80, size, 0xFF]) * size * size + mask)
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b''.join(images), images


def icon_images(image):
    """The images of the program's icon group, in the group's order."""
    pe = pefile.PE(data=image)
    found = {}
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in entry.directory.entries:
            data = name.directory.entries[0].data.struct
            found[(entry.id, name.id)] = pe.get_data(data.OffsetToData, data.Size)
    [group] = [data for (kind, _), data in found.items() if kind == 14]  # RT_GROUP_ICON
    count = int.from_bytes(group[4:6], 'little')
    ids = [int.from_bytes(group[6 + 14 * i + 12:6 + 14 * i + 14], 'little') for i in range(count)]
    return [found[(3, icon_id)] for icon_id in ids]  # RT_ICON


class Reproducible(unittest.TestCase):

    def setUp(self):
        WORK.mkdir(parents=True, exist_ok=True)
        self.folder = Path(tempfile.mkdtemp(prefix='setup-reproducible-', dir=WORK))
        self.addCleanup(shutil.rmtree, self.folder, True)

    def test_two_builds_are_identical(self):
        programs = ('setup', 'setup_check', 'setup_preflight')
        first, _ = build(self.folder / 'first', targets=programs)
        time.sleep(1.5)
        second, _ = build(self.folder / 'elsewhere' / 'second', targets=programs)
        self.assertEqual(len(first), 3)
        for name, one, other in zip(('setup.exe', 'setup-check.exe', 'setup-preflight.exe'), first, second):
            self.assertEqual(len(one), len(other), name)
            self.assertTrue(one == other, f'the two builds of {name} differ')

    def test_source_date_epoch_sets_the_year(self):
        (image, _), _ = build(self.folder / 'epoch', source_date_epoch=0)  # 1970-01-01
        self.assertRegex(copyright_of(image), r'^Copyright \(C\) 1970 ')

    def test_a_branded_build_carries_its_icon_and_description(self):
        icon, images = an_icon((16, 32))
        (self.folder / 'brand.ico').write_bytes(icon)
        brand = [f'-DSETUP_ICON={self.folder / "brand.ico"}',
                 '-DSETUP_DESCRIPTION=Überweisung Setup 東京']
        (first,), _ = build(self.folder / 'brand', targets=('setup',), options=brand)
        self.assertEqual(icon_images(first), images)
        self.assertEqual(version_string(first, 'FileDescription'), 'Überweisung Setup 東京')
        (second,), _ = build(self.folder / 'elsewhere' / 'brand', targets=('setup',),
                             options=brand)
        self.assertTrue(first == second, 'two branded builds differ')
        # It signs as the default build does.
        setup = self.folder / 'brand' / 'setup.exe'
        signing = SOURCE / 'tests' / 'release' / 'test_signing.sh'
        signed = subprocess.run([str(signing), str(setup), str(self.folder)], capture_output=True,
                                text=True)
        self.assertEqual(signed.returncode, 0, signed.stdout + signed.stderr)
        # A file that is no icon, or a description that would bend the
        # resource script, stops the configure and says why.
        (self.folder / 'no.ico').write_bytes(b'GIF89a' + bytes(40))
        for option, said in ((f'-DSETUP_ICON={self.folder / "no.ico"}',
                              'is not a Windows icon file (.ico): its header is not an icon\'s'),
                             ('-DSETUP_DESCRIPTION=say "hi"', 'cannot be setup.exe\'s')):
            with self.subTest(option):
                status, stderr = build(self.folder / 'refused', targets=(), options=[option],
                                       check=False)
                self.assertNotEqual(status, 0)
                self.assertIn(said, ' '.join(stderr.split()))
                shutil.rmtree(self.folder / 'refused')

    def test_a_clone_of_another_user_gives_its_commit_date(self):
        # As a CI container's workspace: the clone belongs to another user,
        # and root builds it. git refuses such a clone unless told otherwise.
        if os.geteuid() != 0:
            self.skipTest('only root can build a clone that another user owns')
        clone = self.folder / 'owned'
        shutil.copytree(SOURCE, clone, ignore=shutil.ignore_patterns('.git', 'build', 'node_modules'))
        # Without history, the build says where its year comes from.
        _, warned = build(self.folder / 'no-history', source=clone, targets=(),
                          GIT_CEILING_DIRECTORIES=str(self.folder))
        self.assertIn('No commit date', warned)
        # A commit of these sources, dated in a year that is neither the
        # fallback's nor this one.
        dated = dict(os.environ, GIT_AUTHOR_DATE='2024-03-01T12:00:00Z',
                     GIT_COMMITTER_DATE='2024-03-01T12:00:00Z', GIT_AUTHOR_NAME='t',
                     GIT_AUTHOR_EMAIL='t@example.invalid', GIT_COMMITTER_NAME='t',
                     GIT_COMMITTER_EMAIL='t@example.invalid')
        for command in (['init', '--quiet'], ['add', '--all'], ['commit', '--quiet', '-m', 'x']):
            subprocess.run(['git'] + command, cwd=clone, env=dated, check=True)
        owner = pwd.getpwnam('nobody')
        for folder, _, files in os.walk(clone):
            for name in [folder] + [os.path.join(folder, f) for f in files]:
                os.lchown(name, owner.pw_uid, owner.pw_gid)
        refused = subprocess.run(['git', 'log', '-1'], cwd=clone, capture_output=True, text=True)
        self.assertIn('dubious ownership', refused.stderr)  # the case is set up
        (image,), warned = build(self.folder / 'owned-build', source=clone, targets=('setup',))
        self.assertNotIn('No commit date', warned)
        self.assertRegex(copyright_of(image), r'^Copyright \(C\) 2024 ')
        # The release archive's time comes from the same commit.
        found = importlib.util.spec_from_file_location('owned_release', clone / 'scripts' / 'release.py')
        release = importlib.util.module_from_spec(found)
        found.loader.exec_module(release)
        environment = os.environ.pop('SOURCE_DATE_EPOCH', None)
        try:
            self.assertEqual(release.source_date_epoch(), 1709294400)  # 2024-03-01 12:00
        finally:
            if environment is not None:
                os.environ['SOURCE_DATE_EPOCH'] = environment


if __name__ == '__main__':
    unittest.main()

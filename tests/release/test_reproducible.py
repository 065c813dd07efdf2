"""Two clean builds of setup.exe and setup-check.exe, in different folders at
different times, give the same bytes; SOURCE_DATE_EPOCH sets the one date
they carry, and without it the commit's date does, in a clone of another
user's too."""
import importlib.util
import os
import pwd
import shutil
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
          **environment):
    """The programs' bytes, and what the configure step warned of."""
    env = {k: v for k, v in os.environ.items() if k != 'SOURCE_DATE_EPOCH'}
    env.update(environment)
    if source_date_epoch is not None:
        env['SOURCE_DATE_EPOCH'] = str(source_date_epoch)
    configured = subprocess.run(['cmake', '-S', source, '-B', folder,
                                 '-DCMAKE_BUILD_TYPE=MinSizeRel',
                                 f'-DCMAKE_TOOLCHAIN_FILE={TOOLCHAIN}'],
                                env=env, check=True, capture_output=True, text=True)
    if targets:
        subprocess.run(['cmake', '--build', folder, '--target', *targets],
                       env=env, check=True, capture_output=True)
    names = {'setup': 'setup.exe', 'setup_check': 'setup-check.exe'}
    return tuple((Path(folder) / names[t]).read_bytes() for t in targets), configured.stderr


def copyright_of(image):
    pe = pefile.PE(data=image)
    for info in pe.FileInfo[0]:
        for table in getattr(info, 'StringTable', []):
            if b'LegalCopyright' in table.entries:
                return table.entries[b'LegalCopyright'].decode()
    return None


class Reproducible(unittest.TestCase):

    def setUp(self):
        WORK.mkdir(parents=True, exist_ok=True)
        self.folder = Path(tempfile.mkdtemp(prefix='setup-reproducible-', dir=WORK))
        self.addCleanup(shutil.rmtree, self.folder, True)

    def test_two_builds_are_identical(self):
        first, _ = build(self.folder / 'first')
        time.sleep(1.5)
        second, _ = build(self.folder / 'elsewhere' / 'second')
        for name, one, other in zip(('setup.exe', 'setup-check.exe'), first, second):
            self.assertEqual(len(one), len(other), name)
            self.assertTrue(one == other, f'the two builds of {name} differ')

    def test_source_date_epoch_sets_the_year(self):
        (image, _), _ = build(self.folder / 'epoch', source_date_epoch=0)  # 1970-01-01
        self.assertRegex(copyright_of(image), r'^Copyright \(C\) 1970 ')

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
        spec = importlib.util.spec_from_file_location('owned_release', clone / 'scripts' / 'release.py')
        release = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(release)
        environment = os.environ.pop('SOURCE_DATE_EPOCH', None)
        try:
            self.assertEqual(release.source_date_epoch(), 1709294400)  # 2024-03-01 12:00
        finally:
            if environment is not None:
                os.environ['SOURCE_DATE_EPOCH'] = environment


if __name__ == '__main__':
    unittest.main()

"""Two clean builds of setup.exe and setup-check.exe, in different folders at
different times, give the same bytes; SOURCE_DATE_EPOCH sets the one date
they carry."""
import os
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


def build(folder, source_date_epoch=None):
    env = {k: v for k, v in os.environ.items() if k != 'SOURCE_DATE_EPOCH'}
    if source_date_epoch is not None:
        env['SOURCE_DATE_EPOCH'] = str(source_date_epoch)
    subprocess.run(['cmake', '-S', SOURCE, '-B', folder, '-DCMAKE_BUILD_TYPE=MinSizeRel',
                    f'-DCMAKE_TOOLCHAIN_FILE={TOOLCHAIN}'],
                   env=env, check=True, capture_output=True)
    subprocess.run(['cmake', '--build', folder, '--target', 'setup', 'setup_check'],
                   env=env, check=True, capture_output=True)
    return tuple((Path(folder) / name).read_bytes() for name in ('setup.exe', 'setup-check.exe'))


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
        first = build(self.folder / 'first')
        time.sleep(1.5)
        second = build(self.folder / 'elsewhere' / 'second')
        for name, one, other in zip(('setup.exe', 'setup-check.exe'), first, second):
            self.assertEqual(len(one), len(other), name)
            self.assertTrue(one == other, f'the two builds of {name} differ')

    def test_source_date_epoch_sets_the_year(self):
        image, _ = build(self.folder / 'epoch', source_date_epoch=0)  # 1970-01-01
        self.assertRegex(copyright_of(image), r'^Copyright \(C\) 1970 ')


if __name__ == '__main__':
    unittest.main()

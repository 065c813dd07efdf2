"""scripts/release.sh: the archive's members, its checksums, that two runs
give the same bytes, and that a signing certificate gives signed programs."""
import os
import shutil
import subprocess
import tempfile
import unittest
import zipfile
from pathlib import Path

SOURCE = Path(os.environ['SETUP_SOURCE'])
VERSION = os.environ['SETUP_VERSION']
WORK = Path(os.environ['RELEASE_WORK'])
MEMBERS = ['setup.exe', 'setup-check.exe', 'README.md', 'CHANGELOG.md', 'LICENSE',
           'THIRD-PARTY-NOTICES.txt', 'docs/diagnostic-boxes.png']
ARCHIVE = f'setup-{VERSION}-win64.zip'


def release(folder, *arguments, **environment):
    env = dict(os.environ, SETUP_RELEASE_DIR=str(folder), **environment)
    subprocess.run([str(SOURCE / 'scripts' / 'release.sh'), *arguments], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    return folder / ARCHIVE


def sums_check(folder):
    """sha256sum's verdict on every file of SHA256SUMS that lies in folder."""
    return subprocess.run(['sha256sum', '-c', '--ignore-missing', '--strict', 'SHA256SUMS'],
                          cwd=folder, capture_output=True).returncode


class Archive(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        WORK.mkdir(parents=True, exist_ok=True)
        cls.folder = Path(tempfile.mkdtemp(prefix='setup-release-', dir=WORK))
        cls.first = release(cls.folder / 'first')

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def test_members_in_order_with_one_time_and_mode(self):
        with zipfile.ZipFile(self.first) as archive:
            infos = archive.infolist()
            self.assertEqual([info.filename for info in infos], MEMBERS)
            self.assertEqual(len({info.date_time for info in infos}), 1)
            self.assertEqual({info.external_attr >> 16 for info in infos}, {0o100644})
            self.assertIsNone(archive.testzip())
            for name in MEMBERS[2:]:
                self.assertEqual(archive.read(name), (SOURCE / name).read_bytes(), name)
            for name in MEMBERS[:2]:
                built = self.folder / 'first' / 'build' / name
                self.assertEqual(archive.read(name), built.read_bytes(), name)

    def test_the_checksums_name_the_zip_and_each_program_in_it(self):
        lines = (self.first.parent / 'SHA256SUMS').read_text().splitlines()
        self.assertEqual([line.split('  ', 1)[1] for line in lines],
                         [ARCHIVE, 'setup.exe', 'setup-check.exe'])
        # Unpacked beside SHA256SUMS, the programs check too, and the README's
        # picture lies where the README points.
        unpacked = self.folder / 'unpacked'
        unpacked.mkdir()
        shutil.copy(self.first.parent / 'SHA256SUMS', unpacked)
        with zipfile.ZipFile(self.first) as archive:
            archive.extractall(unpacked)
        done = subprocess.run(['sha256sum', '-c', '--ignore-missing', 'SHA256SUMS'], cwd=unpacked,
                              capture_output=True, text=True)
        self.assertEqual(done.stdout.split(), ['setup.exe:', 'OK', 'setup-check.exe:', 'OK'])
        self.assertIn('](docs/diagnostic-boxes.png)', (unpacked / 'README.md').read_text())
        self.assertTrue((unpacked / 'docs' / 'diagnostic-boxes.png').is_file())

    def test_the_checksums_check_and_catch_a_changed_byte(self):
        self.assertEqual(sums_check(self.first.parent), 0)
        copy = self.folder / 'tampered'
        copy.mkdir()
        shutil.copy(self.first.parent / 'SHA256SUMS', copy)
        data = bytearray(self.first.read_bytes())
        data[len(data) // 2] ^= 1
        (copy / ARCHIVE).write_bytes(data)
        self.assertNotEqual(sums_check(copy), 0)

    def test_a_second_run_gives_the_same_bytes(self):
        second = release(self.folder / 'second')
        self.assertTrue(self.first.read_bytes() == second.read_bytes(),
                        'two releases of one commit differ')
        self.assertEqual((self.folder / 'first' / 'SHA256SUMS').read_text(),
                         (self.folder / 'second' / 'SHA256SUMS').read_text())

    def test_with_a_certificate_the_archive_holds_both_programs_signed(self):
        folder = self.folder / 'signed'
        folder.mkdir()
        key, certificate, bundle = folder / 'key.pem', folder / 'cert.pem', folder / 'signer.pfx'
        subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '1',
                        '-subj', '/CN=Throw-away release signer',
                        '-addext', 'extendedKeyUsage=codeSigning',
                        '-keyout', key, '-out', certificate], check=True, capture_output=True)
        subprocess.run(['openssl', 'pkcs12', '-export', '-inkey', key, '-in', certificate,
                        '-out', bundle, '-passout', 'pass:throwaway'], check=True)
        archive = release(folder, str(bundle), SETUP_SIGN_PASSWORD='throwaway')
        verify = ['osslsigncode', 'verify', '-CAfile', str(certificate), '-in']
        for name in MEMBERS[:2]:
            with zipfile.ZipFile(archive) as opened:
                (folder / name).write_bytes(opened.read(name))
            signed = subprocess.run(verify + [str(folder / name)], capture_output=True, text=True)
            self.assertIn('Signature verification: ok', signed.stdout, name)
        # The unsigned archive's setup.exe does not verify: the check can fail.
        with zipfile.ZipFile(self.first) as opened:
            (folder / 'unsigned.exe').write_bytes(opened.read('setup.exe'))
        self.assertNotEqual(subprocess.run(verify + [str(folder / 'unsigned.exe')],
                                           capture_output=True).returncode, 0)
        self.assertEqual(sums_check(folder), 0)


if __name__ == '__main__':
    unittest.main()

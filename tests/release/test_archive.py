"""scripts/release.sh: the archive's members, its checksums, that two runs
give the same bytes, and that a signing certificate gives signed programs;
and that every relative link of the README and docs/ resolves, in the
repository and in the archive."""
import os
import posixpath
import re
import shutil
import subprocess
import tempfile
import unittest
import zipfile
from pathlib import Path

SOURCE = Path(os.environ['SETUP_SOURCE'])
VERSION = os.environ['SETUP_VERSION']
WORK = Path(os.environ['RELEASE_WORK'])
PROGRAMS = ['setup.exe', 'setup-check.exe', 'setup-preflight.exe']
DOCUMENTS = (['README.md', 'CHANGELOG.md', 'LICENSE', 'THIRD-PARTY-NOTICES.txt']
             + sorted(f'docs/{path.name}' for path in (SOURCE / 'docs').iterdir()))
MEMBERS = PROGRAMS + ['programs.sha256'] + DOCUMENTS
ARCHIVE = f'setup-{VERSION}-win64.zip'
# A Markdown link or image: [text](target) or ![text](target).
LINK = re.compile(r'\]\(([^)\s]+)\)')


def relative_links(page, text):
    """The files that a Markdown page's relative links and images point at,
    as paths from the top of the tree, each with the section it names (or
    None) and the link as written."""
    for target in LINK.findall(text):
        if re.match(r'[a-z]+:', target):
            continue
        file, _, section = target.partition('#')
        path = posixpath.normpath(posixpath.join(posixpath.dirname(page), file)) if file else page
        yield path, section or None, target


def sections(text):
    """The anchors of a Markdown page's headings, as GitHub makes them: lower
    case, punctuation dropped, blanks as hyphens."""
    return {re.sub(r'[^\w\- ]', '', heading.strip().lower()).replace(' ', '-')
            for heading in re.findall(r'^#+ (.*)$', text, re.M)}


def release(folder, *arguments, **environment):
    env = dict(os.environ, SETUP_RELEASE_DIR=str(folder), **environment)
    subprocess.run([str(SOURCE / 'scripts' / 'release.sh'), *arguments], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    return folder / ARCHIVE


def sums_check(folder, sums='SHA256SUMS'):
    """sha256sum's verdict on a checksum file, as a user types it in folder."""
    return subprocess.run(['sha256sum', '-c', '--strict', sums], cwd=folder,
                          capture_output=True).returncode


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
            for name in DOCUMENTS:
                self.assertEqual(archive.read(name), (SOURCE / name).read_bytes(), name)
            for name in PROGRAMS:
                built = self.folder / 'first' / 'build' / name
                self.assertEqual(archive.read(name), built.read_bytes(), name)

    def test_the_checksums_check_the_usual_way(self):
        # SHA256SUMS beside the zip names the zip alone, so that the usual
        # command in the download folder checks what lies there.
        lines = (self.first.parent / 'SHA256SUMS').read_text().splitlines()
        self.assertEqual([line.split('  ', 1)[1] for line in lines], [ARCHIVE])
        download = self.folder / 'download'
        download.mkdir()
        shutil.copy(self.first.parent / 'SHA256SUMS', download)
        shutil.copy(self.first, download)
        self.assertEqual(sums_check(download), 0)
        # The programs' own lines come in the zip, and check once it is
        # unpacked, beside the download's SHA256SUMS.
        with zipfile.ZipFile(self.first) as archive:
            archive.extractall(download)
        done = subprocess.run(['sha256sum', '-c', '--strict', 'programs.sha256'], cwd=download,
                              capture_output=True, text=True)
        self.assertEqual(done.stdout.split(), [word for name in PROGRAMS for word in (name + ':', 'OK')])
        self.assertEqual(sums_check(download), 0)

    def test_every_link_of_the_pages_is_a_member(self):
        with zipfile.ZipFile(self.first) as archive:
            names = set(archive.namelist())
            pages = [name for name in names if name.endswith('.md')]
            self.assertIn('README.md', pages)
            for page in pages:
                for path, _, target in relative_links(page, archive.read(page).decode()):
                    self.assertIn(path, names, f'{page} links to {target}')

    def test_the_checksums_catch_a_changed_byte(self):
        copy = self.folder / 'tampered'
        copy.mkdir()
        shutil.copy(self.first.parent / 'SHA256SUMS', copy)
        data = bytearray(self.first.read_bytes())
        data[len(data) // 2] ^= 1
        (copy / ARCHIVE).write_bytes(data)
        self.assertNotEqual(sums_check(copy), 0)
        with zipfile.ZipFile(self.first) as archive:
            archive.extractall(copy, ['setup.exe', 'programs.sha256'])
        for name in PROGRAMS[1:]:
            shutil.copy(self.folder / 'first' / 'build' / name, copy)
        program = bytearray((copy / 'setup.exe').read_bytes())
        program[len(program) // 2] ^= 1
        (copy / 'setup.exe').write_bytes(program)
        self.assertNotEqual(sums_check(copy, 'programs.sha256'), 0)

    def test_a_second_run_gives_the_same_bytes(self):
        second = release(self.folder / 'second')
        self.assertTrue(self.first.read_bytes() == second.read_bytes(),
                        'two releases of one commit differ')
        self.assertEqual((self.folder / 'first' / 'SHA256SUMS').read_text(),
                         (self.folder / 'second' / 'SHA256SUMS').read_text())

    def test_with_a_certificate_the_archive_holds_every_program_signed(self):
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
        for name in PROGRAMS:
            with zipfile.ZipFile(archive) as opened:
                (folder / name).write_bytes(opened.read(name))
            signed = subprocess.run(verify + [str(folder / name)], capture_output=True, text=True)
            self.assertIn('Signature verification: ok', signed.stdout, name)
        # The unsigned archive's setup.exe does not verify: the check can fail.
        with zipfile.ZipFile(self.first) as opened:
            (folder / 'unsigned.exe').write_bytes(opened.read('setup.exe'))
        self.assertNotEqual(subprocess.run(verify + [str(folder / 'unsigned.exe')],
                                           capture_output=True).returncode, 0)
        # The checksums name the signed programs.
        self.assertEqual(sums_check(folder), 0)
        with zipfile.ZipFile(archive) as opened:
            (folder / 'programs.sha256').write_bytes(opened.read('programs.sha256'))
        self.assertEqual(sums_check(folder, 'programs.sha256'), 0)


class Links(unittest.TestCase):
    """Every relative link and image of the README and docs/ points at a file
    of the repository, and at a heading of it where it names a section, so
    that a moved or renamed page or section breaks no link."""

    def test_every_relative_link_resolves(self):
        pages = ['README.md'] + sorted(f'docs/{p.name}' for p in (SOURCE / 'docs').glob('*.md'))
        found = 0
        for page in pages:
            for path, section, target in relative_links(page, (SOURCE / page).read_text()):
                found += 1
                self.assertTrue((SOURCE / path).is_file(), f'{page} links to {target}')
                if section is not None:
                    self.assertIn(section, sections((SOURCE / path).read_text()),
                                  f'{page} links to {target}')
        self.assertGreater(found, 0)


if __name__ == '__main__':
    unittest.main()

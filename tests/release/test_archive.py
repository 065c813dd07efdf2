"""scripts/release.sh: the archive's members, its checksums, its software
bill of materials (valid, and agreeing with the link maps and the notices),
that two runs give the same bytes, and that a signing certificate gives
signed programs; and that every relative link of the README and docs/
resolves, in the repository and in the archive."""
import hashlib
import json
import os
import posixpath
import re
import shutil
import subprocess
import tempfile
import unittest
import sys
import zipfile
from pathlib import Path

SOURCE = Path(os.environ['SETUP_SOURCE'])
VERSION = os.environ['SETUP_VERSION']
WORK = Path(os.environ['RELEASE_WORK'])
PROGRAMS = ['setup.exe', 'setup-check.exe', 'setup-preflight.exe']
DOCUMENTS = (['README.md', 'CHANGELOG.md', 'LICENSE', 'THIRD-PARTY-NOTICES.txt']
             + sorted(f'docs/{path.name}' for path in (SOURCE / 'docs').iterdir()))
BILL = f'setup-{VERSION}.cdx.json'
MEMBERS = PROGRAMS + [BILL, 'programs.sha256'] + DOCUMENTS
sys.path.insert(0, str(SOURCE / 'scripts'))
import link_maps  # noqa: E402
from markdown import sections  # noqa: E402
# The project's own archives and objects.
OWN = {'objects.a', 'liblauncher_logic.a', 'libpreflight_readers.a'}
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
        self.assertEqual(done.stdout.split(),
                         [word for name in PROGRAMS + [BILL] for word in (name + ':', 'OK')])
        self.assertEqual(sums_check(download), 0)

    @staticmethod
    def bill(archive):
        with zipfile.ZipFile(archive) as opened:
            return json.loads(opened.read(BILL))

    def test_the_bill_of_materials_is_valid_and_agrees_with_the_maps_and_the_notices(self):
        bill_path = self.folder / 'first' / 'build' / BILL
        validator = [shutil.which('node'), str(SOURCE / 'tools' / 'sbom-validate' / 'validate.mjs')]
        done = subprocess.run(validator + [str(bill_path)], capture_output=True, text=True)
        self.assertEqual((done.returncode, done.stdout.split(': ', 1)[1]), (0, 'valid CycloneDX 1.6\n'))
        # The validator refuses what the schema does: the check can fail.
        broken = json.loads(bill_path.read_text())
        broken['components'][0]['hashes'][0]['alg'] = 'SHA-257'
        (self.folder / 'broken.cdx.json').write_text(json.dumps(broken))
        self.assertEqual(subprocess.run(validator + [str(self.folder / 'broken.cdx.json')],
                                        capture_output=True).returncode, 1)

        bill = self.bill(self.first)
        with zipfile.ZipFile(self.first) as archive:
            hashes = {name: hashlib.sha256(archive.read(name)).hexdigest() for name in PROGRAMS}
        programs = {c['name']: c['hashes'][0]['content'] for c in bill['components']
                    if c['type'] == 'application'}
        self.assertEqual(programs, hashes)
        parts = {c['bom-ref']: c for c in bill['components'] if c['type'] == 'library'}
        contains = {d['ref']: d['dependsOn'] for d in bill['dependencies']}
        # Each program contains the parts whose files its map pulls in, and
        # every file it pulls in belongs to a part.
        build = self.folder / 'first' / 'build'
        maps = {'setup.exe': build / 'setup.map', 'setup-check.exe': build / 'check' / 'setup-check.map',
                'setup-preflight.exe': build / 'preflight' / 'setup-preflight.map'}
        for program, link_map in maps.items():
            pulled = {Path(p).name for p in link_maps.pulled_in(link_map.read_text())} - OWN
            if program == 'setup-preflight.exe':
                pulled.add('rapidxml.hpp')
            files = {ref: {o['location'] for o in part['evidence']['occurrences']}
                     for ref, part in parts.items()}
            self.assertEqual(set(contains[program]), {ref for ref in parts if files[ref] & pulled}, program)
            self.assertLessEqual(pulled, set().union(*files.values()), program)
            self.assertTrue(all(parts[ref]['purl'].startswith('pkg:deb/debian/') for ref in contains[program]))
        self.assertIn('libz.a', {o['location'] for o in parts['libz-mingw-w64-dev:zlib']['evidence']['occurrences']})
        self.assertNotIn('libz-mingw-w64-dev:zlib', contains['setup.exe'])
        # The notices and the bill name the same parts, the same files and licences.
        notices = link_maps.notice_parts((SOURCE / 'THIRD-PARTY-NOTICES.txt').read_text())
        by_title = {}
        for part in parts.values():
            entry = by_title.setdefault(part['name'], [set(), set()])
            entry[0] |= {o['location'] for o in part['evidence']['occurrences']}
            entry[1] |= {licence['expression'] for licence in part.get('licenses', [])}
        self.assertEqual(by_title, {n['title']: [set(n['files']), {n['spdx']}] for n in notices})

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
        self.assertEqual((self.folder / 'first' / 'build' / BILL).read_bytes(),
                         (self.folder / 'second' / 'build' / BILL).read_bytes())

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
            for name in ('programs.sha256', BILL):
                (folder / name).write_bytes(opened.read(name))
        self.assertEqual(sums_check(folder, 'programs.sha256'), 0)
        # The bill of materials gives the signed programs' hashes.
        bill = self.bill(archive)
        for component in bill['components'][:len(PROGRAMS)]:
            self.assertEqual(component['hashes'][0]['content'],
                             hashlib.sha256((folder / component['name']).read_bytes()).hexdigest())


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

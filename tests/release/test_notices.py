"""THIRD-PARTY-NOTICES.txt names every component that the static link puts
into setup.exe, setup-check.exe and setup-preflight.exe: each object file and
archive that the linkers' maps say they pulled in is the project's own or is
named under a "Linked from" line, and each header of another project that the
build compiles in is named under a "Compiled in from" line."""
import json
import os
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(os.environ['SETUP_SOURCE']) / 'scripts'))
import link_maps  # noqa: E402
import sbom  # noqa: E402

LINK_MAPS = [Path(path) for path in os.environ['SETUP_LINK_MAPS'].split(os.pathsep)]
NOTICES = Path(os.environ['SETUP_SOURCE']) / 'THIRD-PARTY-NOTICES.txt'
# The launcher's own code, under its own licence.
OWN = {'objects.a', 'liblauncher_logic.a', 'libpreflight_readers.a'}
# setup-preflight's build copies the headers it compiles in from elsewhere here.
COMPILED_IN = Path(os.environ['SETUP_BUILD']) / 'third_party'


def pulled_in(link_map):
    return {Path(path).name for path in link_maps.pulled_in(link_map)}


def named_in(notices):
    return {name for part in link_maps.notice_parts(notices) for name in part['files']}


class Notices(unittest.TestCase):

    def test_every_component_the_link_pulls_in_is_named(self):
        for link_map in LINK_MAPS:
            pulled = pulled_in(link_map.read_text())
            # The map must be read right: the start-up code is always there.
            self.assertTrue({'crt2.o', 'crt2u.o'} & pulled, link_map)
            self.assertIn('libkernel32.a', pulled)
            if link_map.name == 'setup.map':
                self.assertIn('liblauncher_logic.a', pulled)
            unnamed = pulled - OWN - named_in(NOTICES.read_text())
            self.assertEqual(unnamed, set(), f'the link of {link_map.name} pulled in components '
                             'that THIRD-PARTY-NOTICES.txt does not name')

    def test_every_header_compiled_in_is_named(self):
        headers = {path.name for path in COMPILED_IN.rglob('*') if path.is_file()}
        self.assertIn('rapidxml.hpp', headers)
        self.assertEqual(headers - named_in(NOTICES.read_text()), set())

    def test_a_file_the_notices_do_not_name_is_a_part_of_its_own_in_the_bill(self):
        # libws2_32.a is in the same Debian package as the mingw-w64 runtime,
        # but no part of the notices names it: the bill names it by its
        # package and gives it no licence, so that the archive's test fails.
        lib = Path('/usr/x86_64-w64-mingw32/lib')
        with tempfile.TemporaryDirectory() as folder:
            link_map, program = Path(folder) / 'x.map', Path(folder) / 'x.exe'
            link_map.write_text(f'{lib}/libws2_32.a(dwpcs00012.o)\n'
                                f'                   main.o (WSAStartup)\nLOAD {lib}/crt2.o\n')
            program.write_bytes(b'MZ')
            bill = json.loads(sbom.document('0.0.0', 0, [('x.exe', program, link_map, [])], NOTICES))
        parts = {c['evidence']['occurrences'][0]['location']: c for c in bill['components']
                 if c['type'] == 'library'}
        self.assertEqual(parts['libws2_32.a']['name'], 'mingw-w64-x86-64-dev')
        self.assertNotIn('licenses', parts['libws2_32.a'])
        self.assertEqual(parts['crt2.o']['name'], 'mingw-w64 runtime')
        self.assertEqual(parts['crt2.o']['licenses'], [{'expression': 'ZPL-2.1 AND LicenseRef-public-domain'}])
        self.assertEqual(bill['metadata']['timestamp'], '1970-01-01T00:00:00Z')

    def test_the_reading_of_a_map_sees_members_and_objects(self):
        sample = ('Archive member included to satisfy reference by file (symbol)\n\n'
                  '/usr/lib/x/libwinpthread.a(lib_a-thread.o)\n'
                  '                              main.o (pthread_create)\n'
                  'LOAD /usr/lib/x/crt2.o\n'
                  'LOAD /usr/lib/x/libuser32.a\n')
        # An archive that was only searched is not pulled in.
        self.assertEqual(pulled_in(sample), {'libwinpthread.a', 'crt2.o'})


if __name__ == '__main__':
    unittest.main()

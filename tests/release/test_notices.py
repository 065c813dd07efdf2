"""THIRD-PARTY-NOTICES.txt names every component that the static link puts
into setup.exe, setup-check.exe and setup-preflight.exe: each object file and
archive that the linkers' maps say they pulled in is the project's own or is
named under a "Linked from" line, and each header of another project that the
build compiles in is named under a "Compiled in from" line."""
import os
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(os.environ['SETUP_SOURCE']) / 'scripts'))
import link_maps  # noqa: E402

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

"""THIRD-PARTY-NOTICES.txt names every component that the static link puts
into setup.exe, setup-check.exe and setup-preflight.exe: each object file and
archive that the linkers' maps say they pulled in is the project's own or is
named under a "Linked from" line, and each header of another project that the
build compiles in is named under a "Compiled in from" line."""
import os
import re
import unittest
from pathlib import Path

LINK_MAPS = [Path(path) for path in os.environ['SETUP_LINK_MAPS'].split(os.pathsep)]
NOTICES = Path(os.environ['SETUP_SOURCE']) / 'THIRD-PARTY-NOTICES.txt'
# The launcher's own code, under its own licence.
OWN = {'objects.a', 'liblauncher_logic.a', 'libpreflight_readers.a'}
# setup-preflight's build copies the headers it compiles in from elsewhere here.
COMPILED_IN = Path(os.environ['SETUP_BUILD']) / 'third_party'


def pulled_in(link_map):
    """The names of the object files the link loaded and of the archives it
    took members from, as GNU ld's map lists them."""
    names = set()
    for line in link_map.splitlines():
        # "LOAD <file>" names every input, archives only searched included.
        loaded = re.match(r'LOAD (\S+\.o(bj)?)$', line)
        if loaded:
            names.add(Path(loaded.group(1)).name)
        # The first section lists each archive member taken, as "archive(member)".
        member = re.match(r'(\S+\.a)\([^)]+\)$', line)
        if member:
            names.add(Path(member.group(1)).name)
    return names


def named_in(notices):
    names = set()
    for line in notices.splitlines():
        if line.startswith('Linked from:'):
            names |= {name.strip() for name in line.split(':', 1)[1].split(',')}
    return names


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
        named = set()
        for line in NOTICES.read_text().splitlines():
            if line.startswith('Compiled in from:'):
                named |= {name.strip() for name in line.split(':', 1)[1].split(',')}
        self.assertEqual(headers - named, set())

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

"""THIRD-PARTY-NOTICES.txt names every component that the static link puts
into setup.exe: each object file and archive that the linker's map says it
pulled in is the launcher's own or is named under a "Linked from" line."""
import os
import re
import unittest
from pathlib import Path

LINK_MAP = Path(os.environ['SETUP_LINK_MAP'])
NOTICES = Path(os.environ['SETUP_SOURCE']) / 'THIRD-PARTY-NOTICES.txt'
# The launcher's own code, under its own licence.
OWN = {'objects.a', 'liblauncher_logic.a'}


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
        pulled = pulled_in(LINK_MAP.read_text())
        # The map must be read right: the start-up code is always there.
        self.assertIn('crt2.o', pulled)
        self.assertIn('liblauncher_logic.a', pulled)
        unnamed = pulled - OWN - named_in(NOTICES.read_text())
        self.assertEqual(unnamed, set(), 'the link pulled in components that '
                         'THIRD-PARTY-NOTICES.txt does not name')

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

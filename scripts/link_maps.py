"""What a GNU ld link map says the link pulled in, and what
THIRD-PARTY-NOTICES.txt says of each part: read by the release's SBOM
(scripts/sbom.py) and by the notices' own test alike."""
import re


def pulled_in(link_map):
    """The paths of the object files the link loaded and of the archives it
    took members from, as GNU ld's map lists them."""
    paths = set()
    for line in link_map.splitlines():
        # "LOAD <file>" names every input, archives only searched included.
        loaded = re.match(r'LOAD (\S+\.o(bj)?)$', line)
        if loaded:
            paths.add(loaded.group(1))
        # The first section lists each archive member taken, as "archive(member)".
        member = re.match(r'(\S+\.a)\([^)]+\)$', line)
        if member:
            paths.add(member.group(1))
    return paths


def notice_parts(notices):
    """The parts that the notices name, in their order: each a dict of its
    title, the files it is "Linked from" or "Compiled in from", and its
    licence as an SPDX expression."""
    parts = []
    lines = notices.splitlines()
    for index, line in enumerate(lines):
        title = re.match(r'\d+\. (.+)$', line)
        if title and index > 0 and lines[index - 1].startswith('====='):
            parts.append({'title': title.group(1), 'files': [], 'spdx': None})
        elif parts and line.startswith(('Linked from:', 'Compiled in from:')):
            parts[-1]['files'] += [name.strip() for name in line.split(':', 1)[1].split(',')]
        elif parts and line.startswith('Licence (SPDX):'):
            parts[-1]['spdx'] = line.split(':', 1)[1].strip()
    return parts

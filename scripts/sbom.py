"""The release's software bill of materials: a CycloneDX 1.6 JSON document
that lists the programs of the zip with their SHA-256, each third-party part
that the link maps say the links pulled in (and each header compiled in),
with the Debian package it comes from, its version, its package URL and its
licence, and which program contains which part. The parts and their
licences are those of THIRD-PARTY-NOTICES.txt; a file that the maps pull in
and no part names becomes a part of its own, named by its package, with no
licence, so that the mismatch shows (tests/release/test_archive.py).

The same programs, maps and packages give the same bytes: the serial number
and the time derive from the version and SOURCE_DATE_EPOCH."""
import hashlib
import json
import subprocess
import time
import uuid
from pathlib import Path
from urllib.parse import quote

import link_maps

ROOT = Path(__file__).resolve().parent.parent
# The project's own archives and objects, under its own licence.
OWN = {'objects.a', 'liblauncher_logic.a', 'libpreflight_readers.a'}


def debian_package(path):
    """The installed Debian package that holds the file: name, version,
    architecture; None for a file that no package holds."""
    done = subprocess.run(['dpkg-query', '-S', str(Path(path).resolve())],
                          capture_output=True, text=True)
    if done.returncode != 0:
        return None
    name = done.stdout.split(':', 1)[0].strip()
    fields = subprocess.run(['dpkg-query', '-W', '-f', '${Version} ${Architecture}', name],
                            capture_output=True, text=True, check=True).stdout.split()
    return name, fields[0], fields[1]


def distribution():
    values = dict(line.split('=', 1) for line in
                  Path('/etc/os-release').read_text().splitlines() if '=' in line)
    return f'{values["ID"].strip(chr(34))}-{values.get("VERSION_ID", "").strip(chr(34))}'


def package_url(package, distro):
    name, version, architecture = package
    return (f'pkg:deb/debian/{name}@{quote(version, safe="")}'
            f'?arch={architecture}&distro={distro}')


def document(version, epoch, programs, notices):
    """programs: (name, path, link map, [compiled-in headers]) in the zip's order."""
    parts = link_maps.notice_parts(Path(notices).read_text())
    part_of = {name: part for part in parts for name in part['files']}
    distro = distribution()
    licence = [{'license': {'id': 'MIT'}}]
    components, libraries, dependencies = [], {}, []
    for name, path, link_map, headers in programs:
        contains = []
        files = sorted(link_maps.pulled_in(Path(link_map).read_text()) | set(map(str, headers)))
        for file in files:
            file_name = Path(file).name
            if file_name in OWN:
                continue
            package = debian_package(file) or (file_name, 'unknown', 'unknown')
            part = part_of.get(file_name, {'title': package[0], 'spdx': None})
            reference = f'{package[0]}:{part["title"]}'
            if reference not in libraries:
                library = {'type': 'library', 'bom-ref': reference, 'name': part['title'],
                           'version': package[1]}
                if part['spdx']:
                    library['licenses'] = [{'expression': part['spdx']}]
                if package[1] != 'unknown':
                    library['purl'] = package_url(package, distro)
                library['evidence'] = {'occurrences': []}
                libraries[reference] = library
            occurrences = libraries[reference]['evidence']['occurrences']
            if {'location': file_name} not in occurrences:
                occurrences.append({'location': file_name})
            if reference not in contains:
                contains.append(reference)
        components.append({
            'type': 'application', 'bom-ref': name, 'name': name, 'version': version,
            'hashes': [{'alg': 'SHA-256',
                        'content': hashlib.sha256(Path(path).read_bytes()).hexdigest()}],
            'licenses': licence})
        dependencies.append({'ref': name, 'dependsOn': sorted(contains)})
    for library in libraries.values():
        library['evidence']['occurrences'].sort(key=lambda o: o['location'])
    components += [libraries[reference] for reference in sorted(libraries)]
    dependencies += [{'ref': reference, 'dependsOn': []} for reference in sorted(libraries)]
    release = f'setup-{version}'
    bom = {
        'bomFormat': 'CycloneDX',
        'specVersion': '1.6',
        'serialNumber': f'urn:uuid:{uuid.uuid5(uuid.NAMESPACE_URL, f"{release}@{epoch}")}',
        'version': 1,
        'metadata': {
            'timestamp': time.strftime('%Y-%m-%dT%H:%M:%SZ', time.gmtime(epoch)),
            'component': {'type': 'application', 'bom-ref': release, 'name': 'Quellbrook Setup',
                          'version': version, 'licenses': licence},
        },
        'components': components,
        'dependencies': [{'ref': release, 'dependsOn': [name for name, *_ in programs]}]
                        + dependencies,
    }
    return json.dumps(bom, indent=2, ensure_ascii=False) + '\n'

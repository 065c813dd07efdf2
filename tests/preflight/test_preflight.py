"""setup-preflight against installation folders with one fault each, and one
clean folder. PREFLIGHT_EXE names the program; with PREFLIGHT_WINE set it is
the Windows build, run under Wine on the clean folder and one failing folder,
where it must print the same lines as the host build."""
import os
import re
import shutil
import sys
import subprocess
import unittest
from pathlib import Path

import fixtures
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / 'release'))
from markdown import sections  # noqa: E402
from fixtures import JAVA_HOME_RUNTIME, OWN_RUNTIME, REGISTRY_LISTENER, registry_resource, shortcut_resource

PROGRAM = os.environ['PREFLIGHT_EXE']
WINE = bool(os.environ.get('PREFLIGHT_WINE'))
WORK = Path(os.environ['PREFLIGHT_WORK'])
SEE = ' (see docs/release-engineers.md#what-each-finding-checks)'
UNINSTALL_SEE = ' (see docs/izpack.md#1-the-uninstall-entry-points-into-the-folder-the-launcher-empties)'

# The clean folder's lines, and those of the folder whose uninstall entry a
# language variant points into jre: the same from both builds.
CLEAN = '''PASS launcher: setup.exe is a 64-bit Windows GUI program
NOTE launcher: setup.exe is version 1.6.0
PASS runtime: jre\\bin\\javaw.exe is a Windows program for x86-64
NOTE runtime: jre\\release: JAVA_VERSION 17.0.9, OS_ARCH amd64
PASS installer class: installer.jar holds com/izforge/izpack/installer/bootstrap/Installer.class
PASS izpack version: installer.jar's META-INF/MANIFEST.MF says Created-By: 5.2.6-b4b4 (IzPack)
PASS java version: the installer asks for Java 11 or later and the runtime's JAVA_VERSION is 17.0.9
PASS uninstall entry: a pack UninstallStuff of its own in every RegistrySpec.xml (2 of them), naming no JAVA_HOME
PASS shortcuts: no shortcut resource names JAVA_HOME (1 of them)
PASS elevated restart: <run-privileged> only where the condition izpack.windowsinstall.10 holds
PASS reboot: rebootaction notice
NOTE path length: the longest path under the folder is jre\\bin\\javaw.exe, 17 UTF-16 units; the cleanup reaches every file from an installation folder of at most 241 units
0 FAIL, 0 WARN, 9 PASS, 3 NOTE: nothing keeps it from shipping
'''
UNINSTALL_JAVA_HOME = CLEAN.replace(
    'PASS uninstall entry: a pack UninstallStuff of its own in every RegistrySpec.xml (2 of them), naming no JAVA_HOME\n',
    'FAIL uninstall entry: resources/RegistrySpec.xml_fra\'s UninstallString is "$JAVA_HOME\\bin\\javaw.exe" '
    '-jar "$INSTALL_PATH\\Uninstaller\\uninstaller.jar", and JAVA_HOME is the installer\'s jre, which the '
    'launcher empties: name a runtime that the product installs, or give JAVA_HOME a value of the '
    'install definition\'s own' + UNINSTALL_SEE + '\n').replace(
    '0 FAIL, 0 WARN, 9 PASS, 3 NOTE: nothing keeps it from shipping',
    '1 FAIL, 0 WARN, 8 PASS, 3 NOTE: not ready to ship')

# What a clean installer jar holds: a listener that writes the uninstall key,
# with packs of its own (one per language too), a shortcut, a restart limited
# by a condition, and a reboot that is only noticed.
CLEAN_JAR = dict(
    info__javaVersion='11', info__requirePrivilegedExecution='true',
    info__privilegedExecutionConditionID='izpack.windowsinstall.10', info__rebootAction='1',
    listener__1=REGISTRY_LISTENER, uninstaller='yes', var__APP_HOME='$INSTALL_PATH',
    resource__RegistrySpec__xml=registry_resource(OWN_RUNTIME),
    resource__RegistrySpec__xml_fra=registry_resource(OWN_RUNTIME),
    resource__shortcutSpec__xml=shortcut_resource('$INSTALL_PATH\\runtime\\bin\\javaw.exe'))


def changed(**settings):
    return dict(CLEAN_JAR, **settings)


def make_folders():
    """Every folder, the clean one first; name -> path."""
    maker = fixtures.Maker(WORK)
    folders = {}

    def folder(name, jar=CLEAN_JAR, **kwargs):
        folders[name] = maker.folder(name, **kwargs)
        if jar is not None:
            maker.jar(folders[name] / 'installer.jar', **jar)
        return folders[name]

    folder('clean')
    folder('uninstall-java-home', changed(resource__RegistrySpec__xml_fra=registry_resource(JAVA_HOME_RUNTIME)))
    if WINE:
        maker.write_jars()
        return folders
    maker.linux_runtime(folder('linux-runtime', javaw=False))
    folder('no-javaw', javaw=False)
    shutil.rmtree(folder('no-jre-bin', javaw=False) / 'jre' / 'bin')
    folder('linux-release', release='JAVA_VERSION="17.0.9"\nOS_NAME="Linux"\nOS_ARCH="x86_64"\n')
    # A macOS runtime: a Mach-O jre/bin/java (64-bit magic), no javaw.exe.
    (folder('macos-runtime', javaw=False) / 'jre' / 'bin' / 'java').write_bytes(
        bytes.fromhex('cffaedfe') + bytes(60))
    (folder('no-release') / 'jre' / 'release').unlink()
    folder('broken-registry-variant', changed(resource__RegistrySpec__xml_deu='<registry><pack name="x">'))
    (folder('x86-javaw') / 'jre' / 'bin' / 'javaw.exe').write_bytes(fixtures.pe_program(machine=0x14C))
    (folder('console-launcher') / 'setup.exe').write_bytes(fixtures.pe_program(subsystem=3))
    (folder('no-launcher', launcher=False))
    (folder('jar-in-subfolder', jar=None) / 'lib').mkdir()
    maker.jar(folders['jar-in-subfolder'] / 'lib' / 'installer.jar', **CLEAN_JAR)
    maker.jar(folders['jar-in-subfolder'] / 'lib' / 'SETUP.JAR', **CLEAN_JAR)
    maker.jar(folder('two-installers') / 'installer-copy.JAR', **CLEAN_JAR)
    bad = folder('bad-jars')
    (bad / 'broken.jar').write_bytes(b'PK\3\4 not really a zip archive')
    maker.jar(bad / 'traversal.jar', bootstrap=None, hostile='traversal')
    folder('izpack-5.0', changed(createdBy='5.0.10 (IzPack)'))
    maker.jar(folder('no-created-by-old', jar=None) / 'installer.jar', old_bootstrap=True,
              **changed(createdBy=None))
    folder('no-created-by-new', changed(createdBy=None))
    folder('java-too-old', changed(info__javaVersion='21', info__jdkRequired='true'))
    folder('automatic-uninstall-key', changed(resource__RegistrySpec__xml=None,
                                              resource__RegistrySpec__xml_fra=None))
    folder('uninstall-own-java-home', changed(
        var__JAVA_HOME='$INSTALL_PATH\\runtime',
        resource__RegistrySpec__xml=registry_resource(JAVA_HOME_RUNTIME),
        resource__Win_shortcutSpec__xml=shortcut_resource('${JAVA_HOME}\\bin\\javaw.exe')))
    folder('no-uninstaller', changed(info__null='uninstallerPath', resource__RegistrySpec__xml=None,
                                     resource__RegistrySpec__xml_fra=None))
    folder('shortcut-java-home', changed(
        resource__Win_shortcutSpec__xml=shortcut_resource('${JAVA_HOME}\\bin\\javaw.exe')))
    folder('restarts', changed(info__privilegedExecutionConditionID=None, info__rebootAction='3'))
    leftovers = folder('leftovers')
    (leftovers / 'installer.qb.bat').write_text('@echo off\r\n')
    (leftovers / 'quellbrook-install.log').write_text('an earlier run\n')
    deep = folder('long-paths') / 'jre' / 'legal'
    for _ in range(9):
        deep = deep / 'nineteen-characters'
    deep.mkdir(parents=True)
    (deep / 'NOTICE.txt').write_text('x')
    truncated = folder('truncated-jar')
    folder('bomb', changed(hostile='bomb'))
    folder('deep-stream', changed(hostile='deep'))
    folder('self-reference', changed(hostile='selfref', resource__RegistrySpec__xml=None,
                                     resource__RegistrySpec__xml_fra=None))
    folder('zip64', changed(hostile='zip64'))
    maker.write_jars()
    whole = (truncated / 'installer.jar').read_bytes()
    (truncated / 'installer.jar').write_bytes(whole[:len(whole) // 2])
    return folders


def run(arguments):
    """The program's status, standard output and standard error."""
    command = [PROGRAM] + arguments
    env = dict(os.environ)
    if WINE:
        command = ['wine'] + command
        env.update(WINEDEBUG='-all', WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d')
    out, err = WORK / 'stdout.txt', WORK / 'stderr.txt'
    # Files, not pipes: a Wine server would hold a pipe open.
    with open(out, 'wb') as o, open(err, 'wb') as e:
        status = subprocess.run(command, stdout=o, stderr=e, env=env, timeout=300).returncode
    return status, out.read_text(encoding='utf-8'), err.read_text(encoding='utf-8', errors='replace')


def snapshot(folder):
    """Every entry below the folder with its size, mode and time of change."""
    return sorted((str(p.relative_to(folder)), p.stat().st_size, p.stat().st_mode,
                   p.stat().st_mtime_ns) for p in Path(folder).rglob('*'))


def windows_path(path):
    return 'Z:' + str(path).replace('/', '\\') if WINE else str(path)


FOLDERS = {}


def setUpModule():
    FOLDERS.update(make_folders())


class Folders(unittest.TestCase):
    def check(self, name):
        """The status and the lines after the first, which names the folder,
        which the run must leave as it was."""
        before = snapshot(FOLDERS[name])
        status, out, err = run([windows_path(FOLDERS[name])])
        self.assertEqual(snapshot(FOLDERS[name]), before, f'{name} changed')
        first, _, rest = out.partition('\n')
        self.assertRegex(first, r'^setup-preflight \d+\.\d+\.\d+: ')
        self.assertEqual(err, '')
        return status, rest

    def assertLines(self, name, status, *expected):
        """Each expected text starts a line of the folder's output."""
        got, lines = self.check(name)
        self.assertEqual(got, status, lines)
        for text in expected:
            self.assertTrue(any(line.startswith(text) for line in lines.splitlines()),
                            f'{name}: no line starts with {text!r} in\n{lines}')
        return lines


class SameLines(Folders):
    def test_the_same_lines_from_every_build(self):
        self.assertEqual(self.check('clean'), (0, CLEAN))
        self.assertEqual(self.check('uninstall-java-home'), (1, UNINSTALL_JAVA_HOME))


@unittest.skipIf(WINE, 'the host build alone goes through every folder')
class EveryFinding(Folders):
    def test_runtime(self):
        self.assertLines('linux-runtime', 1, 'FAIL runtime: no jre\\bin\\javaw.exe (jre\\bin\\java is a Linux program',
                         'NOTE runtime: jre\\release: JAVA_VERSION 17.0.')
        self.assertLines('no-javaw', 1, 'FAIL runtime: no jre\\bin\\javaw.exe; the launcher ends with CreateProcess failed (2)')
        self.assertLines('no-jre-bin', 1, 'FAIL runtime: no jre\\bin\\javaw.exe; the launcher ends with CreateProcess failed (3)')
        self.assertLines('linux-release', 1, 'FAIL runtime: jre\\release names a Linux x86_64 runtime')
        self.assertLines('x86-javaw', 0, 'WARN runtime: jre\\bin\\javaw.exe is a Windows program for x86,')
        self.assertLines('console-launcher', 1, 'FAIL launcher: setup.exe is a x86-64 console program')
        self.assertLines('no-launcher', 1, 'FAIL launcher: no setup.exe in the folder')
        self.assertLines('macos-runtime', 1, 'FAIL runtime: no jre\\bin\\javaw.exe (jre\\bin\\java is a macOS program')
        # Without jre\release the runtime's version is unknown, and the
        # installer's wish is noted, not judged.
        self.assertLines('no-release', 0, 'NOTE runtime: no jre\\release: the runtime\'s version is not known',
                         'NOTE java version: the installer asks for Java 11 or later; the runtime\'s version is not known')

    def test_installer_jars(self):
        self.assertLines('jar-in-subfolder', 1,
                         'FAIL installer class: no jar file in the folder itself holds com/izforge/izpack/'
                         'installer/bootstrap/Installer.class; jar files in subfolders, which the class '
                         'path * does not take: lib\\SETUP.JAR, lib\\installer.jar:',
                         'NOTE uninstall entry: not checked: no jar in the folder holds')
        self.assertLines('two-installers', 0,
                         'WARN installer class: 2 jar files hold IzPack\'s bootstrap class: '
                         'installer-copy.JAR, installer.jar;')
        lines = self.assertLines('bad-jars', 0, 'WARN jar files: broken.jar is not a readable zip archive',
                                 'WARN jar files: traversal.jar holds an entry named ../outside.txt,')
        self.assertTrue(lines.endswith('0 FAIL, 2 WARN, 9 PASS, 3 NOTE: nothing keeps it from shipping\n'))

    def test_izpack_version(self):
        self.assertLines('izpack-5.0', 1, 'FAIL izpack version: installer.jar\'s META-INF/MANIFEST.MF says '
                         'Created-By: 5.0.10 (IzPack), older than 5.1.0')
        self.assertLines('no-created-by-old', 1, 'FAIL izpack version: installer.jar\'s manifest names no IzPack '
                         'version, and its bootstrap class knows no -logfile')
        self.assertLines('no-created-by-new', 0, 'PASS izpack version: installer.jar\'s manifest names no IzPack '
                         'version, and its bootstrap class knows -logfile')

    def test_java_version(self):
        self.assertLines('java-too-old', 1,
                         'WARN java version: the installer wants a JDK (<jdkrequired>)',
                         'FAIL java version: the installer asks for Java 21 or later and the runtime\'s '
                         'JAVA_VERSION is 17.0.9, so IzPack refuses to install')

    def test_uninstall_entry_and_shortcuts(self):
        self.assertLines('automatic-uninstall-key', 1, 'FAIL uninstall entry: RegistryInstallerListener with '
                         'an uninstaller and no resources/RegistrySpec.xml')
        self.assertLines('uninstall-own-java-home', 0,
                         'PASS uninstall entry: a pack UninstallStuff of its own, and JAVA_HOME is the '
                         'install definition\'s own: $INSTALL_PATH\\runtime',
                         'PASS shortcuts: JAVA_HOME is the install definition\'s own')
        self.assertLines('no-uninstaller', 0, 'PASS uninstall entry: no uninstaller is written')
        # A language variant that is no XML is named; the others still count.
        self.assertLines('broken-registry-variant', 0,
                         'WARN uninstall entry: installer.jar\'s resources/RegistrySpec.xml_deu cannot be read (',
                         'PASS uninstall entry: a pack UninstallStuff of its own in every RegistrySpec.xml (2 of them)')
        self.assertLines('shortcut-java-home', 1, 'FAIL shortcuts: resources/Win_shortcutSpec.xml names '
                         '${JAVA_HOME}\\bin\\javaw.exe,', 'PASS uninstall entry:')

    def test_restarts_and_leftovers(self):
        self.assertLines('restarts', 0, 'WARN elevated restart: <run-privileged> without a condition',
                         'WARN reboot: <rebootaction>always</rebootaction>: a reboot')
        lines = self.assertLines('leftovers', 0, 'NOTE follow-up script: installer.qb.bat is in the folder',
                                 'WARN stale log: quellbrook-install.log is already in the folder')
        self.assertNotIn('follow-up script', self.check('clean')[1])
        self.assertIn('1 WARN', lines)

    def test_path_length(self):
        self.assertLines('long-paths', 0, 'WARN path length: the longest path under the folder is '
                         'jre\\legal\\' + 'nineteen-characters\\' * 9 + 'NOTICE.txt, 200 UTF-16 units; '
                         'the cleanup reaches every file from an installation folder of at most 58 units')

    def test_every_line_points_at_a_section_that_is_there(self):
        docs = Path(__file__).resolve().parents[2] / 'docs'
        pointed = set()
        for name in FOLDERS:
            pointed |= set(re.findall(r'\(see docs/([\w.-]+)#([\w-]+)\)', self.check(name)[1]))
        self.assertGreaterEqual(len(pointed), 5)
        for page, section in sorted(pointed):
            self.assertIn(section, sections((docs / page).read_text()), page)

    def test_hostile_jars(self):
        self.assertLines('truncated-jar', 1, 'WARN jar files: installer.jar is not a readable zip archive',
                         'FAIL installer class: no jar file')
        self.assertLines('bomb', 0, 'WARN java version: not checked, nor what follows: installer.jar\'s '
                         'install definition cannot be read (resources/info is larger than',
                         'NOTE reboot: not checked: the install definition cannot be read (above)')
        self.assertLines('deep-stream', 0, 'WARN java version: not checked, nor what follows: installer.jar\'s '
                         'install definition cannot be read (resources/info cannot be read: nested deeper than 64')
        # A list that holds itself reads like any other: its listener is there.
        self.assertLines('self-reference', 1, 'FAIL uninstall entry: RegistryInstallerListener with an '
                         'uninstaller and no resources/RegistrySpec.xml')
        self.assertLines('zip64', 0, 'PASS installer class: installer.jar holds')


class Usage(unittest.TestCase):
    def test_usage_and_folders_it_cannot_look_at(self):
        status, out, err = run(['--help'])
        self.assertEqual((status, err), (0, ''))
        self.assertTrue(out.startswith('usage: setup-preflight <installation folder>\n'))
        self.assertEqual(run([])[0:2], (2, ''))
        WORK.mkdir(parents=True, exist_ok=True)
        (WORK / 'a-file').write_text('x')
        for path, reason in ((WORK / 'no-such-folder', 'no such folder'), (WORK / 'a-file', 'not a folder')):
            status, out, err = run([windows_path(path)])
            self.assertEqual((status, out), (2, ''))
            self.assertEqual(err, f'setup-preflight: {reason}: {windows_path(path)}\n')


if __name__ == '__main__':
    unittest.main()

"""An outside look at the built setup.exe, with a real PE parser: what a
release engineer ships must be exactly this. The GNU linkers' builds are
checked here; the MSVC build and MSYS2's GCC build on Windows
(scripts/windows-pe-check.py), with SETUP_LINKER=msvc for the one place
where that linker honestly differs, and SETUP_C_RUNTIME=ucrt where a build
says that it links against the Universal C Runtime."""
import os
import re
import unittest
import xml.etree.ElementTree as ElementTree

import pefile

SETUP_EXE = os.environ['SETUP_EXE']
SETUP_CHECK_EXE = os.environ['SETUP_CHECK_EXE']
# A Windows developer's build may have no setup-preflight.exe: it needs zlib
# and RapidXml (preflight/CMakeLists.txt). The Debian build always has it.
SETUP_PREFLIGHT_EXE = os.environ.get('SETUP_PREFLIGHT_EXE')
VERSION = os.environ['SETUP_VERSION']

# MSVC's /Brepro writes a hash of the image where the GNU linkers write 0 for
# the link time: neither depends on the clock.
MSVC = os.environ.get('SETUP_LINKER') == 'msvc'

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
IMAGE_DEBUG_TYPE_REPRO = 16
# user32.dll may also be loaded at run time, for the diagnostic boxes only.
ALLOWED_IMPORTS = {'kernel32.dll', 'user32.dll', 'msvcrt.dll'}
# The Universal C Runtime, part of Windows from 10 on, comes through its API
# sets or as ucrtbase.dll itself: in place of msvcrt.dll, never beside it.
UCRT_IMPORT = re.compile(r'^(api-ms-win-crt-[a-z]+-l1-1-0|ucrtbase)\.dll$')
UCRT = os.environ.get('SETUP_C_RUNTIME') == 'ucrt'


def unexpected_imports(imported, allowed=frozenset(ALLOWED_IMPORTS), ucrt=UCRT):
    """The DLLs among imported that a program of this build may not import:
    the allowed ones, and, in a build on the Universal C Runtime, its DLLs in
    place of msvcrt.dll."""
    if ucrt:
        allowed = allowed - {'msvcrt.dll'}
    return {dll for dll in imported if dll not in allowed and not (ucrt and UCRT_IMPORT.match(dll))}


def assert_no_link_time(test, pe):
    """No time of the link in the file: every timestamp is 0, or, from MSVC's
    /Brepro, the image's hash that a repro debug entry declares."""
    debug = getattr(pe, 'DIRECTORY_ENTRY_DEBUG', [])
    stamps = [pe.FILE_HEADER.TimeDateStamp] + [entry.struct.TimeDateStamp for entry in debug]
    if hasattr(pe, 'DIRECTORY_ENTRY_RESOURCE'):
        stamps.append(pe.DIRECTORY_ENTRY_RESOURCE.struct.TimeDateStamp)
    allowed = {0}
    if MSVC:
        test.assertIn(IMAGE_DEBUG_TYPE_REPRO, [entry.struct.Type for entry in debug],
                      'an MSVC build without /Brepro carries its link time')
        allowed.add(pe.FILE_HEADER.TimeDateStamp)
    test.assertLessEqual(set(stamps), allowed, stamps)


def resources(pe, type_id):
    """Every resource of one type, as bytes."""
    found = []
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id != type_id:
            continue
        for name in entry.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                found.append(pe.get_data(data.OffsetToData, data.Size))
    return found


class PortableExecutable(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(SETUP_EXE)

    def test_machine_and_subsystem(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine, pefile.MACHINE_TYPE['IMAGE_FILE_MACHINE_AMD64'])
        self.assertEqual(self.pe.OPTIONAL_HEADER.Magic, 0x20B)  # PE32+
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem,
                         pefile.SUBSYSTEM_TYPE['IMAGE_SUBSYSTEM_WINDOWS_GUI'])
        self.assertEqual((self.pe.OPTIONAL_HEADER.MajorSubsystemVersion,
                          self.pe.OPTIONAL_HEADER.MinorSubsystemVersion), (6, 0))

    def test_imports_only_system_dlls(self):
        imported = {entry.dll.decode().lower() for entry in self.pe.DIRECTORY_ENTRY_IMPORT}
        self.assertEqual(unexpected_imports(imported), set())
        self.assertIn('kernel32.dll', imported)
        self.assertFalse(hasattr(self.pe, 'DIRECTORY_ENTRY_DELAY_IMPORT'))

    def test_security_flags(self):
        flags = self.pe.OPTIONAL_HEADER.DllCharacteristics
        for name in ('IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE',
                     'IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA',
                     'IMAGE_DLLCHARACTERISTICS_NX_COMPAT'):
            self.assertTrue(flags & pefile.DLL_CHARACTERISTICS[name], name)
        # Without relocations, ASLR could not move the image.
        self.assertFalse(self.pe.FILE_HEADER.Characteristics
                         & pefile.IMAGE_CHARACTERISTICS['IMAGE_FILE_RELOCS_STRIPPED'])

    def test_no_timestamps(self):
        assert_no_link_time(self, self.pe)

    def test_manifest(self):
        [manifest] = resources(self.pe, RT_MANIFEST)
        root = ElementTree.fromstring(manifest)
        v3 = '{urn:schemas-microsoft-com:asm.v3}'
        [level] = root.iter(v3 + 'requestedExecutionLevel')
        self.assertEqual(level.attrib, {'level': 'asInvoker', 'uiAccess': 'false'})
        [dpi] = root.iter('{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware')
        self.assertEqual(dpi.text.strip(), 'true')
        # Windows reads the element only in this namespace.
        [code_page] = root.iter(
            '{http://schemas.microsoft.com/SMI/2019/WindowsSettings}activeCodePage')
        self.assertEqual(code_page.text.strip(), 'UTF-8')

    def test_icon_group(self):
        [group] = resources(self.pe, RT_GROUP_ICON)
        count = int.from_bytes(group[4:6], 'little')
        self.assertGreaterEqual(count, 1)
        self.assertEqual(len(resources(self.pe, RT_ICON)), count)

    def test_version_resource(self):
        self.assertEqual(len(resources(self.pe, RT_VERSION)), 1)
        strings = {}
        for info in self.pe.FileInfo[0]:
            for table in getattr(info, 'StringTable', []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        self.assertEqual(strings['FileVersion'], VERSION)
        self.assertEqual(strings['ProductVersion'], VERSION)
        self.assertEqual(strings['OriginalFilename'], 'setup.exe')
        self.assertTrue(strings['ProductName'])
        self.assertTrue(strings['FileDescription'])
        self.assertRegex(strings['LegalCopyright'], r'^Copyright \(C\) \d{4} \S')
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        major, minor, patch = (int(part) for part in VERSION.split('.'))
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS),
                         ((major << 16) | minor, patch << 16))


class RuntimeImports(unittest.TestCase):
    """The one allowance of a build on the Universal C Runtime, without a
    program: its DLLs pass only where the build says it is one, and never
    beside msvcrt.dll."""

    def test_the_ucrt_passes_only_in_a_build_that_says_it_links_it(self):
        ucrt = {'kernel32.dll', 'api-ms-win-crt-runtime-l1-1-0.dll',
                'api-ms-win-crt-stdio-l1-1-0.dll', 'ucrtbase.dll'}
        self.assertEqual(unexpected_imports(ucrt, ucrt=True), set())
        self.assertEqual(unexpected_imports(ucrt, ucrt=False),
                         ucrt - {'kernel32.dll'})
        self.assertEqual(unexpected_imports(ucrt | {'msvcrt.dll'}, ucrt=True), {'msvcrt.dll'})
        # Only the C runtime's own API sets, and only system DLLs besides.
        self.assertEqual(unexpected_imports({'api-ms-win-core-file-l1-1-0.dll', 'libwinpthread-1.dll',
                                             'api-ms-win-crt-stdio-l1-1-0.dll'}, ucrt=True),
                         {'api-ms-win-core-file-l1-1-0.dll', 'libwinpthread-1.dll'})
        self.assertEqual(unexpected_imports({'kernel32.dll', 'msvcrt.dll'}, ucrt=False), set())


class CheckProgram(unittest.TestCase):
    """setup-check.exe and setup-preflight.exe ship beside setup.exe: 64-bit
    console programs, hardened alike, importing only system DLLs."""

    def test_console_program_of_system_dlls(self):
        pe = pefile.PE(SETUP_CHECK_EXE)
        self.assertEqual(pe.FILE_HEADER.Machine, pefile.MACHINE_TYPE['IMAGE_FILE_MACHINE_AMD64'])
        self.assertEqual(pe.OPTIONAL_HEADER.Subsystem,
                         pefile.SUBSYSTEM_TYPE['IMAGE_SUBSYSTEM_WINDOWS_CUI'])
        imported = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
        # advapi32.dll for the registry and a guard's access list: a known DLL,
        # which Windows takes from the system folder whatever lies beside the
        # program. version.dll, which is not one, it loads from there itself.
        self.assertEqual(unexpected_imports(imported, ALLOWED_IMPORTS | {'advapi32.dll'}), set())
        self.assertNotIn('version.dll', imported)
        assert_no_link_time(self, pe)
        self.assertTrue(pe.OPTIONAL_HEADER.DllCharacteristics
                        & pefile.DLL_CHARACTERISTICS['IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE'])
        [manifest] = resources(pe, RT_MANIFEST)
        # It reads the system's own code page, so it must not ask for UTF-8.
        elements = [e.tag for e in ElementTree.fromstring(manifest).iter()]
        self.assertFalse([tag for tag in elements if tag.endswith('}activeCodePage')])
        self.assertTrue([tag for tag in elements if tag.endswith('}requestedExecutionLevel')])

    @unittest.skipUnless(SETUP_PREFLIGHT_EXE, 'this build has no setup-preflight.exe')
    def test_preflight_is_a_console_program_of_system_dlls(self):
        pe = pefile.PE(SETUP_PREFLIGHT_EXE)
        self.assertEqual(pe.FILE_HEADER.Machine, pefile.MACHINE_TYPE['IMAGE_FILE_MACHINE_AMD64'])
        self.assertEqual(pe.OPTIONAL_HEADER.Subsystem,
                         pefile.SUBSYSTEM_TYPE['IMAGE_SUBSYSTEM_WINDOWS_CUI'])
        imported = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
        self.assertEqual(unexpected_imports(imported, ALLOWED_IMPORTS), set())
        assert_no_link_time(self, pe)
        self.assertTrue(pe.OPTIONAL_HEADER.DllCharacteristics
                        & pefile.DLL_CHARACTERISTICS['IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE'])


if __name__ == '__main__':
    unittest.main()

"""The preflight tests' installation folders, made afresh by each run: Windows
programs of a few hundred bytes with a version resource, a jre\\release, the
installer's jars written by the stand-in IzPack classes on a real JVM, and a
real Linux runtime made with jlink."""
import shutil
import struct
import subprocess
from pathlib import Path

HERE = Path(__file__).resolve().parent
BOOTSTRAP = 'com/izforge/izpack/installer/bootstrap/Installer.class'
REGISTRY_LISTENER = 'com.izforge.izpack.event.RegistryInstallerListener'


def pe_program(machine=0x8664, subsystem=2, version=(1, 6, 0, 0)):
    """A PE32+ file with one section, .rsrc, that holds a version resource."""
    fixed = struct.pack('<13I', 0xFEEF04BD, 0x10000,
                        version[0] << 16 | version[1], version[2] << 16 | version[3],
                        version[0] << 16 | version[1], version[2] << 16 | version[3],
                        0x3F, 0, 4, 1, 0, 0, 0)
    key = 'VS_VERSION_INFO\0'.encode('utf-16-le')
    info = struct.pack('<3H', 6 + len(key) + 2 + len(fixed), len(fixed), 0) + key + b'\0\0' + fixed
    directory = lambda entry_id, target: struct.pack('<IIHHHH', 0, 0, 0, 0, 0, 1) + \
        struct.pack('<II', entry_id, target)
    resources = (directory(16, 0x80000000 | 0x18) + directory(1, 0x80000000 | 0x30) +
                 directory(1033, 0x48) + struct.pack('<4I', 0x1000 + 0x58, len(info), 0, 0))
    resources += b'\0' * (0x58 - len(resources)) + info
    resources += b'\0' * (-len(resources) % 0x200)
    optional = bytearray(240)
    struct.pack_into('<H', optional, 0, 0x20B)
    struct.pack_into('<H', optional, 68, subsystem)
    struct.pack_into('<I', optional, 108, 16)
    struct.pack_into('<II', optional, 112 + 16, 0x1000, len(resources))
    section = struct.pack('<8sIIIIIIHHI', b'.rsrc', len(resources), 0x1000, len(resources),
                          0x200, 0, 0, 0, 0, 0x40000040)
    headers = (b'MZ' + b'\0' * 58 + struct.pack('<I', 0x40) + b'PE\0\0' +
               struct.pack('<HHIIIHH', machine, 1, 0, 0, 0, len(optional), 0x22) +
               bytes(optional) + section)
    return headers + b'\0' * (0x200 - len(headers)) + resources


class Maker:
    """Compiles the stand-ins once, then writes the jars of many folders in
    one run of the JVM."""

    def __init__(self, work):
        self.work = Path(work)
        shutil.rmtree(self.work, ignore_errors=True)
        self.classes, self.before_5_1 = self.work / 'classes', self.work / 'classes-before-5.1'
        sources = sorted(str(p) for p in (HERE / 'java').rglob('*.java'))
        subprocess.run(['javac', '-d', str(self.classes)] + sources, check=True)
        subprocess.run(['javac', '-d', str(self.before_5_1),
                        str(HERE / 'java-before-5.1' / BOOTSTRAP.replace('.class', '.java'))],
                       check=True)
        self.descriptions = []

    def folder(self, name, launcher=True, javaw=True, release=None):
        """An installation folder with setup.exe and a Windows jre, as a
        release engineer assembles one."""
        folder = self.work / name
        (folder / 'jre' / 'bin').mkdir(parents=True)
        (folder / 'jre' / 'lib').mkdir()
        if launcher:
            (folder / 'setup.exe').write_bytes(pe_program())
        if javaw:
            (folder / 'jre' / 'bin' / 'javaw.exe').write_bytes(pe_program(version=(17, 0, 9, 0)))
        (folder / 'jre' / 'release').write_text(
            release if release is not None else
            'IMPLEMENTOR="Eclipse Adoptium"\nJAVA_VERSION="17.0.9"\nOS_ARCH="amd64"\nOS_NAME="Windows"\n')
        (folder / 'jre' / 'lib' / 'modules').write_bytes(b'\0' * 64)
        return folder

    def jar(self, path, old_bootstrap=False, **settings):
        """An installer jar; settings as MakeFixtures takes them, with
        resources given as texts."""
        path = Path(path)
        lines = {'out': str(path), 'createdBy': '5.2.6-b4b4 (IzPack)',
                 'bootstrap': str((self.before_5_1 if old_bootstrap else self.classes) / BOOTSTRAP)}
        for key, value in settings.items():
            key = key.replace('__', '.')
            if key.startswith('resource.') and value is not None:
                text = self.work / 'resources' / f'{path.parent.name}-{path.name}-{key[9:]}'
                text.parent.mkdir(parents=True, exist_ok=True)
                text.write_text(value, encoding='utf-8')
                value = str(text)
            if value is None:
                lines.pop(key, None)
            else:
                lines[key] = value
        description = self.work / 'descriptions' / f'{len(self.descriptions)}.properties'
        description.parent.mkdir(parents=True, exist_ok=True)
        # Properties files read backslashes as escapes.
        description.write_text(''.join(f'{k}={str(v).replace(chr(92), chr(92) * 2)}\n'
                                       for k, v in lines.items()), encoding='utf-8')
        self.descriptions.append(str(description))

    def write_jars(self):
        subprocess.run(['java', '-cp', str(self.classes), 'MakeFixtures'] + self.descriptions,
                       check=True)
        self.descriptions = []

    def linux_runtime(self, folder):
        """jre replaced by a real Linux runtime, as jlink makes on Linux."""
        shutil.rmtree(folder / 'jre')
        subprocess.run(['jlink', '--add-modules', 'java.base', '--output', str(folder / 'jre'),
                        '--strip-debug', '--no-header-files', '--no-man-pages'], check=True)


def registry_resource(uninstall_string):
    """A RegistrySpec.xml with a pack UninstallStuff whose UninstallString is
    the text given (None: no such pack)."""
    key = r'SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\$APP_NAME $APP_VER'
    pack = '' if uninstall_string is None else f'''
  <pack name="UninstallStuff">
    <value name="DisplayName" keypath="{key}" root="HKLM" string="$APP_NAME $APP_VER"/>
    <value name="UninstallString" keypath="{key}" root="HKLM" string="{uninstall_string}"/>
  </pack>'''
    return f'''<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<izpack:registry version="5.0" xmlns:izpack="http://izpack.org/schema/registry">{pack}
  <pack name="Core">
    <key keypath="SOFTWARE\\Quellbrook" root="HKLM"/>
  </pack>
</izpack:registry>
'''


OWN_RUNTIME = '&quot;$INSTALL_PATH\\runtime\\bin\\javaw.exe&quot; -jar &quot;$INSTALL_PATH\\Uninstaller\\uninstaller.jar&quot;'
JAVA_HOME_RUNTIME = '&quot;$JAVA_HOME\\bin\\javaw.exe&quot; -jar &quot;$INSTALL_PATH\\Uninstaller\\uninstaller.jar&quot;'


def shortcut_resource(target):
    return f'''<?xml version="1.0" encoding="UTF-8"?>
<izpack:shortcuts version="5.0" xmlns:izpack="http://izpack.org/schema/shortcuts">
  <programGroup defaultName="Quellbrook" location="applications"/>
  <shortcut name="Quellbrook" programGroup="yes" desktop="yes" target="{target}"
            commandLine="-jar &quot;$INSTALL_PATH\\quellbrook.jar&quot;" workingDirectory="$INSTALL_PATH"/>
</izpack:shortcuts>
'''

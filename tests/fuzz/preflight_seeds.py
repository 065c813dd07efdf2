"""The preflight fuzzers' seeds, made by a real JVM as the preflight tests
make their jars: whole installer jars for the jar fuzzer, and the serialized
entries inside them for the object stream fuzzer.
    preflight_seeds.py WORK"""
import sys
import zipfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE / 'tests' / 'preflight'))
import fixtures  # noqa: E402

work = Path(sys.argv[1])
maker = fixtures.Maker(work / 'make')
jars = work / 'jar'
streams = work / 'object_stream'
for folder in (jars, streams):
    folder.mkdir(parents=True, exist_ok=True)
registry = fixtures.registry_resource(fixtures.JAVA_HOME_RUNTIME)
maker.jar(jars / 'installer.jar', listener__1=fixtures.REGISTRY_LISTENER, uninstaller='yes',
          info__requirePrivilegedExecution='true', var__JAVA_HOME='C:\\runtime',
          resource__RegistrySpec__xml=registry, resource__RegistrySpec__xml_deu=registry,
          resource__shortcutSpec__xml=fixtures.shortcut_resource('$JAVA_HOME\\bin\\javaw.exe'))
maker.jar(jars / 'self-reference.jar', hostile='selfref,traversal', createdBy=None)
maker.write_jars()
# A Windows program inside, for the PE reader the jar fuzzer also feeds.
with zipfile.ZipFile(jars / 'installer.jar', 'a') as jar:
    jar.writestr('bin/javaw.exe', fixtures.pe_program())
for jar in sorted(jars.glob('*.jar')):
    with zipfile.ZipFile(jar) as archive:
        for name in ('resources/info', 'resources/customData', 'resources/vars'):
            if name in archive.namelist():
                (streams / f'{jar.stem}-{name.split("/")[1]}').write_bytes(archive.read(name))

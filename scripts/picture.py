"""Photographs the diagnostic boxes of one run of setup.exe with a Cyrillic
and a CJK argument, each box as it appears, and puts them one below the other
into docs/diagnostic-boxes.png. Called by scripts/picture.sh.

Wine draws on a virtual X screen (Xvfb) with its X11 driver, in a prefix of its
own whose virtual desktop gives the boxes Windows' own frames and captions.
The boxes' font is DejaVu Sans, linked to WenQuanYi Zen Hei for CJK: Wine
rewrites the font links of Tahoma, its usual dialog font, at every start."""
import os
import shutil
import struct
import subprocess
import sys
import time
from pathlib import Path

from demo import BUILD, lay_out, windows_path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / 'build' / 'picture'
PREFIX = ROOT / 'build' / 'wine-pictures'
OUTPUT = ROOT / 'docs' / 'diagnostic-boxes.png'
DRIVER = BUILD / 'tests' / 'e2e' / 'driver.exe'
CONVERT = '/usr/bin/convert'  # ImageMagick's own, whatever else is on the PATH
ARGUMENTS = '-orva:msg --user=\u0416\u0435\u043d\u044f --city=\u6771\u4eac'
BACKGROUND = '#dde3ea'
WINE_FONTS = Path('/usr/share/wine/fonts')


def wine_env(display):
    env = dict(os.environ, WINEPREFIX=str(PREFIX), WINEDEBUG='-all', LC_ALL='C.UTF-8',
               WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d', DISPLAY=display)
    env.pop('WAYLAND_DISPLAY', None)
    return env


def message_font(face, height=-12):
    """A LOGFONTW, as Windows keeps the boxes' font in the registry."""
    return (struct.pack('<5i8B', height, 0, 0, 0, 400, 0, 0, 0, 1, 0, 0, 0, 0)
            + face.encode('utf-16-le').ljust(64, b'\0')).hex()


def make_prefix(env):
    if (PREFIX / '.pictures-ready').exists():
        return
    shutil.rmtree(PREFIX, ignore_errors=True)
    settings = [
        ('HKCU\\Software\\Wine\\Explorer', 'Desktop', 'REG_SZ', 'Default'),
        ('HKCU\\Software\\Wine\\Explorer\\Desktops', 'Default', 'REG_SZ', '1024x768'),
        ('HKCU\\Control Panel\\Desktop\\WindowMetrics', 'MessageFont', 'REG_BINARY',
         message_font('DejaVu Sans')),
        ('HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink',
         'DejaVu Sans', 'REG_MULTI_SZ', 'wqy-zenhei.ttc,WenQuanYi Zen Hei'),
    ]
    with open(WORK / 'wine-messages.txt', 'ab') as out:
        subprocess.run(['wineboot', '--init'], env=env, stdout=out, stderr=out, check=True)
        # Debian's Wine does not look in its own font folder, only in the
        # prefix's: the captions' Tahoma and the buttons' Marlett go there.
        for font in ('tahoma.ttf', 'tahomabd.ttf', 'marlett.ttf'):
            shutil.copy(WINE_FONTS / font, PREFIX / 'drive_c' / 'windows' / 'Fonts')
        for key, name, kind, data in settings:
            subprocess.run(['wine', 'reg', 'add', key, '/v', name, '/t', kind, '/d', data, '/f'],
                           env=env, stdout=out, stderr=out, check=True)
        subprocess.run(['wineserver', '-w'], env=env, check=True)
    (PREFIX / '.pictures-ready').touch()


def start_screen():
    """Xvfb on a free display; returns the process and the display's name."""
    read, write = os.pipe()
    screen = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0', '1024x768x24',
                               '-nolisten', 'tcp'], pass_fds=[write],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as number:
        return screen, ':' + number.readline().strip()


def photograph_boxes(env, install, shots):
    """Runs setup.exe through the driver and photographs each box it shows."""
    command_file = WORK / 'command-line.utf16'
    command_file.write_bytes(
        f'"C:\\Program Files\\Quellbrook\\setup.exe" {ARGUMENTS}'.encode('utf-16-le'))
    env = dict(env, STANDIN_REPORT=windows_path(WORK / 'installer-saw.txt'))
    with open(WORK / 'driver-messages.txt', 'wb') as out:
        driver = subprocess.Popen(
            ['wine', str(DRIVER), '--report', windows_path(WORK / 'driver-report.txt'),
             '--exe', windows_path(install / 'setup.exe'),
             '--cmdline-file', windows_path(command_file), '--cwd', windows_path(install),
             '--shots', windows_path(shots), '--timeout-ms', '120000'],
            env=env, stdout=out, stderr=out)
        photos = []
        while True:
            rect = shots / f'box-{len(photos)}.rect'
            while not rect.exists() and driver.poll() is None:
                time.sleep(0.05)
            if not rect.exists():
                break
            time.sleep(0.5)  # let the box finish painting
            left, top, right, bottom = (int(v) for v in rect.read_text().split())
            photo = shots / f'box-{len(photos)}.png'
            subprocess.run(['import', '-display', env['DISPLAY'], '-window', 'root', '-crop',
                            f'{right - left}x{bottom - top}+{left}+{top}', '+repage', str(photo)],
                           check=True)
            photos.append(photo)
            (shots / f'box-{len(photos) - 1}.done').touch()
        if driver.wait() != 0:
            raise SystemExit(f'the driver failed: {(WORK / "driver-messages.txt").read_text()}')
    return photos


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    shots = WORK / 'shots'
    shots.mkdir(parents=True)
    install = WORK / 'install'
    install.mkdir()
    lay_out(install)
    screen, display = start_screen()
    env = wine_env(display)
    try:
        make_prefix(env)
        photos = photograph_boxes(env, install, shots)
    finally:
        subprocess.run(['wineserver', '-k'], env=env, stderr=subprocess.DEVNULL)
        screen.terminate()
        screen.wait()
    if len(photos) != 5:
        raise SystemExit(f'expected the five boxes of a run, photographed {len(photos)}')
    OUTPUT.parent.mkdir(exist_ok=True)
    # One below the other, on a plain background, without any date in the file.
    subprocess.run([CONVERT, *map(str, photos), '-background', BACKGROUND,
                    '-gravity', 'south', '-splice', '0x16', '-gravity', 'west', '-append',
                    '+repage', '-gravity', 'south', '-chop', '0x16', '+repage',
                    '-bordercolor', BACKGROUND, '-border', '16', '-strip', str(OUTPUT)],
                   check=True)
    print(f'The boxes of "setup.exe {ARGUMENTS}": {OUTPUT}')
    return 0


if __name__ == '__main__':
    sys.exit(main())

"""What reaches the installer of the caller's characters, under English,
Russian and Japanese Windows (ANSI code pages 1252, 1251 and 932): every
character exactly, or none of them.

The installer's command line is 8-bit; CreateProcessA turns it into the
installer's UTF-16 command line with the launcher's own ANSI code page, UTF-8
where the manifest's active code page is honoured. The stand-in installer
reports that UTF-16 command line, which is what a Windows program reads."""
import unittest

from harness import LOCALES, PREFIX, SETUP_SYSTEM_CODE_PAGE_EXE, InstallationTestCase

SWITCH = '-orva:msg '
# Every case runs with the switch in front; what room is left behind it.
ROOM = 8087 - len(SWITCH)


def filled(size, character, width):
    """character repeated, then 'x' up to exactly size bytes, where the
    character takes width bytes."""
    count = size // width
    return character * count + 'x' * (size - count * width)


# Texts that pass whole on every language: the launcher runs with UTF-8.
EXACT = {
    'Latin-1 letters': 'J\u00f6rg caf\u00e9 \u00c6r\u00f8 \u00f1 \u00df \u00ff',
    'a C1 control': 'x\u0080y',
    'euro sign and curly quotes': '\u20ac5 \u201equoted\u201c \u2018single\u2019 \u201cdouble\u201d',
    'Cyrillic': '\u0416\u0435\u043d\u044f \u041f\u0443\u0448\u043a\u0438\u043d',
    'CJK': '\u65e5\u672c\u8a9e \u4e2d\u6587 \ud55c\uad6d\uc5b4',
    'an emoji': 'go \U0001f600 \U0001f680',
    'a quoted path ending in e-acute, then an argument':
        '"C:\\Users\\Ren\u00e9" -next',
    'exactly 8087 bytes in UTF-8': filled(ROOM, '\u00e9', 2),
}
# Texts that give the prefix alone on every language.
NOTHING = {
    'a lone surrogate': 'a\ud800b',
    'one byte too many in UTF-8': filled(ROOM + 1, '\u00e9', 2),
}

# The launcher without UTF-8: a character of the system's code page passes;
# one outside it, or one that Windows would write as a look-alike (a
# full-width quote as a quote, the yen sign as a backslash), gives the prefix
# alone.
SYSTEM_CODE_PAGE = {
    'English': {'in': 'caf\u00e9', 'out': ['\u0416\u0435\u043d\u044f', '"C:\\a\uff02 -x "'],
                'longest': filled(ROOM, '\u00e9', 1)},
    'Russian': {'in': '\u0416\u0435\u043d\u044f', 'out': ['caf\u00e9', 'a\uff02b'],
                'longest': filled(ROOM, '\u0416', 1)},
    'Japanese': {'in': '\u65e5\u672c', 'out': ['caf\u00e9', 'C:\u00a5x'],
                 'longest': filled(ROOM, '\u65e5', 2)},
}


def shown(text):
    """A text for the table: short ones as they are, long ones summed up."""
    if len(text) <= 40:
        # Controls and lone surrogates, which print as nothing, as escapes.
        return ''.join(f'\\u{ord(c):04x}' if ord(c) < 0x20 or 0x7F <= ord(c) <= 0x9F
                       or 0xD800 <= ord(c) <= 0xDFFF else c for c in text)
    counts = {}
    for character in text:
        counts[character] = counts.get(character, 0) + 1
    return ' + '.join(f'{count} x {character}' for character, count in counts.items())


class CodePages(InstallationTestCase):
    """Prints, after its cases, what was sent and what the installer got."""

    table = []

    @classmethod
    def tearDownClass(cls):
        print('\nlauncher | language | sent after the switch | installer got after the prefix')
        for row in cls.table:
            print(' | '.join(row))

    def assert_installer_got(self, text, expected, setup_exe=None, locale=None):
        """Runs the launcher with the switch and text, and checks that the
        installer's command line is the prefix followed by the argument text
        when expected, by nothing otherwise, and that the second box shows
        exactly that."""
        inst = self.install(*([setup_exe] if setup_exe else []))
        argument_text = SWITCH + text
        run = inst.run(argument_text, locale=locale)
        self.assertEqual(run.exit, 0)
        [installer] = inst.standin_runs()
        got = installer.command_line[len(PREFIX):]
        self.table.append(['system code page' if setup_exe else 'UTF-8', locale,
                           shown(text), shown(got[len(SWITCH):]) if got else '(nothing)'])
        command = PREFIX + (argument_text if expected else '')
        self.assertEqual(installer.command_line, command)
        self.assertEqual(run.boxes[:2], [argument_text, command])

    def test_every_character_passes_under_utf8(self):
        for language, locale in LOCALES.items():
            for case, text in EXACT.items():
                with self.subTest(language=language, case=case):
                    self.assert_installer_got(text, True, locale=locale)

    def test_nothing_passes_when_not_every_character_can(self):
        for language, locale in LOCALES.items():
            for case, text in NOTHING.items():
                with self.subTest(language=language, case=case):
                    self.assert_installer_got(text, False, locale=locale)

    def test_without_utf8_the_systems_code_page_decides(self):
        for language, cases in SYSTEM_CODE_PAGE.items():
            texts = ([(cases['in'], True), (cases['longest'], True), (cases['longest'] + 'x', False)]
                     + [(text, False) for text in cases['out']])
            for text, passes in texts:
                with self.subTest(language=language, text=text[:20], length=len(text)):
                    self.assert_installer_got(text, passes, SETUP_SYSTEM_CODE_PAGE_EXE,
                                              LOCALES[language])


if __name__ == '__main__':
    unittest.main()

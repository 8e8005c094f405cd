"""The DLLs Windows resolves for Updater.exe before its WinMain runs, when the
search still looks in the program's own folder first: each must be a known
DLL, which Windows always takes from the system folder. Every other system
DLL is loaded at its first call, once the search has been narrowed.

    test_imports.py UPDATER_EXE OBJDUMP"""

import subprocess
import sys
import unittest

# Known DLLs of Windows 10 and 11 that the updater may import directly.
KNOWN = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "gdiplus.dll", "imagehlp.dll",
         "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll",
         "shlwapi.dll", "user32.dll", "ws2_32.dll"}


class StaticImports(unittest.TestCase):
    def test_only_known_dlls_are_imported_at_start(self):
        dump = subprocess.run([OBJDUMP, "-p", UPDATER], check=True, stdout=subprocess.PIPE,
                              text=True).stdout
        imported = {line.split(":", 1)[1].strip().lower() for line in dump.splitlines()
                    if line.strip().startswith("DLL Name:")}
        self.assertIn("kernel32.dll", imported)
        self.assertEqual(set(), imported - KNOWN)


if __name__ == "__main__":
    UPDATER, OBJDUMP = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1])

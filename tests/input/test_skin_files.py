"""Bad skin input end to end: the host's settings file "SetConfig.ini" with
odd "SkinIndex" values, and skin folders whose pictures are damaged, huge,
too narrow or not PNG at all. The real dialog runs headless; its controls are
read from another process. Every damaged file must leave the dialog usable:
the command buttons and the close button keep the built-in pictures, sizes
and places."""

import os
import struct
import unittest

from inputrun import BUILD, Casebook, InputSuite
from pngfile import png_bytes, solid_png_file

SUITE = "input-skin"
SKIN_FILES = ("PopupBoxBk.png", "BoxTopBk.png", "Close_Normal.png", "BoxBtn_S.png")
# What the built-in look puts where (client pixels of the 300 x 320 dialog).
BUILT_IN = {"upgrade": (128, 292, 66, 23), "dont_upgrade": (209, 292, 66, 23),
            "close": (267, 0, 33, 21), "change_log": (10, 65, 280, 141)}
# A dialog that decodes a picture of 16000 x 16000 needs 1 GB for it; without
# any such picture it needs some 30 MB.
MEMORY_BOUND = 512 << 20


def place(control):
    return (control.x, control.y, control.width, control.height)


def bmp_bytes(width, height, bgr=(192, 128, 64)):
    """A 24-bit BMP of one colour: a picture the system decodes as readily as a PNG."""
    row = bytes(bgr) * width
    row += b"\0" * (-len(row) % 4)
    pixels = row * height
    return (b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
            + struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835,
                          0, 0) + pixels)


class SkinFiles(InputSuite):
    book = Casebook(SUITE)

    def use_skin(self, index):
        """Writes "SetConfig.ini" with `index` as the text after "SkinIndex="."""
        self.folder.write("SetConfig.ini", "[SkinSet]\r\nSkinIndex=%s\r\n" % index)

    def write_skin(self, folder_index, files):
        """Writes the files (name -> bytes, or None for a folder of that name)
        of the skin folder "Skin<folder_index>"."""
        for name, data in files.items():
            path = "qimtools/Skin/Skin%s/General/%s" % (folder_index, name)
            if data is None:
                os.makedirs(self.folder.file(path))
            else:
                self.folder.write(path, data)

    def dialog(self, what):
        self.server.add_file("UpdateContent.dll", "log\r\n")
        run = self.box.run("--mode", "1", "--url", self.base, probe=["describe"])
        self.assertDefined(run, what)
        self.assertIsNotNone(run.dialog, what)
        return run.dialog

    def assertBuiltInLook(self, d, what):
        for name, expected in BUILT_IN.items():
            control = getattr(d, name)
            self.assertTrue(control.visible, "%s: %s" % (what, name))
            self.assertEqual(expected, place(control), "%s: %s" % (what, name))
        self.assertLess(d.peak_memory, MEMORY_BOUND, what)

    def test_skin_index_values_choose_one_folder_of_the_program_folder(self):
        # Each folder's strip has frames of its own size, which the command
        # buttons take. The indices are as the system's INI reader gives them
        # (the text after a number is ignored, "0x" is hexadecimal, the value
        # wraps at 32 bits).
        frames = {"-1": (70, 24), "-2147483648": (72, 25), "2147483647": (74, 26),
                  "1215752191": (76, 27), "12": (78, 28)}
        for folder, (w, h) in frames.items():
            self.write_skin(folder, {"BoxBtn_S.png": png_bytes(4 * w, h)})
        values = [("-1", "-1"), ("-2147483648", "-2147483648"), ("2147483647", "2147483647"),
                  ("4294967295", "-1"), ("99999999999", "1215752191"), ("abc", None),
                  ("", None), ("12abc", "12"), ("0x0C", "12")]
        with self.case("SetConfig.ini with negative, huge and non-numeric SkinIndex",
                       done="SkinIndex = %s, each with a skin folder for the index it reads as"
                            % ", ".join(repr(v) for v, _ in values),
                       expected="the skin of folder Skin<n> of the program folder for the index n "
                                "read, the built-in look for 0; the buttons placed by their size",
                       inputs=len(values)) as c:
            for value, folder in values:
                self.use_skin(value)
                d = self.dialog("SkinIndex=%r" % value)
                if folder is None:
                    self.assertBuiltInLook(d, value)
                    c.note("%r: built-in" % value)
                    continue
                w, h = frames[folder]
                self.assertEqual((300 - 2 * w - 40, 320 - h - 5, w, h), place(d.upgrade), value)
                self.assertEqual((300 - w - 25, 320 - h - 5, w, h), place(d.dont_upgrade), value)
                c.note("%r: Skin%s" % (value, folder))

    def test_pictures_that_do_not_decode(self):
        good = png_bytes(264, 23)
        kinds = [("0-byte files", b""), ("truncated files", good[:len(good) // 2]),
                 ("folders named like the files", None)]
        with self.case("skin pictures that do not decode",
                       done="all four skin files as 0-byte files, as PNG files cut in half, and "
                            "as folders of the files' names",
                       expected="the dialog keeps the built-in pictures, sizes and places: every "
                                "button can still be pressed",
                       inputs=len(kinds) * len(SKIN_FILES),
                       mend="the buttons took the size of a picture that did not decode (0 x 0) "
                            "and vanished, close button included, and the background drew "
                            "nothing; a damaged skin file is now as good as a missing one") as c:
            for n, (kind, data) in enumerate(kinds, start=1):
                self.use_skin(n)
                self.write_skin(n, {name: data for name in SKIN_FILES})
                self.assertBuiltInLook(self.dialog(kind), kind)
                c.note("%s: built-in look" % kind)

    def test_a_picture_of_16000_by_16000_pixels(self):
        big = solid_png_file(os.path.join(BUILD, "tests", "input", "skin-16000.png"), 16000, 16000)
        with open(big, "rb") as f:
            data = f.read()
        with self.case("skin picture of 16000 x 16000 pixels",
                       done="all four skin files as one PNG of 16000 x 16000 pixels (%d KB of "
                            "file, 1 GB of pixels)" % (len(data) // 1024),
                       expected="not decoded: the built-in look, and the updater's memory stays "
                                "below %d MB" % (MEMORY_BOUND >> 20), inputs=len(SKIN_FILES),
                       mend="each paint decoded the picture again (about 3 GB at the peak, 15 s "
                            "to close the dialog); PNG files declaring more than 4096 x 4096 "
                            "pixels are not decoded") as c:
            self.use_skin(1)
            self.write_skin(1, {name: data for name in SKIN_FILES})
            d = self.dialog("16000 x 16000")
            self.assertBuiltInLook(d, "16000 x 16000")
            c.note("built-in look; peak working set %d MB" % (d.peak_memory >> 20))

    def test_a_strip_narrower_than_its_frame_count(self):
        with self.case("skin strip narrower than its frame count",
                       done="the four-frame button strip as PNGs of 1 x 23 and 3 x 23 pixels",
                       expected="the buttons keep the built-in strip and size",
                       inputs=2,
                       mend="the frames were 0 pixels wide and the four command buttons "
                            "vanished; such a strip now changes nothing") as c:
            for n, width in ((1, 1), (2, 3)):
                self.use_skin(n)
                self.write_skin(n, {"BoxBtn_S.png": png_bytes(width, 23)})
                self.assertBuiltInLook(self.dialog("%d x 23" % width), "%d x 23" % width)
            c.note("both widths: built-in strip, 66 x 23 buttons at their places")

    def test_a_strip_that_is_not_a_png(self):
        with self.case("skin strip that is a BMP named .png",
                       done="the four-frame button strip as a sound 24-bit BMP of 280 x 24 "
                            "pixels named BoxBtn_S.png",
                       expected="not a PNG by its signature, so treated as missing: the buttons "
                                "keep the built-in strip, size and places",
                       inputs=1,
                       mend="any picture the system could decode was used, so a BMP, GIF or "
                            "JPEG also escaped the size check of PNG headers") as c:
            self.use_skin(1)
            self.write_skin(1, {"BoxBtn_S.png": bmp_bytes(4 * 70, 24)})
            self.assertBuiltInLook(self.dialog("BMP strip"), "BMP strip")
            c.note("built-in strip, 66 x 23 buttons at their places")


if __name__ == "__main__":
    unittest.main()

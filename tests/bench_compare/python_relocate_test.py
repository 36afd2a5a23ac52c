#!/usr/bin/env python3
"""The Python pipeline is the oracle that bench/compare checks picrelink-cli's output against,
so it must relocate exactly as the run does: ASCII letters folded and nothing else, folder
texts taken literally, one trailing separator ignored, every other code unit kept.

With PICRELINK_CLI set to picrelink-cli, the same tricky CSV is also run through both
programs and the files must come out byte-identical."""

import importlib.util
import os
import subprocess
import sys
import tempfile
import unittest

# Imported from the source tree, which must not gain a __pycache__ folder.
sys.dont_write_bytecode = True
TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench", "tools")
_spec = importlib.util.spec_from_file_location(
    "python_relocate", os.path.join(TOOLS, "python_relocate.py"))
relocate = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(relocate)

OLD = "D:\\old\\item"
NEW = "F:\\new\\my item"


def csv_bytes(text):
    return b"\xff\xfe" + text.encode("utf-16-le", "surrogatepass")


class RelocateTextTest(unittest.TestCase):
    def test_cases(self):
        cases = [
            # (text, old, new, expected text, path count, URL count)
            ("src=d:\\OLD\\Item\\a.jpg", OLD, NEW, "src=F:\\new\\my item\\a.jpg", 1, 0),
            ("file:///d:/Old/ITEM/p.jpg", OLD, NEW, "file:///F:/new/my%20item/p.jpg", 0, 1),
            ("D:\\old\\item2\\b.jpg", OLD, NEW, "F:\\new\\my item2\\b.jpg", 1, 0),
            # Unicode case folding would match these; ASCII folding must not.
            ("D:\\old\\\u212aey\\a.jpg", "D:\\old\\key", NEW, "D:\\old\\\u212aey\\a.jpg", 0, 0),
            ("D:\\\u017fhop\\a.jpg", "D:\\shop", NEW, "D:\\\u017fhop\\a.jpg", 0, 0),
            ("D:\\图\\\u00e4\\a.jpg", "D:\\图\\\u00c4", NEW, "D:\\图\\\u00e4\\a.jpg", 0, 0),
            # Backslashes of the new folder are text, not template escapes.
            ("D:\\old\\item\\a", OLD, "F:\\n\\1\\g<0>", "F:\\n\\1\\g<0>\\a", 1, 0),
            # An empty new folder deletes exact path matches only; URLs become "file:///".
            ("D:\\old\\item\\a d:\\old\\item\\b file:///d:/old/item/c", OLD, "",
             "\\a d:\\old\\item\\b file:////c", 1, 1),
            # Left to right, without overlap.
            ("aaaaa", "aa", "X", "XXa", 2, 0),
        ]
        for text, old, new, expected, path_count, url_count in cases:
            with self.subTest(text=text, old=old, new=new):
                self.assertEqual(relocate.relocate_text(text, old, new),
                                 (expected, path_count, url_count))

    def test_one_trailing_separator_changes_nothing(self):
        text = "D:\\old\\item\\a.jpg file:///D:/old/item/b.jpg"
        expected = relocate.relocate_text(text, OLD, NEW)
        for old in (OLD, OLD + "\\"):
            for new in (NEW, NEW + "\\"):
                with self.subTest(old=old, new=new):
                    self.assertEqual(relocate.relocate_text(text, old, new), expected)

    def test_empty_old_folder_is_refused(self):
        for old in ("", "\\", "/"):
            with self.subTest(old=old):
                with self.assertRaises(ValueError):
                    relocate.relocate_text("text", old, NEW)


class RelocateFileTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.csv = os.path.join(self.folder.name, "goods.csv")

    def tearDown(self):
        self.folder.cleanup()

    def run_on(self, data, old=OLD, new=NEW):
        with open(self.csv, "wb") as f:
            f.write(data)
        result = relocate.relocate_file(self.csv, old, new)
        with open(self.csv, "rb") as f:
            return result, f.read()

    def test_rewrites_and_keeps_every_other_code_unit(self):
        text = "\"宝贝\",\ud800 D:\\OLD\\item\\a.jpg \udfff\r\n"
        result, data = self.run_on(csv_bytes(text))
        self.assertEqual(result, (1, 0))
        self.assertEqual(data, csv_bytes("\"宝贝\",\ud800 F:\\new\\my item\\a.jpg \udfff\r\n"))

    def test_drops_a_last_odd_byte(self):
        result, data = self.run_on(csv_bytes("D:\\old\\item") + b"\x41")
        self.assertEqual(result, (1, 0))
        self.assertEqual(data, csv_bytes("F:\\new\\my item"))

    def test_leaves_the_file_alone_when_there_is_nothing_to_write(self):
        cases = [
            ("no mark", "D:\\old\\item".encode("utf-16-le"), NEW),
            ("big-endian mark", b"\xfe\xff" + "D:\\old\\item".encode("utf-16-be"), NEW),
            ("only the mark", b"\xff\xfe", NEW),
            ("empty file", b"", NEW),
            ("every character removed", csv_bytes("D:\\old\\item"), ""),
        ]
        for name, data, new in cases:
            with self.subTest(name):
                self.assertEqual(self.run_on(data, new=new), (None, data))


@unittest.skipUnless(os.environ.get("PICRELINK_CLI"), "PICRELINK_CLI names no picrelink-cli")
class AgreesWithPicrelinkTest(unittest.TestCase):
    def test_tricky_listing_comes_out_byte_identical(self):
        text = ("\"宝贝名称\",\"宝贝描述\"\r\n\"d:\\old\\ITEM\",\"<img src=\"\"D:\\Old\\item\\a.jpg\"\">"
                "<img src=\"\"file:///d:/OLD/item/b.jpg\"\"><img src=\"\"file:///D:/old/item%20/c\"\">"
                "D:\\old\\item2\\d.jpg D:\\old\\\u212aey D:\\old\\ite D:\\old\\itemD:\\old\\item"
                " \ud83d\ude00 \ud800 file:///D:\\old\\item\"\r\n")
        with tempfile.TemporaryDirectory() as folder:
            outputs = []
            for program in ("python", "picrelink"):
                csv = os.path.join(folder, program + ".csv")
                with open(csv, "wb") as f:
                    f.write(csv_bytes(text))
                if program == "python":
                    counts = relocate.relocate_file(csv, OLD + "\\", NEW)
                    self.assertEqual(counts, (6, 2))
                else:
                    done = subprocess.run(
                        [os.environ["PICRELINK_CLI"], "relocate", csv, OLD + "\\", NEW],
                        capture_output=True, text=True)
                    self.assertEqual(done.returncode, 0, done.stderr)
                    self.assertIn("Rewritten: 6 path-form and 2 URL-form references.", done.stdout)
                with open(csv, "rb") as f:
                    outputs.append(f.read())
            self.assertEqual(outputs[0], outputs[1])


if __name__ == "__main__":
    unittest.main()

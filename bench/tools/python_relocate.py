#!/usr/bin/env python3
"""The plain-Python way of relocating a listing CSV, the baseline that bench/compare
measures picrelink-cli against and checks its output with.

    python_relocate.py CSV OLD NEW

Reads the CSV whole, drops the mark FF FE, decodes UTF-16LE, replaces the folder OLD by NEW
with re.subn (ASCII letters folded) first in path form and then in file-URL form, encodes and
writes FF FE and the text back over the CSV. Prints "path=N url=M", the numbers of
references rewritten in each form, or "nothing written" when the CSV holds no text behind the
mark or every character would be removed (picrelink-cli leaves the file alone then too).
"""

import re
import sys

MARK = b"\xff\xfe"


def trim_folder_separator(folder):
    """One trailing separator off a folder value: "/" for a local folder, else "\\"."""
    if folder.endswith("/"):
        return folder[:-1]
    return folder[:-1] if folder.endswith("\\") else folder


def path_to_file_url(path):
    return "file:///" + path.replace("\\", "/").replace(" ", "%20")


def replacement_texts(old, new):
    """(path find, path replacement, URL find, URL replacement) for two folder values."""
    path_find = trim_folder_separator(old)
    path_replacement = trim_folder_separator(new)
    if not path_find:
        raise ValueError("no folder to replace: OLD is empty")
    url_find = path_to_file_url(path_find[:-1] if path_find.endswith("/") else path_find)
    url_replacement = path_to_file_url(
        path_replacement[:-1] if path_replacement.endswith("/") else path_replacement)
    return path_find, path_replacement, url_find, url_replacement


def replace_all(text, find, replacement):
    """Every occurrence, left to right without overlap, ASCII letters folded; an empty
    replacement deletes exact matches only, letter case included."""
    flags = re.IGNORECASE | re.ASCII if replacement else 0
    # In a re template a backslash starts an escape; folder texts are full of them.
    template = replacement.replace("\\", "\\\\")
    return re.compile(re.escape(find), flags).subn(template, text)


def relocate_text(text, old, new):
    """The new text and the numbers of path-form and URL-form references rewritten."""
    path_find, path_replacement, url_find, url_replacement = replacement_texts(old, new)
    text, path_count = replace_all(text, path_find, path_replacement)
    text, url_count = replace_all(text, url_find, url_replacement)
    return text, path_count, url_count


def relocate_file(csv, old, new):
    """Rewrites the CSV; the two counts, or None when nothing is written."""
    with open(csv, "rb") as f:
        data = f.read()
    if not data.startswith(MARK):
        return None
    # A last odd byte is not a character; lone surrogates survive as they are.
    body = memoryview(data)[len(MARK):len(data) - (len(data) % 2)]
    text = str(body, "utf-16-le", "surrogatepass")
    del body, data
    if not text:
        return None
    text, path_count, url_count = relocate_text(text, old, new)
    if not text:
        return None
    encoded = text.encode("utf-16-le", "surrogatepass")
    del text
    with open(csv, "wb") as f:
        f.write(MARK)
        f.write(encoded)
    return path_count, url_count


def main(argv):
    if len(argv) != 4:
        sys.stderr.write("usage: python_relocate.py CSV OLD NEW\n")
        return 2
    counts = relocate_file(argv[1], argv[2], argv[3])
    print("nothing written" if counts is None else "path=%d url=%d" % counts)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

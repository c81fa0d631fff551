#!/usr/bin/env python3
"""Builds SorvaneHelp.chm: copies the help sources into a work folder, converting the texts from UTF-8
to CP932 (the code page of the help viewer on a Japanese system, and of the table of contents), then
compiles the project with chmcmd.
Usage: build_help.py CHMCMD SOURCE_FOLDER WORK_FOLDER OUTPUT_CHM"""

import os
import shutil
import subprocess
import sys

TEXT_SUFFIXES = (".html", ".hhc", ".hhk", ".hhp", ".css")


def main():
    chmcmd, source, work, output = sys.argv[1:5]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    for name in sorted(os.listdir(source)):
        path = os.path.join(source, name)
        if not os.path.isfile(path) or name.endswith(".py"):
            continue
        if name.endswith(TEXT_SUFFIXES):
            with open(path, encoding="utf-8") as f:
                text = f.read()
            text = text.replace("charset=utf-8", "charset=Shift_JIS")
            with open(os.path.join(work, name), "w", encoding="cp932", newline="\r\n") as f:
                f.write(text)
        else:
            shutil.copy(path, os.path.join(work, name))
    result = subprocess.run([chmcmd, "sorvane.hhp"], cwd=work, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    built = os.path.join(work, "SorvaneHelp.chm")
    if result.returncode != 0 or not os.path.exists(built):
        sys.stderr.write(result.stdout.decode("utf-8", "replace"))
        sys.exit(1)
    shutil.copy(built, output)


if __name__ == "__main__":
    main()

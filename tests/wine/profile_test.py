"""The table of private-profile cases (tests/fixtures/profile_cases.txt) holds for Windows' own
GetPrivateProfileStringA and WritePrivateProfileStringA, run under Wine by the Windows build's probe;
the POSIX unit test holds our implementation to the same table."""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import sorvane_test as t  # noqa: E402

EXE = sys.argv[1]
TABLE = os.path.join(t.ROOT, "tests", "fixtures", "profile_cases.txt")


def windows_path(path):
    """The host's absolute path as Wine sees it on its drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def test_windows_calls_agree_with_the_table():
    folder = tempfile.mkdtemp(prefix="sorvane-profile-")
    try:
        # Wine rewrites the whole file from what it parsed (blank lines and the blanks around "=" are
        # lost), where Windows edits in place; file contents are therefore compared without layout.
        result = subprocess.run(["wine", EXE, windows_path(TABLE), windows_path(folder), "--loose-layout"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=240)
        report = result.stdout.decode("ascii", "replace")
        print(report, end="")
        assert result.returncode == 0, report
        assert " 0 failed" in report, report
    finally:
        shutil.rmtree(folder, ignore_errors=True)


t.run_tests(globals())

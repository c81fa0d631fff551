"""Commands posted to /ftp.cgi of the Windows build's server under Wine, with a config.ini that publishes
folders by their Windows paths: shares whose CP932 names hold the byte 0x5C ("ソフト", "表計算"), a file
beyond 2 GiB, hostile paths in Windows' own forms, and the root of a drive as a share.
Usage: command_test.py SORVANE_TESTHOST"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import sorvane_test as t  # noqa: E402

EXE = sys.argv[1]
DATA = bytes(range(256)) * 40
BIG_SIZE = 0x80000000 + 16
BIG_TAIL = b"0123456789abcdefg"


def windows(path):
    """The Windows path under which Wine shows a path of this machine (drive Z: is its root)."""
    return "Z:" + path.replace("/", "\\")


def local_time(path):
    return time.strftime("%Y/%m/%d %H:%M:%S", time.localtime(os.stat(path).st_mtime))


class Host:
    """The test host in a folder of its own, with a config.ini that publishes the given folders."""

    def __init__(self, folders_of):
        self.folder = tempfile.mkdtemp(prefix="sorvane-wine-command-")
        self.docs = os.path.join(self.folder, "docs")
        self.soft = os.path.join(self.folder, "ソフト")
        self.sheets = os.path.join(self.folder, "表計算")
        os.makedirs(os.path.join(self.docs, "sub"))
        os.makedirs(os.path.join(self.soft, "能力"))
        os.makedirs(self.sheets)
        os.makedirs(self.docs + "-other")
        for path, data in ((os.path.join(self.docs, "data.bin"), DATA),
                           (os.path.join(self.soft, "能力", "表.txt"), "表\n".encode("cp932")),
                           (os.path.join(self.sheets, "予算.csv"), b"1,2\r\n"),
                           (os.path.join(self.folder, "secret.txt"), b"not published\n"),
                           (os.path.join(self.docs + "-other", "x.txt"), b"not published either\n")):
            with open(path, "wb") as f:
                f.write(data)
        with open(os.path.join(self.docs, "big.bin"), "wb") as f:
            f.truncate(BIG_SIZE)
            f.seek(BIG_SIZE - len(BIG_TAIL))
            f.write(BIG_TAIL)
        self.port = t.free_port()
        exe = os.path.join(self.folder, os.path.basename(EXE))
        shutil.copy(EXE, exe)
        t.write_config(self.folder, port=self.port, folders=folders_of(self))
        self.process = subprocess.Popen(["wine", exe, str(self.port)], cwd=self.folder, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        t.wait_for_port(self.port, 90, self.process)

    def close(self):
        out, _ = self.process.communicate(b"quit\n", timeout=60)
        assert self.process.returncode == 0, out
        shutil.rmtree(self.folder, ignore_errors=True)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


def shares(host):
    return windows(host.docs), windows(host.soft), windows(host.sheets) + "\\"


def test_lists_and_reads_shares_with_double_byte_names():
    host = Host(shares)
    try:
        docs, soft, sheets = windows(host.docs), windows(host.soft), windows(host.sheets)
        with socket.create_connection(("127.0.0.1", host.port), timeout=60) as connection:
            def command(line):
                return t.post_command(host.port, line, connection=connection, timeout=60)

            assert command("ls\t/\r\n") == (t.listing_line("docs", "<DIR>", "", "", docs, "/docs") +
                                             t.listing_line("ソフト", "<DIR>", "", "", soft, "/ソフト") +
                                             t.listing_line("表計算", "<DIR>", "", "", sheets + "\\", "/表計算"))

            first, others = t.listing_lines(command("ls\t%s\r\n" % soft))
            assert first == t.listing_line("..", "<DIR>", "", "", "", "/"), first
            assert others == {t.listing_line("能力", "<DIR>", "", "", soft + "\\能力", "/ソフト/能力")}, others

            ability = os.path.join(host.soft, "能力", "表.txt")
            first, others = t.listing_lines(command("ls\t%s\\能力\r\n" % soft))
            assert first == t.listing_line("..", "<DIR>", "", "", soft, "/ソフト"), first
            assert others == {t.listing_line("表.txt", "", "3", local_time(ability), soft + "\\能力\\表.txt",
                                             "/ソフト/能力/表.txt")}, others

            # A share written with a trailing separator; its files' parent is the share as written.
            budget = os.path.join(host.sheets, "予算.csv")
            first, others = t.listing_lines(command("ls\t%s\\\r\n" % sheets))
            assert first == t.listing_line("..", "<DIR>", "", "", "", "/"), first
            assert others == {t.listing_line("予算.csv", "", "5", local_time(budget), sheets + "\\予算.csv",
                                             "/表計算/予算.csv")}, others

            first, others = t.listing_lines(command("ls\t%s\r\n" % docs))
            data, big = os.path.join(host.docs, "data.bin"), os.path.join(host.docs, "big.bin")
            assert others == {t.listing_line("sub", "<DIR>", "", "", docs + "\\sub", "/docs/sub"),
                              t.listing_line("data.bin", "", str(len(DATA)), local_time(data), docs + "\\data.bin",
                                             "/docs/data.bin"),
                              t.listing_line("big.bin", "", str(BIG_SIZE), local_time(big), docs + "\\big.bin",
                                             "/docs/big.bin")}, others

            assert command("get\t%s\\能力\\表.txt\t0\r\n" % soft) == "表\n".encode("cp932")
            assert command("get\t%s\\data.bin\t0\r\n" % docs) == DATA
            assert command("get\t%s\\data.bin\t10000\r\n" % docs) == DATA[10000:]
            # More than 2 GiB into the file, the tail still fits the wire.
            assert command("get\t%s\\big.bin\t%d\r\n" % (docs, 0x7FFFFFFF)) == BIG_TAIL
        log = t.today_log(host.folder, "access").decode("cp932")
        assert "[FILE LIST]      対象パス = %s\\能力 " % soft in log, log
        assert "[DOWNLOAD FILE]  対象パス = %s\\big.bin " % docs in log, log
        host.close()
    finally:
        host.kill()


def test_refused_commands_get_no_answer():
    host = Host(shares)
    try:
        docs, folder = windows(host.docs), windows(host.folder)
        refused = [
            ("wrong password", "ls\t/\r\n", "otherpwd"),
            ("a logical path", "ls\t/ソフト\r\n", "tarimuso"),
            ("another case", "ls\t%s\r\n" % docs.lower(), "tarimuso"),
            ("a file outside the shares", "get\t%s\\secret.txt\t0\r\n" % folder, "tarimuso"),
            ("the share's neighbour", "get\t%s-other\\x.txt\t0\r\n" % docs, "tarimuso"),
            ("out through ..", "get\t%s\\..\\secret.txt\t0\r\n" % docs, "tarimuso"),
            ("out through .. below a subfolder", "get\t%s\\sub\\..\\..\\secret.txt\t0\r\n" % docs, "tarimuso"),
            ("out through / separators", "get\t%s\\sub/../../secret.txt\t0\r\n" % docs, "tarimuso"),
            ("out through ... ", "get\t%s\\...\\secret.txt\t0\r\n" % docs, "tarimuso"),
            ("a stream", "get\t%s\\data.bin::$DATA\t0\r\n" % docs, "tarimuso"),
            ("a drive after the share", "get\t%s\\C:\\windows\\win.ini\t0\r\n" % docs, "tarimuso"),
            ("a device", "get\t%s\\CON\t0\r\n" % docs, "tarimuso"),
            ("a device with an extension", "get\t%s\\nul.txt\t0\r\n" % docs, "tarimuso"),
            ("a system file", "get\tC:\\windows\\win.ini\t0\r\n", "tarimuso"),
            ("the whole big file", "get\t%s\\big.bin\t0\r\n" % docs, "tarimuso"),
            ("a folder", "get\t%s\\sub\t0\r\n" % docs, "tarimuso"),
            ("past the end", "get\t%s\\data.bin\t%d\r\n" % (docs, len(DATA)), "tarimuso"),
            ("a listing out through ..", "ls\t%s\\..\r\n" % docs, "tarimuso"),
        ]
        for name, line, password in refused:
            assert t.post_command(host.port, line, password, timeout=60) is None, name
        assert t.post_command(host.port, "ls\t/\r\n", timeout=60).startswith(b"docs\t<DIR>")
        host.close()
    finally:
        host.kill()


def test_the_root_of_a_drive_can_be_shared():
    host = Host(lambda h: ("Z:\\",))
    try:
        root = t.post_command(host.port, "ls\t/\r\n", timeout=60)
        assert root == t.listing_line("Z:", "<DIR>", "", "", "Z:\\", "/Z:"), root
        first, others = t.listing_lines(t.post_command(host.port, "ls\tZ:\\\r\n", timeout=60))
        assert first == t.listing_line("..", "<DIR>", "", "", "", "/"), first
        assert t.listing_line("tmp", "<DIR>", "", "", "Z:\\tmp", "/Z:/tmp") in others, others
        first, _ = t.listing_lines(t.post_command(host.port, "ls\tZ:\\tmp\r\n", timeout=60))
        assert first == t.listing_line("..", "<DIR>", "", "", "Z:\\", "/Z:"), first
        docs = windows(host.docs)
        first, _ = t.listing_lines(t.post_command(host.port, "ls\t%s\r\n" % docs, timeout=60))
        assert first == t.listing_line("..", "<DIR>", "", "", windows(host.folder), "/Z:" + host.folder), first
        assert t.post_command(host.port, "get\t%s\\data.bin\t100\r\n" % docs, timeout=60) == DATA[100:]
        host.close()
    finally:
        host.kill()


t.run_tests(globals())

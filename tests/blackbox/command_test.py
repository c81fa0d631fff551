"""Commands posted to /ftp.cgi of the running POSIX sorvane over loopback: listings of the published
tree, files whole and from an offset on one kept connection, and refused commands (wrong password,
unpublished and hostile paths) that end the connection without an answer.
Usage: command_test.py SORVANE"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import sorvane_test as t  # noqa: E402

BINARY = sys.argv[1]
DATA = bytes(range(256)) * 40  # 10240 bytes in which every offset shows


class Server:
    """A copy of sorvane in a folder of its own that publishes "docs" and "ソフト" of its fixture."""

    def __init__(self, password="tarimuso"):
        self.folder = tempfile.mkdtemp(prefix="sorvane-command-")
        self.docs = os.path.join(self.folder, "docs")
        self.soft = os.path.join(self.folder, "ソフト")
        os.makedirs(os.path.join(self.docs, "sub"))
        os.makedirs(os.path.join(self.soft, "能力"))
        for path, data in ((os.path.join(self.docs, "data.bin"), DATA),
                           (os.path.join(self.docs, "sub", "inner.txt"), b"inner\n"),
                           (os.path.join(self.soft, "表計算.txt"), "計算\n".encode("cp932")),
                           (os.path.join(self.folder, "secret.txt"), b"not published\n")):
            with open(path, "wb") as f:
                f.write(data)
        os.makedirs(self.docs + "-other")
        with open(os.path.join(self.docs + "-other", "x.txt"), "wb") as f:
            f.write(b"not published either\n")
        self.port = t.free_port()
        binary = os.path.join(self.folder, "sorvane")
        shutil.copy(BINARY, binary)
        t.write_config(self.folder, port=self.port, folders=(self.docs, self.soft), password=password)
        env = dict(os.environ, XDG_RUNTIME_DIR=self.folder, LANG="C.UTF-8")
        self.process = subprocess.Popen([binary], cwd=self.folder, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        t.wait_for_port(self.port, 30, self.process)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=30)
        shutil.rmtree(self.folder, ignore_errors=True)


def local_time(path):
    return time.strftime("%Y/%m/%d %H:%M:%S", time.localtime(os.stat(path).st_mtime))


def test_lists_and_reads_the_published_tree():
    server = Server()
    try:
        docs, soft = server.docs, server.soft
        with socket.create_connection(("127.0.0.1", server.port), timeout=30) as connection:
            # All on one connection: every answer keeps it open.
            root = t.post_command(server.port, "ls\t/\r\n", connection=connection)
            assert root == (t.listing_line("docs", "<DIR>", "", "", docs, "/docs") +
                            t.listing_line("ソフト", "<DIR>", "", "", soft, "/ソフト")), root

            first, others = t.listing_lines(t.post_command(server.port, "ls\t%s\r\n" % docs, connection=connection))
            assert first == t.listing_line("..", "<DIR>", "", "", "", "/")
            data = os.path.join(docs, "data.bin")
            assert others == {t.listing_line("sub", "<DIR>", "", "", os.path.join(docs, "sub"), "/docs/sub"),
                              t.listing_line("data.bin", "", str(len(DATA)), local_time(data), data,
                                             "/docs/data.bin")}, others

            sub = os.path.join(docs, "sub")
            first, others = t.listing_lines(t.post_command(server.port, "ls\t%s\r\n" % sub, connection=connection))
            assert first == t.listing_line("..", "<DIR>", "", "", docs, "/docs")
            inner = os.path.join(sub, "inner.txt")
            assert others == {t.listing_line("inner.txt", "", "6", local_time(inner), inner, "/docs/sub/inner.txt")}

            first, others = t.listing_lines(t.post_command(server.port, "ls\t%s\r\n" % soft, connection=connection))
            assert first == t.listing_line("..", "<DIR>", "", "", "", "/")
            sheet = os.path.join(soft, "表計算.txt")
            assert others == {t.listing_line("能力", "<DIR>", "", "", os.path.join(soft, "能力"), "/ソフト/能力"),
                              t.listing_line("表計算.txt", "", "5", local_time(sheet), sheet, "/ソフト/表計算.txt")}

            assert t.post_command(server.port, "get\t%s\t0\r\n" % data, connection=connection) == DATA
            assert t.post_command(server.port, "get\t%s\t10000\r\n" % data, connection=connection) == DATA[10000:]
            assert t.post_command(server.port, "get\t%s\t0\r\n" % sheet, connection=connection) == \
                "計算\n".encode("cp932")
        log = t.today_log(server.folder, "access").decode("cp932")
        assert "[FILE LIST]      対象パス = %s " % soft in log, log
        assert log.count("[DOWNLOAD FILE]  対象パス = %s " % data) == 2, log
    finally:
        server.close()


def test_refused_commands_get_no_answer():
    server = Server()
    try:
        docs, folder = server.docs, server.folder
        refused = [
            ("wrong password", "ls\t/\r\n", "otherpwd"),
            ("a logical path", "ls\t/docs\r\n", "tarimuso"),
            ("a folder outside the shares", "ls\t%s\r\n" % folder, "tarimuso"),
            ("the share's neighbour", "ls\t%s-other\r\n" % docs, "tarimuso"),
            ("a missing folder", "ls\t%s/none\r\n" % docs, "tarimuso"),
            ("a file outside the shares", "get\t%s/secret.txt\t0\r\n" % folder, "tarimuso"),
            ("out through ..", "get\t%s/../secret.txt\t0\r\n" % docs, "tarimuso"),
            ("out through .. below a subfolder", "get\t%s/sub/../../secret.txt\t0\r\n" % docs, "tarimuso"),
            ("into the neighbour", "get\t%s-other/x.txt\t0\r\n" % docs, "tarimuso"),
            ("a system file", "get\t/etc/passwd\t0\r\n", "tarimuso"),
            ("listing out through ..", "ls\t%s/..\r\n" % docs, "tarimuso"),
            ("past the end", "get\t%s/data.bin\t%d\r\n" % (docs, len(DATA)), "tarimuso"),
            ("no offset", "get\t%s/data.bin\r\n" % docs, "tarimuso"),
            ("another command", "put\t/\r\n", "tarimuso"),
        ]
        for name, line, password in refused:
            assert t.post_command(server.port, line, password) is None, name
        # The server goes on serving.
        assert t.post_command(server.port, "ls\t/\r\n").startswith(b"docs\t<DIR>")
    finally:
        server.close()


t.run_tests(globals())

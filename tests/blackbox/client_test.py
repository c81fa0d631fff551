"""sorvane-client against the running POSIX sorvane over loopback: listings of the root and of folders,
downloads whole and resumed (after a truncated file and after a connection that broke), and the distinct
failures: a refused command, a wrong password, an answer that does not decipher, no server, a path that
cannot be sent. Usage: client_test.py SORVANE SORVANE_CLIENT"""

import hashlib
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import sorvane_test as t  # noqa: E402

SERVER = sys.argv[1]
CLIENT = sys.argv[2]

EXIT_USAGE, EXIT_UNREACHABLE, EXIT_REFUSED, EXIT_WRONG_PASSWORD, EXIT_BAD_ANSWER, EXIT_LOCAL_FILE = 2, 3, 4, 5, 6, 7

# 300 KiB that no two offsets share, so that a piece in the wrong place shows.
BIG = hashlib.sha256(b"seed").digest() * (300 * 1024 // 32)
HELLO = b"hello, world\n"
JA_SHARE = "ソフト"  # its CP932 form holds the byte 0x5C
JA_FILE = "表計算.txt"


class Server:
    """A copy of sorvane in a folder of its own, publishing two fixture folders on a free port."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="sorvane-client-")
        self.share = os.path.join(self.folder, "docs")
        self.ja_share = os.path.join(self.folder, JA_SHARE)
        self.outside = os.path.join(self.folder, "secret.txt")
        self.neighbour = self.share + "-other"
        os.makedirs(os.path.join(self.share, "sub"))
        os.makedirs(self.ja_share)
        os.makedirs(self.neighbour)
        for path, data in ((os.path.join(self.share, "hello.txt"), HELLO),
                           (os.path.join(self.share, "big.bin"), BIG),
                           (os.path.join(self.share, "empty.txt"), b""),
                           (os.path.join(self.share, "sub", "inner.txt"), b"inner\n"),
                           (os.path.join(self.ja_share, JA_FILE), "計算\n".encode("cp932")),
                           (self.outside, b"not published\n"),
                           (os.path.join(self.neighbour, "x.txt"), b"not published either\n")):
            with open(path, "wb") as f:
                f.write(data)
        self.port = t.free_port()
        binary = os.path.join(self.folder, "sorvane")
        shutil.copy(SERVER, binary)
        t.write_config(self.folder, port=self.port, folders=(self.share, self.ja_share))
        env = dict(os.environ, XDG_RUNTIME_DIR=self.folder, LANG="C.UTF-8")
        self.process = subprocess.Popen([binary], cwd=self.folder, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        t.wait_for_port(self.port, 30, self.process)
        self.work = tempfile.mkdtemp(prefix="sorvane-client-work-")

    def client(self, *args, password=None, env_password=None, port=None):
        """Runs the client in the work folder; gives (exit code, standard output, standard error)."""
        env = dict(os.environ, LANG="C.UTF-8")
        env.pop("SORVANE_PASSWORD", None)
        if env_password is not None:
            env["SORVANE_PASSWORD"] = env_password
        command = [CLIENT, "--port", str(port or self.port)]
        if password is not None:
            command += ["--password", password]
        result = subprocess.run(command + list(args), cwd=self.work, env=env, stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=120)
        return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8")

    def work_file(self, name):
        return os.path.join(self.work, name)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=30)
        shutil.rmtree(self.folder, ignore_errors=True)
        shutil.rmtree(self.work, ignore_errors=True)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def table_rows(stdout):
    """The table's rows below its heading, each split at runs of two or more blanks."""
    lines = stdout.splitlines()
    assert lines and lines[0].split() == ["名前", "サイズ", "更新日時", "パス"], stdout
    return [re.split(r" {2,}", line) for line in lines[1:]]


def test_lists_the_root_and_folders():
    server = Server()
    try:
        code, out, err = server.client("ls", "/")
        assert code == 0, err
        assert table_rows(out) == [["docs", "<DIR>", server.share], [JA_SHARE, "<DIR>", server.ja_share]], out

        code, out, err = server.client("ls", server.share)
        assert code == 0, err
        rows = {row[0]: row for row in table_rows(out)}
        assert rows[".."] == ["..", "<DIR>"], out
        assert rows["sub"] == ["sub", "<DIR>", os.path.join(server.share, "sub")], out
        name, size, when, path = rows["hello.txt"]
        assert (size, path) == (str(len(HELLO)), os.path.join(server.share, "hello.txt")), out
        assert re.fullmatch(r"\d{4}/\d\d/\d\d \d\d:\d\d:\d\d", when), out
        assert rows["big.bin"][1] == str(len(BIG)), out

        code, out, err = server.client("ls", os.path.join(server.share, "sub"))
        assert code == 0, err
        rows = {row[0]: row for row in table_rows(out)}
        assert rows[".."] == ["..", "<DIR>", server.share], out
        assert rows["inner.txt"][3] == os.path.join(server.share, "sub", "inner.txt"), out

        # A share whose CP932 name holds 0x5C, named on the command line in UTF-8.
        code, out, err = server.client("ls", server.ja_share)
        assert code == 0, err
        rows = {row[0]: row for row in table_rows(out)}
        assert rows[JA_FILE][3] == os.path.join(server.ja_share, JA_FILE), out
    finally:
        server.close()


def test_downloads_whole_and_resumes_a_truncated_file():
    server = Server()
    try:
        big = os.path.join(server.share, "big.bin")
        code, _, err = server.client("get", big, "-o", "whole.bin")
        assert code == 0, err
        assert read(server.work_file("whole.bin")) == BIG

        # What an interrupted download leaves: a piece from the start. Only the rest is asked for.
        write(server.work_file("part.bin"), BIG[:100000])
        code, _, err = server.client("get", big, "-o", "part.bin")
        assert code == 0, err
        assert "100000 バイトの位置から再開" in err, err
        assert read(server.work_file("part.bin")) == BIG
        log = t.today_log(server.folder, "access")
        assert log.count(b"big.bin") == 2, log

        # Asked again, the whole file is already there; the server has nothing to send from its end.
        code, _, err = server.client("get", big, "-o", "part.bin")
        assert code == 0, err
        assert "ダウンロード済み" in err, err
        assert read(server.work_file("part.bin")) == BIG

        # A local file longer than the remote one is not a piece of it and is left alone.
        write(server.work_file("other.bin"), HELLO * 2)
        code, _, err = server.client("get", os.path.join(server.share, "hello.txt"), "-o", "other.bin")
        assert code == EXIT_LOCAL_FILE, (code, err)
        assert read(server.work_file("other.bin")) == HELLO * 2

        # Without -o the file takes its remote name, the Japanese one too; an empty file is made empty.
        for share, name, data in ((server.share, "hello.txt", HELLO),
                                  (server.ja_share, JA_FILE, "計算\n".encode("cp932")),
                                  (server.share, "empty.txt", b"")):
            code, _, err = server.client("get", os.path.join(share, name))
            assert code == 0, (name, err)
            assert read(server.work_file(name)) == data, name
    finally:
        server.close()


def serve_once(answer):
    """A server that takes one request and sends the given bytes, then closes. Gives its port and a
    thread to join."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)

    def run():
        connection, _ = listener.accept()
        with connection:
            received = b""
            while b"\r\n\r\n" not in received:
                received += connection.recv(4096)
            header, _, body = received.partition(b"\r\n\r\n")
            length = int(re.search(rb"Content-Length: (\d+)", header).group(1))
            while len(body) < length:
                body += connection.recv(4096)
            connection.sendall(answer)
        listener.close()

    thread = threading.Thread(target=run)
    thread.start()
    return listener.getsockname()[1], thread


def answer_of(payload, password):
    envelope = t.encipher(payload, password)
    return b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: %d\r\n\r\n" % len(
        envelope) + envelope


def test_a_broken_connection_leaves_a_piece_that_resumes():
    server = Server()
    try:
        # The answer announces the whole file but the connection breaks after 123457 bytes of it.
        whole = answer_of(BIG, "tarimuso")
        cut = len(whole) - len(BIG) + 123457
        port, thread = serve_once(whole[:cut])
        code, _, err = server.client("get", os.path.join(server.share, "big.bin"), "-o", "big.bin", port=port)
        thread.join()
        assert code == EXIT_BAD_ANSWER, (code, err)
        assert "同じコマンドをもう一度実行すると再開します" in err, err
        assert read(server.work_file("big.bin")) == BIG[:123457]

        code, _, err = server.client("get", os.path.join(server.share, "big.bin"), "-o", "big.bin")
        assert code == 0, err
        assert "123457 バイトの位置から再開" in err, err
        assert read(server.work_file("big.bin")) == BIG
    finally:
        server.close()


def test_refusals_wrong_passwords_and_no_server_have_their_own_exit_codes():
    server = Server()
    try:
        share = server.share
        refused = [
            ("ls", server.folder),                                      # not published
            ("ls", os.path.join(share, "missing")),
            ("get", os.path.join(share, "missing.txt")),
            ("get", server.outside),                                     # a file outside every share
            ("get", os.path.join(share, "..", "secret.txt")),           # leaving a share through ".."
            ("get", os.path.join(server.neighbour, "x.txt")),           # the share's path is only its prefix
        ]
        for command, path in refused:
            code, out, err = server.client(command, path, "-o", "out.bin") if command == "get" else \
                server.client(command, path)
            assert code == EXIT_REFUSED, (command, path, code, err)
            assert "応答せずに接続を閉じました" in err and "パスワードが違います" in err, err
            assert out == ""
            assert not os.path.exists(server.work_file("out.bin")), path

        # A wrong password: the server cannot read the command and closes without a word.
        code, _, err = server.client("ls", "/", password="wrongpass")
        assert code == EXIT_REFUSED, (code, err)
        code, _, err = server.client("ls", "/", env_password="wrongpass")
        assert code == EXIT_REFUSED, (code, err)
        # The option wins over the environment; the environment is used without it.
        code, _, err = server.client("ls", "/", password="tarimuso", env_password="wrongpass")
        assert code == 0, err
        code, _, err = server.client("ls", "/", password="wrongpass", env_password="tarimuso")
        assert code == EXIT_REFUSED, (code, err)
        code, _, err = server.client("ls", "/", env_password="tarimuso")
        assert code == 0, err

        # An answer enciphered with another password than ours.
        port, thread = serve_once(answer_of(b"docs\t<DIR>\t\t\t/x\t/docs\r\n", "elsewhere"))
        code, out, err = server.client("ls", "/", port=port)
        thread.join()
        assert code == EXIT_WRONG_PASSWORD, (code, err)
        assert "パスワードが違います" in err and out == "", err

        # Nothing listens.
        code, _, err = server.client("ls", "/", port=t.free_port())
        assert code == EXIT_UNREACHABLE, (code, err)
        assert "サーバに接続できません" in err, err

        # Commands that cannot be sent: a path with a blank, one past the server's request limit.
        code, _, err = server.client("ls", os.path.join(share, "my file"))
        assert code == EXIT_USAGE and "空白を含んでいます" in err, (code, err)
        code, _, err = server.client("ls", "/" + "x" * 1000)
        assert code == EXIT_USAGE and "1023" in err, (code, err)
        code, _, err = server.client("ls")
        assert code == EXIT_USAGE and "使い方:" in err, (code, err)
    finally:
        server.close()


t.run_tests(globals())

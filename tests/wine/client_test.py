"""sorvane-client.exe under Wine against the Windows program sorvane.exe under Wine: listings of the root,
of a share whose CP932 name holds the byte 0x5C and of a folder; a download whole, resumed after a
truncated piece, and under a Japanese name; a wrong password and no server.
Usage: client_test.py sorvane.exe sorvane-client.exe"""

import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import sorvane_test as t  # noqa: E402

SERVER, CLIENT = sys.argv[1:3]
EXIT_UNREACHABLE, EXIT_REFUSED = 3, 4

BIG = hashlib.sha256(b"wine").digest() * (200 * 1024 // 32)
JA_SHARE = "ソフト"
JA_FILE = "表計算.txt"
JA_DATA = "計算\r\n".encode("cp932")


def wine_path(path):
    """The host's absolute path as Wine sees it on its drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def client(work, port, *args, password=None):
    """Runs sorvane-client.exe in the work folder; gives (exit code, standard output, standard error),
    decoded from CP932."""
    command = ["wine", CLIENT, "--port", str(port)]
    if password is not None:
        command += ["--password", password]
    env = dict(os.environ)
    env.pop("SORVANE_PASSWORD", None)
    result = subprocess.run(command + list(args), cwd=work, env=env, stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=180)
    decode = lambda data: data.decode("cp932", "replace").replace("\r\n", "\n")  # noqa: E731
    return result.returncode, decode(result.stdout), decode(result.stderr)


def rows(stdout):
    lines = stdout.splitlines()
    assert lines and lines[0].split() == ["名前", "サイズ", "更新日時", "パス"], stdout
    return {row[0]: row for row in (re.split(r" {2,}", line) for line in lines[1:])}


def test_lists_and_downloads_from_the_windows_program():
    folder = tempfile.mkdtemp(prefix="sorvane-wine-client-")
    work = tempfile.mkdtemp(prefix="sorvane-wine-client-work-")
    share = os.path.join(folder, "docs")
    ja_share = os.path.join(folder, JA_SHARE)
    os.makedirs(os.path.join(share, "sub"))
    os.makedirs(ja_share)
    for path, data in ((os.path.join(share, "big.bin"), BIG), (os.path.join(share, "sub", "inner.txt"), b"inner"),
                       (os.path.join(ja_share, JA_FILE), JA_DATA)):
        with open(path, "wb") as f:
            f.write(data)
    port = t.free_port()
    shutil.copy(SERVER, folder)
    t.write_config(folder, port=port, folders=(wine_path(share), wine_path(ja_share)))
    exe = os.path.join(folder, os.path.basename(SERVER))
    process = subprocess.Popen(["wine", exe], cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        t.wait_for_port(port, 90, process)

        code, out, err = client(work, port, "ls", "/")
        assert code == 0, err
        listed = rows(out)
        assert listed["docs"] == ["docs", "<DIR>", wine_path(share)], out
        assert listed[JA_SHARE] == [JA_SHARE, "<DIR>", wine_path(ja_share)], out

        code, out, err = client(work, port, "ls", wine_path(ja_share))
        assert code == 0, err
        listed = rows(out)
        assert listed[JA_FILE][1] == str(len(JA_DATA)), out
        assert listed[JA_FILE][3] == wine_path(os.path.join(ja_share, JA_FILE)), out

        code, out, err = client(work, port, "ls", wine_path(share))
        assert code == 0, err
        listed = rows(out)
        assert listed["sub"] == ["sub", "<DIR>", wine_path(os.path.join(share, "sub"))], out
        assert listed["big.bin"][1] == str(len(BIG)), out

        big = wine_path(os.path.join(share, "big.bin"))
        code, _, err = client(work, port, "get", big, "-o", "whole.bin")
        assert code == 0, err
        with open(os.path.join(work, "whole.bin"), "rb") as f:
            assert f.read() == BIG

        with open(os.path.join(work, "part.bin"), "wb") as f:
            f.write(BIG[:54321])
        code, _, err = client(work, port, "get", big, "-o", "part.bin")
        assert code == 0, err
        assert "54321 バイトの位置から再開" in err, err
        with open(os.path.join(work, "part.bin"), "rb") as f:
            assert f.read() == BIG

        # Without -o the file takes its remote name: a Japanese name whose CP932 form holds 0x5C.
        code, _, err = client(work, port, "get", wine_path(os.path.join(ja_share, JA_FILE)))
        assert code == 0, err
        with open(os.path.join(work, JA_FILE), "rb") as f:
            assert f.read() == JA_DATA

        code, _, err = client(work, port, "ls", "/", password="wrongpass")
        assert code == EXIT_REFUSED, (code, err)
        assert "パスワード" in err, err
        code, _, err = client(work, port, "get", wine_path(os.path.join(folder, "config.ini")), "-o", "x.ini")
        assert code == EXIT_REFUSED, (code, err)
        assert not os.path.exists(os.path.join(work, "x.ini"))
    finally:
        subprocess.run(["wine", exe, "QuitApplication"], cwd=folder, timeout=120)
        try:
            process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    code, _, err = client(work, port, "ls", "/")
    assert code == EXIT_UNREACHABLE, (code, err)
    shutil.rmtree(folder, ignore_errors=True)
    shutil.rmtree(work, ignore_errors=True)


t.run_tests(globals())

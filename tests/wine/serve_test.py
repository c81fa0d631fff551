"""The Windows build's server under Wine serves the page, the descriptor and the archive byte for byte
to a client on the host, and writes the access log beside the executable."""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import sorvane_test as t  # noqa: E402

EXE = sys.argv[1]


def start_host(folder, port):
    exe = os.path.join(folder, os.path.basename(EXE))
    shutil.copy(EXE, exe)
    process = subprocess.Popen(["wine", exe, str(port)], cwd=folder, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    t.wait_for_port(port, 90, process)
    return process


def test_serves_the_package_byte_for_byte():
    folder = tempfile.mkdtemp(prefix="sorvane-wine-")
    port = t.free_port()
    process = start_host(folder, port)
    try:
        answer, closed = t.exchange(port, b"GET /download.html HTTP/1.1\r\nHost: x\r\n\r\n")
        assert answer == t.PAGE_HEADER + t.resource("download.html") and closed
        assert len(t.resource("download.html")) == 250

        expected = t.descriptor_answer()
        answer, _ = t.exchange(port, b"GET /Sorvane.jam HTTP/1.1\r\n\r\n", len(expected))
        assert answer == expected

        expected = t.archive_piece(1024, 2047)
        answer, _ = t.exchange(port, b"GET /Sorvane.jar HTTP/1.1\r\nRange: bytes=1024-2047\r\n\r\n", len(expected))
        assert answer == expected

        expected = t.archive_whole()
        answer, _ = t.exchange(port, b"GET /Sorvane.jar HTTP/1.1\r\n\r\n", len(expected))
        assert answer == expected

        answer, closed = t.exchange(port, b"HEAD /download.html HTTP/1.1\r\n\r\n")
        assert answer == t.BAD_REQUEST and closed
    finally:
        out, _ = process.communicate(b"quit\n", timeout=60)
    assert process.returncode == 0
    # The balloons, in CP932 as the string table gives them to the ANSI calls.
    assert ("サーバ起動: IP:127.0.0.1 , port:%d" % port).encode("cp932") in out, out
    assert "サーバ停止: サーバ停止しました。".encode("cp932") in out, out
    log = t.today_log(folder, "access")
    assert b"[INVALID REQ]    HEAD /download.html HTTP/1.1     \r\n" in log, log
    assert b"[DOWNLOAD APP]   GET /Sorvane.jar HTTP/1.1  Range: bytes=1024-2047     \r\n" in log, log
    shutil.rmtree(folder, ignore_errors=True)


t.run_tests(globals())

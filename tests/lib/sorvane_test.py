"""Helpers shared by the black-box tests of the POSIX build and the Wine tests of the Windows build."""

import os
import socket
import sys
import time
import traceback

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RESOURCES = os.path.join(ROOT, "resources")


def resource(name):
    with open(os.path.join(RESOURCES, name), "rb") as f:
        return f.read()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, timeout=60.0, process=None):
    """Waits until something accepts connections on the port; fails if the process ends first."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if process is not None and process.poll() is not None:
            raise AssertionError("the program ended with code %s before it listened" % process.returncode)
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1.0):
                return
        except OSError:
            time.sleep(0.2)
    raise AssertionError("nothing listens on port %d" % port)


def wait_for_closed_port(port, timeout=30.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1.0):
                pass
        except OSError:
            return
        time.sleep(0.2)
    raise AssertionError("port %d still answers" % port)


def exchange(port, request, expected_length=None, timeout=10.0):
    """Sends one request and reads until expected_length bytes have come or the server closes.
    Returns (answer, closed)."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(request)
        return receive(s, expected_length, timeout)


def receive(s, expected_length=None, timeout=10.0):
    s.settimeout(timeout)
    data = b""
    closed = False
    while expected_length is None or len(data) < expected_length:
        try:
            chunk = s.recv(65536)
        except socket.timeout:
            break
        if not chunk:
            closed = True
            break
        data += chunk
    return data, closed


def encipher(payload, password, session_key=bytes(range(1, 17))):
    """An envelope of the payload: the session key in clear, then "OK" and the payload, each byte shifted
    by the key number (session key byte (16 mod L) mod 16 plus the password's first byte)."""
    key_number = (session_key[(16 % len(password)) % 16] + password.encode("cp932")[0]) % 256
    return bytes(session_key) + bytes((b + key_number) % 256 for b in b"OK" + payload)


def decipher(envelope, password):
    """The payload of an envelope, or None when its check bytes do not come out as "OK"."""
    key_number = (envelope[(16 % len(password)) % 16] + password.encode("cp932")[0]) % 256
    plain = bytes((b - key_number) % 256 for b in envelope[16:])
    return plain[2:] if plain[:2] == b"OK" else None


PAGE_HEADER = b"HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nConnection: close\r\n\r\n"
BAD_REQUEST = (b"HTTP/1.1 400 Bad Request\r\nContent-Type: text/xml; charset=utf-8\r\nConnection: close\r\n\r\n"
               b"<HTML>400 Bad Request</HTML>\r\n")


def descriptor_answer():
    body = resource("Sorvane.jam")
    return b"HTTP/1.1 200 OK\r\nContent-Type: application/x-jam\r\nContent-Length: %d\r\n\r\n" % len(body) + body


def archive_piece(first, last):
    archive = resource("Sorvane.jar")
    return (b"HTTP/1.1 206 Partial Content\r\nAccept-Ranges: bytes\r\nContent-Length: %d\r\n"
            b"Content-Range: bytes %d-%d/%d\r\nContent-Type: application/java-archive\r\n\r\n"
            % (last - first + 1, first, last, len(archive)) + archive[first:last + 1])


def archive_whole():
    archive = resource("Sorvane.jar")
    return (b"HTTP/1.1 200 OK\r\nContent-Type: application/java-archive\r\nContent-Length: %d\r\n\r\n"
            % len(archive) + archive)


def today_log(folder, extension):
    """The bytes of today's log of the kind beside the executable, or b"" when there is none."""
    path = os.path.join(folder, time.strftime("%Y%m%d") + "." + extension)
    if not os.path.exists(path):
        return b""
    with open(path, "rb") as f:
        return f.read()


def run_tests(namespace):
    """Runs every function of the module whose name begins with test_, and reports like a runner."""
    tests = [(name, f) for name, f in namespace.items() if name.startswith("test_") and callable(f)]
    passed = failed = 0
    for name, function in tests:
        try:
            function()
            passed += 1
            print("PASS %s" % name, flush=True)
        except Exception:  # noqa: BLE001 - every failure is reported, then the next test runs
            failed += 1
            print("FAIL %s" % name, flush=True)
            traceback.print_exc()
    print("%d passed, %d failed" % (passed, failed), flush=True)
    sys.exit(1 if failed or not passed else 0)


DEFAULT_CONFIG_LINES = [
    "; ----------", "; Config.ini", "; ----------", "",
    "; ファイル転送に関する設定", "[DOWNLOAD_SETTING]", "; 外部公開用フォルダ", "SHARED_FOLDERS={folders}",
    "; 通信データ暗号化パスワード", "CRYPT_PASSWORD={password}", "", "",
    "; サーバ機能に関する設定", "[SERVER_SETTING]", "; 外部公開用IPアドレス", "IPADDRESS_FOR_ACCEPT={address}",
    "; 外部公開用ポート番号", "PORT_NUMBER_FOR_ACCEPT={port}",
    "; アプリ起動時に自動起動(0:OFF、1:ON)", "SERVER_AUTO_START={auto_start}",
    "; アクセスログを出力する(0:OFF、1:ON)", "ENABLE_ACCESSLOG={access_log}", "",
]


def write_config(folder, port=8080, folders=(), password="tarimuso", address="127.0.0.1", auto_start=1,
                 access_log=1):
    """Writes config.ini into the folder: the default file's lines with the given values, in CP932."""
    text = "\r\n".join(DEFAULT_CONFIG_LINES).format(
        folders="\t".join(folders), password=password, address=address, port=port, auto_start=auto_start,
        access_log=access_log) + "\r\n"
    with open(os.path.join(folder, "config.ini"), "wb") as f:
        f.write(text.encode("cp932"))


def post_command(port, payload, password="tarimuso", connection=None, timeout=30.0):
    """Posts one command (bytes, or text that is written in CP932) to /ftp.cgi in an envelope of the
    password, on the given connection or a new one. Gives the deciphered payload of the answer, or None
    when the server closed the connection without one."""
    if isinstance(payload, str):
        payload = payload.encode("cp932")
    envelope = encipher(payload, password)
    request = b"POST /ftp.cgi HTTP/1.1\r\nContent-Length: %d\r\n\r\n" % len(envelope) + envelope
    s = connection or socket.create_connection(("127.0.0.1", port), timeout=timeout)
    try:
        s.settimeout(timeout)
        s.sendall(request)
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = s.recv(65536)
            if not chunk:
                assert data == b"", data
                return None
            data += chunk
        header, _, body = data.partition(b"\r\n\r\n")
        prefix = b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
        assert header.startswith(prefix), header
        length = int(header[len(prefix):])
        while len(body) < length:
            chunk = s.recv(1 << 20)
            assert chunk, "the answer ends after %d of %d bytes" % (len(body), length)
            body += chunk
        assert len(body) == length
        return decipher(body, password)
    finally:
        if connection is None:
            s.close()


def listing_line(name, kind, size, when, physical, logical):
    """One line of a listing (texts are written in CP932)."""
    return "\t".join([name, kind, size, when, physical, logical]).encode("cp932") + b"\r\n"


def listing_lines(text):
    """The lines of a listing, each with its CR LF: the first ("..") and the set of the others."""
    lines = [line + b"\r\n" for line in text.split(b"\r\n")[:-1]]
    assert b"".join(lines) == text, text
    return lines[0], set(lines[1:])

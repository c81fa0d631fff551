"""The POSIX console host and config.ini from outside: the default file on a first start, the server
started from the settings (or not), a restart (SIGHUP) that reloads them, a reload that fails, the
access-log switch, and the option DeleteSettingFiles. Usage: settings_test.py SORVANE"""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import sorvane_test as t  # noqa: E402

BINARY = sys.argv[1]

# The default config.ini, as the settings' documentation gives it: 23 lines with CR LF, in CP932.
DEFAULT_FILE = "".join(line + "\r\n" for line in [
    "; ----------", "; Config.ini", "; ----------", "",
    "; ファイル転送に関する設定", "[DOWNLOAD_SETTING]", "; 外部公開用フォルダ", "SHARED_FOLDERS=",
    "; 通信データ暗号化パスワード", "CRYPT_PASSWORD=tarimuso", "", "",
    "; サーバ機能に関する設定", "[SERVER_SETTING]", "; 外部公開用IPアドレス", "IPADDRESS_FOR_ACCEPT=127.0.0.1",
    "; 外部公開用ポート番号", "PORT_NUMBER_FOR_ACCEPT=8080",
    "; アプリ起動時に自動起動(0:OFF、1:ON)", "SERVER_AUTO_START=1",
    "; アクセスログを出力する(0:OFF、1:ON)", "ENABLE_ACCESSLOG=1", "",
]).encode("cp932")

PAGE = b"GET /download.html HTTP/1.1\r\n\r\n"


class Host:
    """A copy of the binary in a folder of its own (config.ini and the logs lie beside it), with its own
    instance lock."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="sorvane-settings-")
        self.binary = os.path.join(self.folder, "sorvane")
        shutil.copy(BINARY, self.binary)
        self.config = os.path.join(self.folder, "config.ini")
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.folder, LANG="C.UTF-8")
        self.process = None

    def start(self, *args):
        self.process = subprocess.Popen([self.binary, *args], cwd=self.folder, env=self.env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE)
        return self.process

    def run(self, *args):
        return subprocess.run([self.binary, *args], cwd=self.folder, env=self.env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=30)

    def finish(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        _, err = self.process.communicate(timeout=30)
        return self.process.returncode, err.decode("utf-8", "replace")

    def trace(self):
        return t.today_log(self.folder, "log")

    def cleanup(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


def port_is_free(port):
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
            return True
        except OSError:
            return False


def serves_the_page(port):
    answer, _ = t.exchange(port, PAGE)
    return answer == t.PAGE_HEADER + t.resource("download.html")


def wait_for(condition, what, timeout=30.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


def test_first_start_writes_the_default_file_and_serves_on_8080():
    host = Host()
    try:
        free = port_is_free(8080)
        host.start()
        # The notice is printed and nothing waits for a key.
        line = host.process.stderr.readline().decode("utf-8", "replace")
        assert line == "初期設定: 設定ファイルが見つかりません。 デフォルト設定ファイルを作成します。\n", line
        wait_for(lambda: os.path.exists(host.config) and os.path.getsize(host.config) == 464, "config.ini")
        with open(host.config, "rb") as f:
            assert f.read() == DEFAULT_FILE
        if free:
            t.wait_for_port(8080, 30, host.process)
            assert serves_the_page(8080)
        else:
            print("port 8080 is taken on this machine; its server was not checked", flush=True)
        code, _ = host.finish()
        assert code == 0
    finally:
        host.cleanup()


def test_restart_reloads_the_port_and_a_failed_reload_leaves_the_server_stopped():
    host = Host()
    first, second, third = t.free_port(), t.free_port(), t.free_port()
    try:
        t.write_config(host.folder, port=first)
        host.start()
        t.wait_for_port(first, 30, host.process)

        t.write_config(host.folder, port=second)
        host.process.send_signal(signal.SIGHUP)
        t.wait_for_port(second, 30, host.process)
        t.wait_for_closed_port(first)
        assert serves_the_page(second)

        # A port the loader refuses: the server stops and stays stopped; the program goes on.
        t.write_config(host.folder, port=65536)
        host.process.send_signal(signal.SIGHUP)
        t.wait_for_closed_port(second)
        t.write_config(host.folder, port=third)
        host.process.send_signal(signal.SIGHUP)
        t.wait_for_port(third, 30, host.process)
        assert serves_the_page(third)
        code, err = host.finish()
        assert code == 0, err
    finally:
        host.cleanup()


def test_auto_start_off_waits_for_a_restart():
    host = Host()
    port = t.free_port()
    try:
        t.write_config(host.folder, port=port, auto_start=0)
        host.start("DEBUG")
        wait_for(lambda: "MainWindow_CreateMainWindow".encode() in host.trace(), "the console")
        host.process.send_signal(signal.SIGHUP)
        t.wait_for_port(port, 30, host.process)
        code, _ = host.finish()
        assert code == 0
        # Only the restart started the server.
        assert host.trace().count("Server_StartServer 呼び出し".encode("cp932")) == 1, host.trace()[-2000:]
    finally:
        host.cleanup()


def test_access_log_follows_the_setting_and_its_reload():
    host = Host()
    port = t.free_port()
    refused = b"GET /secret HTTP/1.1\r\n\r\n"
    try:
        t.write_config(host.folder, port=port, access_log=0)
        host.start()
        t.wait_for_port(port, 30, host.process)
        assert t.exchange(port, refused)[0] == t.BAD_REQUEST
        assert t.today_log(host.folder, "access") == b""

        t.write_config(host.folder, port=port, access_log=1)
        host.process.send_signal(signal.SIGHUP)
        wait_for(lambda: b"[SERVER START]" in t.today_log(host.folder, "access"), "the start entry")
        t.wait_for_port(port, 30, host.process)
        assert t.exchange(port, refused)[0] == t.BAD_REQUEST
        code, _ = host.finish()
        assert code == 0
        assert t.today_log(host.folder, "access").count(b"[INVALID REQ]    GET /secret HTTP/1.1") == 1
    finally:
        host.cleanup()


def test_an_invalid_file_at_start_shows_the_load_error_and_ends():
    host = Host()
    port = t.free_port()
    try:
        t.write_config(host.folder, port=port, password="not-valid")
        result = host.run()
        assert result.returncode == 0
        err = result.stderr.decode("utf-8", "replace")
        assert err.startswith("エラー: 設定ファイルの読み込みでエラーが発生しました。 "), err
        assert port_is_free(port)
    finally:
        host.cleanup()


def test_a_folder_too_long_for_the_settings_ends_in_order():
    host = Host()
    try:
        def run(folder, *args):
            return subprocess.run([os.path.join(folder, "sorvane"), *args], cwd=folder, env=host.env,
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=30)

        # A folder of 255 characters and its separator do not fit the folder's 256 bytes: the start and
        # the option end without a word, nothing is written, nothing overruns.
        deep = os.path.join(host.folder, "d" * 100, "e" * 100)
        deep = os.path.join(deep, "f" * (255 - len(deep) - 1))
        assert len(deep) == 255
        os.makedirs(deep)
        shutil.copy(BINARY, os.path.join(deep, "sorvane"))
        for args in ((), ("DeleteSettingFiles",)):
            result = run(deep, *args)
            assert result.returncode == 0 and result.stderr == b"", (args, result.stderr)
        assert os.listdir(deep) == ["sorvane"]
        # One character less fits.
        shallow = deep[:-1]
        os.rename(deep, shallow)
        result = run(shallow, "DeleteSettingFiles")
        assert "設定ファイルを削除しました。" in result.stderr.decode("utf-8"), result.stderr
    finally:
        host.cleanup()


def test_delete_setting_files_deletes_config_ini_only():
    host = Host()
    port = t.free_port()
    try:
        t.write_config(host.folder, port=port)
        host.start()
        t.wait_for_port(port, 30, host.process)
        # The option runs beside a running instance, which goes on serving.
        result = host.run("DeleteSettingFiles")
        assert result.returncode == 0
        assert result.stderr.decode("utf-8") == "アンインストール: 設定ファイルを削除しました。\n", result.stderr
        assert not os.path.exists(host.config)
        assert b"[SERVER START]" in t.today_log(host.folder, "access"), "the logs stay"
        assert serves_the_page(port)
        host.finish()

        # A prefix match, tested after "QuitApplication".
        for args, deleted in ((["DeleteSettingFilesNow"], True), (["QuitApplication", "DeleteSettingFiles"], False)):
            t.write_config(host.folder, port=port)
            assert host.run(*args).returncode == 0, args
            assert os.path.exists(host.config) != deleted, args
        # Nothing to delete is no failure.
        if os.path.exists(host.config):
            os.remove(host.config)
        result = host.run("DeleteSettingFiles")
        assert result.returncode == 0
        assert "設定ファイルを削除しました。" in result.stderr.decode("utf-8"), result.stderr
    finally:
        host.cleanup()


t.run_tests(globals())

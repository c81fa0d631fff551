"""The POSIX console host from outside: it serves the package, writes its logs beside itself, runs as a
single instance, and answers the options and signals that stand in for the tray menu."""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import sorvane_test as t  # noqa: E402

BINARY = sys.argv[1]


class Host:
    """A copy of the binary in a folder of its own, with its own config.ini and instance lock."""

    def __init__(self, port):
        self.folder = tempfile.mkdtemp(prefix="sorvane-host-")
        self.binary = os.path.join(self.folder, "sorvane")
        shutil.copy(BINARY, self.binary)
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.folder, LANG="C.UTF-8")
        self.port = port
        t.write_config(self.folder, port=port)
        self.process = None

    def start(self, *args):
        self.process = subprocess.Popen([self.binary, *args], cwd=self.folder, env=self.env,
                                        stdin=subprocess.DEVNULL, stderr=subprocess.PIPE)
        return self.process

    def run(self, *args):
        return subprocess.run([self.binary, *args], cwd=self.folder, env=self.env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=30)

    def finish(self, sig=signal.SIGTERM):
        if self.process.poll() is None:
            self.process.send_signal(sig)
        _, err = self.process.communicate(timeout=30)
        return self.process.returncode, err.decode("utf-8", "replace")

    def cleanup(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


def test_serves_the_page_and_logs_a_refused_request():
    host = Host(t.free_port())
    try:
        host.start()
        t.wait_for_port(host.port, 30, host.process)
        answer, closed = t.exchange(host.port, b"GET /download.html HTTP/1.1\r\n\r\n")
        assert answer == t.PAGE_HEADER + t.resource("download.html") and closed
        answer, closed = t.exchange(host.port, b"GET /secret HTTP/1.1\r\nHost: x\r\n\r\n")
        assert answer == t.BAD_REQUEST and closed
        code, err = host.finish()
        assert code == 0, err
        assert "サーバ起動: IP:127.0.0.1 , port:%d" % host.port in err, err
        assert "サーバ停止: サーバ停止しました。" in err, err
        log = t.today_log(host.folder, "access")
        assert b": [INVALID REQ]    GET /secret HTTP/1.1  Host: x     \r\n" in log, log
        assert b": [SERVER START]   IP:127.0.0.1 , port:%d \r\n" % host.port in log, log
        # Without DEBUG nothing reaches the trace log.
        assert t.today_log(host.folder, "log") == b""
    finally:
        host.cleanup()


def test_debug_turns_the_trace_log_on():
    host = Host(t.free_port())
    try:
        host.start("DEBUG")
        t.wait_for_port(host.port, 30, host.process)
        code, _ = host.finish(signal.SIGINT)
        assert code == 0
        trace = t.today_log(host.folder, "log")
        assert "強制トレースフラグ設定".encode("cp932") in trace, trace[:400]
        assert b"Server_StartServer" in trace
    finally:
        host.cleanup()


def test_single_instance_and_quit_from_a_second_process():
    host = Host(t.free_port())
    try:
        host.start()
        t.wait_for_port(host.port, 30, host.process)
        second = host.run()
        assert second.returncode == 0
        answer, _ = t.exchange(host.port, b"GET /download.html HTTP/1.1\r\n\r\n")
        assert answer.startswith(b"HTTP/1.1 200 OK"), "the first instance was disturbed"
        quit_run = host.run("QuitApplication")
        assert quit_run.returncode == 0
        code, _ = host.finish()
        assert code == 0
        t.wait_for_closed_port(host.port)
        # With no instance running, the option does nothing and ends with 0.
        assert host.run("QuitApplication").returncode == 0
    finally:
        host.cleanup()


def test_a_port_in_use_shows_the_failure_and_a_restart_recovers():
    port = t.free_port()
    blocker = socket.socket()
    blocker.bind(("127.0.0.1", port))
    blocker.listen(1)
    host = Host(port)
    try:
        host.start()
        # The failure notice arrives on standard error; the host keeps running with the server stopped.
        line = host.process.stderr.readline().decode("utf-8", "replace")
        assert line.startswith("サーバ起動失敗: "), line
        assert "bind" in line, line
        assert host.process.poll() is None
        blocker.close()
        host.process.send_signal(signal.SIGHUP)
        t.wait_for_port(port, 30, host.process)
        answer, _ = t.exchange(port, b"GET /download.html HTTP/1.1\r\n\r\n")
        assert answer == t.PAGE_HEADER + t.resource("download.html")
        code, _ = host.finish()
        assert code == 0
    finally:
        blocker.close()
        host.cleanup()


def test_terminal_lines_do_what_the_tray_menu_does():
    import pty
    host = Host(t.free_port())
    controller, terminal = pty.openpty()
    try:
        host.process = subprocess.Popen([host.binary], cwd=host.folder, env=host.env, stdin=terminal,
                                        stderr=subprocess.PIPE)
        os.close(terminal)
        t.wait_for_port(host.port, 30, host.process)
        os.write(controller, b"stop\n")
        t.wait_for_closed_port(host.port)
        os.write(controller, b"start\n")
        t.wait_for_port(host.port, 30, host.process)
        new_port = t.free_port()
        t.write_config(host.folder, port=new_port)
        os.write(controller, b"restart\n")
        t.wait_for_port(new_port, 30, host.process)
        t.wait_for_closed_port(host.port)
        os.write(controller, b"help\nquit\n")
        _, err = host.process.communicate(timeout=30)
        err = err.decode("utf-8", "replace")
        assert host.process.returncode == 0
        assert "コマンド一覧: start: サーバ起動 / stop: サーバ停止" in err, err
    finally:
        os.close(controller)
        host.cleanup()


t.run_tests(globals())

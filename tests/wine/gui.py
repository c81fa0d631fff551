"""Helpers of the Wine tests that drive the Windows program's windows: the program in a folder of its own,
the test driver (tests/wine/driver_win32.cpp), the trace log, fonts for Japanese texts and screenshots."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import sorvane_test as t  # noqa: E402

PROGRAM, DRIVER, SCREENSHOTS = sys.argv[1:4]
MAINWINDOW = "Sorvane - MainWindow"

# Menu commands and tray notifications.
QUIT, HELP, CONFIGURATION, START, STOP, RESTART = 10, 20, 30, 40, 50, 60
WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONDBLCLK = 0x201, 0x203, 0x204, 0x206
# Menu item states as the program sets them.
ENABLED, GREYED = 0, 3

# The default config.ini, line for line (CP932, CR LF).
DEFAULT_INI = "\r\n".join([
    "; ----------", "; Config.ini", "; ----------", "", "; ファイル転送に関する設定", "[DOWNLOAD_SETTING]",
    "; 外部公開用フォルダ", "SHARED_FOLDERS=", "; 通信データ暗号化パスワード", "CRYPT_PASSWORD=tarimuso", "", "",
    "; サーバ機能に関する設定", "[SERVER_SETTING]", "; 外部公開用IPアドレス", "IPADDRESS_FOR_ACCEPT=127.0.0.1",
    "; 外部公開用ポート番号", "PORT_NUMBER_FOR_ACCEPT=8080", "; アプリ起動時に自動起動(0:OFF、1:ON)",
    "SERVER_AUTO_START=1", "; アクセスログを出力する(0:OFF、1:ON)", "ENABLE_ACCESSLOG=1", "", ""]).encode("cp932")

# Wine draws the frames itself (there is no window manager on the virtual display), and the fonts that the
# dialogs ask for are replaced by Japanese fonts that are installed.
WINE_SETTINGS = """Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"MS UI Gothic"="IPAPGothic"
"MS PGothic"="IPAPGothic"
"MS Gothic"="IPAGothic"
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS Shell Dlg"="IPAPGothic"
"MS Shell Dlg 2"="IPAPGothic"
"Tahoma"="IPAPGothic"
"""


def prepare_wine():
    folder = tempfile.mkdtemp(prefix="sorvane-reg-")
    path = os.path.join(folder, "settings.reg")
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + WINE_SETTINGS.replace("\n", "\r\n").encode("utf-16-le"))
    subprocess.run(["wine", "regedit", "/S", path], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(SCREENSHOTS, exist_ok=True)


def drive_c():
    prefix = os.environ.get("WINEPREFIX", os.path.join(os.path.expanduser("~"), ".wine"))
    return os.path.join(prefix, "drive_c")


def driver(*arguments, check=True, timeout=120):
    """Runs one action of the test driver; returns its output lines (decoded from CP932)."""
    result = subprocess.run(["wine", DRIVER] + [str(a) for a in arguments], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, timeout=timeout)
    lines = result.stdout.decode("cp932", "replace").replace("\r\n", "\n").splitlines()
    if check and result.returncode != 0:
        raise AssertionError("driver %s: %s" % (" ".join(str(a) for a in arguments), lines))
    return lines


def driver_in_background(*arguments):
    """Starts a driver action that waits for the program (a message box that it opens, for instance)."""
    return subprocess.Popen(["wine", DRIVER] + [str(a) for a in arguments], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def new_folder(ini=None):
    """A folder with the program (and the help file) and, when given, a config.ini of these bytes."""
    folder = tempfile.mkdtemp(prefix="sorvane-gui-")
    shutil.copy(PROGRAM, folder)
    help_file = os.path.join(os.path.dirname(PROGRAM), "SorvaneHelp.chm")
    if os.path.exists(help_file):
        shutil.copy(help_file, folder)
    if ini is not None:
        with open(os.path.join(folder, "config.ini"), "wb") as f:
            f.write(ini)
    return folder


def ini_with(**values):
    """The default config.ini with some keys' values replaced (key=value, as text)."""
    text = DEFAULT_INI.decode("cp932")
    for key, value in values.items():
        lines = text.split("\r\n")
        lines = [key + "=" + str(value) if line.startswith(key + "=") else line for line in lines]
        text = "\r\n".join(lines)
    return text.encode("cp932")


def read_ini(folder):
    with open(os.path.join(folder, "config.ini"), "rb") as f:
        return f.read().decode("cp932")


def ini_value(folder, key):
    for line in read_ini(folder).split("\r\n"):
        if line.startswith(key + "="):
            return line[len(key) + 1:]
    return None


def start(folder, *arguments):
    exe = os.path.join(folder, os.path.basename(PROGRAM))
    return subprocess.Popen(["wine", exe] + list(arguments), cwd=folder, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def run(folder, *arguments, timeout=120):
    """Runs the program to its end; returns the exit code."""
    return start(folder, *arguments).wait(timeout=timeout)


def wait_main_window(process=None):
    driver("wait-window", MAINWINDOW, 90)


def trace(folder):
    return t.today_log(folder, "log").decode("cp932", "replace")


def wait_for(condition, timeout=60.0):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("still not so after %d seconds" % timeout)
        time.sleep(0.2)


def wait_trace(folder, text, count, timeout=60.0):
    """Waits until the trace log holds the text at least count times (the program has got that far)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if trace(folder).count(text) >= count:
            return
        time.sleep(0.2)
    raise AssertionError("the trace log holds %r fewer than %d times" % (text, count))


def next_second():
    """Lets the wall clock pass into a later second, so that the next command is not taken for a repeat
    of the previous one."""
    time.sleep(1.1)


def screenshot(name, window=None):
    """A PNG of the screen, or of one window (moved away from the tray's corner first), in the build tree."""
    path = os.path.join(SCREENSHOTS, name + ".png")
    crop = []
    if window is not None:
        width, height, left, top = driver("place", window, 240, 160)[0].split()
        crop = ["-crop", "%sx%s+%s+%s" % (width, height, left, top), "+repage"]
    subprocess.run(["import", "-window", "root"] + crop + [path], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return path


def stop_everything(process):
    """Ends a program that a failed test left running."""
    if process is not None and process.poll() is None:
        driver("command", QUIT, check=False)
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()

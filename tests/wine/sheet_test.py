"""The Windows program's settings sheet under Wine: opened by the menu command, its three pages, a port
and a folder entered through the controls and applied, Cancel still saving, and what it refuses (a port
of 70000, an address ending in 255, a password character, a folder list that would not load again).
Arguments: sorvane.exe, the test driver, the folder for screenshots."""

import os
import shutil

import gui
from gui import t

SHEET = "設定"
APPLIED = "WM_NOTIFY( PSN_APPLY )"


def wait_until(action, expected, attempts=100):
    """Repeats a driver action until it gives the expected lines (the program works on its own time)."""
    for _ in range(attempts):
        lines = gui.driver(*action)
        if lines == expected:
            return
    raise AssertionError("%s gives %s, not %s" % (action, lines, expected))


def open_sheet():
    gui.next_second()
    gui.driver("command", gui.CONFIGURATION)
    gui.driver("wait-window", SHEET, 60)


def close_sheet(button):
    gui.driver("sheet-press", button)
    gui.driver("wait-gone", SHEET, 60)


def press_refused(folder, box=None):
    """Presses OK where a page refuses: the sheet stays open. Returns the refusal box's text, if any."""
    applied = gui.trace(folder).count(APPLIED)
    gui.driver("sheet-press", "ok")
    text = gui.driver("dismiss", "エラー", 60) if box else None
    gui.wait_trace(folder, APPLIED, applied + 1)
    assert gui.driver("exists", SHEET) == ["1"]
    return text


def typed_into_password_box(text):
    """Types into the password box; the box it opens is read and closed; gives what the box then shows."""
    typing = gui.driver_in_background("sheet-set", 1026, text)
    shown = gui.driver("dismiss", "エラー", 60)
    assert typing.wait(timeout=60) == 0
    return shown, gui.driver("sheet-get", 1026)


def test_settings_sheet():
    port = t.free_port()
    share = os.path.join(gui.drive_c(), "sorvane-共有", "ソフト")
    os.makedirs(share, exist_ok=True)
    share_path = "C:\\sorvane-共有\\ソフト"
    folder = gui.new_folder(gui.ini_with(PORT_NUMBER_FOR_ACCEPT=port, SERVER_AUTO_START=0))
    process = gui.start(folder, "DEBUG")
    try:
        gui.wait_main_window()

        # The sheet opens on the server page with the record's values; three tabs.
        open_sheet()
        assert gui.driver("sheet-tabs") == ["サーバ設定", "ファイル転送に関する設定", "バージョン情報"]
        assert gui.driver("sheet-page") == ["0"]
        assert gui.driver("sheet-address") == ["127.0.0.1"]
        assert gui.driver("sheet-get", 1002) == [str(port)]
        gui.screenshot("sheet-server", SHEET)
        assert gui.driver("sheet-apply-enabled") == ["0"]

        # A port of 70000 is refused without a message: the sheet stays on the server page.
        gui.driver("sheet-set", 1002, 70000)
        assert gui.driver("sheet-apply-enabled") == ["1"]
        press_refused(folder)
        assert gui.driver("sheet-page") == ["0"]
        new_port = t.free_port()
        gui.driver("sheet-set", 1002, new_port)

        # The transfer page: a folder added through the folder browser; wrong password input is put back.
        gui.driver("sheet-page", 1)
        gui.driver("sheet-add-folder", share_path)
        wait_until(("sheet-list", 1025), [share_path])
        assert typed_into_password_box("abc#") == (["半角英数 で入力してください"], ["tarimuso"])
        assert typed_into_password_box("a" * 33)[0] == ["32 文字以下 で入力してください"]
        assert gui.driver("sheet-get", 1026) == ["tarimuso"]
        deleting = gui.driver_in_background("sheet-click", 1020)
        assert gui.driver("dismiss", "エラー", 60) == ["アイテムが選択されていません。"]
        assert deleting.wait(timeout=60) == 0
        gui.screenshot("sheet-transfer", SHEET)

        gui.driver("sheet-page", 2)
        gui.screenshot("sheet-version", SHEET)

        # OK applies every page that was shown and saves; a restart listens on the new port.
        close_sheet("ok")
        assert gui.ini_value(folder, "PORT_NUMBER_FOR_ACCEPT") == str(new_port)
        assert gui.ini_value(folder, "SHARED_FOLDERS") == share_path
        assert gui.ini_value(folder, "CRYPT_PASSWORD") == "tarimuso"
        gui.next_second()
        gui.driver("command", gui.RESTART)
        t.wait_for_port(new_port, 60, process)

        # Cancel applies nothing but still writes the record to config.ini, over a change made outside.
        with open(os.path.join(folder, "config.ini"), "r+b") as f:
            text = f.read().replace(b"ENABLE_ACCESSLOG=1", b"ENABLE_ACCESSLOG=0")
            f.seek(0)
            f.write(text)
        open_sheet()
        # A command that comes while the sheet is open is carried out at once.
        gui.driver("command", gui.STOP)
        t.wait_for_closed_port(new_port)
        close_sheet("cancel")
        assert gui.ini_value(folder, "ENABLE_ACCESSLOG") == "1"

        # An address ending in 255 would not load at the next start: refused, and not stored.
        open_sheet()
        gui.driver("sheet-address", 192, 168, 0, 255)
        press_refused(folder)
        close_sheet("cancel")
        assert gui.ini_value(folder, "IPADDRESS_FOR_ACCEPT") == "127.0.0.1"

        # A folder list whose joined text the loader would refuse is refused with a message.
        long_folders = "\t".join("C:\\" + ("%d" % i) * 251 for i in range(1, 9))
        assert len(long_folders) == 2039
        with open(os.path.join(folder, "config.ini"), "r+b") as f:
            text = f.read().replace(b"SHARED_FOLDERS=" + share_path.encode("cp932"),
                                    b"SHARED_FOLDERS=" + long_folders.encode("cp932"))
            f.seek(0)
            f.truncate()
            f.write(text)
        gui.next_second()
        gui.driver("command", gui.RESTART)
        gui.wait_trace(folder, "Config_LoadSetting 呼び出し", 3)
        open_sheet()
        gui.driver("sheet-page", 1)
        gui.driver("sheet-add-folder", share_path)
        wait_until(("sheet-list", 1025), long_folders.split("\t") + [share_path])
        assert press_refused(folder, box=True) == [
            "公開フォルダの一覧が長すぎるため保存できません。",
            "フォルダのパスは259文字以内、一覧全体は2046文字以内にしてください。"]
        assert gui.driver("sheet-page") == ["1"]
        close_sheet("cancel")
        assert gui.ini_value(folder, "SHARED_FOLDERS") == long_folders

        gui.next_second()
        gui.driver("command", gui.QUIT)
        assert process.wait(timeout=60) == 0
        shutil.rmtree(folder, ignore_errors=True)
    finally:
        gui.stop_everything(process)


gui.prepare_wine()
t.run_tests(globals())

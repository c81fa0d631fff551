"""The Windows program under Wine: first start, the tray menu and its commands, the single instance and
the command-line options, and the server shown as stopped when it cannot listen or restart.
Arguments: sorvane.exe, the test driver, the folder for screenshots."""

import os
import shutil
import re
import socket
import subprocess

import gui
from gui import t

MENU_STATE = re.compile(r"SetMenuItemInfo 呼び出し\(ID=(\d+), State=(\d+)\)")
DISCARDED = "一定時間内の連続メッセージのため破棄します(暫定対処)"


def menu_states(folder):
    """Opens the tray menu and gives the states that the program gave the server items on the way."""
    before = len(MENU_STATE.findall(gui.trace(folder)))
    gui.driver("tray", gui.WM_RBUTTONDOWN)
    gui.driver("menu-wait", "_", 60)
    found = MENU_STATE.findall(gui.trace(folder))[before:]
    assert len(found) == 3, found
    return {int(identifier): int(state) for identifier, state in found}


RUNNING_MENU = {gui.START: gui.GREYED, gui.STOP: gui.ENABLED, gui.RESTART: gui.ENABLED}
STOPPED_MENU = {gui.START: gui.ENABLED, gui.STOP: gui.GREYED, gui.RESTART: gui.GREYED}


def set_port(folder, port):
    path = os.path.join(folder, "config.ini")
    text = gui.read_ini(folder)
    text = re.sub(r"PORT_NUMBER_FOR_ACCEPT=[^\r]*", "PORT_NUMBER_FOR_ACCEPT=%s" % port, text)
    with open(path, "wb") as f:
        f.write(text.encode("cp932"))


def server_entries(folder):
    log = t.today_log(folder, "access")
    return log.count(b"[SERVER START]  "), log.count(b"[SERVER STOP]   ")


def test_first_start_menu_commands_and_options():
    folder = gui.new_folder()
    t.wait_for_closed_port(8080, 300)  # the default port, which another program may hold for a while
    process = gui.start(folder, "DEBUG")
    try:
        # No config.ini: the notice, then the default file, the tray icon and the server on 8080.
        notice = gui.driver("dismiss", "初期設定", 90)
        assert notice == ["設定ファイルが見つかりません。", "デフォルト設定ファイルを作成します。"], notice
        gui.wait_main_window()
        with open(os.path.join(folder, "config.ini"), "rb") as f:
            assert f.read() == gui.DEFAULT_INI
        # DEBUG: the trace of the start-up begins with the flag being set.
        assert "強制トレースフラグ設定" in gui.trace(folder).splitlines()[0]
        t.wait_for_port(8080, 60, process)
        gui.wait_for(lambda: b"IP:127.0.0.1 , port:8080" in t.today_log(folder, "access"))
        assert "MainWindow_AddTaskTrayIcon" in gui.trace(folder)

        # The menu follows the server's state; a picture of it for people to look at.
        subprocess.run(["xdotool", "mousemove", "900", "600"], check=True)
        assert menu_states(folder) == RUNNING_MENU
        gui.screenshot("tray-menu")
        gui.driver("menu-close")

        gui.driver("command", gui.STOP)
        t.wait_for_closed_port(8080)
        assert menu_states(folder) == STOPPED_MENU
        gui.driver("menu-close")
        gui.next_second()

        gui.driver("command", gui.START)
        t.wait_for_port(8080, 60, process)
        gui.next_second()

        # A restart reads config.ini again: the new port answers, the old one no longer.
        port = t.free_port()
        set_port(folder, port)
        gui.driver("command", gui.RESTART)
        t.wait_for_port(port, 60, process)
        t.wait_for_closed_port(8080)
        gui.next_second()

        # Two commands within one wall-clock second: the first is carried out, the second discarded.
        gui.driver("command", gui.STOP)
        t.wait_for_closed_port(port)
        gui.next_second()
        discarded = gui.trace(folder).count(DISCARDED)
        gui.driver("commands-in-one-second", gui.START, gui.STOP)
        gui.wait_trace(folder, DISCARDED, discarded + 1)
        t.wait_for_port(port, 60, process)
        assert menu_states(folder) == RUNNING_MENU
        gui.driver("menu-close")

        # Right double-click: the press right after it opens no menu; the left button does nothing; a
        # later press opens the menu again.
        pressed = gui.trace(folder).count("START(WM_RBUTTONDOWN)")
        popups = gui.trace(folder).count("MainWindow_PopupMenu 呼び出し")
        gui.driver("tray", gui.WM_RBUTTONDBLCLK, gui.WM_RBUTTONDOWN, gui.WM_LBUTTONDOWN, gui.WM_LBUTTONDBLCLK)
        gui.wait_trace(folder, "START(WM_RBUTTONDOWN)", pressed + 1)
        gui.next_second()
        gui.driver("tray", gui.WM_RBUTTONDOWN)
        gui.driver("menu-wait", "_", 60)
        gui.driver("menu-close")
        assert gui.trace(folder).count("MainWindow_PopupMenu 呼び出し") == popups + 1

        # The shell's taskbar is new: the icon is added again, and the menu still follows the server.
        added = gui.trace(folder).count("MainWindow_AddTaskTrayIcon 呼び出し")
        gui.driver("taskbar-created")
        gui.wait_trace(folder, "MainWindow_AddTaskTrayIcon 呼び出し", added + 1)
        assert menu_states(folder) == RUNNING_MENU
        gui.driver("menu-close")

        # A second normal start ends at once with 0 and leaves the first undisturbed; so do command lines
        # that only resemble an option (options match from the start, case-sensitively, in full).
        for arguments in ([], ["quitapplication"], ["DEBUG", "QuitApplication"], ["DeleteSettingFi"]):
            assert gui.run(folder, *arguments) == 0, arguments
        assert gui.driver("exists", gui.MAINWINDOW) == ["1"]
        assert os.path.exists(os.path.join(folder, "config.ini"))
        t.wait_for_port(port, 10, process)

        # DeleteSettingFiles deletes config.ini and tells so; the running instance goes on.
        deleter = gui.start(folder, "DeleteSettingFiles")
        assert gui.driver("dismiss", "アンインストール", 90) == ["設定ファイルを削除しました。"]
        assert deleter.wait(timeout=60) == 0
        assert not os.path.exists(os.path.join(folder, "config.ini"))
        assert gui.driver("exists", gui.MAINWINDOW) == ["1"]

        # QuitApplication from another process closes the window without stopping the server first.
        starts, stops = server_entries(folder)
        assert gui.run(folder, "QuitApplication", "now") == 0
        gui.driver("wait-gone", gui.MAINWINDOW, 60)
        assert process.wait(timeout=60) == 0
        assert server_entries(folder) == (starts, stops) and starts == stops + 1, (starts, stops)
        assert gui.run(folder, "QuitApplication") == 0
        shutil.rmtree(folder, ignore_errors=True)
    finally:
        gui.stop_everything(process)


def test_help_then_quit_command_stops_the_server_and_ends_with_0():
    port = t.free_port()
    folder = gui.new_folder(gui.ini_with(PORT_NUMBER_FOR_ACCEPT=port))
    process = gui.start(folder)
    try:
        gui.wait_main_window()
        t.wait_for_port(port, 60, process)
        # The help file beside the program opens at its table of contents (the viewer is Wine's).
        gui.driver("command", gui.HELP)
        gui.driver("wait-window", "Sorvane ヘルプ", 60)
        gui.screenshot("help", "Sorvane ヘルプ")
        gui.next_second()
        gui.driver("command", gui.QUIT)
        assert process.wait(timeout=60) == 0
        assert server_entries(folder) == (1, 1)
        t.wait_for_closed_port(port)
        shutil.rmtree(folder, ignore_errors=True)
    finally:
        gui.stop_everything(process)


def test_server_shown_stopped_when_it_cannot_listen_or_restart():
    with socket.socket() as holder:
        holder.bind(("127.0.0.1", 0))
        holder.listen(1)
        port = holder.getsockname()[1]
        folder = gui.new_folder(gui.ini_with(PORT_NUMBER_FOR_ACCEPT=port))
        process = gui.start(folder, "DEBUG")
        try:
            gui.wait_main_window()
            gui.wait_trace(folder, "サーバ起動失敗のため停止状態へ戻します", 1)
            assert menu_states(folder) == STOPPED_MENU
            gui.driver("menu-close")
        except Exception:
            gui.stop_everything(process)
            raise
    try:
        # The port is free now: start works, so the failed thread has been cleared away.
        gui.next_second()
        gui.driver("command", gui.START)
        t.wait_for_port(port, 60, process)
        gui.next_second()

        # A restart whose reload fails leaves the server stopped, and the menu says so.
        set_port(folder, 70000)
        gui.driver("command", gui.RESTART)
        gui.wait_trace(folder, "Config_LoadSetting 異常終了", 1)
        t.wait_for_closed_port(port)
        assert menu_states(folder) == STOPPED_MENU
        gui.driver("menu-close")
        gui.next_second()

        # The record now holds the refused port: start refuses it too, rather than listen on 70000 - 65536.
        refused = "設定値が不正なためサーバを起動しません"
        gui.driver("command", gui.START)
        gui.wait_trace(folder, refused, 1)
        t.wait_for_closed_port(70000 - 65536, 2)
        gui.next_second()

        set_port(folder, port)
        gui.driver("command", gui.RESTART)
        t.wait_for_port(port, 60, process)
        gui.next_second()
        gui.driver("command", gui.QUIT)
        assert process.wait(timeout=60) == 0
        shutil.rmtree(folder, ignore_errors=True)
    finally:
        gui.stop_everything(process)


gui.prepare_wine()
t.run_tests(globals())

// The console host: the same lifecycle as the tray program, with a terminal in place of the tray.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/config.h"
#include "log/log.h"
#include "mainwindow/console_posix.h"

namespace {

// The lock file that makes this the one running instance: in the user's runtime folder.
std::string WinMain_LockPath(void) {
    const char *pcharRuntime = getenv("XDG_RUNTIME_DIR");
    if (pcharRuntime != nullptr && pcharRuntime[0] != '\0') return std::string(pcharRuntime) + "/sorvane.lock";
    return "/tmp/sorvane-" + std::to_string(getuid()) + ".lock";
}

// Takes the single-instance lock and writes this process's id into it. The descriptor stays open
// until the process ends. 0, or -1 when another instance holds it.
int WinMain_TakeInstanceLock(void) {
    int intLock = open(WinMain_LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (intLock < 0 || flock(intLock, LOCK_EX | LOCK_NB) != 0) {
        LOG_TRACE("flock 異常終了");
        return -1;
    }
    char charPid[32];
    int intLength = snprintf(charPid, sizeof(charPid), "%ld\n", static_cast<long>(getpid()));
    if (ftruncate(intLock, 0) != 0 || write(intLock, charPid, static_cast<size_t>(intLength)) != intLength) {
        LOG_TRACE("ロックファイル書き込み異常");
    }
    return 0;
}

// Asks the running instance, if any, to end.
void WinMain_QuitRunningInstance(void) {
    int intLock = open(WinMain_LockPath().c_str(), O_RDONLY | O_CLOEXEC);
    if (intLock < 0) return;
    // The lock is free when no instance runs: then the pid in the file is stale.
    if (flock(intLock, LOCK_SH | LOCK_NB) == 0) {
        close(intLock);
        return;
    }
    char charPid[32] = {0};
    ssize_t ssizeRead = read(intLock, charPid, sizeof(charPid) - 1);
    close(intLock);
    long longPid = ssizeRead > 0 ? strtol(charPid, nullptr, 10) : 0;
    if (longPid <= 0) return;
    char charMessage[64];
    snprintf(charMessage, sizeof(charMessage), "kill SIGTERM to %ld", longPid);
    LOG_TRACE(charMessage);
    kill(static_cast<pid_t>(longPid), SIGTERM);
}

int WinMain_InitializeApplication(void) {
    LOG_ENTER();
    if (WinMain_TakeInstanceLock() != 0) {
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_TRACE("Config_Initialize 呼び出し");
    if (Config_Initialize() != 0) {
        LOG_TRACE("Config_Initialize 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_LEAVE_OK();
    return 0;
}

int WinMain_FinalizeApplication(void) {
    LOG_ENTER();
    LOG_TRACE("Config_Finalize 呼び出し");
    if (Config_Finalize() != 0) LOG_TRACE("Config_Finalize 異常終了");
    LOG_LEAVE_OK();
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    // The terminal's encoding, for what is printed to the user; numbers and times stay in the C locale.
    setlocale(LC_CTYPE, "");
    std::string stringCommandLine;
    for (int intIndex = 1; intIndex < argc; ++intIndex) {
        if (intIndex > 1) stringCommandLine += ' ';
        stringCommandLine += argv[intIndex];
    }
    LOG_ENTER();
    LOG_TRACEF("CmdArg = %s", stringCommandLine.c_str());
    if (stringCommandLine.find("DEBUG") != std::string::npos) {
        longForceTraceFlag = 1;
        LOG_TRACE("強制トレースフラグ設定");
    }
    if (stringCommandLine.compare(0, 15, "QuitApplication") == 0) {
        WinMain_QuitRunningInstance();
        LOG_LEAVE_OK();
        return 0;
    }
    if (stringCommandLine.compare(0, 18, "DeleteSettingFiles") == 0) {
        LOG_TRACE("Config_DeleteSettingFiles 呼び出し");
        Config_DeleteSettingFiles();
        LOG_LEAVE_OK();
        return 0;
    }

    LOG_TRACE("WinMain_InitializeApplication 呼び出し");
    if (WinMain_InitializeApplication() != 0) {
        LOG_TRACE("WinMain_InitializeApplication 異常終了");
        LOG_LEAVE_NG();
        return 0;
    }
    long longExitCode = 0;
    LOG_TRACE("MainWindow_CreateMainWindow 呼び出し");
    if (MainWindow_CreateMainWindow(&longExitCode) != 0) {
        LOG_TRACE("MainWindow_CreateMainWindow 異常終了");
        LOG_LEAVE_NG();
        return 0;
    }
    LOG_TRACE("WinMain_FinalizeApplication 呼び出し");
    if (WinMain_FinalizeApplication() != 0) LOG_TRACE("WinMain_FinalizeApplication 異常終了");
    LOG_TRACE("処理終了");
    return static_cast<int>(longExitCode);
}

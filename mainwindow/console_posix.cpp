#include "mainwindow/console_posix.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

#include "config/config.h"
#include "log/log.h"
#include "platform/platform.h"
#include "server/server.h"

long longServerRunning = 0;

namespace {

// The commands of the tray menu.
constexpr long D_LONG_MAINWINDOW_COMMAND_START = 1;
constexpr long D_LONG_MAINWINDOW_COMMAND_STOP = 2;
constexpr long D_LONG_MAINWINDOW_COMMAND_RESTART = 3;
constexpr long D_LONG_MAINWINDOW_COMMAND_QUIT = 4;
constexpr long D_LONG_MAINWINDOW_COMMAND_HELP = 5;
// The terminal's list of commands, in place of the help file.
constexpr unsigned int D_UINT_MAINWINDOW_STRINGID_HELP_CAPTION = 150;
constexpr unsigned int D_UINT_MAINWINDOW_STRINGID_HELP_TEXT = 151;

struct MainWindow_Balloon {
    long longEvent;
    std::string stringTitle;
    std::string stringText;
};

// Signals and the server thread's balloons wake the console through this pipe: one byte each, the
// signal's number or D_CHAR_MAINWINDOW_WAKE_BALLOON.
constexpr char D_CHAR_MAINWINDOW_WAKE_BALLOON = 'b';
int intWakePipe[2] = {-1, -1};
std::mutex mutexBalloons;
std::deque<MainWindow_Balloon> dequeBalloons;

void MainWindow_Wake(char charReason) {
    ssize_t ssizeWritten = write(intWakePipe[1], &charReason, 1);
    (void)ssizeWritten;
}

void MainWindow_SignalHandler(int intSignal) {
    int intSavedErrno = errno;
    MainWindow_Wake(static_cast<char>(intSignal));
    errno = intSavedErrno;
}

// Called on the server thread: hands the balloon to the console's own thread.
void MainWindow_BalloonSink(long longEvent, const char *pcharTitle, const char *pcharText) {
    {
        std::lock_guard<std::mutex> lockBalloons(mutexBalloons);
        dequeBalloons.push_back({longEvent, pcharTitle, pcharText});
    }
    MainWindow_Wake(D_CHAR_MAINWINDOW_WAKE_BALLOON);
}

int MainWindow_InstallSignals(void) {
    if (pipe(intWakePipe) != 0) return -1;
    struct sigaction structAction;
    memset(&structAction, 0, sizeof(structAction));
    structAction.sa_handler = MainWindow_SignalHandler;
    sigemptyset(&structAction.sa_mask);
    for (int intSignal : {SIGINT, SIGTERM, SIGHUP}) {
        if (sigaction(intSignal, &structAction, nullptr) != 0) return -1;
    }
    signal(SIGPIPE, SIG_IGN);
    return 0;
}

// Starts the server on the address and port of the settings.
void MainWindow_StartServer(void) {
    LOG_TRACE("Server_StartServer 呼び出し");
    if (Server_StartServer(Config_Setting.longIpAddress, MainWindow_BalloonSink, Config_Setting.longPortNumber) != 0) {
        LOG_TRACE("Server_StartServer 異常終了");
        return;
    }
    longServerRunning = 1;
}

void MainWindow_StopServer(void) {
    LOG_TRACE("Server_StopServer 呼び出し");
    Server_StopServer();
    longServerRunning = 0;
}

// Shows the balloons that the server thread handed over; a server that could not listen is stopped.
void MainWindow_ShowBalloons(void) {
    std::deque<MainWindow_Balloon> dequeTaken;
    {
        std::lock_guard<std::mutex> lockBalloons(mutexBalloons);
        dequeTaken.swap(dequeBalloons);
    }
    for (const MainWindow_Balloon &structBalloon : dequeTaken) {
        Platform_ShowMessage(structBalloon.stringTitle.c_str(), structBalloon.stringText.c_str(),
                             D_LONG_PLATFORM_NOTICE_INFORMATION);
        if (structBalloon.longEvent == D_LONG_SERVER_EVENT_FAILED && longServerRunning == 1) MainWindow_StopServer();
    }
}

// Carries out a command of the menu; 1 when the program is to end.
int MainWindow_Command(long longCommand) {
    LOG_TRACEF("コマンド受信(%ld)", longCommand);
    switch (longCommand) {
    case D_LONG_MAINWINDOW_COMMAND_START:
        if (longServerRunning == 0) MainWindow_StartServer();
        return 0;
    case D_LONG_MAINWINDOW_COMMAND_STOP:
        if (longServerRunning == 1) MainWindow_StopServer();
        return 0;
    case D_LONG_MAINWINDOW_COMMAND_RESTART:
        // Stop, read config.ini again, start with what it says; a reload that fails leaves it stopped.
        MainWindow_StopServer();
        LOG_TRACE("Config_LoadSetting 呼び出し");
        if (Config_LoadSetting() != 0) {
            LOG_TRACE("Config_LoadSetting 異常終了");
            return 0;
        }
        MainWindow_StartServer();
        return 0;
    case D_LONG_MAINWINDOW_COMMAND_HELP: {
        char charCaption[256];
        char charText[256];
        Platform_LoadString(D_UINT_MAINWINDOW_STRINGID_HELP_CAPTION, charCaption, sizeof(charCaption));
        Platform_LoadString(D_UINT_MAINWINDOW_STRINGID_HELP_TEXT, charText, sizeof(charText));
        Platform_ShowMessage(charCaption, charText, D_LONG_PLATFORM_NOTICE_INFORMATION);
        return 0;
    }
    default:
        if (longServerRunning == 1) MainWindow_StopServer();
        return 1;
    }
}

long MainWindow_CommandOfLine(const std::string &stringLine) {
    static const struct {
        const char *pcharWord;
        long longCommand;
    } structWords[] = {{"start", D_LONG_MAINWINDOW_COMMAND_START},     {"stop", D_LONG_MAINWINDOW_COMMAND_STOP},
                       {"restart", D_LONG_MAINWINDOW_COMMAND_RESTART}, {"quit", D_LONG_MAINWINDOW_COMMAND_QUIT},
                       {"help", D_LONG_MAINWINDOW_COMMAND_HELP}};
    for (const auto &structWord : structWords) {
        if (stringLine == structWord.pcharWord) return structWord.longCommand;
    }
    return 0;
}

long MainWindow_CommandOfSignal(int intSignal) {
    return intSignal == SIGHUP ? D_LONG_MAINWINDOW_COMMAND_RESTART : D_LONG_MAINWINDOW_COMMAND_QUIT;
}

// Reads what the terminal has typed; complete lines become commands. 1 when the program is to end.
int MainWindow_ReadTerminal(std::string *pstringPending, bool *pboolOpen) {
    char charBuffer[256];
    ssize_t ssizeRead = read(STDIN_FILENO, charBuffer, sizeof(charBuffer));
    if (ssizeRead <= 0) {
        *pboolOpen = false;
        return 0;
    }
    pstringPending->append(charBuffer, static_cast<size_t>(ssizeRead));
    size_t sizeNewline;
    while ((sizeNewline = pstringPending->find('\n')) != std::string::npos) {
        std::string stringLine = pstringPending->substr(0, sizeNewline);
        pstringPending->erase(0, sizeNewline + 1);
        while (!stringLine.empty() && (stringLine.back() == '\r' || stringLine.back() == ' ')) stringLine.pop_back();
        long longCommand = MainWindow_CommandOfLine(stringLine);
        if (longCommand == 0) {
            if (!stringLine.empty()) MainWindow_Command(D_LONG_MAINWINDOW_COMMAND_HELP);
            continue;
        }
        if (MainWindow_Command(longCommand) != 0) return 1;
    }
    return 0;
}

// Handles what woke the console: balloons and signals. 1 when the program is to end.
int MainWindow_ReadWakes(void) {
    char charWakes[64];
    ssize_t ssizeRead = read(intWakePipe[0], charWakes, sizeof(charWakes));
    for (ssize_t ssizeIndex = 0; ssizeIndex < ssizeRead; ++ssizeIndex) {
        if (charWakes[ssizeIndex] == D_CHAR_MAINWINDOW_WAKE_BALLOON) {
            MainWindow_ShowBalloons();
        } else if (MainWindow_Command(MainWindow_CommandOfSignal(charWakes[ssizeIndex])) != 0) {
            return 1;
        }
    }
    return 0;
}

}  // namespace

int MainWindow_CreateMainWindow(long *plongExitCode) {
    LOG_ENTER();
    if (MainWindow_InstallSignals() != 0) {
        LOG_TRACE("sigaction 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    if (Config_Setting.longServerAutoStart == 1) MainWindow_StartServer();

    bool boolTerminal = isatty(STDIN_FILENO) == 1;
    std::string stringPending;
    for (;;) {
        struct pollfd structPoll[2] = {{intWakePipe[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        int intReady = poll(structPoll, boolTerminal ? 2 : 1, -1);
        if (intReady < 0 && errno != EINTR) break;
        if ((structPoll[0].revents & POLLIN) && MainWindow_ReadWakes() != 0) break;
        if (boolTerminal && (structPoll[1].revents & (POLLIN | POLLHUP)) &&
            MainWindow_ReadTerminal(&stringPending, &boolTerminal) != 0) {
            break;
        }
    }
    MainWindow_ShowBalloons();
    *plongExitCode = 0;
    LOG_LEAVE_OK();
    return 0;
}

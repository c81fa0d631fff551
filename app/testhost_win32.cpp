// A console host for the Windows build's server: starts the server on 127.0.0.1 and the port given
// as the first argument (8080 without one), prints its balloons, and stops it when standard input
// reaches its end or the line "quit". With a config.ini beside it, the password, the shared folders
// and the access-log switch come from there.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/config.h"
#include "log/log.h"
#include "platform/platform.h"
#include "server/server.h"

namespace {

void TestHost_BalloonSink(long longEvent, const char *pcharTitle, const char *pcharText) {
    printf("balloon %ld: %s: %s\n", longEvent, pcharTitle, pcharText);
    fflush(stdout);
}

}  // namespace

int main(int argc, char **argv) {
    long longPort = argc > 1 ? strtol(argv[1], nullptr, 10) : 8080;
    if (argc > 2 && strcmp(argv[2], "DEBUG") == 0) longForceTraceFlag = 1;
    char charConfigPath[D_LONG_PLATFORM_MAX_PATH];
    if (Platform_GetExecutableFolder(charConfigPath, sizeof(charConfigPath)) == 0 &&
        strlen(charConfigPath) + strlen("\\config.ini") < sizeof(charConfigPath)) {
        strcat(charConfigPath, "\\config.ini");
        if (Platform_FindFile(charConfigPath) == 0) {
            if (Config_Initialize() != 0) return 1;
            Log_SetAccessLogEnabled(Config_Setting.longEnableAccessLog);
        }
    }
    const long longAddress[4] = {127, 0, 0, 1};
    if (Server_StartServer(longAddress, TestHost_BalloonSink, longPort) != 0) return 1;
    char charLine[64];
    while (fgets(charLine, sizeof(charLine), stdin) != nullptr) {
        if (strncmp(charLine, "quit", 4) == 0) break;
    }
    Server_StopServer();
    Config_Finalize();
    printf("stopped\n");
    return 0;
}

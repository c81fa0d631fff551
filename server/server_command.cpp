// The command route of /ftp.cgi.
#include "log/log.h"
#include "server/server.h"

int Server_PostProcess(char *pcharRequest, long longHeaderLength, long longBodyLength, unsigned char **ppucharBody,
                       long *plongBodyLength) {
    LOG_ENTER();
    (void)pcharRequest;
    (void)longHeaderLength;
    (void)longBodyLength;
    (void)ppucharBody;
    (void)plongBodyLength;
    // Commands are not served by this build: the request goes unanswered and the connection closes.
    LOG_TRACE("コマンド処理未対応");
    LOG_LEAVE_NG();
    return -1;
}

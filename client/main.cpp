// sorvane-client: lists a folder of a running Sorvane, or downloads a file from it, resuming a partial
// download. Messages go to standard error, the listing to standard output; the exit code tells what
// went wrong (client.h).
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "client/client.h"
#include "platform/platform.h"

namespace {

constexpr long D_LONG_CLIENT_PIECE = 64 * 1024;

constexpr char D_CHAR_CLIENT_USAGE[] =
    "usage: sorvane-client [--host H] [--port P] [--password W] ls PATH\n"
    "       sorvane-client [--host H] [--port P] [--password W] get PATH [-o FILE]\n"
    "\n"
    "  ls PATH    lists PATH: \"/\" for the shared folders, else a folder's path as a listing shows it\n"
    "  get PATH   downloads the file PATH to FILE (default: its name, in the current folder); when\n"
    "             FILE exists, the download resumes from its size and appends the rest\n"
    "\n"
    "  --host H       the server's address (default 127.0.0.1)\n"
    "  --port P       its port (default 8080)\n"
    "  --password W   the password of the server's settings; without it SORVANE_PASSWORD, and\n"
    "                 without that the settings' default\n"
    "\n"
    "exit codes: 0 done, 2 bad usage, 3 server unreachable, 4 command refused, 5 wrong password,\n"
    "            6 broken answer, 7 local file error, 1 other failure\n";

// Writes one message line, prefixed with the program's name, to standard error in the terminal's
// encoding. The arguments are CP932.
void Client_PrintMessage(const char *pcharFormat, ...) __attribute__((format(printf, 1, 2)));
void Client_PrintMessage(const char *pcharFormat, ...) {
    char charText[D_SIZE_CLIENT_MESSAGE * 2];
    int intPrefix = snprintf(charText, sizeof(charText), "%s", "sorvane-client: ");
    va_list valistArguments;
    va_start(valistArguments, pcharFormat);
    vsnprintf(charText + intPrefix, sizeof(charText) - static_cast<size_t>(intPrefix) - 1, pcharFormat,
              valistArguments);
    va_end(valistArguments);
    size_t sizeLength = strlen(charText);
    charText[sizeLength] = '\n';
    charText[sizeLength + 1] = '\0';
    Platform_WriteText(stderr, charText);
    fflush(stderr);
}

// A refused command: the server closes the connection without a word, whatever the reason.
void Client_ReportRefusal(const Client_Options &structOptions) {
    Client_PrintMessage(
        "the server closed the connection without an answer: %s is not published or "
        "does not exist, or the password is wrong (the server does not say which)",
        structOptions.charPath);
}

// Tells the user why an exchange failed, for every outcome but a refusal, which the caller explains.
void Client_ReportFailure(const Client_Options &structOptions, const Client_Exchange &structExchange,
                          long longOutcome) {
    if (longOutcome == D_LONG_CLIENT_EXIT_UNREACHABLE) {
        char charSystem[256];
        Platform_GetErrorText(structExchange.ulongSystemError, charSystem, sizeof(charSystem));
        // The system's text may end with a line break; it is cut at the first one.
        for (char *pcharByte = charSystem; *pcharByte != '\0'; ++pcharByte) {
            if (*pcharByte == '\r' || *pcharByte == '\n') {
                *pcharByte = '\0';
                break;
            }
        }
        Client_PrintMessage("cannot reach the server at %s port %ld: %s", structOptions.charHost,
                            structOptions.longPort, charSystem);
    } else if (longOutcome == D_LONG_CLIENT_EXIT_WRONG_PASSWORD) {
        Client_PrintMessage("%s", "the answer does not decipher with our password: the password is wrong");
    } else if (longOutcome == D_LONG_CLIENT_EXIT_BAD_ANSWER) {
        if (structExchange.longStatus != 0 && structExchange.longStatus != 200) {
            Client_PrintMessage("the server answered with status %ld instead of a command's answer",
                                structExchange.longStatus);
        } else {
            Client_PrintMessage("%s", "the answer was cut short, came late, or is not a command's answer");
        }
    } else {
        Client_PrintMessage("%s", "the command failed");
    }
}

// Builds the request for a command line, or says why it cannot be sent. 0, or -1 with the exit code.
int Client_PrepareRequest(const Client_Options &structOptions, const char *pcharCommandLine, char **ppcharRequest,
                          long *plongRequestLength, long *plongExitCode) {
    long longLength = Client_RequestLength(structOptions.charHost, structOptions.longPort,
                                           static_cast<long>(strlen(pcharCommandLine)));
    if (longLength > D_LONG_CLIENT_REQUEST_LIMIT) {
        Client_PrintMessage(
            "the command does not fit the server's request limit of %ld bytes (it would take %ld): "
            "the path is too long",
            D_LONG_CLIENT_REQUEST_LIMIT, longLength);
        *plongExitCode = D_LONG_CLIENT_EXIT_USAGE;
        return -1;
    }
    if (Client_BuildRequest(structOptions.charHost, structOptions.longPort, pcharCommandLine,
                            structOptions.charPassword, ppcharRequest, plongRequestLength) != 0) {
        Client_PrintMessage("%s", "cannot build the request");
        *plongExitCode = D_LONG_CLIENT_EXIT_FAILURE;
        return -1;
    }
    return 0;
}

// Lists a remote folder into a new array of entries. 0, or -1 with the outcome (a refusal is not
// reported, so that the caller can say what it means in its case).
int Client_FetchListing(const Client_Options &structOptions, const char *pcharPath,
                        Client_ListingEntry **ppstructEntries, long *plongCount, long *plongOutcome) {
    char charLine[D_SIZE_CLIENT_PATH + 16];
    if (Client_FormatListCommand(pcharPath, charLine, sizeof(charLine)) != 0) {
        Client_PrintMessage("cannot send the path %s: it is empty or has white space, which ends a path in a command",
                            pcharPath);
        *plongOutcome = D_LONG_CLIENT_EXIT_USAGE;
        return -1;
    }
    char *pcharRequest = nullptr;
    long longRequestLength = 0;
    if (Client_PrepareRequest(structOptions, charLine, &pcharRequest, &longRequestLength, plongOutcome) != 0) return -1;
    Client_Exchange structExchange;
    int intStarted = Client_StartExchange(structOptions.charHost, structOptions.longPort, structOptions.charPassword,
                                          pcharRequest, longRequestLength, &structExchange, plongOutcome);
    free(pcharRequest);
    if (intStarted != 0) {
        if (*plongOutcome != D_LONG_CLIENT_EXIT_REFUSED) {
            Client_ReportFailure(structOptions, structExchange, *plongOutcome);
        }
        return -1;
    }
    long longLength = structExchange.longPayloadLength;
    unsigned char *pucharText = static_cast<unsigned char *>(malloc(static_cast<size_t>(longLength) + 1));
    if (pucharText == nullptr) {
        Client_EndExchange(&structExchange);
        Client_PrintMessage("%s", "out of memory for the listing");
        *plongOutcome = D_LONG_CLIENT_EXIT_FAILURE;
        return -1;
    }
    long longReceived = 0;
    while (longReceived < longLength) {
        long longPiece = Client_ReceivePayload(&structExchange, structOptions.charPassword, pucharText + longReceived,
                                               longLength - longReceived);
        if (longPiece <= 0) break;
        longReceived += longPiece;
    }
    Client_EndExchange(&structExchange);
    int intParsed = -1;
    if (longReceived == longLength) {
        intParsed = Client_ParseListing(pucharText, longLength, ppstructEntries, plongCount);
    }
    free(pucharText);
    if (longReceived != longLength) {
        Client_PrintMessage("the listing was cut short after %ld of %ld bytes", longReceived, longLength);
        *plongOutcome = D_LONG_CLIENT_EXIT_BAD_ANSWER;
        return -1;
    }
    if (intParsed != 0) {
        Client_PrintMessage("%s", "the answer is not a listing");
        *plongOutcome = D_LONG_CLIENT_EXIT_BAD_ANSWER;
        return -1;
    }
    *plongOutcome = D_LONG_CLIENT_EXIT_OK;
    return 0;
}

long Client_CommandList(const Client_Options &structOptions) {
    Client_ListingEntry *pstructEntries = nullptr;
    long longCount = 0;
    long longOutcome = D_LONG_CLIENT_EXIT_OK;
    if (Client_FetchListing(structOptions, structOptions.charPath, &pstructEntries, &longCount, &longOutcome) != 0) {
        if (longOutcome == D_LONG_CLIENT_EXIT_REFUSED) Client_ReportRefusal(structOptions);
        return longOutcome;
    }
    if (longCount == 0) {
        free(pstructEntries);
        Client_PrintMessage("%s", "the server publishes no folders");
        return D_LONG_CLIENT_EXIT_OK;
    }
    char *pcharTable = nullptr;
    int intFormatted = Client_FormatListing(pstructEntries, longCount, &pcharTable);
    free(pstructEntries);
    if (intFormatted != 0) {
        Client_PrintMessage("%s", "out of memory for the table");
        return D_LONG_CLIENT_EXIT_FAILURE;
    }
    Platform_WriteText(stdout, pcharTable);
    fflush(stdout);
    free(pcharTable);
    return D_LONG_CLIENT_EXIT_OK;
}

// A "get" that the server refused, looked at again through a listing of the file's folder: the local
// file may already be whole, or not be a piece of the remote one at all.
long Client_ExplainRefusedGet(const Client_Options &structOptions, const char *pcharOutput, long long longlongOffset) {
    char charParent[D_SIZE_CLIENT_PATH];
    Client_ListingEntry *pstructEntries = nullptr;
    long longCount = 0;
    long longOutcome = D_LONG_CLIENT_EXIT_OK;
    long longIndex = -1;
    if (Client_ParentPath(structOptions.charPath, charParent, sizeof(charParent)) == 0 &&
        Client_FetchListing(structOptions, charParent, &pstructEntries, &longCount, &longOutcome) == 0) {
        longIndex = Client_FindEntry(pstructEntries, longCount, structOptions.charPath);
    }
    Client_ListingEntry structEntry;
    memset(&structEntry, 0, sizeof(structEntry));
    if (longIndex >= 0) structEntry = pstructEntries[longIndex];
    free(pstructEntries);
    if (longOutcome != D_LONG_CLIENT_EXIT_OK && longOutcome != D_LONG_CLIENT_EXIT_REFUSED) return longOutcome;
    if (longIndex < 0) {
        Client_ReportRefusal(structOptions);
        return D_LONG_CLIENT_EXIT_REFUSED;
    }
    if (structEntry.charFileType[0] != '\0') {
        Client_PrintMessage("%s is a folder: list it with ls", structOptions.charPath);
        return D_LONG_CLIENT_EXIT_REFUSED;
    }
    long long longlongRemoteSize = strtoll(structEntry.charFileSize, nullptr, 10);
    if (longlongRemoteSize == longlongOffset) {
        // Nothing is left to send. An empty remote file still gives an empty local one.
        FILE *pfileOutput = Platform_OpenFile(pcharOutput, "ab");
        if (pfileOutput == nullptr || fclose(pfileOutput) != 0) {
            Client_PrintMessage("cannot write %s", pcharOutput);
            return D_LONG_CLIENT_EXIT_LOCAL_FILE;
        }
        if (longlongRemoteSize == 0) {
            Client_PrintMessage("%s: 0 bytes (the file is empty)", pcharOutput);
        } else {
            Client_PrintMessage("%s is already complete (%lld bytes)", pcharOutput, longlongRemoteSize);
        }
        return D_LONG_CLIENT_EXIT_OK;
    }
    if (longlongRemoteSize - longlongOffset > D_LONGLONG_CLIENT_WIRE_MAX - D_LONG_CLIENT_ENVELOPE_HEADER) {
        Client_PrintMessage("%s holds %lld bytes: the rest of it from %lld does not fit one answer, which the "
                            "protocol limits to 2 GiB",
                            structOptions.charPath, longlongRemoteSize, longlongOffset);
        return D_LONG_CLIENT_EXIT_REFUSED;
    }
    if (longlongRemoteSize < longlongOffset) {
        Client_PrintMessage(
            "%s (%lld bytes) is longer than %s (%lld bytes), so it is not a piece of it: remove it, "
            "or choose another file with -o",
            pcharOutput, longlongOffset, structOptions.charPath, longlongRemoteSize);
        return D_LONG_CLIENT_EXIT_LOCAL_FILE;
    }
    Client_PrintMessage("the server lists %s but closed the connection without sending it: it cannot read the file",
                        structOptions.charPath);
    return D_LONG_CLIENT_EXIT_REFUSED;
}

long Client_CommandGet(const Client_Options &structOptions) {
    char charOutput[D_SIZE_CLIENT_PATH];
    if (structOptions.charOutput[0] != '\0') {
        snprintf(charOutput, sizeof(charOutput), "%s", structOptions.charOutput);
    } else if (Client_DefaultOutputName(structOptions.charPath, charOutput, sizeof(charOutput)) != 0) {
        Client_PrintMessage("cannot make a file name of %s: give one with -o", structOptions.charPath);
        return D_LONG_CLIENT_EXIT_USAGE;
    }
    long long longlongOffset = 0;
    if (Client_GetLocalFileSize(charOutput, &longlongOffset) != 0) {
        Client_PrintMessage("cannot read %s to resume from its size", charOutput);
        return D_LONG_CLIENT_EXIT_LOCAL_FILE;
    }
    if (longlongOffset > D_LONGLONG_CLIENT_WIRE_MAX) {
        Client_PrintMessage("%s holds %lld bytes: a download can resume only below 2 GiB", charOutput, longlongOffset);
        return D_LONG_CLIENT_EXIT_LOCAL_FILE;
    }
    char charLine[D_SIZE_CLIENT_PATH + 32];
    if (Client_FormatGetCommand(structOptions.charPath, longlongOffset, charLine, sizeof(charLine)) != 0) {
        Client_PrintMessage("cannot send the path %s: it is empty or has white space, which ends a path in a command",
                            structOptions.charPath);
        return D_LONG_CLIENT_EXIT_USAGE;
    }
    long longOutcome = D_LONG_CLIENT_EXIT_OK;
    char *pcharRequest = nullptr;
    long longRequestLength = 0;
    if (Client_PrepareRequest(structOptions, charLine, &pcharRequest, &longRequestLength, &longOutcome) != 0) {
        return longOutcome;
    }
    Client_Exchange structExchange;
    int intStarted = Client_StartExchange(structOptions.charHost, structOptions.longPort, structOptions.charPassword,
                                          pcharRequest, longRequestLength, &structExchange, &longOutcome);
    free(pcharRequest);
    if (intStarted != 0) {
        if (longOutcome == D_LONG_CLIENT_EXIT_REFUSED) {
            return Client_ExplainRefusedGet(structOptions, charOutput, longlongOffset);
        }
        Client_ReportFailure(structOptions, structExchange, longOutcome);
        return longOutcome;
    }

    // The answer has come and deciphers: only now is the local file opened, for appending.
    FILE *pfileOutput = Platform_OpenFile(charOutput, "ab");
    long longPosition = -1;
    if (pfileOutput != nullptr && fseek(pfileOutput, 0, SEEK_END) == 0) longPosition = ftell(pfileOutput);
    if (pfileOutput == nullptr || longPosition != longlongOffset) {
        if (pfileOutput != nullptr) fclose(pfileOutput);
        Client_EndExchange(&structExchange);
        if (pfileOutput == nullptr) {
            Client_PrintMessage("cannot open %s for writing", charOutput);
        } else {
            Client_PrintMessage("%s changed while the server answered: nothing was written", charOutput);
        }
        return D_LONG_CLIENT_EXIT_LOCAL_FILE;
    }

    long long longlongTotal = longlongOffset + structExchange.longPayloadLength;
    bool boolProgress = Platform_StreamIsTerminal(stderr) == 1;
    long longShownPercent = -1;
    unsigned char *pucharPiece = static_cast<unsigned char *>(malloc(D_LONG_CLIENT_PIECE));
    long long longlongWritten = longlongOffset;
    long longExitCode = D_LONG_CLIENT_EXIT_OK;
    while (pucharPiece != nullptr) {
        long longPiece =
            Client_ReceivePayload(&structExchange, structOptions.charPassword, pucharPiece, D_LONG_CLIENT_PIECE);
        if (longPiece == 0) break;
        if (longPiece < 0) {
            longExitCode = D_LONG_CLIENT_EXIT_BAD_ANSWER;
            break;
        }
        if (fwrite(pucharPiece, 1, static_cast<size_t>(longPiece), pfileOutput) != static_cast<size_t>(longPiece)) {
            longExitCode = D_LONG_CLIENT_EXIT_LOCAL_FILE;
            break;
        }
        longlongWritten += longPiece;
        long longPercent = longlongTotal > 0 ? static_cast<long>(longlongWritten * 100 / longlongTotal) : 100;
        if (boolProgress && longPercent != longShownPercent) {
            char charProgress[128];
            if (Client_FormatProgress(longlongWritten, longlongTotal, charProgress, sizeof(charProgress)) == 0) {
                fputs(charProgress, stderr);
                fflush(stderr);
            }
            longShownPercent = longPercent;
        }
    }
    if (pucharPiece == nullptr) longExitCode = D_LONG_CLIENT_EXIT_FAILURE;
    free(pucharPiece);
    Client_EndExchange(&structExchange);
    if (boolProgress && longShownPercent >= 0) fputs("\n", stderr);
    if (fclose(pfileOutput) != 0 && longExitCode == D_LONG_CLIENT_EXIT_OK) longExitCode = D_LONG_CLIENT_EXIT_LOCAL_FILE;

    if (longExitCode == D_LONG_CLIENT_EXIT_BAD_ANSWER) {
        Client_PrintMessage(
            "the connection broke after %lld of %lld bytes; %s keeps them: run the same command again "
            "to resume",
            longlongWritten, longlongTotal, charOutput);
    } else if (longExitCode == D_LONG_CLIENT_EXIT_LOCAL_FILE) {
        Client_PrintMessage("cannot write %s (%lld of %lld bytes are in it)", charOutput, longlongWritten,
                            longlongTotal);
    } else if (longExitCode == D_LONG_CLIENT_EXIT_FAILURE) {
        Client_PrintMessage("%s", "out of memory");
    } else if (longlongOffset > 0) {
        Client_PrintMessage("%s: %lld bytes, resumed at %lld", charOutput, longlongTotal, longlongOffset);
    } else {
        Client_PrintMessage("%s: %lld bytes", charOutput, longlongTotal);
    }
    return longExitCode;
}

}  // namespace

int main(int argc, char **argv) {
    // The terminal's encoding, for converting between it and CP932.
    setlocale(LC_CTYPE, "");
    Client_Options structOptions;
    char charMessage[D_SIZE_CLIENT_MESSAGE];
    charMessage[0] = '\0';
    if (Client_ParseArguments(argc, argv, getenv(D_CHAR_CLIENT_PASSWORD_VARIABLE), &structOptions, charMessage,
                              sizeof(charMessage)) != 0) {
        Client_PrintMessage("%s", charMessage);
        Platform_WriteText(stderr, D_CHAR_CLIENT_USAGE);
        return static_cast<int>(D_LONG_CLIENT_EXIT_USAGE);
    }
    if (structOptions.longCommand == D_LONG_CLIENT_COMMAND_HELP) {
        Platform_WriteText(stdout, D_CHAR_CLIENT_USAGE);
        return static_cast<int>(D_LONG_CLIENT_EXIT_OK);
    }
    long longSocketResult = 0;
    if (Platform_SocketStartup(&longSocketResult) != 0) {
        Client_PrintMessage("cannot start the socket layer (%ld)", longSocketResult);
        return static_cast<int>(D_LONG_CLIENT_EXIT_FAILURE);
    }
    long longExitCode = structOptions.longCommand == D_LONG_CLIENT_COMMAND_LIST ? Client_CommandList(structOptions)
                                                                                : Client_CommandGet(structOptions);
    Platform_SocketCleanup();
    return static_cast<int>(longExitCode);
}

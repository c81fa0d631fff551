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
#include "text/text.h"

namespace {

constexpr long D_LONG_CLIENT_PIECE = 64 * 1024;

constexpr char D_CHAR_CLIENT_USAGE[] =
    "使い方: sorvane-client [--host H] [--port P] [--password W] ls PATH\n"
    "        sorvane-client [--host H] [--port P] [--password W] get PATH [-o FILE]\n"
    "\n"
    "  ls PATH    PATH の一覧を表示します。\"/\" で共有フォルダの一覧、ほかはフォルダのパスを\n"
    "             一覧に表示されるとおりに指定します\n"
    "  get PATH   ファイル PATH を FILE にダウンロードします (既定: カレントフォルダに元の名前で)。\n"
    "             FILE が既にあれば、そのサイズの位置から再開して残りを追記します\n"
    "\n"
    "  --host H       サーバのアドレス (既定 127.0.0.1)\n"
    "  --port P       サーバのポート番号 (既定 8080)\n"
    "  --password W   サーバの設定のパスワード。省略すると SORVANE_PASSWORD を、それもなければ\n"
    "                 設定の既定値を使います\n"
    "\n"
    "終了コード: 0 成功、2 使い方の誤り、3 サーバに接続できない、4 コマンドが拒否された、\n"
    "            5 パスワードが違う、6 応答が壊れている、7 ローカルファイルのエラー、1 その他の失敗\n";

// Writes one message line, prefixed with the program's name, to standard error in the terminal's
// encoding. The arguments are CP932. The buffer holds the text with two paths in it; a line that does
// not fit is cut at a whole character, so that it still converts for the terminal.
void Client_PrintMessage(const char *pcharFormat, ...) __attribute__((format(printf, 1, 2)));
void Client_PrintMessage(const char *pcharFormat, ...) {
    char charText[D_SIZE_CLIENT_MESSAGE + 2 * D_SIZE_CLIENT_PATH];
    int intPrefix = snprintf(charText, sizeof(charText), "%s", "sorvane-client: ");
    va_list valistArguments;
    va_start(valistArguments, pcharFormat);
    vsnprintf(charText + intPrefix, sizeof(charText) - static_cast<size_t>(intPrefix) - 1, pcharFormat,
              valistArguments);
    va_end(valistArguments);
    size_t sizeLength = Text_WholeCharacters(charText, strlen(charText));
    charText[sizeLength] = '\n';
    charText[sizeLength + 1] = '\0';
    Platform_WriteText(stderr, charText);
    fflush(stderr);
}

// A refused command: the server closes the connection without a word, whatever the reason.
void Client_ReportRefusal(const Client_Options &structOptions) {
    Client_PrintMessage(
        "コマンドが拒否されました (サーバが応答せずに接続を閉じました): %s が公開されていないか"
        "存在しないか、パスワードが違います (サーバはどれに当たるかを知らせません)",
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
        Client_PrintMessage("サーバに接続できません (%s ポート %ld): %s", structOptions.charHost,
                            structOptions.longPort, charSystem);
    } else if (longOutcome == D_LONG_CLIENT_EXIT_WRONG_PASSWORD) {
        Client_PrintMessage("%s", "サーバの応答をこのパスワードで復号できません: パスワードが違います");
    } else if (longOutcome == D_LONG_CLIENT_EXIT_BAD_ANSWER) {
        if (structExchange.longStatus != 0 && structExchange.longStatus != 200) {
            Client_PrintMessage("サーバがコマンドの応答ではなくステータス %ld を返しました",
                                structExchange.longStatus);
        } else {
            Client_PrintMessage("%s", "応答が途中で切れたか、時間内に届かなかったか、コマンドの応答ではありません");
        }
    } else {
        Client_PrintMessage("%s", "コマンドが失敗しました");
    }
}

// Builds the request for a command line, or says why it cannot be sent. 0, or -1 with the exit code.
int Client_PrepareRequest(const Client_Options &structOptions, const char *pcharCommandLine, char **ppcharRequest,
                          long *plongRequestLength, long *plongExitCode) {
    long longLength = Client_RequestLength(structOptions.charHost, structOptions.longPort,
                                           static_cast<long>(strlen(pcharCommandLine)));
    if (longLength > D_LONG_CLIENT_REQUEST_LIMIT) {
        Client_PrintMessage(
            "コマンドがサーバの要求の上限 %ld バイトに収まりません (%ld バイトになります): "
            "パスが長すぎます",
            D_LONG_CLIENT_REQUEST_LIMIT, longLength);
        *plongExitCode = D_LONG_CLIENT_EXIT_USAGE;
        return -1;
    }
    if (Client_BuildRequest(structOptions.charHost, structOptions.longPort, pcharCommandLine,
                            structOptions.charPassword, ppcharRequest, plongRequestLength) != 0) {
        Client_PrintMessage("%s", "要求を作成できません");
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
        Client_PrintMessage("パス %s は送信できません: 空であるか空白を含んでいます (コマンドでは空白でパスが終わります)",
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
        Client_PrintMessage("%s", "一覧を受け取るためのメモリが足りません");
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
        Client_PrintMessage("一覧が途中で切れました (%ld / %ld バイト)", longReceived, longLength);
        *plongOutcome = D_LONG_CLIENT_EXIT_BAD_ANSWER;
        return -1;
    }
    if (intParsed != 0) {
        Client_PrintMessage("%s", "応答が一覧の形式ではありません");
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
        Client_PrintMessage("%s", "サーバに公開フォルダがありません");
        return D_LONG_CLIENT_EXIT_OK;
    }
    char *pcharTable = nullptr;
    int intFormatted = Client_FormatListing(pstructEntries, longCount, &pcharTable);
    free(pstructEntries);
    if (intFormatted != 0) {
        Client_PrintMessage("%s", "一覧表を作るためのメモリが足りません");
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
        Client_PrintMessage("%s はフォルダです: ls で一覧を表示してください", structOptions.charPath);
        return D_LONG_CLIENT_EXIT_REFUSED;
    }
    long long longlongRemoteSize = strtoll(structEntry.charFileSize, nullptr, 10);
    if (longlongRemoteSize == longlongOffset) {
        // Nothing is left to send. An empty remote file still gives an empty local one.
        FILE *pfileOutput = Platform_OpenFile(pcharOutput, "ab");
        if (pfileOutput == nullptr || fclose(pfileOutput) != 0) {
            Client_PrintMessage("%s に書き込めません", pcharOutput);
            return D_LONG_CLIENT_EXIT_LOCAL_FILE;
        }
        if (longlongRemoteSize == 0) {
            Client_PrintMessage("%s: 0 バイト (空のファイルです)", pcharOutput);
        } else {
            Client_PrintMessage("%s はダウンロード済みです (%lld バイト)", pcharOutput, longlongRemoteSize);
        }
        return D_LONG_CLIENT_EXIT_OK;
    }
    if (longlongRemoteSize - longlongOffset > D_LONGLONG_CLIENT_WIRE_MAX - D_LONG_CLIENT_ENVELOPE_HEADER) {
        Client_PrintMessage("%s は %lld バイトあります: %lld バイトの位置からの残りは 1 回の応答に収まりません "
                            "(プロトコルの上限は 2 GiB です)",
                            structOptions.charPath, longlongRemoteSize, longlongOffset);
        return D_LONG_CLIENT_EXIT_REFUSED;
    }
    if (longlongRemoteSize < longlongOffset) {
        Client_PrintMessage(
            "%s (%lld バイト) は %s (%lld バイト) より大きいため、その一部ではありません: 削除するか、"
            "-o で別のファイルを指定してください",
            pcharOutput, longlongOffset, structOptions.charPath, longlongRemoteSize);
        return D_LONG_CLIENT_EXIT_LOCAL_FILE;
    }
    Client_PrintMessage("サーバは %s を一覧に載せていますが、送らずに接続を閉じました: サーバがファイルを読めません",
                        structOptions.charPath);
    return D_LONG_CLIENT_EXIT_REFUSED;
}

long Client_CommandGet(const Client_Options &structOptions) {
    char charOutput[D_SIZE_CLIENT_PATH];
    if (structOptions.charOutput[0] != '\0') {
        snprintf(charOutput, sizeof(charOutput), "%s", structOptions.charOutput);
    } else if (Client_DefaultOutputName(structOptions.charPath, charOutput, sizeof(charOutput)) != 0) {
        Client_PrintMessage("%s から保存先のファイル名を決められません: -o で指定してください", structOptions.charPath);
        return D_LONG_CLIENT_EXIT_USAGE;
    }
    long long longlongOffset = 0;
    if (Client_GetLocalFileSize(charOutput, &longlongOffset) != 0) {
        Client_PrintMessage("%s を読めないため、そのサイズの位置から再開できません", charOutput);
        return D_LONG_CLIENT_EXIT_LOCAL_FILE;
    }
    if (longlongOffset > D_LONGLONG_CLIENT_WIRE_MAX) {
        Client_PrintMessage("%s は %lld バイトあります: ダウンロードを再開できるのは 2 GiB 未満のファイルだけです",
                            charOutput, longlongOffset);
        return D_LONG_CLIENT_EXIT_LOCAL_FILE;
    }
    char charLine[D_SIZE_CLIENT_PATH + 32];
    if (Client_FormatGetCommand(structOptions.charPath, longlongOffset, charLine, sizeof(charLine)) != 0) {
        Client_PrintMessage("パス %s は送信できません: 空であるか空白を含んでいます (コマンドでは空白でパスが終わります)",
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
            Client_PrintMessage("%s を書き込み用に開けません", charOutput);
        } else {
            Client_PrintMessage("サーバの応答中に %s が変更されました: 何も書き込んでいません", charOutput);
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
            "%lld / %lld バイトで接続が切れました。受け取った分は %s に残っています: 同じコマンドを"
            "もう一度実行すると再開します",
            longlongWritten, longlongTotal, charOutput);
    } else if (longExitCode == D_LONG_CLIENT_EXIT_LOCAL_FILE) {
        Client_PrintMessage("%s に書き込めません (%lld / %lld バイトを書き込み済み)", charOutput, longlongWritten,
                            longlongTotal);
    } else if (longExitCode == D_LONG_CLIENT_EXIT_FAILURE) {
        Client_PrintMessage("%s", "メモリが足りません");
    } else if (longlongOffset > 0) {
        Client_PrintMessage("%s: %lld バイト (%lld バイトの位置から再開)", charOutput, longlongTotal, longlongOffset);
    } else {
        Client_PrintMessage("%s: %lld バイト", charOutput, longlongTotal);
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
        Client_PrintMessage("ソケットを初期化できません (%ld)", longSocketResult);
        return static_cast<int>(D_LONG_CLIENT_EXIT_FAILURE);
    }
    long longExitCode = structOptions.longCommand == D_LONG_CLIENT_COMMAND_LIST ? Client_CommandList(structOptions)
                                                                                : Client_CommandGet(structOptions);
    Platform_SocketCleanup();
    return static_cast<int>(longExitCode);
}

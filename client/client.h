// sorvane-client: a command-line client of the command endpoint POST /ftp.cgi. It lists a folder of
// the published tree ("ls") and downloads a file ("get"), resuming a partial download from its size.
//
// The pieces of the protocol (command lines, the request, the answer's header, the envelope, the
// listing text) and the local decisions (resume offset, file name, progress line) are plain functions
// that need no network; the exchange with a server is at the end.
//
// Every text here is CP932, as inside the server; the caller converts for the terminal.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Exit codes of the program, one for each kind of failure that the user has to tell apart.
constexpr long D_LONG_CLIENT_EXIT_OK = 0;
constexpr long D_LONG_CLIENT_EXIT_FAILURE = 1;         // anything not below (out of memory, sockets)
constexpr long D_LONG_CLIENT_EXIT_USAGE = 2;           // bad command line, or a command that cannot be sent
constexpr long D_LONG_CLIENT_EXIT_UNREACHABLE = 3;     // nothing accepts a connection at host and port
constexpr long D_LONG_CLIENT_EXIT_REFUSED = 4;         // the server closed the connection without an answer
constexpr long D_LONG_CLIENT_EXIT_WRONG_PASSWORD = 5;  // the answer does not decipher with our password
constexpr long D_LONG_CLIENT_EXIT_BAD_ANSWER = 6;      // an answer that is cut short, late or not ours
constexpr long D_LONG_CLIENT_EXIT_LOCAL_FILE = 7;      // the local file cannot be read or written

constexpr char D_CHAR_CLIENT_DEFAULT_HOST[] = "127.0.0.1";
constexpr long D_LONG_CLIENT_DEFAULT_PORT = 8080;
// The default of CRYPT_PASSWORD in a fresh config.ini.
constexpr char D_CHAR_CLIENT_DEFAULT_PASSWORD[] = "tarimuso";
constexpr char D_CHAR_CLIENT_PASSWORD_VARIABLE[] = "SORVANE_PASSWORD";

// The server takes a request of at most this many bytes, header and body together.
constexpr long D_LONG_CLIENT_REQUEST_LIMIT = 1023;
// The offset of "get" and every length on the wire are signed 32-bit numbers.
constexpr long long D_LONGLONG_CLIENT_WIRE_MAX = 0x7FFFFFFFLL;
// Seconds of silence from the server after which the answer is given up.
constexpr long D_LONG_CLIENT_RECEIVE_WAIT_SECONDS = 300;

constexpr long D_LONG_CLIENT_COMMAND_HELP = 0;
constexpr long D_LONG_CLIENT_COMMAND_LIST = 1;
constexpr long D_LONG_CLIENT_COMMAND_GET = 2;

constexpr size_t D_SIZE_CLIENT_HOST = 256;
constexpr size_t D_SIZE_CLIENT_PASSWORD = 256;
constexpr size_t D_SIZE_CLIENT_PATH = 1024;
constexpr size_t D_SIZE_CLIENT_MESSAGE = 512;

// What the command line asks for. Password, path and output name are CP932.
struct Client_Options {
    long longCommand;
    char charHost[D_SIZE_CLIENT_HOST];
    long longPort;
    char charPassword[D_SIZE_CLIENT_PASSWORD];
    char charPath[D_SIZE_CLIENT_PATH];
    // Empty: the last component of the remote path, in the current folder.
    char charOutput[D_SIZE_CLIENT_PATH];
};

// Reads the arguments (argv[0] is the program). pcharEnvironmentPassword is the value of
// SORVANE_PASSWORD, nullptr when it is not set; an empty value counts as not set, and --password wins
// over it. On -1 pcharMessage holds what is wrong, for the user.
int Client_ParseArguments(int intArgc, char **ppcharArgv, const char *pcharEnvironmentPassword,
                          Client_Options *pstructOptions, char *pcharMessage, size_t sizeMessage);

// 0 when the path can travel in a command line: not empty, and without white space, at which the
// server ends a path. -1 otherwise.
int Client_CheckPath(const char *pcharPath);

// The command lines "ls", TAB, path, CR LF and "get", TAB, path, TAB, offset, CR LF. -1 when the path
// cannot travel (Client_CheckPath), the offset lies outside 0 to 2^31-1, or the line does not fit.
int Client_FormatListCommand(const char *pcharPath, char *pcharLine, size_t sizeLine);
int Client_FormatGetCommand(const char *pcharPath, long long longlongOffset, char *pcharLine, size_t sizeLine);

// The length of the request that carries a command line of longCommandLength bytes to host and port;
// more than D_LONG_CLIENT_REQUEST_LIMIT means that the server would not take it.
long Client_RequestLength(const char *pcharHost, long longPort, long longCommandLength);

// The whole request: "POST /ftp.cgi HTTP/1.1", Host and Content-Length, the blank line and the command
// line in an envelope enciphered with the password. On 0 *ppcharRequest is a malloc'ed buffer of
// *plongRequestLength bytes (the caller frees it). -1 when it would exceed the server's limit, or the
// cipher refuses (an empty password).
int Client_BuildRequest(const char *pcharHost, long longPort, const char *pcharCommandLine, const char *pcharPassword,
                        char **ppcharRequest, long *plongRequestLength);

// The envelope's opening: the 16-byte session key and the two check bytes.
constexpr long D_LONG_CLIENT_ENVELOPE_HEADER = 18;

// What the header of an answer says.
struct Client_AnswerHeader {
    long longHeaderLength;            // bytes up to and including the blank line
    long longStatus;                  // the status code
    long long longlongContentLength;  // -1 when the header has none
};

// The length of the header (through its blank line) in the first longLength bytes, or -1 when the blank
// line has not come yet.
long Client_FindHeaderEnd(const char *pcharBytes, long longLength);
// Reads the status line and Content-Length (name in any case) of a header of longHeaderLength bytes.
// -1 when it does not begin with a "HTTP/1.x NNN" status line or carries a malformed length.
int Client_ParseAnswerHeader(const char *pcharBytes, long longHeaderLength, Client_AnswerHeader *pstructHeader);

// 0 when an answer's first 18 envelope bytes decipher with the password, -1 when they do not.
int Client_CheckEnvelopeHeader(const unsigned char *pucharEnvelopeHeader, const char *pcharPassword);
// Deciphers, in place, longLength payload bytes of the envelope that opens with pucharEnvelopeHeader.
// Every payload byte is shifted by the same key number, so a piece needs only the envelope's opening
// and can be deciphered as it arrives. 0, or -1 when the opening does not decipher.
int Client_DecipherPiece(const unsigned char *pucharEnvelopeHeader, unsigned char *pucharPiece, long longLength,
                         const char *pcharPassword);

// One line of a listing, with the capacities of the server's fields.
struct Client_ListingEntry {
    char charFileName[512];
    char charFileType[32];  // "<DIR>" for folders and "..", empty for files
    char charFileSize[32];  // empty for folders
    char charUpdateTime[21];
    char charPhysicalPath[260];
    char charLogicalPath[260];
};

// Splits a listing text: lines of six TAB-separated fields, each ended by CR LF. On 0 *ppstructEntries
// is a calloc'ed array of *plongCount entries (nullptr for an empty listing; the caller frees it).
// -1 when the text is not a listing (a line without CR LF, with another number of fields, or with a
// field longer than its place).
int Client_ParseListing(const unsigned char *pucharText, long longLength, Client_ListingEntry **ppstructEntries,
                        long *plongCount);

// The listing as a table for the terminal: a heading line and one line per entry with the name, the
// type or size, the time and the physical path, each column padded to its widest cell (a CP932 byte is
// one column on a terminal, a double-byte character two) and each line ended by "\n". Control bytes
// in the server's texts are shown as '?'. On 0 *ppcharTable is a malloc'ed NUL-terminated text.
int Client_FormatListing(const Client_ListingEntry *pstructEntries, long longCount, char **ppcharTable);

// The index of the entry whose physical path is pcharPhysicalPath, or -1.
long Client_FindEntry(const Client_ListingEntry *pstructEntries, long longCount, const char *pcharPhysicalPath);

// The folder that holds a remote path: the path up to its last separator ('\' or '/', double-byte
// characters stepped over). -1 when there is none, or it would be empty or the root "/", which on the
// wire means the virtual root.
int Client_ParentPath(const char *pcharRemotePath, char *pcharParent, size_t sizeParent);

// The local name of a download when none is given: the remote path's last component. -1 when it has
// none that can be a file name ("", ".", "..").
int Client_DefaultOutputName(const char *pcharRemotePath, char *pcharName, size_t sizeName);

// The size of the local file at the CP932 path, 0 when there is none: the offset to resume from. -1 when
// it exists but cannot be opened or measured.
int Client_GetLocalFileSize(const char *pcharLocalPath, long long *plonglongSize);

// The progress line: "\r", a bar, the percentage and the bytes so far of the total.
int Client_FormatProgress(long long longlongDone, long long longlongTotal, char *pcharLine, size_t sizeLine);

// One exchange with the server: the connection, what its answer announced, and the bytes that came in
// with the header but are not handed out yet.
struct Client_Exchange {
    Platform_Socket socketServer;
    unsigned char ucharEnvelopeHeader[D_LONG_CLIENT_ENVELOPE_HEADER];
    long longPayloadLength;
    long longPayloadReceived;
    long longStatus;
    unsigned long ulongSystemError;  // of a failed connect
    unsigned char ucharBuffer[4096];
    long longBufferStart;
    long longBufferEnd;
};

// Connects to host and port, sends the request, and receives the answer's header and the opening of
// its envelope, which must decipher with the password. On 0 the payload is ready to be received and
// *plongOutcome is D_LONG_CLIENT_EXIT_OK; on -1 *plongOutcome is the exit code of what went wrong
// (UNREACHABLE, REFUSED, BAD_ANSWER, WRONG_PASSWORD or FAILURE) and the connection is closed.
int Client_StartExchange(const char *pcharHost, long longPort, const char *pcharPassword, const char *pcharRequest,
                         long longRequestLength, Client_Exchange *pstructExchange, long *plongOutcome);
// Receives, deciphered, up to longSize bytes of the payload into the buffer. The bytes given, 0 when the
// payload is complete, -1 when the connection broke or fell silent first.
long Client_ReceivePayload(Client_Exchange *pstructExchange, const char *pcharPassword, unsigned char *pucharBuffer,
                           long longSize);
// Closes the connection.
void Client_EndExchange(Client_Exchange *pstructExchange);

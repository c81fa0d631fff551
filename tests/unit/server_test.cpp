// The server thread over real loopback sockets: request assembly, keep or close, stop, bind failure.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log/log.h"
#include "platform/platform.h"
#include "server/server.h"
#include "test_files.h"

namespace {

std::mutex mutexEvents;
std::condition_variable conditionEvents;
std::vector<long> vectorEvents;

void RecordingSink(long longEvent, const char *, const char *) {
    std::lock_guard<std::mutex> lockEvents(mutexEvents);
    vectorEvents.push_back(longEvent);
    conditionEvents.notify_all();
}

bool WaitForEvent(long longEvent) {
    std::unique_lock<std::mutex> lockEvents(mutexEvents);
    return conditionEvents.wait_for(lockEvents, std::chrono::seconds(10), [&] {
        for (long longSeen : vectorEvents) {
            if (longSeen == longEvent) return true;
        }
        return false;
    });
}

// A port that nothing listens on right now.
long FreePort() {
    int intSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in structAddress{};
    structAddress.sin_family = AF_INET;
    structAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(intSocket, reinterpret_cast<sockaddr *>(&structAddress), sizeof(structAddress));
    socklen_t socklenAddress = sizeof(structAddress);
    getsockname(intSocket, reinterpret_cast<sockaddr *>(&structAddress), &socklenAddress);
    close(intSocket);
    return ntohs(structAddress.sin_port);
}

int Connect(long longPort) {
    int intSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in structAddress{};
    structAddress.sin_family = AF_INET;
    structAddress.sin_port = htons(static_cast<uint16_t>(longPort));
    structAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(0, connect(intSocket, reinterpret_cast<sockaddr *>(&structAddress), sizeof(structAddress)));
    return intSocket;
}

void Send(int intSocket, const std::string &stringBytes) {
    ASSERT_EQ(static_cast<ssize_t>(stringBytes.size()), send(intSocket, stringBytes.data(), stringBytes.size(), 0));
}

// Reads until longWanted bytes have come, the peer has closed, or longMilliseconds pass without data.
// boolClosed tells whether the peer closed.
std::string Receive(int intSocket, size_t sizeWanted, long longMilliseconds, bool *pboolClosed) {
    std::string stringReceived;
    *pboolClosed = false;
    while (stringReceived.size() < sizeWanted) {
        pollfd structPoll = {intSocket, POLLIN, 0};
        if (poll(&structPoll, 1, static_cast<int>(longMilliseconds)) <= 0) break;
        char charBuffer[65536];
        ssize_t ssizeRead = recv(intSocket, charBuffer, sizeof(charBuffer), 0);
        if (ssizeRead <= 0) {
            *pboolClosed = true;
            break;
        }
        stringReceived.append(charBuffer, static_cast<size_t>(ssizeRead));
    }
    return stringReceived;
}

// Whether the peer closes the connection (rather than staying silent) within a few seconds.
bool ClosedByServer(int intSocket) {
    bool boolClosed = false;
    std::string stringRest = Receive(intSocket, 1u << 30, 5000, &boolClosed);
    return boolClosed && stringRest.empty();
}

std::string Descriptor() { return Test_Resource("Sorvane.jam"); }
std::string DescriptorAnswer() {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/x-jam\r\nContent-Length: " + std::to_string(Descriptor().size()) +
           "\r\n\r\n" + Descriptor();
}
const std::string stringDescriptorRequest = "GET /Sorvane.jam HTTP/1.1\r\nHost: x\r\n";

class ServerTest : public ::testing::Test {
  protected:
    long longPort = 0;
    void SetUp() override {
        {
            std::lock_guard<std::mutex> lockEvents(mutexEvents);
            vectorEvents.clear();
        }
        longPort = FreePort();
        const long longAddress[4] = {127, 0, 0, 1};
        ASSERT_EQ(0, Server_StartServer(longAddress, RecordingSink, longPort));
        ASSERT_TRUE(WaitForEvent(D_LONG_SERVER_EVENT_STARTED));
    }
    void TearDown() override { EXPECT_EQ(0, Server_StopServer()); }

    // Sends the pieces of one request and reads the answer of the expected size.
    std::string Exchange(int intSocket, const std::vector<std::string> &vectorPieces, size_t sizeExpected) {
        for (const std::string &stringPiece : vectorPieces) {
            Send(intSocket, stringPiece);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        bool boolClosed = false;
        return Receive(intSocket, sizeExpected, 5000, &boolClosed);
    }
};

TEST_F(ServerTest, CompleteRequestsAreAnsweredAndTheConnectionKept) {
    const std::string stringAnswer = DescriptorAnswer();
    const std::string stringFiller = "X-Fill: ";
    std::string stringExactly1023 = stringDescriptorRequest + stringFiller;
    stringExactly1023 += std::string(1023 - stringExactly1023.size() - 4, 'a') + "\r\n\r\n";
    ASSERT_EQ(1023u, stringExactly1023.size());
    struct Case {
        const char *pcharName;
        std::vector<std::string> vectorPieces;
    };
    const std::vector<Case> vectorCases = {
        {"one piece", {stringDescriptorRequest + "\r\n"}},
        {"header in pieces", {"GET /Sorvane.jam HT", "TP/1.1\r\nHost:", " x\r\n\r", "\n"}},
        {"exactly 1023 bytes", {stringExactly1023}},
        {"Content-Length 0", {stringDescriptorRequest + "Content-Length: 0\r\n\r\n"}},
        {"negative Content-Length, bytes after the blank line", {stringDescriptorRequest + "Content-Length: -5\r\n\r\nxyz"}},
        {"Content-Length in another case", {stringDescriptorRequest + "content-length: 5\r\n\r\n"}},
        {"Content-Length without the blank", {stringDescriptorRequest + "Content-Length:5\r\n\r\n"}},
        {"body in pieces", {stringDescriptorRequest + "Content-Length: 6\r\n\r\nab", "cd", "ef"}},
        {"last Content-Length wins", {stringDescriptorRequest + "Content-Length: 9\r\nContent-Length: 2\r\n\r\nab"}},
    };
    // All on one connection: each answer of kind 2 keeps it open for the next request.
    int intSocket = Connect(longPort);
    for (const Case &structCase : vectorCases) {
        EXPECT_TRUE(stringAnswer == Exchange(intSocket, structCase.vectorPieces, stringAnswer.size()))
            << structCase.pcharName;
    }
    // The archive keeps it open too.
    const std::string stringArchive = Test_Resource("Sorvane.jar");
    const std::string stringPiece = "HTTP/1.1 206 Partial Content\r\nAccept-Ranges: bytes\r\nContent-Length: 10\r\n"
                                    "Content-Range: bytes 0-9/" + std::to_string(stringArchive.size()) +
                                    "\r\nContent-Type: application/java-archive\r\n\r\n" + stringArchive.substr(0, 10);
    EXPECT_TRUE(stringPiece == Exchange(intSocket, {"GET /Sorvane.jar HTTP/1.1\r\nRange: bytes=0-9\r\n\r\n"},
                                        stringPiece.size()));
    EXPECT_TRUE(stringAnswer == Exchange(intSocket, {stringDescriptorRequest + "\r\n"}, stringAnswer.size()));
    close(intSocket);
}

TEST_F(ServerTest, IncompleteOrOversizedRequestsGetNoAnswer) {
    struct Case {
        const char *pcharName;
        std::string stringRequest;
    };
    std::string stringExactly1024 = stringDescriptorRequest + "X-Fill: ";
    stringExactly1024 += std::string(1024 - stringExactly1024.size() - 4, 'a') + "\r\n\r\n";
    const std::vector<Case> vectorCases = {
        {"header never ends", stringDescriptorRequest},
        {"body still to come", stringDescriptorRequest + "Content-Length: 5\r\n\r\nab"},
        {"body longer than announced", stringDescriptorRequest + "Content-Length: 2\r\n\r\nabcd"},
    };
    for (const Case &structCase : vectorCases) {
        int intSocket = Connect(longPort);
        Send(intSocket, structCase.stringRequest);
        bool boolClosed = false;
        EXPECT_EQ("", Receive(intSocket, 1, 500, &boolClosed)) << structCase.pcharName;
        EXPECT_FALSE(boolClosed) << structCase.pcharName;
        close(intSocket);
    }
    // 1024 bytes or more: the server closes without an answer.
    int intSocket = Connect(longPort);
    Send(intSocket, stringExactly1024);
    EXPECT_TRUE(ClosedByServer(intSocket));
    close(intSocket);
}

TEST_F(ServerTest, ThePageAndTheBadRequestCloseTheConnection) {
    for (const char *pcharRequest : {"GET /download.html HTTP/1.1\r\n\r\n", "GET / HTTP/1.1\r\n\r\n"}) {
        int intSocket = Connect(longPort);
        Send(intSocket, pcharRequest);
        bool boolClosed = false;
        std::string stringAnswer = Receive(intSocket, 1u << 30, 5000, &boolClosed);
        EXPECT_EQ(0u, stringAnswer.find("HTTP/1.1 "));
        EXPECT_TRUE(boolClosed) << pcharRequest;
        close(intSocket);
    }
    // A failed command gets no answer at all.
    int intSocket = Connect(longPort);
    Send(intSocket, "POST /ftp.cgi HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
    EXPECT_TRUE(ClosedByServer(intSocket));
    close(intSocket);
}

TEST(ServerLifecycleTest, StoppingAnIdleServerReturnsPromptlyAndTwiceIsHarmless) {
    {
        std::lock_guard<std::mutex> lockEvents(mutexEvents);
        vectorEvents.clear();
    }
    const long longAddress[4] = {127, 0, 0, 1};
    long longPort = FreePort();
    ASSERT_EQ(0, Server_StartServer(longAddress, RecordingSink, longPort));
    ASSERT_TRUE(WaitForEvent(D_LONG_SERVER_EVENT_STARTED));
    auto timepointStart = std::chrono::steady_clock::now();
    EXPECT_EQ(0, Server_StopServer());
    auto durationStop = std::chrono::steady_clock::now() - timepointStart;
    // The flag is looked at every second; well below the 60-second wait of a connection.
    EXPECT_LT(durationStop, std::chrono::seconds(5));
    EXPECT_TRUE(WaitForEvent(D_LONG_SERVER_EVENT_STOPPED));
    EXPECT_EQ(0, Server_StopServer());

    // Start and stop are in the access log.
    std::string stringLog = Test_ReadFile(Test_LogPath("access"));
    std::string stringStart = ": [SERVER START]   IP:127.0.0.1 , port:" + std::to_string(longPort) + " \r\n";
    size_t sizeStart = stringLog.find(stringStart);
    ASSERT_NE(std::string::npos, sizeStart) << stringLog;
    EXPECT_NE(std::string::npos, stringLog.find(": [SERVER STOP]     \r\n", sizeStart));
}

TEST(ServerLifecycleTest, APortInUseIsReportedAndTheServerEnds) {
    {
        std::lock_guard<std::mutex> lockEvents(mutexEvents);
        vectorEvents.clear();
    }
    int intTaken = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in structAddress{};
    structAddress.sin_family = AF_INET;
    structAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(intTaken, reinterpret_cast<sockaddr *>(&structAddress), sizeof(structAddress)));
    ASSERT_EQ(0, listen(intTaken, 1));
    socklen_t socklenAddress = sizeof(structAddress);
    getsockname(intTaken, reinterpret_cast<sockaddr *>(&structAddress), &socklenAddress);

    const long longAddress[4] = {127, 0, 0, 1};
    ASSERT_EQ(0, Server_StartServer(longAddress, RecordingSink, ntohs(structAddress.sin_port)));
    EXPECT_TRUE(WaitForEvent(D_LONG_SERVER_EVENT_FAILED));
    EXPECT_EQ(0, Server_StopServer());
    std::lock_guard<std::mutex> lockEvents(mutexEvents);
    EXPECT_EQ(std::vector<long>{D_LONG_SERVER_EVENT_FAILED}, vectorEvents);
    close(intTaken);
}

}  // namespace

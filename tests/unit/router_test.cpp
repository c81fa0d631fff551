// The router: request bytes in, exact response bytes out, for every route and every kind of range.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log/log.h"
#include "platform/platform.h"
#include "server/server.h"
#include "test_files.h"

namespace {

struct Answer {
    int intResult;
    std::string stringResponse;
    long longKind;
};

Answer Route(const std::string &stringRequest) {
    char charBuffer[D_LONG_SERVER_REQUEST_BUFFER] = {0};
    memcpy(charBuffer, stringRequest.data(), stringRequest.size());
    size_t sizeHeader = stringRequest.find("\r\n\r\n");
    long longHeader = sizeHeader == std::string::npos ? 0 : static_cast<long>(sizeHeader + 4);
    char *pcharResponse = nullptr;
    long longLength = -1;
    Answer structAnswer = {0, "", -1};
    structAnswer.intResult = Server_CreateResponse(charBuffer, longHeader, 0, &pcharResponse, &longLength,
                                                   &structAnswer.longKind);
    if (structAnswer.intResult == 0) {
        structAnswer.stringResponse.assign(pcharResponse, static_cast<size_t>(longLength));
        free(pcharResponse);
    }
    return structAnswer;
}

const std::string stringPageHeader =
    "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nConnection: close\r\n\r\n";
const std::string stringBadRequest =
    "HTTP/1.1 400 Bad Request\r\nContent-Type: text/xml; charset=utf-8\r\nConnection: close\r\n\r\n"
    "<HTML>400 Bad Request</HTML>\r\n";

std::string ArchiveWhole(const std::string &stringArchive) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/java-archive\r\nContent-Length: " +
           std::to_string(stringArchive.size()) + "\r\n\r\n" + stringArchive;
}

std::string ArchivePiece(const std::string &stringArchive, size_t sizeFirst, size_t sizeLast) {
    return "HTTP/1.1 206 Partial Content\r\nAccept-Ranges: bytes\r\nContent-Length: " +
           std::to_string(sizeLast - sizeFirst + 1) + "\r\nContent-Range: bytes " + std::to_string(sizeFirst) + "-" +
           std::to_string(sizeLast) + "/" + std::to_string(stringArchive.size()) +
           "\r\nContent-Type: application/java-archive\r\n\r\n" +
           stringArchive.substr(sizeFirst, sizeLast - sizeFirst + 1);
}

std::string ArchiveUnsatisfiable(const std::string &stringArchive) {
    return "HTTP/1.1 416 Range Not Satisfiable\r\nAccept-Ranges: bytes\r\nContent-Length: 0\r\nContent-Range: "
           "bytes */" +
           std::to_string(stringArchive.size()) + "\r\n\r\n";
}

TEST(RouterTest, EveryRouteAnswersWithItsExactBytes) {
    const std::string stringPage = Test_Resource("download.html");
    const std::string stringDescriptor = Test_Resource("Sorvane.jam");
    const std::string stringArchive = Test_Resource("Sorvane.jar");
    ASSERT_EQ(250u, stringPage.size());
    const std::string stringDescriptorAnswer = "HTTP/1.1 200 OK\r\nContent-Type: application/x-jam\r\nContent-Length: " +
                                               std::to_string(stringDescriptor.size()) + "\r\n\r\n" + stringDescriptor;
    struct Case {
        std::string stringRequest;
        std::string stringResponse;
        long longKind;
    };
    const std::vector<Case> vectorCases = {
        {"GET /download.html HTTP/1.1\r\nHost: x\r\n\r\n", stringPageHeader + stringPage, 1},
        {"GET /download.html?x=1 HTTP/1.1\r\n\r\n", stringPageHeader + stringPage, 1},
        {"GET /download.htmlx\r\n\r\n", stringPageHeader + stringPage, 1},
        {"GET /download.html HTTP/1.0\r\n\r\n", stringPageHeader + stringPage, 1},
        {"GET /Sorvane.jam HTTP/1.1\r\n\r\n", stringDescriptorAnswer, 2},
        {"GET /Sorvane.jar HTTP/1.1\r\n\r\n", ArchiveWhole(stringArchive), 3},
        {"get /download.html HTTP/1.1\r\n\r\n", stringBadRequest, 0},
        {"HEAD /download.html HTTP/1.1\r\n\r\n", stringBadRequest, 0},
        {"GET / HTTP/1.1\r\n\r\n", stringBadRequest, 0},
        {"GET /download.htm HTTP/1.1\r\n\r\n", stringBadRequest, 0},
        {"GET /sorvane.jar HTTP/1.1\r\n\r\n", stringBadRequest, 0},
        {"POST /ftp.cgi?a HTTP/1.1\r\n\r\n", stringBadRequest, 0},
        {"", stringBadRequest, 0},
    };
    for (const Case &structCase : vectorCases) {
        Answer structAnswer = Route(structCase.stringRequest);
        EXPECT_EQ(0, structAnswer.intResult) << structCase.stringRequest;
        EXPECT_EQ(structCase.longKind, structAnswer.longKind) << structCase.stringRequest;
        EXPECT_TRUE(structCase.stringResponse == structAnswer.stringResponse) << structCase.stringRequest;
    }
}

TEST(RouterTest, ArchiveRangesAreServedWithoutReadingOutsideTheArchive) {
    const std::string stringArchive = Test_Resource("Sorvane.jar");
    const size_t sizeArchive = stringArchive.size();
    const std::string stringEnd = std::to_string(sizeArchive - 1);
    struct Case {
        std::string stringRange;
        std::string stringResponse;
    };
    const std::vector<Case> vectorCases = {
        {"Range: bytes=0-1023", ArchivePiece(stringArchive, 0, 1023)},
        {"Range: bytes=1024-2047", ArchivePiece(stringArchive, 1024, 2047)},
        {"Range: bytes=5-5", ArchivePiece(stringArchive, 5, 5)},
        {"Range: bytes=0-" + stringEnd, ArchivePiece(stringArchive, 0, sizeArchive - 1)},
        {"Range: bytes=100-", ArchivePiece(stringArchive, 100, sizeArchive - 1)},
        {"Range: bytes=-500", ArchivePiece(stringArchive, sizeArchive - 500, sizeArchive - 1)},
        {"Range: bytes=-99999999", ArchivePiece(stringArchive, 0, sizeArchive - 1)},
        {"Range: bytes=1000-" + std::to_string(sizeArchive), ArchivePiece(stringArchive, 1000, sizeArchive - 1)},
        {"Range: bytes=1000-99999999999", ArchivePiece(stringArchive, 1000, sizeArchive - 1)},
        {"Range: bytes=" + std::to_string(sizeArchive) + "-", ArchiveUnsatisfiable(stringArchive)},
        {"Range: bytes=" + std::to_string(sizeArchive) + "-" + std::to_string(sizeArchive + 10),
         ArchiveUnsatisfiable(stringArchive)},
        {"Range: bytes=99999999999-", ArchiveUnsatisfiable(stringArchive)},
        {"Range: bytes=-0", ArchiveUnsatisfiable(stringArchive)},
        {"Range: bytes=0-0", ArchiveWhole(stringArchive)},
        {"Range: bytes 5-9", ArchiveWhole(stringArchive)},
        {"Range: bytes=9-5", ArchiveWhole(stringArchive)},
        {"Range: bytes=x-5", ArchiveWhole(stringArchive)},
        {"range: bytes=0-1023", ArchiveWhole(stringArchive)},
    };
    for (const Case &structCase : vectorCases) {
        Answer structAnswer = Route("GET /Sorvane.jar HTTP/1.1\r\nHost: x\r\n" + structCase.stringRange + "\r\n\r\n");
        EXPECT_EQ(0, structAnswer.intResult) << structCase.stringRange;
        EXPECT_EQ(D_LONG_SERVER_RESPONSEKIND_ARCHIVE, structAnswer.longKind);
        EXPECT_TRUE(structCase.stringResponse == structAnswer.stringResponse)
            << structCase.stringRange << "\n" << structAnswer.stringResponse.substr(0, 200);
    }
    // Only the first Range line counts.
    Answer structAnswer = Route("GET /Sorvane.jar HTTP/1.1\r\nRange: bytes=0-9\r\nRange: bytes=10-19\r\n\r\n");
    EXPECT_TRUE(ArchivePiece(stringArchive, 0, 9) == structAnswer.stringResponse);
}

// A body that is no envelope: the command fails, so the router gives no answer at all.
TEST(RouterTest, AFailedCommandLeavesTheRequestUnanswered) {
    Answer structAnswer = Route("POST /ftp.cgi HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(-1, structAnswer.intResult);
}

TEST(RouterTest, RefusedRequestsAndArchiveDownloadsAreInTheAccessLog) {
    const std::string stringPath = Test_LogPath("access");
    std::remove(stringPath.c_str());

    Route("GET /download.html HTTP/1.1\r\n\r\n");
    Route("GET /Sorvane.jam HTTP/1.1\r\n\r\n");
    Route("HEAD / HTTP/1.1\r\nHost: x\r\n\r\n");
    Route("GET /Sorvane.jar HTTP/1.1\r\nRange: bytes=0-9\r\n\r\n");
    const std::string stringLog = Test_ReadFile(stringPath);
    const std::vector<std::string> vectorExpected = {
        ": [INVALID REQ]    HEAD / HTTP/1.1  Host: x     \r\n",
        ": [DOWNLOAD APP]   GET /Sorvane.jar HTTP/1.1  Range: bytes=0-9     \r\n",
    };
    size_t sizeAt = 0;
    for (const std::string &stringEntry : vectorExpected) {
        size_t sizeFound = stringLog.find(stringEntry, sizeAt);
        ASSERT_NE(std::string::npos, sizeFound) << stringLog;
        sizeAt = sizeFound + stringEntry.size();
    }
    EXPECT_EQ(stringLog.size(), sizeAt) << "the page and the descriptor write no entry";
}

}  // namespace

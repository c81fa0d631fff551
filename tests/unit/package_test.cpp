// The served package as it sits in resources/: the download page points at the descriptor, the
// descriptor points at the archive and describes it (size, time stamp, images, main class), and the
// archive is a zip that a phone can take apart. The zip is read here with a reader of its own, so a
// damaged or regenerated archive that no longer matches the descriptor fails here, not on a phone.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "test_files.h"

namespace {

// Lines of a text in which every line, the last one too, ends with CR LF. Gives false when the text
// doesn't end with CR LF or holds a CR or an LF outside such a pair.
bool SplitCrLfLines(const std::string &stringText, std::vector<std::string> *pvectorLines) {
    pvectorLines->clear();
    size_t sizeStart = 0;
    while (sizeStart < stringText.size()) {
        size_t sizeEnd = stringText.find("\r\n", sizeStart);
        if (sizeEnd == std::string::npos) return false;
        std::string stringLine = stringText.substr(sizeStart, sizeEnd - sizeStart);
        if (stringLine.find_first_of("\r\n") != std::string::npos) return false;
        pvectorLines->push_back(stringLine);
        sizeStart = sizeEnd + 2;
    }
    return true;
}

// The value of name="value" in the first tag of the element, or "" when the tag or the attribute is
// absent. An attribute follows a blank or, on a continuation line, the line's indentation.
std::string AttributeOf(const std::string &stringPage, const std::string &stringElement,
                        const std::string &stringName) {
    size_t sizeOpen = stringPage.find("<" + stringElement + " ");
    if (sizeOpen == std::string::npos) return "";
    const std::string stringTag = stringPage.substr(sizeOpen, stringPage.find('>', sizeOpen) - sizeOpen);
    const std::string stringPrefix = stringName + "=\"";
    for (size_t sizeAt = stringTag.find(stringPrefix); sizeAt != std::string::npos;
         sizeAt = stringTag.find(stringPrefix, sizeAt + 1)) {
        if (stringTag.find_first_of(" \t\r\n", sizeAt - 1) != sizeAt - 1) continue;  // part of a longer name
        size_t sizeValue = sizeAt + stringPrefix.size();
        size_t sizeQuote = stringTag.find('"', sizeValue);
        if (sizeQuote == std::string::npos) return "";
        return stringTag.substr(sizeValue, sizeQuote - sizeValue);
    }
    return "";
}

using Descriptor = std::vector<std::pair<std::string, std::string>>;

// The descriptor's "key = value" lines, in their order. Fails the test on a line of another shape.
Descriptor ReadDescriptor() {
    Descriptor vectorEntries;
    std::vector<std::string> vectorLines;
    std::string stringText = Test_Resource("Sorvane.jam");
    EXPECT_TRUE(SplitCrLfLines(stringText, &vectorLines)) << "every line must end with CR LF";
    for (const std::string &stringLine : vectorLines) {
        size_t sizeEquals = stringLine.find(" = ");
        EXPECT_NE(sizeEquals, std::string::npos) << stringLine;
        if (sizeEquals == std::string::npos) continue;
        vectorEntries.emplace_back(stringLine.substr(0, sizeEquals), stringLine.substr(sizeEquals + 3));
    }
    return vectorEntries;
}

std::string ValueOf(const Descriptor &vectorDescriptor, const std::string &stringKey) {
    for (const auto &pairEntry : vectorDescriptor)
        if (pairEntry.first == stringKey) return pairEntry.second;
    ADD_FAILURE() << "the descriptor has no " << stringKey;
    return "";
}

struct Stamp {
    int intYear, intMonth, intDay, intHour, intMinute, intSecond;
    bool operator==(const Stamp &structOther) const {
        return intYear == structOther.intYear && intMonth == structOther.intMonth && intDay == structOther.intDay &&
               intHour == structOther.intHour && intMinute == structOther.intMinute &&
               intSecond == structOther.intSecond;
    }
};

std::ostream &operator<<(std::ostream &streamOut, const Stamp &structStamp) {
    char charText[32];
    snprintf(charText, sizeof charText, "%04d-%02d-%02d %02d:%02d:%02d", structStamp.intYear, structStamp.intMonth,
             structStamp.intDay, structStamp.intHour, structStamp.intMinute, structStamp.intSecond);
    return streamOut << charText;
}

// A zip entry as the central directory and its local header give it.
struct ZipEntry {
    std::string stringName;
    uint16_t ushortMethod;
    uint16_t ushortTime, ushortDate;            // central directory
    uint16_t ushortLocalTime, ushortLocalDate;  // local header
    uint32_t uintCrc;
    size_t sizeCompressed, sizeOriginal;
    size_t sizeLocalOffset;  // where its local header begins in the archive
    size_t sizeDataOffset;   // where its data begins
};

// MS-DOS date: years since 1980, month, day; time: hours, minutes, seconds halved.
Stamp DecodeDosStamp(uint16_t ushortDate, uint16_t ushortTime) {
    Stamp structStamp;
    structStamp.intYear = 1980 + (ushortDate >> 9);
    structStamp.intMonth = (ushortDate >> 5) & 0x0F;
    structStamp.intDay = ushortDate & 0x1F;
    structStamp.intHour = ushortTime >> 11;
    structStamp.intMinute = (ushortTime >> 5) & 0x3F;
    structStamp.intSecond = (ushortTime & 0x1F) * 2;
    return structStamp;
}

uint32_t Crc32(const std::string &stringBytes, size_t sizeOffset, size_t sizeLength) {
    uint32_t uintCrc = 0xFFFFFFFFu;
    for (size_t sizeAt = sizeOffset; sizeAt < sizeOffset + sizeLength; ++sizeAt) {
        uintCrc ^= static_cast<unsigned char>(stringBytes[sizeAt]);
        for (int intBit = 0; intBit < 8; ++intBit) uintCrc = (uintCrc >> 1) ^ (0xEDB88320u & (0u - (uintCrc & 1u)));
    }
    return ~uintCrc;
}

uint32_t Le16(const std::string &stringBytes, size_t sizeAt) {
    auto Byte = [&](size_t sizeByte) -> uint32_t {
        return sizeByte < stringBytes.size() ? static_cast<unsigned char>(stringBytes[sizeByte]) : 0;
    };
    return Byte(sizeAt) | Byte(sizeAt + 1) << 8;
}

uint32_t Le32(const std::string &stringBytes, size_t sizeAt) {
    return Le16(stringBytes, sizeAt) | Le16(stringBytes, sizeAt + 2) << 16;
}

bool Fail(std::string *pstringError, const std::string &stringWhy) {
    *pstringError = stringWhy;
    return false;
}

// Walks the end-of-central-directory record, every central-directory entry and its local header, and
// checks the CRC of stored data. Gives false and the reason on the first thing that doesn't hold.
bool ReadZip(const std::string &stringBytes, std::vector<ZipEntry> *pvectorEntries, std::string *pstringError) {
    auto U16 = [&](size_t sizeAt) { return Le16(stringBytes, sizeAt); };
    auto U32 = [&](size_t sizeAt) { return Le32(stringBytes, sizeAt); };
    pvectorEntries->clear();
    const size_t sizeTotal = stringBytes.size();
    if (sizeTotal < 22) return Fail(pstringError, "shorter than an end record");
    size_t sizeEnd = std::string::npos;
    for (size_t sizeAt = sizeTotal - 22;; --sizeAt) {  // the record ends the file, after its comment
        if (U32(sizeAt) == 0x06054B50u && sizeAt + 22 + U16(sizeAt + 20) == sizeTotal) {
            sizeEnd = sizeAt;
            break;
        }
        if (sizeAt == 0 || sizeTotal - sizeAt > 22 + 0xFFFF) break;
    }
    if (sizeEnd == std::string::npos) return Fail(pstringError, "no end-of-central-directory record");
    if (U16(sizeEnd + 4) != 0 || U16(sizeEnd + 6) != 0) return Fail(pstringError, "spans several disks");
    const size_t sizeCount = U16(sizeEnd + 10);
    if (U16(sizeEnd + 8) != sizeCount) return Fail(pstringError, "entry counts disagree");
    const size_t sizeDirectory = U32(sizeEnd + 12);
    const size_t sizeDirectoryOffset = U32(sizeEnd + 16);
    if (sizeDirectoryOffset + sizeDirectory != sizeEnd)
        return Fail(pstringError, "central directory doesn't end at the end record");

    size_t sizeAt = sizeDirectoryOffset;
    for (size_t sizeIndex = 0; sizeIndex < sizeCount; ++sizeIndex) {
        if (sizeAt + 46 > sizeEnd || U32(sizeAt) != 0x02014B50u)
            return Fail(pstringError, "bad central-directory entry");
        ZipEntry structEntry;
        const uint16_t ushortFlags = U16(sizeAt + 8);
        structEntry.ushortMethod = U16(sizeAt + 10);
        structEntry.ushortTime = U16(sizeAt + 12);
        structEntry.ushortDate = U16(sizeAt + 14);
        structEntry.uintCrc = U32(sizeAt + 16);
        structEntry.sizeCompressed = U32(sizeAt + 20);
        structEntry.sizeOriginal = U32(sizeAt + 24);
        const size_t sizeName = U16(sizeAt + 28);
        const size_t sizeRecord = 46 + sizeName + U16(sizeAt + 30) + U16(sizeAt + 32);
        const size_t sizeLocal = U32(sizeAt + 42);
        if (sizeAt + sizeRecord > sizeEnd) return Fail(pstringError, "central-directory entry overruns");
        structEntry.stringName = stringBytes.substr(sizeAt + 46, sizeName);
        sizeAt += sizeRecord;

        const std::string stringWhere = " (" + structEntry.stringName + ")";
        if (sizeLocal + 30 > sizeDirectoryOffset || U32(sizeLocal) != 0x04034B50u)
            return Fail(pstringError, "bad local header signature" + stringWhere);
        const size_t sizeLocalName = U16(sizeLocal + 26);
        if (stringBytes.compare(sizeLocal + 30, sizeLocalName, structEntry.stringName) != 0 ||
            sizeLocalName != sizeName)
            return Fail(pstringError, "local header names another entry" + stringWhere);
        if (U16(sizeLocal + 8) != structEntry.ushortMethod) return Fail(pstringError, "methods disagree" + stringWhere);
        if ((ushortFlags & 0x08) == 0 &&
            (U32(sizeLocal + 14) != structEntry.uintCrc || U32(sizeLocal + 18) != structEntry.sizeCompressed ||
             U32(sizeLocal + 22) != structEntry.sizeOriginal))
            return Fail(pstringError, "local header and central directory disagree" + stringWhere);
        structEntry.sizeLocalOffset = sizeLocal;
        structEntry.ushortLocalTime = U16(sizeLocal + 10);
        structEntry.ushortLocalDate = U16(sizeLocal + 12);
        structEntry.sizeDataOffset = sizeLocal + 30 + sizeLocalName + U16(sizeLocal + 28);
        if (structEntry.sizeDataOffset + structEntry.sizeCompressed > sizeDirectoryOffset)
            return Fail(pstringError, "data overruns into the central directory" + stringWhere);
        if (structEntry.ushortMethod != 0 && structEntry.ushortMethod != 8)
            return Fail(pstringError, "unknown method" + stringWhere);
        if (structEntry.ushortMethod == 0) {
            if (structEntry.sizeCompressed != structEntry.sizeOriginal)
                return Fail(pstringError, "stored sizes differ" + stringWhere);
            if (Crc32(stringBytes, structEntry.sizeDataOffset, structEntry.sizeOriginal) != structEntry.uintCrc)
                return Fail(pstringError, "CRC mismatch" + stringWhere);
        }
        pvectorEntries->push_back(structEntry);
    }
    if (sizeAt != sizeEnd) return Fail(pstringError, "central directory size disagrees with its entries");
    return true;
}

std::vector<ZipEntry> ReadArchive(const std::string &stringArchive) {
    std::vector<ZipEntry> vectorEntries;
    std::string stringError;
    EXPECT_TRUE(ReadZip(stringArchive, &vectorEntries, &stringError)) << stringError;
    return vectorEntries;
}

const ZipEntry *FindEntry(const std::vector<ZipEntry> &vectorEntries, const std::string &stringName) {
    for (const ZipEntry &structEntry : vectorEntries)
        if (structEntry.stringName == stringName) return &structEntry;
    return nullptr;
}

// The bytes of a stored entry.
std::string StoredData(const std::string &stringArchive, const ZipEntry &structEntry) {
    EXPECT_EQ(structEntry.ushortMethod, 0)
        << structEntry.stringName << " is compressed; it is read here only when stored";
    return stringArchive.substr(structEntry.sizeDataOffset, structEntry.sizeOriginal);
}

TEST(PackageTest, DownloadPageIsTheFixedPageAndPointsAtTheDescriptor) {
    std::string stringPage = Test_Resource("download.html");
    EXPECT_EQ(stringPage.size(), 250u);
    std::vector<std::string> vectorLines;
    EXPECT_TRUE(SplitCrLfLines(stringPage, &vectorLines)) << "every line must end with CR LF";
    EXPECT_EQ(vectorLines.size(), 13u);

    EXPECT_EQ(AttributeOf(stringPage, "OBJECT", "data"), "Sorvane.jam");
    EXPECT_EQ(AttributeOf(stringPage, "OBJECT", "type"), "application/x-jam");
    // The link's ijam names the OBJECT by its id.
    EXPECT_EQ(AttributeOf(stringPage, "A", "ijam"), "#" + AttributeOf(stringPage, "OBJECT", "id"));
    EXPECT_FALSE(Test_Resource(AttributeOf(stringPage, "OBJECT", "data")).empty());
}

TEST(PackageTest, DescriptorHasItsKeysInOrderOnCrLfLines) {
    std::string stringText = Test_Resource("Sorvane.jam");
    EXPECT_EQ(stringText.size(), 309u);
    const std::vector<std::string> vectorKeys = {"PackageURL",   "AppSize",  "AppMainTitle", "AppName",    "AppVer",
                                                 "DrawArea",     "AppClass", "SPsize",       "UseNetwork", "UseStorage",
                                                 "LastModified", "AppType",  "AppIcon"};
    Descriptor vectorDescriptor = ReadDescriptor();
    std::vector<std::string> vectorSeen;
    for (const auto &pairEntry : vectorDescriptor) vectorSeen.push_back(pairEntry.first);
    EXPECT_EQ(vectorSeen, vectorKeys);
}

TEST(PackageTest, DescriptorPointsAtTheArchiveAndGivesItsSize) {
    Descriptor vectorDescriptor = ReadDescriptor();
    ASSERT_EQ(ValueOf(vectorDescriptor, "PackageURL"), "Sorvane.jar");
    std::string stringArchive = Test_Resource(ValueOf(vectorDescriptor, "PackageURL"));
    ASSERT_FALSE(stringArchive.empty());
    EXPECT_EQ(ValueOf(vectorDescriptor, "AppSize"), std::to_string(stringArchive.size()));
    EXPECT_EQ(stringArchive.size(), 218804u);
}

TEST(PackageTest, ArchiveIsAWellFormedZipWithAManifest) {
    std::string stringArchive = Test_Resource("Sorvane.jar");
    std::vector<ZipEntry> vectorEntries = ReadArchive(stringArchive);
    ASSERT_FALSE(vectorEntries.empty());
    std::set<std::string> setNames;
    for (const ZipEntry &structEntry : vectorEntries)
        EXPECT_TRUE(setNames.insert(structEntry.stringName).second) << "twice: " << structEntry.stringName;
    // A jar reader looks for the manifest at the start: first, or right after the META-INF/ folder.
    size_t sizeFirst = vectorEntries.front().stringName == "META-INF/" ? 1 : 0;
    ASSERT_LT(sizeFirst, vectorEntries.size());
    EXPECT_EQ(vectorEntries[sizeFirst].stringName, "META-INF/MANIFEST.MF");
}

TEST(PackageTest, ManifestNamesTheDescriptorsMainClass) {
    std::string stringArchive = Test_Resource("Sorvane.jar");
    std::vector<ZipEntry> vectorEntries = ReadArchive(stringArchive);
    const ZipEntry *pstructManifest = FindEntry(vectorEntries, "META-INF/MANIFEST.MF");
    ASSERT_NE(pstructManifest, nullptr);
    std::string stringManifest = StoredData(stringArchive, *pstructManifest);
    std::vector<std::string> vectorLines;
    ASSERT_TRUE(SplitCrLfLines(stringManifest, &vectorLines));
    ASSERT_FALSE(vectorLines.empty());
    EXPECT_EQ(vectorLines.front(), "Manifest-Version: 1.0");
    EXPECT_EQ(vectorLines.back(), "") << "the main section ends with an empty line";
    std::string stringClass = ValueOf(ReadDescriptor(), "AppClass");
    bool boolFound = false;
    for (const std::string &stringLine : vectorLines)
        boolFound = boolFound || stringLine == "Main-Class: " + stringClass;
    EXPECT_TRUE(boolFound) << stringManifest;
}

TEST(PackageTest, ArchiveHoldsTheImagesTheDescriptorNamesAtTheirSizes) {
    struct Case {
        const char *pcharKey;
        unsigned uintWidth, uintHeight;
    };
    const Case structCases[] = {{"AppMainTitle", 160, 160}, {"AppIcon", 48, 48}};
    std::string stringArchive = Test_Resource("Sorvane.jar");
    std::vector<ZipEntry> vectorEntries = ReadArchive(stringArchive);
    Descriptor vectorDescriptor = ReadDescriptor();
    for (const Case &structCase : structCases) {
        SCOPED_TRACE(structCase.pcharKey);
        std::string stringName = ValueOf(vectorDescriptor, structCase.pcharKey);
        const ZipEntry *pstructEntry = FindEntry(vectorEntries, stringName);
        ASSERT_NE(pstructEntry, nullptr) << stringName << " is not in the archive";
        std::string stringGif = StoredData(stringArchive, *pstructEntry);
        ASSERT_GE(stringGif.size(), 13u);
        EXPECT_TRUE(stringGif.compare(0, 6, "GIF89a") == 0 || stringGif.compare(0, 6, "GIF87a") == 0);
        EXPECT_EQ(Le16(stringGif, 6), structCase.uintWidth);  // the logical screen
        EXPECT_EQ(Le16(stringGif, 8), structCase.uintHeight);
        EXPECT_EQ(static_cast<unsigned char>(stringGif.back()), 0x3B) << "a GIF ends with its trailer";
    }
}

TEST(PackageTest, EveryEntryCarriesTheDescriptorsLastModified) {
    static const char *const pcharMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char *const pcharWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::string stringModified = ValueOf(ReadDescriptor(), "LastModified");
    char charWeekday[4] = {0}, charMonth[4] = {0};
    Stamp structWanted = {0, 0, 0, 0, 0, 0};
    ASSERT_EQ(sscanf(stringModified.c_str(), "%3s, %d %3s %d %d:%d:%d", charWeekday, &structWanted.intDay, charMonth,
                     &structWanted.intYear, &structWanted.intHour, &structWanted.intMinute, &structWanted.intSecond),
              7)
        << stringModified;
    for (int intMonth = 0; intMonth < 12; ++intMonth)
        if (std::string(charMonth) == pcharMonths[intMonth]) structWanted.intMonth = intMonth + 1;
    ASSERT_NE(structWanted.intMonth, 0) << stringModified;
    EXPECT_EQ(structWanted, (Stamp{2011, 9, 20, 16, 34, 40}));
    // The weekday agrees with the date (Sakamoto's method).
    static const int intMonthOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int intYear = structWanted.intYear - (structWanted.intMonth < 3 ? 1 : 0);
    int intWeekday = (intYear + intYear / 4 - intYear / 100 + intYear / 400 +
                      intMonthOffsets[structWanted.intMonth - 1] + structWanted.intDay) %
                     7;
    EXPECT_STREQ(charWeekday, pcharWeekdays[intWeekday]);

    std::vector<ZipEntry> vectorEntries = ReadArchive(Test_Resource("Sorvane.jar"));
    ASSERT_FALSE(vectorEntries.empty());
    for (const ZipEntry &structEntry : vectorEntries) {
        EXPECT_EQ(DecodeDosStamp(structEntry.ushortDate, structEntry.ushortTime), structWanted)
            << structEntry.stringName;
        EXPECT_EQ(DecodeDosStamp(structEntry.ushortLocalDate, structEntry.ushortLocalTime), structWanted)
            << structEntry.stringName << " (local header)";
    }
}

// The reader above is what the other tests trust; it must refuse an archive that is damaged.
TEST(PackageTest, ZipReaderRefusesDamagedArchives) {
    const std::string stringArchive = Test_Resource("Sorvane.jar");
    std::vector<ZipEntry> vectorEntries = ReadArchive(stringArchive);
    ASSERT_GE(vectorEntries.size(), 2u);
    const ZipEntry &structSecond = vectorEntries[1];
    const size_t sizeSecondLocal = structSecond.sizeLocalOffset;
    struct Case {
        const char *pcharWhat;
        std::string stringBytes;
    };
    std::vector<Case> vectorCases;
    vectorCases.push_back({"truncated by one byte", stringArchive.substr(0, stringArchive.size() - 1)});
    vectorCases.push_back({"one byte appended", stringArchive + '\0'});
    std::string stringBytes = stringArchive;
    stringBytes[sizeSecondLocal] = 'Q';
    vectorCases.push_back({"local header signature damaged", stringBytes});
    for (const ZipEntry &structEntry : vectorEntries) {
        if (structEntry.ushortMethod != 0 || structEntry.sizeOriginal == 0) continue;  // the CRC is checked when stored
        stringBytes = stringArchive;
        stringBytes[structEntry.sizeDataOffset + structEntry.sizeOriginal / 2] ^= 0x20;
        vectorCases.push_back({"one data byte changed", stringBytes});
        break;
    }
    stringBytes = stringArchive;
    stringBytes.insert(sizeSecondLocal, 1, '\0');  // everything after moves by one byte
    vectorCases.push_back({"a byte inserted before an entry", stringBytes});
    std::string stringCrLf;
    for (char charByte : stringArchive) {  // what a text conversion of line ends would do
        if (charByte == '\n') stringCrLf += '\r';
        stringCrLf += charByte;
    }
    vectorCases.push_back({"LF turned into CR LF", stringCrLf});

    for (const Case &structCase : vectorCases) {
        std::vector<ZipEntry> vectorRead;
        std::string stringError;
        EXPECT_FALSE(ReadZip(structCase.stringBytes, &vectorRead, &stringError)) << structCase.pcharWhat;
    }
}

}  // namespace

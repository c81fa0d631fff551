// File data reading: a file from a byte offset to its end, in one buffer, for the "get" command.
#include <cstdio>
#include <cstdlib>

#include "log/log.h"
#include "platform/platform.h"
#include "server/server.h"

int Server_LoadFileData(const char *pcharFilePath, long longOffset, unsigned char **ppucharFileData,
                        long *plongFileDataLength) {
    LOG_ENTER();
    // The size is taken before the file is opened: a file that grows in between is read up to this size,
    // one that shrinks gives a short read.
    Platform_FileStatus structStatus;
    LOG_TRACE("Platform_GetFileStatus 呼び出し");
    if (Platform_GetFileStatus(pcharFilePath, &structStatus) != 0) {
        LOG_TRACE("_stat 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    // A folder is not a byte stream; Windows refuses to open it, and so does this function everywhere.
    if (structStatus.longDirectory != 0) {
        LOG_TRACE("fopen_s 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_TRACE("Platform_OpenFile 呼び出し");
    FILE *pfileData = Platform_OpenFile(pcharFilePath, "rb");
    if (pfileData == nullptr) {
        LOG_TRACE("fopen_s 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    // A negative offset cannot be sought; it is refused before anything is allocated for it.
    if (longOffset < 0) {
        fclose(pfileData);
        LOG_LEAVE_NG();
        return -1;
    }
    long long longlongLength = structStatus.longlongSize - longOffset;
    if (longlongLength < 0) {
        LOG_TRACE("calloc 異常終了");
        fclose(pfileData);
        LOG_LEAVE_NG();
        return -1;
    }
    // The piece travels in an envelope behind an HTTP header, all of it counted in signed 32 bits.
    if (longlongLength > D_LONG_SERVER_MAX_FILE_PIECE) {
        LOG_TRACEF("送信可能なサイズを超えています(サイズ=%lld, オフセット=%ld)", structStatus.longlongSize, longOffset);
        fclose(pfileData);
        LOG_LEAVE_NG();
        return -1;
    }
    size_t sizeLength = static_cast<size_t>(longlongLength);
    // One byte more when nothing is left, so that the empty remainder fails at the read like any short read.
    unsigned char *pucharData = static_cast<unsigned char *>(calloc(sizeLength > 0 ? sizeLength : 1, 1));
    if (pucharData == nullptr) {
        LOG_TRACE("calloc 異常終了");
        fclose(pfileData);
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_TRACE("Platform_SeekFile 呼び出し");
    if (Platform_SeekFile(pfileData, longOffset) != 0) {
        free(pucharData);
        fclose(pfileData);
        LOG_LEAVE_NG();
        return -1;
    }
    size_t sizeItems = fread(pucharData, sizeLength, 1, pfileData);
    if (sizeItems != 1) {
        char charErrorText[D_LONG_LOG_LINE_BUFFER / 2];
        Platform_GetErrorText(Platform_GetLastError(), charErrorText, sizeof(charErrorText));
        LOG_TRACEF("fread 異常終了 (return=%d, FormatMessage=%s)", static_cast<int>(sizeItems), charErrorText);
        if (ferror(pfileData) != 0) LOG_TRACE("ferror エラー検知");
        if (feof(pfileData) != 0) LOG_TRACE("feof エラー検知");
        free(pucharData);
        fclose(pfileData);
        LOG_LEAVE_NG();
        return -1;
    }
    if (fclose(pfileData) != 0) LOG_TRACE("fclose 異常終了");

    *ppucharFileData = pucharData;
    *plongFileDataLength = static_cast<long>(longlongLength);
    LOG_LEAVE_OK();
    return 0;
}

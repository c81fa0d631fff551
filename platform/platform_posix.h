// What the POSIX implementation files of the platform layer share among themselves; not for the core.
#pragma once

#include <string>

// The file system's name (UTF-8) of a CP932 path; false when the path cannot be converted whole.
bool Platform_ToFileSystemPath(const char *pcharPath, std::string *pstringPath);

// The resources that the POSIX build carries in place of the Windows executable's resource section:
// the served package and the string table, generated at build time from the same files as the .rc.
#pragma once

#include <cstddef>

struct Platform_EmbeddedResource {
    const char *pcharName;
    const char *pcharType;
    const unsigned char *pucharData;
    long longSize;
};

struct Platform_EmbeddedString {
    unsigned int uintId;
    const char *pcharText;
};

extern const Platform_EmbeddedResource structPlatformEmbeddedResources[];
extern const size_t sizePlatformEmbeddedResources;
extern const Platform_EmbeddedString structPlatformEmbeddedStrings[];
extern const size_t sizePlatformEmbeddedStrings;

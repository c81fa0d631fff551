// Runs the private-profile table through Windows' own GetPrivateProfileStringA and
// WritePrivateProfileStringA (through the Windows build's platform layer), for tests/wine/profile_test.py.
// Arguments: the table, an existing work folder, and "--loose-layout" to compare file contents without
// their layout. Prints every failed check; exit code 0 when all passed.
#include <cstdio>
#include <cstring>

#include "tests/profile/profile_table.h"

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: profile_probe TABLE WORKFOLDER [--loose-layout]\n");
        return 2;
    }
    bool boolLooseLayout = argc > 3 && strcmp(argv[3], "--loose-layout") == 0;
    ProfileTable_Result structResult;
    int intRun = ProfileTable_Run(argv[1], argv[2], boolLooseLayout, &structResult);
    fputs(structResult.stringReport.c_str(), stdout);
    printf("%ld cases, %ld checks, %ld failed\n", structResult.longCases, structResult.longChecks,
           structResult.longFailures);
    return intRun == 0 && structResult.longFailures == 0 && structResult.longCases > 0 ? 0 : 1;
}

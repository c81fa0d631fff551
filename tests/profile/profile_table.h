// Runs the table of private-profile cases (tests/fixtures/profile_cases.txt) through the platform's
// Platform_GetPrivateProfileString and Platform_WritePrivateProfileString. The same runner is built
// into the POSIX unit test (our implementation) and into a Windows program run under Wine (Windows'
// own calls), so that one table with one set of expected results holds both to the same behaviour.
#pragma once

#include <string>

struct ProfileTable_Result {
    long longCases;
    long longChecks;
    long longFailures;
    std::string stringReport;  // one line per failed check: table line, case, what differed
};

// Runs every case of the table in pcharWorkFolder (which must exist). With boolLooseLayout the file
// contents that a case expects are compared line by line after dropping blank lines and the blanks
// around names and "=": Wine rewrites the whole file from what it parsed, where Windows edits in place.
// 0 when the table could be read and run (failures or not), -1 when it could not.
int ProfileTable_Run(const char *pcharTablePath, const char *pcharWorkFolder, bool boolLooseLayout,
                     ProfileTable_Result *pstructResult);

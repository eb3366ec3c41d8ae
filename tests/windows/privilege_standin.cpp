// Stands in for the setup helper DLL the uninstaller asks whether its user may remove the driver:
// the answer is the stage's choice (VELMO_STANDIN_ADMIN=1 says yes), so both ways can be driven.
#include <platform/windows.h>

extern "C" __declspec(dllexport) BOOL WINAPI CheckUserPrivilege(DWORD, LPSTR buffer)
{
    if (buffer)
        buffer[0] = 0;
    char answer[4] = {};
    return GetEnvironmentVariableA("VELMO_STANDIN_ADMIN", answer, sizeof answer) == 1 && answer[0] == '1';
}

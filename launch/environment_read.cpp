#include "environment.h"

namespace launch
{

void CAnalyzeEnvironment::Analyze()
{
    VersionProbe probe = [this](DWORD major, DWORD minor) { return IsVersionOrGreater(major, minor); };
    environmentWord = form_ == Form::Menu ? MenuEnvironmentWord(ReadOsVersionW(), probe)
                                          : LauncherEnvironmentWord(ReadOsVersion(), probe);
}

bool CAnalyzeEnvironment::IsVersionOrGreater(DWORD major, DWORD minor) const
{
    return launch::IsVersionOrGreater(major, minor, form_ == Form::Menu);
}

} // namespace launch

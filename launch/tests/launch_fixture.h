// The package media as the menu finds it: the menu in Media\Menu, its siblings beside that folder.
#pragma once

#include <gtest/gtest.h>

#include <sim/machine.h>

#include <string>

namespace launchtest
{
inline const WString kMedia = u"C:\\Media";
inline const WString kMenuFolder = kMedia + u"\\Menu\\";
inline const WString kMenuPath = kMenuFolder + u"Menu.exe";
inline const WString kDriver = kMedia + u"\\Driver\\KGSetup.exe";

// A .lng or .ini file in the code page's bytes (the profile functions read it as a Windows file).
inline void PutText(const WString& path, const std::string& text)
{
    sim::files().Put(path, text);
}

class MenuFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim::processes().SetCallingProgram(kMenuPath, u"\"" + kMenuPath + u"\"");
        sim::desktop().RegisterResources(u"Menu.exe", LAUNCH_MENU_RC);
        sim::desktop().SetUiLanguage(0x0409);
        sim::files().Put(kMenuPath);
    }
};
} // namespace launchtest

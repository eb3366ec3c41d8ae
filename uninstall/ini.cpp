#include "ini.h"

#include <cstdio>

namespace uninstall
{

std::string IniString(const char* path, const char* section, const char* key, const char* fallback,
                      size_t maxChars)
{
    std::string buffer(maxChars + 1, '\0');
    DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer.data(),
                                       static_cast<DWORD>(buffer.size()), path);
    buffer.resize(std::min<size_t>(n, maxChars));
    return buffer;
}

std::vector<std::string> IniList(const char* path, const char* section, const char* keyFormat)
{
    std::vector<std::string> values;
    for (int i = 0; i < 1000; ++i)
    {
        char key[64];
        std::snprintf(key, sizeof key, keyFormat, i);
        std::string value = IniString(path, section, key);
        if (value.empty())
            break;
        values.push_back(std::move(value));
    }
    return values;
}

} // namespace uninstall

// The user's folders, as the desktop's user-directory settings name them.
#include "platform/folders.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

namespace {

std::string home() {
    const char* szHome = std::getenv("HOME");
    return szHome != nullptr ? szHome : "";
}

// XDG_MUSIC_DIR="$HOME/Music" or an absolute path, in double quotes.
std::optional<std::string> musicDirectory() {
    const char* szConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string szDirs =
        (szConfig != nullptr && szConfig[0] == '/' ? std::string(szConfig) : home() + "/.config") +
        "/user-dirs.dirs";
    std::ifstream in(szDirs);
    const std::string szKey = "XDG_MUSIC_DIR=\"";
    std::optional<std::string> result;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(szKey, 0) != 0 || line.size() < szKey.size() + 1 || line.back() != '"')
            continue;
        std::string value = line.substr(szKey.size(), line.size() - szKey.size() - 1);
        if (value.rfind("$HOME", 0) == 0)
            value = home() + value.substr(5);
        else if (value.empty() || value[0] != '/')
            continue;
        while (value.size() > 1 && value.back() == '/')
            value.pop_back();
        result = value; // the last line wins
    }
    // A music directory that is the home directory means "none".
    std::string szHome = home();
    while (szHome.size() > 1 && szHome.back() == '/')
        szHome.pop_back();
    if (result && *result == szHome)
        result.reset();
    return result;
}

} // namespace

HRESULT SHGetFolderPathA(HWND, int csidl, HANDLE, DWORD, LPSTR szPath) {
    if (szPath == nullptr)
        return E_FAIL;
    szPath[0] = '\0';
    std::optional<std::string> folder;
    if (csidl == CSIDL_PROFILE && !home().empty())
        folder = home();
    else if (csidl == CSIDL_MYMUSIC)
        folder = musicDirectory();
    if (!folder || folder->size() >= MAX_PATH)
        return E_FAIL;
    std::memcpy(szPath, folder->c_str(), folder->size() + 1);
    return S_OK;
}

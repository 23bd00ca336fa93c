#include "record/recordname.h"

#include "platform/folders.h"
#include "protocol/radiostate.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

std::string recordDirectory() {
    if (const char* szDir = std::getenv(szRecordEnv); szDir != nullptr && szDir[0] != '\0')
        return szDir;
    std::array<char, MAX_PATH> szPath{};
    if (SHGetFolderPathA(nullptr, CSIDL_MYMUSIC, nullptr, 0, szPath.data()) == S_OK ||
        SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, 0, szPath.data()) == S_OK)
        return szPath.data();
    return ".";
}

std::string recordModeName(DWORD uMode) {
    if (const std::string_view szWord = modeWord(uMode); !szWord.empty())
        return std::string(szWord);
    // Appended rather than "mode" + ...: GCC 12 at -O3 warns falsely
    // (-Wrestrict) about the operator+ that takes a literal first.
    std::string szName = "mode";
    szName += std::to_string(uMode);
    return szName;
}

std::string recordBaseName(const std::tm& local, DWORD ulFrequency, DWORD uMode,
                           const char* szStation) {
    std::array<char, 32> szTime{};
    std::strftime(szTime.data(), szTime.size(), "%Y%m%d-%H%M%S", &local);
    std::string szName = std::string("velkor-") + szTime.data();
    if (uMode != 0) {
        szName += '-';
        szName += std::to_string(ulFrequency);
        szName += '-';
        szName += recordModeName(uMode);
    }
    // A name fit for any file system: no separators, no dots, no blanks.
    std::string szSafe;
    constexpr std::size_t MAX_STATION = 40;
    for (const char* p = szStation; p != nullptr && *p != '\0' && szSafe.size() < MAX_STATION;
         ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (std::isalnum(c))
            szSafe += static_cast<char>(c);
        else if (!szSafe.empty() && szSafe.back() != '_')
            szSafe += '_';
    }
    while (!szSafe.empty() && szSafe.back() == '_')
        szSafe.pop_back();
    if (!szSafe.empty()) {
        szName += '-';
        szName += szSafe;
    }
    return szName;
}

std::string recordUniquePath(const std::string& szDirectory, const std::string& szBase,
                             const std::string& szExtension) {
    const std::filesystem::path directory(szDirectory);
    std::filesystem::path path = directory / (szBase + szExtension);
    std::error_code error;
    for (int n = 2; std::filesystem::exists(path, error); ++n)
        path = directory / (szBase + "-" + std::to_string(n) + szExtension);
    return path.string();
}

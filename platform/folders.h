// The user's folders: the home directory and the music directory.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

using HRESULT = LONG;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr DWORD MAX_PATH = 4096;

inline constexpr int CSIDL_MYMUSIC = 0x000D; // the desktop's music directory
inline constexpr int CSIDL_PROFILE = 0x0028; // the home directory

// Writes the folder's path (up to MAX_PATH characters with the NUL) to
// szPath. The home directory is $HOME. The music directory is the one
// the desktop's user-directory settings name (XDG_MUSIC_DIR in
// $XDG_CONFIG_HOME/user-dirs.dirs, $HOME/.config by default); E_FAIL
// when they name none, or only the home directory itself. The folder
// need not exist. hWnd, hToken and dwFlags are not used.
HRESULT SHGetFolderPathA(HWND hWnd, int csidl, HANDLE hToken, DWORD dwFlags, LPSTR szPath);

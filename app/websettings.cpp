// The web panel's and the Icecast stream's kept settings.
#include "app/websettings.h"

#include "icecast/icecast.h"
#include "platform/profile.h"
#include "platform/websettingsdialog.h"

#include <cstdio>
#include <cstdlib>

WEBSETTINGS webKeptSettings() {
    WEBSETTINGS kept;
    kept.szPasswordHash = ReadSetting(szWebSection, szWebPasswordKey, "");
    kept.szIcecast = ReadSetting(szWebSection, szWebIcecastKey, "");
    return kept;
}

std::string icecastAddress() {
    if (const char* sz = std::getenv(szIcecastEnv); sz != nullptr)
        return sz;
    return ReadSetting(szWebSection, szWebIcecastKey, "");
}

BOOL editWebSettings(HWND hDlg) {
    const WEBSETTINGS kept = webKeptSettings();
    WEBSETTINGSFORM form;
    form.bPasswordKept = kept.szPasswordHash.empty() ? FALSE : TRUE;
    form.szIcecast = kept.szIcecast;
    std::string szNote;
    if (std::getenv(szWebPasswordEnv) != nullptr)
        szNote += "VELKOR_WEB_PASSWORD is set: it is used instead of the password kept here. ";
    if (std::getenv(szIcecastEnv) != nullptr)
        szNote += "VELKOR_ICECAST is set: it is used instead of the address kept here. ";
    form.szNote = szNote + "A running web panel or stream starts again with what you keep.";
    if (!WebSettingsDialog(hDlg, &form, [](const std::string& szUrl) {
            ICECASTURL url;
            return icecastParseUrl(szUrl, &url) == TRUE;
        }))
        return FALSE;
    BOOL bKept = TRUE;
    if (form.bForgetPassword)
        bKept &= WriteSetting(szWebSection, szWebPasswordKey, "");
    else if (!form.szPassword.empty())
        bKept &=
            WriteSetting(szWebSection, szWebPasswordKey, webHashPassword(form.szPassword).c_str());
    bKept &= WriteSetting(szWebSection, szWebIcecastKey, form.szIcecast.c_str());
    if (!bKept) {
        std::fputs("velkor: cannot keep the web settings\n", stderr);
        MessageBoxA(hDlg, "The settings file cannot be written.", "Web Settings",
                    MB_ICONEXCLAMATION | MB_OK);
        return FALSE;
    }
    return TRUE;
}

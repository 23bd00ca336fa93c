// The web panel's and the Icecast stream's settings as the operator
// edits them: a small modal dialog with the operator's password and the
// Icecast source address.
#pragma once

#include "platform/dialog.h"

#include <functional>
#include <string>

struct WEBSETTINGSFORM {
    BOOL bPasswordKept = FALSE;   // in: a password is kept now
    BOOL bForgetPassword = FALSE; // out: keep none from now on
    std::string szPassword;       // out: a new password; "": unchanged
    std::string szIcecast;        // in and out: the source address; "": none
    std::string szNote;           // in: shown under the fields (what overrides them)
};

// Shows the dialog over hOwner. OK stays disabled while the Icecast
// field holds something bIcecastValid refuses, or the two password
// fields differ. TRUE for OK, with the form filled in; FALSE for Cancel.
BOOL WebSettingsDialog(HWND hOwner, WEBSETTINGSFORM* pForm,
                       const std::function<bool(const std::string&)>& bIcecastValid);

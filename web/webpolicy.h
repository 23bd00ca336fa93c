// What a web client may say, and who may tune: the web panel's rules,
// without the network. Everything here runs on the web server's thread.
#pragma once

#include "platform/types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Longest text message a client may send, in octets.
inline constexpr std::size_t WEB_MESSAGE_SIZE = 256;

// The client's messages: one verb and at most one argument, text only.
//   listen 0|1        audio on or off for this client
//   login PASSWORD    ask for the operator role
//   logout            give it back
//   tune HZ           tune (operator only)
//   mode AM|CW|SSB    mode (operator only)
//   step HZ           tuning step, one of the receiver's (operator only)
//   ping              keeps the operator role from idling out
enum WEBVERB { WEB_BAD, WEB_LISTEN, WEB_LOGIN, WEB_LOGOUT, WEB_TUNE, WEB_MODE, WEB_STEP, WEB_PING };

struct WEBMESSAGE {
    WEBVERB verb = WEB_BAD;
    DWORD ulValue = 0;    // listen, tune, mode (MODE_*), step
    std::string szSecret; // login
};

// Reads one message; WEB_BAD for anything malformed, oversized, out of
// range or not text.
WEBMESSAGE webParse(std::string_view text);

// ---- the operator's password ------------------------------------------------

// Keeps a salted hash of szPassword (none when it is empty).
void webSetPassword(std::string_view szPassword);
// Keeps a hash as webHashPassword (web/web.h) made it for the settings
// file; FALSE, and no password, when szKept is not one.
BOOL webSetPasswordHash(std::string_view szKept);
BOOL webHasPassword();
// Compares with the kept hash at the same cost whether or not it
// matches, and in constant time; FALSE when no password is set.
BOOL webCheckPassword(std::string_view szCandidate);
// Password hashes computed since the program started (any thread).
std::uint64_t webPasswordHashes();

// ---- login attempts ---------------------------------------------------------

// Attempts an address may make in a window before it is refused until the
// window has passed.
inline constexpr int WEB_LOGIN_ATTEMPTS = 5;
inline constexpr std::uint64_t WEB_LOGIN_WINDOW_MS = 60000;
// Addresses remembered; the oldest is forgotten past this.
inline constexpr std::size_t WEB_LOGIN_ADDRESSES = 1024;

// Counts one attempt by szAddress at ulNow (ms); FALSE when it is over
// the limit (the password is then not even looked at).
BOOL webLoginAllowed(const std::string& szAddress, std::uint64_t ulNow);

// ---- the operator role -------------------------------------------------------

inline constexpr std::uint64_t WEB_OPERATOR_IDLE_MS = 10 * 60 * 1000;
// Web tunings reach the link at most once in this time; a later one
// within it replaces the one that waits.
inline constexpr std::uint64_t WEB_TUNE_SPACING_MS = 50;

// The client holding the role at ulNow (0: nobody); one idle too long
// loses it here.
int webOperator(std::uint64_t ulNow);
// Gives the role to iClient if nobody holds it (or iClient does).
BOOL webTakeOperator(int iClient, std::uint64_t ulNow);
// Gives it back (a logout or a disconnect); no-op for anyone else.
void webReleaseOperator(int iClient);

enum WEBRESULT { WEB_DONE, WEB_NOT_OPERATOR, WEB_LOCKED, WEB_REFUSED };

// Carries out a tune, mode or step from iClient through the control
// service, as the web's operator; the dialog follows a tuning or mode as
// it follows a remote one. The dialog's Lock and the receiver's lock
// refuse them all.
WEBRESULT webCommand(int iClient, const WEBMESSAGE& message, std::uint64_t ulNow);
// Sends a held-back tuning that is due at ulNow.
void webFlush(std::uint64_t ulNow);

// Forgets the role, held tunings and login attempts (the server stops).
void webPolicyReset();
// Frees what checking passwords left with the calling thread; called by a
// thread that checked passwords, as it ends.
void webPolicyThreadEnd();

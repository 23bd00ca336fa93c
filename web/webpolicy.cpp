// The web panel's rules: messages, password, login attempts, the
// operator role and its commands.
#include "web/webpolicy.h"

#include "web/web.h"

#include "link/control.h"
#include "link/execthread.h"
#include "link/updatethread.h"
#include "platform/window.h"
#include "protocol/comexecute.h"
#include "protocol/steps.h"
#include "remote/rigcommand.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <deque>

namespace {

// ---- messages ---------------------------------------------------------------

bool readNumber(std::string_view text, DWORD* pValue) {
    if (text.empty() || text.size() > 10)
        return false;
    DWORD ul = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), ul);
    if (ec != std::errc() || end != text.data() + text.size())
        return false;
    *pValue = ul;
    return true;
}

bool printable(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F; });
}

// ---- password -----------------------------------------------------------------

constexpr int SALT_SIZE = 16;
constexpr int HASH_SIZE = 32;
// PBKDF2-HMAC-SHA256 rounds: tens of milliseconds per login, which the
// attempt limit multiplies into hours for a guesser.
constexpr int HASH_ROUNDS = 60000;
// What a kept hash may say it took (fewer would be cheap to guess).
constexpr unsigned long HASH_ROUNDS_MIN = 10000;
constexpr unsigned long HASH_ROUNDS_MAX = 10000000;
constexpr std::string_view HASH_KIND = "pbkdf2-sha256";

using SALT = std::array<unsigned char, SALT_SIZE>;
using HASH = std::array<unsigned char, HASH_SIZE>;

bool bPassword = false;
int nRounds = HASH_ROUNDS;
SALT ucSalt{};
HASH ucHash{};
std::atomic<std::uint64_t> ulHashes{0};

HASH hashOf(std::string_view szPassword, const SALT& salt, int nHashRounds) {
    HASH hash{};
    PKCS5_PBKDF2_HMAC(szPassword.data(), static_cast<int>(szPassword.size()), salt.data(),
                      SALT_SIZE, nHashRounds, EVP_sha256(), HASH_SIZE, hash.data());
    ulHashes += 1;
    return hash;
}

std::string hexOf(const unsigned char* p, std::size_t n) {
    constexpr std::string_view digits = "0123456789abcdef";
    std::string sz;
    for (std::size_t i = 0; i < n; ++i) {
        sz += digits[p[i] >> 4];
        sz += digits[p[i] & 15];
    }
    return sz;
}

template <std::size_t N> bool readHex(std::string_view text, std::array<unsigned char, N>* pOut) {
    if (text.size() != 2 * N)
        return false;
    for (std::size_t i = 0; i < N; ++i) {
        unsigned u = 0;
        const auto [end, ec] = std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, u, 16);
        if (ec != std::errc() || end != text.data() + 2 * i + 2)
            return false;
        (*pOut)[i] = static_cast<unsigned char>(u);
    }
    return true;
}

// ---- login attempts -----------------------------------------------------------

struct ATTEMPTS {
    std::string szAddress;
    std::uint64_t ulWindowStart = 0;
    int nAttempts = 0;
};
std::deque<ATTEMPTS> attempts; // newest last

// ---- operator -------------------------------------------------------------------

int iOperator = 0;
std::uint64_t ulOperatorSeen = 0;

struct HELD {
    bool bWaiting = false;
    DWORD ulFrequency = 0;
    bool bSent = false;
    std::uint64_t ulSentAt = 0;
};
HELD heldTune;

BOOL locked() {
    return bLock || radio.bLock;
}

void sendTune(DWORD ulFrequency, std::uint64_t ulNow) {
    controlTune(ulFrequency, REQUEST_WEB);
    PostMessageA(hDlgHandle, IDREMOTE, REMOTE_FREQUENCY, static_cast<LPARAM>(ulFrequency));
    heldTune.bWaiting = false;
    heldTune.bSent = true;
    heldTune.ulSentAt = ulNow;
}

} // namespace

WEBMESSAGE webParse(std::string_view text) {
    WEBMESSAGE message;
    if (text.size() > WEB_MESSAGE_SIZE || !printable(text))
        return message;
    const std::size_t space = text.find(' ');
    const std::string_view verb = text.substr(0, space);
    const std::string_view arg =
        space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
    const bool bArg = space != std::string_view::npos;
    DWORD ul = 0;
    if (verb == "listen" && readNumber(arg, &ul) && ul <= 1) {
        message.verb = WEB_LISTEN;
        message.ulValue = ul;
    } else if (verb == "login" && bArg && !arg.empty()) {
        message.verb = WEB_LOGIN;
        message.szSecret = arg;
    } else if (verb == "logout" && !bArg) {
        message.verb = WEB_LOGOUT;
    } else if (verb == "ping" && !bArg) {
        message.verb = WEB_PING;
    } else if (verb == "tune" && readNumber(arg, &ul) && ul >= MIN_FREQUENCY &&
               ul <= MAX_FREQUENCY) {
        message.verb = WEB_TUNE;
        message.ulValue = ul;
    } else if (verb == "mode" && (arg == "AM" || arg == "CW" || arg == "SSB")) {
        message.verb = WEB_MODE;
        message.ulValue = arg == "AM" ? MODE_AM : arg == "CW" ? MODE_CW : MODE_SSB;
    } else if (verb == "step" && readNumber(arg, &ul) &&
               std::find(uaSpeed.begin(), uaSpeed.end(), ul) != uaSpeed.end()) {
        message.verb = WEB_STEP;
        message.ulValue = ul;
    }
    return message;
}

void webSetPassword(std::string_view szPassword) {
    bPassword = !szPassword.empty();
    nRounds = HASH_ROUNDS;
    if (!bPassword)
        return;
    RAND_bytes(ucSalt.data(), SALT_SIZE);
    ucHash = hashOf(szPassword, ucSalt, nRounds);
}

std::string webHashPassword(const std::string& szPassword) {
    if (szPassword.empty())
        return {};
    SALT salt{};
    RAND_bytes(salt.data(), SALT_SIZE);
    const HASH hash = hashOf(szPassword, salt, HASH_ROUNDS);
    return std::string(HASH_KIND) + "$" + std::to_string(HASH_ROUNDS) + "$" +
           hexOf(salt.data(), salt.size()) + "$" + hexOf(hash.data(), hash.size());
}

BOOL webSetPasswordHash(std::string_view szKept) {
    bPassword = false;
    if (std::count(szKept.begin(), szKept.end(), '$') != 3)
        return FALSE;
    std::array<std::string_view, 4> parts{};
    for (std::string_view& part : parts) {
        const std::size_t dollar = szKept.find('$');
        part = szKept.substr(0, dollar);
        szKept = dollar == std::string_view::npos ? std::string_view() : szKept.substr(dollar + 1);
    }
    unsigned long ulRounds = 0;
    const std::string_view rounds = parts[1];
    const auto [end, ec] = std::from_chars(rounds.data(), rounds.data() + rounds.size(), ulRounds);
    SALT salt{};
    HASH hash{};
    if (parts[0] != HASH_KIND || ec != std::errc() || rounds.empty() ||
        end != rounds.data() + rounds.size() || ulRounds < HASH_ROUNDS_MIN ||
        ulRounds > HASH_ROUNDS_MAX || !readHex(parts[2], &salt) || !readHex(parts[3], &hash))
        return FALSE;
    nRounds = static_cast<int>(ulRounds);
    ucSalt = salt;
    ucHash = hash;
    bPassword = true;
    return TRUE;
}

std::uint64_t webPasswordHashes() {
    return ulHashes;
}

BOOL webHasPassword() {
    return bPassword ? TRUE : FALSE;
}

BOOL webCheckPassword(std::string_view szCandidate) {
    const HASH hash = hashOf(szCandidate, ucSalt, nRounds); // the same work whatever the outcome
    const bool bSame = CRYPTO_memcmp(hash.data(), ucHash.data(), HASH_SIZE) == 0;
    return bPassword && bSame ? TRUE : FALSE;
}

BOOL webLoginAllowed(const std::string& szAddress, std::uint64_t ulNow) {
    auto it = std::find_if(attempts.begin(), attempts.end(),
                           [&](const ATTEMPTS& a) { return a.szAddress == szAddress; });
    if (it == attempts.end()) {
        if (attempts.size() >= WEB_LOGIN_ADDRESSES)
            attempts.pop_front();
        attempts.push_back(ATTEMPTS{szAddress, ulNow, 0});
        it = attempts.end() - 1;
    }
    if (ulNow - it->ulWindowStart >= WEB_LOGIN_WINDOW_MS) {
        it->ulWindowStart = ulNow;
        it->nAttempts = 0;
    }
    it->nAttempts += 1;
    return it->nAttempts <= WEB_LOGIN_ATTEMPTS ? TRUE : FALSE;
}

int webOperator(std::uint64_t ulNow) {
    if (iOperator != 0 && ulNow - ulOperatorSeen >= WEB_OPERATOR_IDLE_MS)
        iOperator = 0;
    return iOperator;
}

BOOL webTakeOperator(int iClient, std::uint64_t ulNow) {
    const int iHolder = webOperator(ulNow);
    if (iHolder != 0 && iHolder != iClient)
        return FALSE;
    iOperator = iClient;
    ulOperatorSeen = ulNow;
    return TRUE;
}

void webReleaseOperator(int iClient) {
    if (iOperator == iClient) {
        iOperator = 0;
        heldTune.bWaiting = false;
    }
}

WEBRESULT webCommand(int iClient, const WEBMESSAGE& message, std::uint64_t ulNow) {
    if (iClient == 0 || webOperator(ulNow) != iClient)
        return WEB_NOT_OPERATOR;
    ulOperatorSeen = ulNow;
    if (message.verb == WEB_PING)
        return WEB_DONE;
    if (locked())
        return WEB_LOCKED;
    switch (message.verb) {
    case WEB_TUNE:
        heldTune.ulFrequency = message.ulValue;
        heldTune.bWaiting = true;
        webFlush(ulNow);
        return WEB_DONE;
    case WEB_MODE:
        controlMode(message.ulValue, REQUEST_WEB);
        PostMessageA(hDlgHandle, IDREMOTE, REMOTE_MODE, static_cast<LPARAM>(message.ulValue));
        return WEB_DONE;
    case WEB_STEP:
        controlStep(message.ulValue, REQUEST_WEB);
        return WEB_DONE;
    default:
        return WEB_REFUSED;
    }
}

void webFlush(std::uint64_t ulNow) {
    if (!heldTune.bWaiting)
        return;
    if (locked()) { // locked while it waited
        heldTune.bWaiting = false;
        return;
    }
    if (!heldTune.bSent || ulNow - heldTune.ulSentAt >= WEB_TUNE_SPACING_MS)
        sendTune(heldTune.ulFrequency, ulNow);
}

void webPolicyReset() {
    iOperator = 0;
    ulOperatorSeen = 0;
    heldTune = HELD{};
    attempts.clear();
}

void webPolicyThreadEnd() {
    // The hash library keeps state per thread that checked a password.
    OPENSSL_thread_stop();
}

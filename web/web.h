// The web panel: a browser sees the receiver, hears it, and after the
// operator's password tunes it.
//
// An HTTP and WebSocket server on a thread of its own (an event loop):
// a slow or hostile client never delays the dialog, the link or the
// sound. Audio goes out as the receiver sent it (the ADPCM clips from the
// audio thread's tap, audio/audio.h); tunings go through the control
// service as REQUEST_WEB.
#pragma once

#include "platform/types.h"

#include <string>
#include <vector>

// Environment: where to listen ("ADDR:PORT", a port alone is loopback),
// the operator's password, the TLS certificate and key (PEM), how many
// may connect, and the Icecast stream offered when that is reached.
inline constexpr const char* szWebEnv = "VELKOR_WEB";
inline constexpr const char* szWebPasswordEnv = "VELKOR_WEB_PASSWORD";
inline constexpr const char* szWebCertEnv = "VELKOR_WEB_CERT";
inline constexpr const char* szWebKeyEnv = "VELKOR_WEB_KEY";
inline constexpr const char* szWebListenersEnv = "VELKOR_WEB_LISTENERS";
inline constexpr const char* szWebIcecastEnv = "VELKOR_ICECAST";
inline constexpr const char* szWebDefault = "127.0.0.1:8073";

// Clients served at once (listeners and the operator) unless
// VELKOR_WEB_LISTENERS says otherwise; one more is told so and closed.
inline constexpr int WEB_LISTENERS = 16;
inline constexpr int WEB_LISTENERS_MAX = 1000;
// Octets a client's connection may hold unsent before audio to it is
// skipped (about a second of clips); one that stays over it this long is
// dropped.
inline constexpr long WEB_CLIENT_BACKLOG = 4096;
inline constexpr long WEB_STALLED_MS = 30000;

// A band button the page offers, as the dialog shows it.
struct WEBBAND {
    std::string szName;
    DWORD ulFrequency;
    BOOL bShortwave;
};

// What the settings file adds to the environment; the environment wins.
struct WEBSETTINGS {
    std::string szPasswordHash; // as webHashPassword made it; "": none
    std::string szIcecast;      // the Icecast source address; "": none
};

// Checks the settings, loads the certificate, listens on szAddress and
// starts the server's thread. FALSE, with the reason in *pszError, when
// the address is malformed, not loopback while no password is set, or
// cannot be bound, or the certificate or key does not load, or the kept
// password hash is damaged; nothing is left running then.
BOOL webOpen(const std::string& szAddress, const std::vector<WEBBAND>& bands, std::string* pszError,
             const WEBSETTINGS& kept = {});
// Stops the server: wakes its thread, joins it and closes every client.
// Safe when never opened, and twice.
void webClose();
BOOL webRunning();
// The port listened on (what port 0 was given), 0 when not running.
WORD webPort();
// Clients connected now, and those of them listening.
int webClients();
int webListeners();
// Audio messages skipped for clients that did not keep up, since open.
unsigned long long webSkipped();

// The station on the air at ulFrequency, as the station list names it
// ("": none); the page shows it while the receiver stays there. Called
// from the dialog's thread after each receiver update.
void webStationChanged(DWORD ulFrequency, const std::string& szName);

// The password as the settings file keeps it: a salted hash, never the
// password ("": none given).
std::string webHashPassword(const std::string& szPassword);

// The scanner: finds signals with the receiver's own S-meter.
//
// A range scan (start, stop, step) or a list scan (frequencies with
// modes, or memory channels) steps the receiver; at each step it tunes,
// waits for the tuning to leave, waits the dwell, then asks for a fresh
// S-meter reading (one sent after the dwell, never an earlier answer) and
// compares it with the threshold. On a signal it stops and listens,
// optionally recording, and resumes once the signal has stayed below the
// threshold for the hang time (or stays, as asked). A sweep steps a range
// the same way without stopping, hands each point to the band scope and
// returns the receiver to the frequency it was on.
//
// The scanner runs on a worker thread of its own. Its commands go through
// the control service as REQUEST_SCAN: below every other command, and
// asked again when the queue refuses them. It keeps at most one command
// in the queue, and a stop withdraws it, so no scan command goes out
// after an operator's.
//
// Any thread may call these functions.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <string>
#include <vector>

// Limits of what the scanner takes.
inline constexpr DWORD SCAN_MAX_DWELL_MS = 10000;
inline constexpr DWORD SCAN_MIN_THRESHOLD = 1;  // S-units
inline constexpr DWORD SCAN_MAX_THRESHOLD = 15; // S9+36 dB
inline constexpr DWORD SCAN_MAX_HANG_MS = 600000;
// A fresh reading or a tuning that does not come within this time (no
// port, a silent receiver) is given up and the step tried again.
inline constexpr DWORD SCAN_ANSWER_TIMEOUT_MS = 1000;

// S-units as the remote server reports them: dB over S9, 6 dB an S-unit.
constexpr int scanStrengthDb(DWORD uSUnits) {
    return (static_cast<int>(uSUnits) - 9) * 6;
}

struct SCANRANGE {
    DWORD ulStart = 0; // hertz, both ends included
    DWORD ulStop = 0;
    DWORD ulStep = 0;
};

// One entry of a list scan: a frequency (and mode, 0 to keep the mode),
// or a memory channel to recall when uMemory is not 0.
struct SCANCHANNEL {
    DWORD ulFrequency = 0;
    DWORD uMode = 0;
    DWORD uMemory = 0;
};

struct SCANPARAMS {
    DWORD ulDwellMs = 60;  // after the tuning has left, before the reading
    DWORD uThreshold = 5;  // S-units: a reading at or above it is a signal
    DWORD ulHangMs = 2000; // below the threshold this long: go on
    BOOL bResume = TRUE;   // FALSE: stay on a signal until stopped
    BOOL bRecord = FALSE;  // record the audio of each hit
};

enum SCANSTATE : int {
    SCAN_IDLE,
    SCAN_SEARCHING, // stepping a range or a list
    SCAN_LISTENING, // stopped on a signal
    SCAN_PAUSED,    // the port is gone; goes on when it returns
    SCAN_SWEEPING,  // a band scope sweep
};

// Why the last scan or sweep ended.
enum SCANEND : int {
    SCAN_END_NONE,     // still running, or never ran
    SCAN_END_STOPPED,  // scanStop
    SCAN_END_OPERATOR, // an operator action
    SCAN_END_LOCK,     // the receiver or the dialog is locked
    SCAN_END_DONE,     // a sweep finished; a list all locked out
};

// One point of a sweep.
struct SCANPOINT {
    DWORD ulFrequency = 0;
    int iStrengthDb = 0;
};

struct SCANHIT {
    DWORD ulFrequency = 0;
    DWORD uSUnits = 0;
    std::uint64_t ulStep = 0; // the step that found it (SCANCOUNTERS::ulSteps then)
    std::string szName;       // the station's, where the namer knows it
};

struct SCANCOUNTERS {
    std::uint64_t ulSteps = 0;    // readings taken
    std::uint64_t ulRefused = 0;  // commands the full queue refused, asked again
    std::uint64_t ulTimeouts = 0; // steps given up for want of an answer
    std::uint64_t ulSweeps = 0;   // sweeps completed
    std::uint64_t ulBehind = 0;   // readings taken again: the receiver had answered late
};

// "" when the range can be scanned, else why not (for the operator).
std::string scanCheckRange(const SCANRANGE& range);
std::string scanCheckParams(const SCANPARAMS& params);
// Points of a range: both ends included.
std::uint64_t scanPointCount(const SCANRANGE& range);
// A frequency in kilohertz as typed ("9400", "9400.5"), to whole hertz;
// FALSE (and why) when it is no number or not a whole number of hertz.
BOOL scanReadKilohertz(const std::string& szText, DWORD* pHertz, std::string* pszWhy);

// The worker thread: created suspended, run, stopped and joined.
DWORD scanOpen();
void scanStart();
void scanClose();

// Each starts in place of whatever runs. FALSE, with the reason in
// *pszWhy, for a bad range, list or parameter: then nothing is sent.
BOOL scanStartRange(const SCANRANGE& range, const SCANPARAMS& params, std::string* pszWhy);
BOOL scanStartList(const std::vector<SCANCHANNEL>& channels, const SCANPARAMS& params,
                   std::string* pszWhy);
// bRepeat: sweep again until stopped. The receiver returns to the
// frequency it was on after the last sweep.
BOOL scanStartSweep(const SCANRANGE& range, DWORD ulDwellMs, BOOL bRepeat, std::string* pszWhy);

// Ends what runs and withdraws the scanner's command that waits. A sweep
// stopped so returns the receiver to where it was.
void scanStop();
// The operator tuned, locked, changed mode or read a memory: the scan
// ends at once, and the receiver stays where the operator put it.
void scanOperatorActed();
// The serial port went (FALSE) or came back (TRUE): pause, resume.
void scanPortChanged(BOOL bConnected);

SCANSTATE scanState();
SCANEND scanLastEnd();
// The frequency of the hit being listened to (0 when none).
DWORD scanHitFrequency();
std::vector<SCANHIT> scanHits(); // of the running or the last scan
SCANCOUNTERS scanCounters();

// Sweep points since the last call, in order; the band scope takes them.
std::vector<SCANPOINT> scanTakePoints();

// The range and parameters a range scan last started with, for clients
// that say "the range as last set"; FALSE before the first.
BOOL scanLastRange(SCANRANGE* pRange, SCANPARAMS* pParams);
void scanSetLastRange(const SCANRANGE& range, const SCANPARAMS& params);

// Frequencies the scan skips: a range step within half a step of one, a
// list entry on one.
std::vector<DWORD> scanLockouts();
void scanSetLockouts(const std::vector<DWORD>& lockouts);
void scanLockout(DWORD ulFrequency, BOOL bLockedOut);

// The name of the station on a frequency, for the recording of a hit:
// "" where none is known. Null: no names. Called on the scanner's thread.
using SCANNAMER = std::string (*)(DWORD ulFrequency);
void scanSetNamer(SCANNAMER pNamer);
// The memory channels known to hold a frequency, by number. Null: none
// is known. Called on the thread that asks for the memory list.
using SCANMEMORIES = std::vector<DWORD> (*)();
void scanSetMemories(SCANMEMORIES pMemories);
// What a memory scan steps through: the channels known to hold a
// frequency (an empty channel is skipped); empty when none is known.
std::vector<SCANCHANNEL> scanMemoryList();

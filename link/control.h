// The one way to ask the receiver for a change.
//
// The dialog, the remote-control server and every other part that tunes
// or sets the receiver ask here; the command texts come from
// protocol/command.h. Who asks decides what happens when QueueMessage is
// full:
// - the operator's commands, and those of clients acting for a person
//   (remote control, web), are never lost: they are kept, in order, and
//   enter the queue as room frees. A newer tuning replaces a kept older
//   one (only the latest matters), but never across a kept memory,
//   restart or stream command, which must see the tuning made before it;
// - the scanner's commands go below every other command (so they never
//   delay the operator's, nor the poll) and are refused when the queue is
//   full: the scanner asks again.
// A tuning in extended tuning ("*AR", "*AN", "*AD") goes in whole or not
// at all; so does a memory read and its frequency query.
//
// Any thread may ask; each request is queued whole before the next.
#pragma once

#include "platform/sync.h"
#include "platform/types.h"

#include <cstdint>

enum REQUESTER : int {
    REQUEST_OPERATOR, // the dialog
    REQUEST_REMOTE,   // a rig-control client
    REQUEST_WEB,      // the web panel's operator
    REQUEST_SCAN,     // the scanner and the band scope
};

// Priority of the scanner's commands: below every other command.
inline constexpr int SCAN_PRIORITY = -1;

// Extended tuning (the Ext box): send the synthesizer dividers ahead of
// the frequency. Written by the dialog, read by every tuner.
extern Shared<BOOL> bTune;

// Each returns TRUE when the request was queued or kept for the queue,
// FALSE when it was refused (a scanner's on a full queue, or a value out
// of range).
BOOL controlTune(DWORD ulFrequency, REQUESTER who = REQUEST_OPERATOR);
BOOL controlMode(DWORD uMode, REQUESTER who = REQUEST_OPERATOR);
BOOL controlStep(DWORD uSpeed, REQUESTER who = REQUEST_OPERATOR);
// Also sets the dialog's lock (bLock), which refuses every other
// requester's tuning and mode.
BOOL controlLock(BOOL bLockOn);
// Recalls a channel and asks for the frequency it holds, as one unit.
BOOL controlMemoryRead(DWORD uMemory, REQUESTER who = REQUEST_OPERATOR);
BOOL controlMemoryWrite(DWORD uMemory, REQUESTER who = REQUEST_OPERATOR);
// The audio stream on or off, ahead of every other command.
BOOL controlStream(BOOL bOn);
BOOL controlRestart();
// Asks for one S-meter reading now (the scanner, after its dwell).
BOOL controlQuerySignal(REQUESTER who = REQUEST_SCAN);
// Withdraws the scanner's commands that still wait in the queue (a
// stopped scan sends nothing more).
void controlWithdrawScan();

// The synthesizer dividers of the last extended tuning whose dividers
// were found, by whoever asked; 0 before the first.
void controlDividers(int* pR, int* pN);

// Queues the commands that tune the receiver to ulValue as the operator
// does, and leaves the dividers of a successful factorization in *pR and
// *pN (unchanged otherwise).
void queueTuning(DWORD ulValue, int* pR, int* pN);

// Which query an answer belongs to. The transmit thread counts each
// command as it leaves (controlSent). The receive thread matches each
// S-meter and frequency answer, as it arrives, to the oldest query of its
// kind not yet answered (controlReceived; controlReceiveDropped when the
// line then found no room in the exec thread's queue), and the exec
// thread, once it has read the line, stamps the reading with that query's
// number (controlAnswered). A reading stamped above a count read before a
// query was queued answers a query sent after that moment: a fresh
// reading, even when an earlier answer came late, or the exec thread
// reads it only after later queries have left.
void controlSent(int kind);
void controlReceived(const char* szLine);
void controlReceiveDropped(const char* szLine);
void controlAnswered(const char* szLine);
// A new link: the answers matched but not yet read are gone with the old
// QueueResponse, and no query sent before is answered any more.
void controlForgetAnswers();
// S-meter and frequency answers that came after another command had left
// (or answered no query): the receiver, or the line, was behind. One
// that takes commands late may have taken a tuning late as well.
std::uint64_t controlLateAnswers();
// Commands of this kind (COMMANDKIND) that have left since start.
std::uint64_t controlSentCount(int kind);
// Queries that bring an S-meter reading ("?S", and the clip requests,
// whose frames carry a status record) sent so far, and the stamp of the
// last reading: a reading is fresh when its stamp is above the count read
// before the moment it must follow.
std::uint64_t controlSignalQueries();
std::uint64_t controlSignalStamp();
// The same for the frequency ("?AF" and its "@AF" answer).
std::uint64_t controlFrequencyQueries();
std::uint64_t controlFrequencyStamp();

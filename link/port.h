// The serial port's life, for the link threads (link/comthread.h).
//
// The port is opened and set up for the link (57600 baud, 8N1, reads
// that wait READTOTALTIMEOUTCONSTANT for an octet), and closed with the
// settings it had put back. A port whose read or write fails is taken to
// be gone: it is closed, and like a port that could not be opened it is
// tried again every second until it opens. The operator's last tuning,
// mode, lock and stream commands taken while no port carries them are
// kept, and queued first when a port opens.
//
// A read or a write holds the port's use, so the port is never closed or
// switched under a link thread.
#pragma once

#include "platform/types.h"

// Dialog thread. Names the port and opens it: NO_ERROR, or the error of
// the open (the port is then tried every second), or why the name can
// never be opened. Before the link threads run.
DWORD portOpen(LPCSTR szName);
// The same while the link runs: the port in use is closed first, and the
// framer starts afresh.
DWORD portSwitch(LPCSTR szName);
// Ends a read or a write under way, for a close.
void portAbort();
// Closes the port for good (bRelease), or keeps it for a link thread
// left behind; forgets the name and the kept commands.
void portClose(BOOL bRelease);

// Transmit thread, before it waits for a command: closes a port that is
// gone, tries one that is wanted, and when one has just opened queues
// the kept commands (and the audio stream, when audio is on).
void portKeepOpen();
// How long the transmit thread may wait for a command before the port
// needs it: INFINITE while the port is open or nothing is to be tried.
DWORD portWaitLimit();
// Writes one command and waits until it has left; an operator's command
// that no port takes is kept.
void portTransmit(int kind, LPCSTR szPacket);

// Receive thread. Reads one octet into *pucOctet and its count into
// *pulRead (0 when nothing came in time or the read failed): FALSE, and
// nothing read, when no port is open.
bool portRead(BYTE* pucOctet, DWORD* pulRead);
// TRUE while a port is open and has not failed.
bool portReadable();
// TRUE once a read or a write has failed, until the port is closed.
bool portLost();
// Octets received and not yet read: 0 without a port.
DWORD portOctetsWaiting();
// TRUE once after the port changed: the framer starts afresh.
bool portTakeResync();

// The commands that tune the receiver, shared by everyone who tunes it:
// the operator's tuning and the remote-control server.
#pragma once

#include "platform/sync.h"
#include "platform/types.h"

// Extended tuning (the Ext box): send the synthesizer dividers ahead of
// the frequency. Written by the dialog, read by every tuner.
extern Shared<BOOL> bTune;

// Queues the commands that tune the receiver to ulValue, at priority 0:
// "*AF<hz>" in normal tuning; in extended tuning "*AR<r>" and "*AN<n>"
// when the divider search finds a pair (stored in *pR and *pN), then
// "*AD<hz>".
void queueTuning(DWORD ulValue, int* pR, int* pN);

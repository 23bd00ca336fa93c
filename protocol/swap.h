// Byte-order conversion in place.
#pragma once

#include "platform/types.h"

void uSwap(WORD* puWord);    // exchanges the two octets
void ulSwap(DWORD* pulWord); // reverses the four octets
void fSwap(float* pfWord);   // reverses the four octets

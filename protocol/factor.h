// Divider values of the receiver's frequency synthesizer.
#pragma once

inline constexpr int XTAL = 3580000;
inline constexpr int MIXER = 45000000;
inline constexpr int R1000 = XTAL / 1000;
inline constexpr int R1250 = XTAL / 1250;
inline constexpr int R2500 = XTAL / 2500;

// TRUE when a pair (R, N) with N*XTAL/R within 5 Hz of f + MIXER was
// found and stored; FALSE, storing nothing, otherwise.
int factor(int f, int* pR, int* pN);

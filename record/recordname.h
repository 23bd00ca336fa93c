// Where recordings go and what they are called.
#pragma once

#include "platform/types.h"

#include <ctime>
#include <string>

// The environment variable that names the directory for recordings.
inline constexpr const char* szRecordEnv = "VELKOR_RECORDINGS";

// The directory named by VELKOR_RECORDINGS, else the user's music
// directory, else the home directory, else the working directory. It
// need not exist yet.
std::string recordDirectory();

// "AM", "CW", "SSB", or "mode<n>" for a code the receiver should not send.
std::string recordModeName(DWORD uMode);

// "velkor-YYYYMMDD-HHMMSS-<frequency>-<mode>" for audio, with
// "-<station>" after it when a station's name is given (letters and
// digits kept, every other run of characters made one "_"),
// "velkor-YYYYMMDD-HHMMSS" for the stream (uMode 0), in local time.
std::string recordBaseName(const std::tm& local, DWORD ulFrequency = 0, DWORD uMode = 0,
                           const char* szStation = nullptr);

// szDirectory/szBase + szExtension, or with "-2", "-3", ... before the
// extension when that file exists already (two recordings started in
// one second).
std::string recordUniquePath(const std::string& szDirectory, const std::string& szBase,
                             const std::string& szExtension);

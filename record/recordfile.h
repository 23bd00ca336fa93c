// The files recordings write: received audio as 16-bit PCM WAV at 8000
// frames/s, mono; the receive stream octet for octet, as the replay file
// holds it.
#pragma once

#include "platform/types.h"

#include <cstddef>
#include <memory>
#include <string>

inline constexpr int RECORD_RATE = 8000;

template <typename T> class RecordFile {
  public:
    virtual ~RecordFile() = default;
    // Each returns false on a failure, with the cause in error().
    virtual bool write(const T* pItems, std::size_t n) = 0;
    // Leaves a file that is complete as far as it has been written: the
    // WAV header counts every frame so far.
    virtual bool sync() = 0;
    virtual bool close() = 0;
    const std::string& error() const { return szError_; }

  protected:
    std::string szError_;
};

// Null with the cause in szError when the file cannot be created.
// Frames are floats in -1 .. 1 as the sound output plays them; each is
// stored as round(32768 f), clipped to 16 bits, the inverse of the
// decoder's s / 32768.
std::unique_ptr<RecordFile<float>> openWavFile(const std::string& szPath,
                                               const std::string& szComment, std::string& szError);
// The file must not exist yet.
std::unique_ptr<RecordFile<BYTE>> openStreamFile(const std::string& szPath, std::string& szError);

// What the band scope shows, without any drawing: the points of the
// sweep under way and of the last whole one, the peak-hold and average
// traces over the sweeps of one range, the strongest signals, and the
// export as CSV. Used on one thread (the window's).
#pragma once

#include "scan/scan.h"

#include <climits>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The fixed scale of the picture: S1 to S9+40, in dB over S9.
inline constexpr int SCOPE_BOTTOM_DB = scanStrengthDb(1); // S1: -48 dB
inline constexpr int SCOPE_TOP_DB = 40;                   // S9+40
// A range of more points than this is swept only after the operator agrees.
inline constexpr std::uint64_t SCOPE_CONFIRM_POINTS = 20000;
// Where no reading is (yet).
inline constexpr int SCOPE_NONE = INT_MIN;

struct SCOPEPEAK {
    DWORD ulFrequency = 0;
    int iStrengthDb = 0;
};

// A station's name at its frequency, written over the picture.
struct SCOPENAME {
    DWORD ulFrequency = 0;
    std::string szName;
};

// Where a name goes: x (pixels from the picture's left edge, at its
// frequency) and the row of names it is written in (0 at the top).
struct SCOPELABEL {
    int x = 0;
    int row = 0;
    const SCOPENAME* pName = nullptr; // into the names laid out
};

// Lays the names of the range out over a picture iWidth pixels wide: each
// at its frequency's x, in the first of iRows rows where its text
// (measured by width, plus a gap) clears the name before it; a name that
// finds no room is left out rather than written over another. The names
// come by frequency.
std::vector<SCOPELABEL> scopeLabels(const std::vector<SCOPENAME>& names, const SCANRANGE& range,
                                    int iWidth, int iRows,
                                    const std::function<int(const std::string&)>& width);
// The name nearest ulFrequency within ulWithin hertz; null when none.
const SCOPENAME* scopeNameNear(const std::vector<SCOPENAME>& names, DWORD ulFrequency,
                               DWORD ulWithin);

class SweepModel {
  public:
    // A new range: every trace starts empty.
    void reset(const SCANRANGE& range);
    // A point of the sweep under way; a point below the last one begins a
    // new sweep (the last is then whole).
    void add(const SCANPOINT& point);
    // The sweep under way is whole (the scanner ended it).
    void endSweep();

    const SCANRANGE& range() const { return range_; }
    std::size_t count() const { return current_.size(); }
    DWORD frequencyAt(std::size_t i) const;
    // The index of the point nearest ulFrequency (clamped to the range).
    std::size_t indexOf(DWORD ulFrequency) const;
    // Each is count() long; SCOPE_NONE where nothing was read.
    const std::vector<int>& current() const { return current_; }
    const std::vector<int>& peak() const { return peak_; }
    std::vector<int> average() const;
    // Sweeps folded into peak and average.
    std::size_t sweeps() const { return sweeps_; }

    // The points of the last whole sweep (or of the one under way when none
    // is whole yet) at or above thresholdDb, one for each run of such
    // points (its strongest), strongest first, at most maxPeaks.
    std::vector<SCOPEPEAK> peaks(int thresholdDb, std::size_t maxPeaks) const;
    // "frequency_hz,strength_db" and a line for each point read, of the same sweep.
    std::string csv() const;

  private:
    const std::vector<int>& shown() const;

    SCANRANGE range_{};
    std::vector<int> current_;
    std::vector<int> last_; // the last whole sweep
    std::vector<int> peak_;
    std::vector<long long> sum_; // of the whole sweeps, for the average
    std::vector<int> summed_;    // how many sweeps read each point
    std::size_t sweeps_ = 0;
    std::size_t lastIndex_ = 0;
    bool bAny_ = false; // the sweep under way has a point
};

// The band scope's traces and what is read from them.
#include "scan/sweep.h"

#include <algorithm>
#include <cmath>

void SweepModel::reset(const SCANRANGE& range) {
    range_ = range;
    const auto n = static_cast<std::size_t>(scanPointCount(range));
    current_.assign(n, SCOPE_NONE);
    last_.assign(n, SCOPE_NONE);
    peak_.assign(n, SCOPE_NONE);
    sum_.assign(n, 0);
    summed_.assign(n, 0);
    sweeps_ = 0;
    lastIndex_ = 0;
    bAny_ = false;
}

DWORD SweepModel::frequencyAt(std::size_t i) const {
    return range_.ulStart + static_cast<DWORD>(i) * range_.ulStep;
}

std::size_t SweepModel::indexOf(DWORD ulFrequency) const {
    if (current_.empty() || ulFrequency <= range_.ulStart)
        return 0;
    const std::size_t i = (ulFrequency - range_.ulStart + range_.ulStep / 2) / range_.ulStep;
    return std::min(i, current_.size() - 1);
}

void SweepModel::add(const SCANPOINT& point) {
    if (current_.empty() || point.ulFrequency < range_.ulStart || point.ulFrequency > range_.ulStop)
        return;
    const std::size_t i = indexOf(point.ulFrequency);
    if (bAny_ && i < lastIndex_)
        endSweep();
    current_[i] = point.iStrengthDb;
    lastIndex_ = i;
    bAny_ = true;
}

void SweepModel::endSweep() {
    if (!bAny_)
        return;
    for (std::size_t i = 0; i < current_.size(); ++i) {
        if (current_[i] == SCOPE_NONE)
            continue;
        peak_[i] = std::max(peak_[i], current_[i]);
        sum_[i] += current_[i];
        summed_[i] += 1;
    }
    last_ = current_;
    current_.assign(current_.size(), SCOPE_NONE);
    sweeps_ += 1;
    bAny_ = false;
    lastIndex_ = 0;
}

std::vector<int> SweepModel::average() const {
    std::vector<int> average(sum_.size(), SCOPE_NONE);
    for (std::size_t i = 0; i < sum_.size(); ++i)
        if (summed_[i] > 0)
            average[i] = static_cast<int>(
                std::lround(static_cast<double>(sum_[i]) / static_cast<double>(summed_[i])));
    return average;
}

const std::vector<int>& SweepModel::shown() const {
    return sweeps_ > 0 ? last_ : current_;
}

std::vector<SCOPEPEAK> SweepModel::peaks(int thresholdDb, std::size_t maxPeaks) const {
    const std::vector<int>& trace = shown();
    std::vector<SCOPEPEAK> found;
    bool bInRun = false;
    for (std::size_t i = 0; i < trace.size(); ++i) {
        if (trace[i] == SCOPE_NONE || trace[i] < thresholdDb) {
            bInRun = false;
            continue;
        }
        if (!bInRun)
            found.push_back({frequencyAt(i), trace[i]});
        else if (trace[i] > found.back().iStrengthDb)
            found.back() = {frequencyAt(i), trace[i]};
        bInRun = true;
    }
    std::stable_sort(found.begin(), found.end(), [](const SCOPEPEAK& a, const SCOPEPEAK& b) {
        return a.iStrengthDb > b.iStrengthDb;
    });
    if (found.size() > maxPeaks)
        found.resize(maxPeaks);
    return found;
}

std::string SweepModel::csv() const {
    const std::vector<int>& trace = shown();
    std::string text = "frequency_hz,strength_db\n";
    for (std::size_t i = 0; i < trace.size(); ++i)
        if (trace[i] != SCOPE_NONE)
            text += std::to_string(frequencyAt(i)) + "," + std::to_string(trace[i]) + "\n";
    return text;
}

namespace {

// Pixels kept clear between two names in a row.
constexpr int LABEL_GAP = 6;

} // namespace

std::vector<SCOPELABEL> scopeLabels(const std::vector<SCOPENAME>& names, const SCANRANGE& range,
                                    int iWidth, int iRows,
                                    const std::function<int(const std::string&)>& width) {
    std::vector<SCOPELABEL> labels;
    if (range.ulStop <= range.ulStart || iWidth <= 0 || iRows <= 0)
        return labels;
    std::vector<int> rowEnd(static_cast<std::size_t>(iRows), INT_MIN);
    const double span = static_cast<double>(range.ulStop - range.ulStart);
    for (const SCOPENAME& name : names) {
        if (name.ulFrequency < range.ulStart || name.ulFrequency > range.ulStop)
            continue;
        const int x = static_cast<int>((name.ulFrequency - range.ulStart) / span * iWidth);
        for (int row = 0; row < iRows; ++row) {
            int& end = rowEnd[static_cast<std::size_t>(row)];
            if (end != INT_MIN && x < end + LABEL_GAP)
                continue;
            end = x + width(name.szName);
            labels.push_back({x, row, &name});
            break;
        }
    }
    return labels;
}

const SCOPENAME* scopeNameNear(const std::vector<SCOPENAME>& names, DWORD ulFrequency,
                               DWORD ulWithin) {
    const SCOPENAME* pNearest = nullptr;
    DWORD ulBest = 0;
    for (const SCOPENAME& name : names) {
        const DWORD ulDistance = name.ulFrequency > ulFrequency ? name.ulFrequency - ulFrequency
                                                                : ulFrequency - name.ulFrequency;
        if (ulDistance <= ulWithin && (pNearest == nullptr || ulDistance < ulBest)) {
            pNearest = &name;
            ulBest = ulDistance;
        }
    }
    return pNearest;
}

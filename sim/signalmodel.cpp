// Signal strength and audio of the emulated receiver.
#include "sim/signalmodel.h"

#include "protocol/radiostate.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <numbers>
#include <sstream>

namespace {

constexpr std::array<DWORD, 5> TIME_SIGNAL_CARRIERS = {2500000, 5000000, 10000000, 15000000,
                                                       20000000};
constexpr double TICK_HZ = 1000.0;
constexpr double TICK_SECONDS = 0.005;
constexpr double CW_BEAT_HZ = 800.0;
constexpr double TONE_PEAK = 6000.0;
constexpr double TICK_PEAK = 12000.0;
constexpr double STATION_NOISE_PEAK = 400.0;
constexpr double SSB_NOISE_PEAK = 1200.0;
constexpr double BAND_NOISE_PEAK = 1500.0;
constexpr unsigned MAX_SUNITS = 10;
constexpr double STATION_TONE_HZ = 400.0;
constexpr double STATION_TONE_PEAK = 7000.0;

double wrap(double dCycles) {
    return dCycles - std::floor(dCycles);
}

std::int16_t toSample(double dValue) {
    return static_cast<std::int16_t>(std::lround(std::clamp(dValue, -32768.0, 32767.0)));
}

template <typename T> bool readWhole(std::string_view token, T* pValue) {
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), *pValue);
    return ec == std::errc() && end == token.data() + token.size();
}

} // namespace

const std::vector<BandStation>& builtInStations() {
    static const std::vector<BandStation> stations = {
        {5960000, 6},  {6070000, 8},  {6180000, 5},  {7255000, 7},  {7345000, 9},  {9420000, 8},
        {9505000, 6},  {9580000, 12}, {9665000, 7},  {9790000, 9},  {9830000, 5},  {11760000, 9},
        {11940000, 6}, {15215000, 8}, {15400000, 6}, {17800000, 7}, {21580000, 6},
    };
    return stations;
}

std::vector<BandStation> parseStations(const std::string& szText, std::string* pszErrors) {
    std::vector<BandStation> stations;
    std::istringstream in(szText);
    std::string szLine;
    for (int iLine = 1; std::getline(in, szLine); ++iLine) {
        if (!szLine.empty() && szLine.back() == '\r')
            szLine.pop_back();
        std::istringstream words(szLine);
        std::string szFrequency, szStrength, szExtra;
        words >> szFrequency >> szStrength >> szExtra;
        if (szFrequency.empty() || szFrequency[0] == '#')
            continue;
        DWORD ulFrequency = 0;
        unsigned uSUnits = 0;
        const char* szWhy = nullptr;
        if (szStrength.empty() || !szExtra.empty())
            szWhy = "expected \"frequency_hz strength_s_units\"";
        else if (!readWhole(szFrequency, &ulFrequency) || ulFrequency < MIN_FREQUENCY ||
                 ulFrequency > MAX_FREQUENCY)
            szWhy = "frequency not a whole number of hertz in 100000..30000000";
        else if (!readWhole(szStrength, &uSUnits) || uSUnits > MAX_STATION_SUNITS)
            szWhy = "strength not a whole number of S-units in 0..15";
        if (szWhy != nullptr) {
            if (pszErrors != nullptr)
                *pszErrors += "line " + std::to_string(iLine) + ": " + szWhy + ": " + szLine + "\n";
            continue;
        }
        stations.push_back({ulFrequency, uSUnits});
    }
    return stations;
}

const BandStation* SignalModel::stationAt(DWORD ulFrequency) const {
    for (const BandStation& station : stations_) {
        const DWORD distance = ulFrequency > station.ulFrequency
                                   ? ulFrequency - station.ulFrequency
                                   : station.ulFrequency - ulFrequency;
        if (distance <= STATION_WIDTH)
            return &station;
    }
    return nullptr;
}

DWORD SignalModel::timeSignalCarrier(DWORD ulFrequency) {
    for (DWORD carrier : TIME_SIGNAL_CARRIERS) {
        const DWORD distance =
            ulFrequency > carrier ? ulFrequency - carrier : carrier - ulFrequency;
        if (distance <= TIME_SIGNAL_WIDTH)
            return carrier;
    }
    return 0;
}

unsigned SignalModel::sUnits(DWORD ulFrequency, double dSeconds) {
    using std::numbers::pi;
    if (ulFrequency == TEST_TONE_FREQUENCY)
        return 7;
    if (timeSignalCarrier(ulFrequency) == 0)
        if (const BandStation* station = stationAt(ulFrequency))
            return station->uSUnits;
    // Two slow, incommensurate swings make an irregular fade.
    const double fade =
        1.2 * std::sin(2 * pi * dSeconds / 9.0) + 0.6 * std::sin(2 * pi * dSeconds / 2.3);
    double base = 2.0;
    if (timeSignalCarrier(ulFrequency) != 0)
        base = 8.0;
    const double value = std::round(base + fade);
    return static_cast<unsigned>(std::clamp(value, 0.0, static_cast<double>(MAX_SUNITS)));
}

double SignalModel::noise() {
    // White noise through a one-pole low-pass: a hiss that is loudest in
    // the lower audio band, as on a quiet shortwave channel.
    std::uniform_real_distribution<double> white(-1.0, 1.0);
    dNoiseState_ = 0.7 * dNoiseState_ + 0.3 * white(random_);
    return dNoiseState_ * 2.0;
}

void SignalModel::audio(DWORD ulFrequency, DWORD uMode, std::span<std::int16_t> samples) {
    using std::numbers::pi;
    const DWORD carrier = timeSignalCarrier(ulFrequency);
    const bool bTestTone = ulFrequency == TEST_TONE_FREQUENCY;
    const bool bStation = carrier == 0 && !bTestTone && stationAt(ulFrequency) != nullptr;
    const double toneHz = (carrier == 5000000 || carrier == 15000000) ? 600.0 : 500.0;

    for (std::int16_t& sample : samples) {
        const double secondPosition = std::fmod(static_cast<double>(ullSample_), AUDIO_RATE);
        const bool bTick = secondPosition < TICK_SECONDS * AUDIO_RATE;
        double value = 0.0;
        if (bTestTone) {
            value = TEST_TONE_PEAK * std::sin(2 * pi * dTickPhase_);
            dTickPhase_ = wrap(dTickPhase_ + TEST_TONE_HZ / AUDIO_RATE);
        } else if (bStation) {
            value =
                STATION_TONE_PEAK * std::sin(2 * pi * dTonePhase_) + STATION_NOISE_PEAK * noise();
            dTonePhase_ = wrap(dTonePhase_ + STATION_TONE_HZ / AUDIO_RATE);
        } else if (carrier != 0) {
            const double continuousHz = uMode == MODE_CW ? CW_BEAT_HZ : toneHz;
            value = TONE_PEAK * std::sin(2 * pi * dTonePhase_);
            dTonePhase_ = wrap(dTonePhase_ + continuousHz / AUDIO_RATE);
            if (bTick)
                value += TICK_PEAK * std::sin(2 * pi * dTickPhase_);
            dTickPhase_ = wrap(dTickPhase_ + TICK_HZ / AUDIO_RATE);
            value += (uMode == MODE_SSB ? SSB_NOISE_PEAK : STATION_NOISE_PEAK) * noise();
        } else {
            value = BAND_NOISE_PEAK * noise();
        }
        sample = toSample(value);
        ++ullSample_;
    }
}

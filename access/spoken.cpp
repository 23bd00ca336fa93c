// Readings as spoken words.
#include "access/spoken.h"

namespace a11y {

std::string spokenHertz(std::uint32_t ulHertz) {
    const std::string szDigits = std::to_string(ulHertz);
    std::string szText;
    for (std::size_t i = 0; i < szDigits.size(); ++i) {
        if (i > 0 && (szDigits.size() - i) % 3 == 0) {
            szText += ' ';
        }
        szText += szDigits[i];
    }
    return szText + " hertz";
}

std::string spokenMegahertz(std::uint32_t ulHertz) {
    constexpr std::uint32_t hertzPerMegahertz = 1000000;
    std::string szText = std::to_string(ulHertz / hertzPerMegahertz);
    std::string szFraction = std::to_string(ulHertz % hertzPerMegahertz + hertzPerMegahertz);
    szFraction.erase(0, 1); // six digits, leading zeros kept
    while (!szFraction.empty() && szFraction.back() == '0') {
        szFraction.pop_back();
    }
    if (!szFraction.empty()) {
        szText += '.' + szFraction;
    }
    return szText + " megahertz";
}

std::string spokenTuning(std::uint32_t ulHertz, const std::string& szStation) {
    std::string szText = spokenMegahertz(ulHertz);
    if (!szStation.empty()) {
        szText += ", ";
        szText += szStation;
    }
    return szText;
}

std::string spokenReceiver(std::uint32_t ulHertz, const std::string& szStation,
                           const std::string& szMode, bool bLocked) {
    std::string szText = spokenTuning(ulHertz, szStation);
    if (!szMode.empty()) {
        szText += ", ";
        szText += szMode;
    }
    if (bLocked) {
        szText += ", locked";
    }
    return szText;
}

std::string spokenSUnits(std::uint32_t uSUnits) {
    if (uSUnits <= S9) {
        std::string szText = "S";
        szText += std::to_string(uSUnits);
        return szText;
    }
    const std::uint64_t uDecibels = std::uint64_t{uSUnits - S9} * DB_PER_S_UNIT;
    // Appended piece by piece: GCC 12 at -O3 warns falsely of an overlap
    // in a literal + string expression.
    std::string szText = "S9 plus ";
    szText += std::to_string(uDecibels);
    szText += " dB";
    return szText;
}

bool ChangeThrottle::shouldAnnounce(std::uint32_t uValue, std::uint64_t uNowMs) {
    if (bAnnounced_ && (uValue == uLast_ || uNowMs - uLastMs_ < uIntervalMs_)) {
        return false;
    }
    bAnnounced_ = true;
    uLast_ = uValue;
    uLastMs_ = uNowMs;
    return true;
}

} // namespace a11y

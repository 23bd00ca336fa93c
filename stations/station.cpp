// Names of sources and modes.
#include "stations/station.h"

#include "protocol/radiostate.h"

#include <array>
#include <string_view>

namespace {

constexpr std::array<const char*, 5> sourceNames{"user", "memory", "schedule", "bookmarks", "csv"};

} // namespace

const char* sourceName(Source source) {
    return sourceNames[static_cast<std::size_t>(source)];
}

bool sourceFromName(const std::string& szName, Source* pSource) {
    for (std::size_t i = 0; i < sourceNames.size(); ++i) {
        if (szName == sourceNames[i]) {
            *pSource = static_cast<Source>(i);
            return true;
        }
    }
    return false;
}

std::string sourceLabel(const Station& station) {
    std::string label = sourceName(station.source);
    if (!station.sourceFile.empty()) {
        label += ':' + station.sourceFile;
    }
    return label;
}

unsigned receiverMode(const std::string& szMode) {
    const std::string_view m = szMode;
    if (m == "AM" || m == "am") {
        return MODE_AM;
    }
    if (m == "CW" || m == "CW-U" || m == "CW-L" || m == "cw") {
        return MODE_CW;
    }
    if (m == "SSB" || m == "USB" || m == "LSB" || m == "ssb") {
        return MODE_SSB;
    }
    return 0;
}

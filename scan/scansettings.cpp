// The scanner's settings in the settings file.
#include "scan/scansettings.h"

#include "platform/profile.h"
#include "protocol/radiostate.h"
#include "scan/scan.h"

#include <charconv>
#include <string>
#include <vector>

namespace {

constexpr const char* szSection = "Scan";
// Nothing is written back before the settings were read: a run that
// failed early must not wipe the list kept.
bool bLoaded = false;

bool readNumber(const std::string& szText, DWORD* pValue) {
    DWORD value = 0;
    const auto [end, ec] = std::from_chars(szText.data(), szText.data() + szText.size(), value);
    if (ec != std::errc() || end != szText.data() + szText.size())
        return false;
    *pValue = value;
    return true;
}

void readSetting(const char* szKey, DWORD* pValue) {
    readNumber(ReadSetting(szSection, szKey, ""), pValue);
}

bool writeSetting(const char* szKey, DWORD ulValue) {
    return WriteSetting(szSection, szKey, std::to_string(ulValue).c_str()) != FALSE;
}

} // namespace

BOOL scanLoadSettings() {
    bLoaded = true;
    bool bClean = true;
    std::vector<DWORD> lockouts;
    const std::string szList = ReadSetting(szSection, "Lockouts", "");
    std::size_t begin = 0;
    while (begin < szList.size()) {
        std::size_t end = szList.find(' ', begin);
        if (end == std::string::npos)
            end = szList.size();
        DWORD ulFrequency = 0;
        if (end > begin) {
            if (readNumber(szList.substr(begin, end - begin), &ulFrequency) &&
                ulFrequency >= MIN_FREQUENCY && ulFrequency <= MAX_FREQUENCY)
                lockouts.push_back(ulFrequency);
            else
                bClean = false;
        }
        begin = end + 1;
    }
    scanSetLockouts(lockouts);

    SCANRANGE range;
    SCANPARAMS params;
    readSetting("Start", &range.ulStart);
    readSetting("Stop", &range.ulStop);
    readSetting("Step", &range.ulStep);
    readSetting("Dwell", &params.ulDwellMs);
    readSetting("Threshold", &params.uThreshold);
    readSetting("Hang", &params.ulHangMs);
    DWORD ulResume = params.bResume;
    DWORD ulRecord = params.bRecord;
    readSetting("Resume", &ulResume);
    readSetting("Record", &ulRecord);
    params.bResume = ulResume != 0;
    params.bRecord = ulRecord != 0;
    if (scanCheckRange(range).empty() && scanCheckParams(params).empty())
        scanSetLastRange(range, params);
    return bClean ? TRUE : FALSE;
}

BOOL scanSaveSettings() {
    if (!bLoaded)
        return TRUE;
    std::string szList;
    for (const DWORD ulFrequency : scanLockouts()) {
        if (!szList.empty())
            szList += ' ';
        szList += std::to_string(ulFrequency);
    }
    bool bWritten = WriteSetting(szSection, "Lockouts", szList.c_str()) != FALSE;
    SCANRANGE range;
    SCANPARAMS params;
    if (scanLastRange(&range, &params)) {
        bWritten = writeSetting("Start", range.ulStart) && bWritten;
        bWritten = writeSetting("Stop", range.ulStop) && bWritten;
        bWritten = writeSetting("Step", range.ulStep) && bWritten;
        bWritten = writeSetting("Dwell", params.ulDwellMs) && bWritten;
        bWritten = writeSetting("Threshold", params.uThreshold) && bWritten;
        bWritten = writeSetting("Hang", params.ulHangMs) && bWritten;
        bWritten = writeSetting("Resume", params.bResume ? 1 : 0) && bWritten;
        bWritten = writeSetting("Record", params.bRecord ? 1 : 0) && bWritten;
    }
    return bWritten ? TRUE : FALSE;
}

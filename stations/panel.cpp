// The station list's side of the control panel: the database the panel
// keeps open, memory channels recorded as the receiver confirms them,
// and tuning through the control service.
#include "stations/panel.h"

#include "link/control.h"
#include "platform/dialog.h"
#include "protocol/command.h"
#include "protocol/radiostate.h"
#include "stations/panel_state.h"
#include "stations/query.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {

// How often, at most, the panel asks whether another program changed
// the file.
constexpr auto RELOAD_CHECK = std::chrono::seconds(1);

HWND hPanel = nullptr;
std::unique_ptr<StationDatabase> db;
std::string szPath;
// The entries as last loaded. The user-interface thread replaces them
// whole; other threads (the scanner) take the pointer under the lock and
// read a list that no one changes.
std::shared_ptr<const std::vector<Station>> list = std::make_shared<const std::vector<Station>>();
std::vector<DWORD> knownMemories;
std::mutex sharedLock;
std::int64_t seenChanges = -1;
std::chrono::steady_clock::time_point lastCheck;
DWORD ulTuned = 0;

// A Read whose frequency answer has not come yet: the channel, the
// reads sent before it was queued, and once it has left, the frequency
// queries sent by then. A poll's "?AF" queued ahead of the read leaves
// before it and is answered before it (the line alternates strictly), so
// an answer stamped above the count taken after the read left answers
// the read's own query or a later one: the channel's frequency.
DWORD uReading = 0;
std::uint64_t readsBefore = 0;
bool bReadLeft = false;
std::uint64_t queriesAfterRead = 0;

void reportOnce(const std::string& szText) {
    std::fprintf(stderr, "velkor: %s\n", szText.c_str());
    MessageBoxA(hPanel, szText.c_str(), "Stations", MB_ICONEXCLAMATION | MB_OK);
}

void checkForChanges() {
    const auto now = std::chrono::steady_clock::now();
    if (!db || now - lastCheck < RELOAD_CHECK) {
        return;
    }
    lastCheck = now;
    if (db->changeCount() != seenChanges && stations_panel::reload()) {
        stationsWindowReload();
    }
}

} // namespace

namespace stations_panel {

StationDatabase* database() {
    return db.get();
}

const std::string& databasePath() {
    return szPath;
}

const std::vector<Station>& entries() {
    return *list;
}

bool reload() {
    if (!db) {
        return false;
    }
    seenChanges = db->changeCount();
    std::string szError;
    std::vector<Station> fresh = db->all(&szError);
    if (!szError.empty()) {
        std::fprintf(stderr, "velkor: stations: %s\n", szError.c_str());
    }
    std::vector<DWORD> known;
    for (const MemoryRecord& m : db->memories()) {
        if (m.frequency != 0) {
            known.push_back(m.channel);
        }
    }
    auto loaded = std::make_shared<const std::vector<Station>>(std::move(fresh));
    std::lock_guard hold(sharedLock);
    list = std::move(loaded);
    knownMemories = std::move(known);
    return true;
}

HWND dialog() {
    return hPanel;
}

DWORD tunedFrequency() {
    return ulTuned;
}

bool tune(const Station& station, std::string* pWhy) {
    if (station.frequency < MIN_FREQUENCY || station.frequency > MAX_FREQUENCY) {
        *pWhy = kilohertzText(station.frequency) + " kHz is outside the receiver's range (" +
                kilohertzText(MIN_FREQUENCY) + " to " + kilohertzText(MAX_FREQUENCY) + " kHz)";
        return false;
    }
    if (!controlTune(station.frequency, REQUEST_OPERATOR)) {
        *pWhy = "the receiver did not take the tuning";
        return false;
    }
    PostMessageA(hPanel, IDSTATIONS, STATIONS_FREQUENCY, static_cast<LPARAM>(station.frequency));
    if (const unsigned uMode = receiverMode(station.mode); uMode != 0) {
        controlMode(uMode, REQUEST_OPERATOR);
        PostMessageA(hPanel, IDSTATIONS, STATIONS_MODE, static_cast<LPARAM>(uMode));
    }
    return true;
}

} // namespace stations_panel

void stationsOpen(HWND hDlg) {
    hPanel = hDlg;
    szPath = stationsDatabasePath();
    DatabaseOpen result;
    db = StationDatabase::open(szPath, &result);
    lastCheck = std::chrono::steady_clock::now();
    uReading = 0;
    if (!result.asideAs.empty()) {
        reportOnce("The station list " + szPath + " was damaged (" + result.error +
                   ").\nIt was kept as " + result.asideAs + " and a new, empty list started.");
    } else if (!db) {
        reportOnce("The station list " + szPath + " cannot be opened: " + result.error +
                   ".\nThe panel runs without stations.");
    }
    stations_panel::reload();
}

void stationsClose() {
    stationsWindowClose();
    db.reset();
    {
        std::lock_guard hold(sharedLock);
        list = std::make_shared<const std::vector<Station>>();
        knownMemories.clear();
    }
    hPanel = nullptr;
}

void stationsRadioChanged(DWORD ulFrequency) {
    if (uReading != 0 && !bReadLeft && controlSentCount(COMMAND_MEMORY_READ) > readsBefore) {
        bReadLeft = true;
        queriesAfterRead = controlFrequencyQueries();
    }
    if (uReading != 0 && bReadLeft && controlFrequencyStamp() > queriesAfterRead) {
        // The first frequency answer after the Read's own query: what the
        // channel holds. The mode arrives later, so the one known stays.
        if (db) {
            db->recordMemory(uReading, ulFrequency, 0);
        }
        uReading = 0;
        stations_panel::reload();
        stationsWindowReload();
    }
    checkForChanges();
    if (ulFrequency != ulTuned) {
        ulTuned = ulFrequency;
        stationsWindowFollow(ulFrequency);
    }
}

std::string stationsNameAt(DWORD ulFrequency) {
    std::shared_ptr<const std::vector<Station>> entries;
    {
        std::lock_guard hold(sharedLock);
        entries = list;
    }
    const Station* station = stationOnAir(*entries, ulFrequency, utcNow());
    return station != nullptr ? station->name : std::string();
}

std::vector<DWORD> stationsKnownMemories() {
    std::lock_guard hold(sharedLock);
    return knownMemories;
}

std::vector<Tuning> stationsOnAirNow() {
    return onAirTunings(*list, utcNow());
}

std::vector<Tuning> stationsTagged(const std::string& szTag) {
    return taggedTunings(*list, szTag);
}

std::vector<std::string> stationsTags() {
    return allTags(*list);
}

std::vector<Tuning> stationsNamesIn(DWORD ulLower, DWORD ulUpper) {
    return namesIn(*list, ulLower, ulUpper, utcNow());
}

void stationsMemoryWritten(DWORD uMemory, DWORD ulFrequency, DWORD uMode) {
    if (db && db->recordMemory(uMemory, ulFrequency, uMode)) {
        stations_panel::reload();
        stationsWindowReload();
    }
}

void stationsMemoryReading(DWORD uMemory) {
    uReading = uMemory;
    readsBefore = controlSentCount(COMMAND_MEMORY_READ);
    bReadLeft = false;
}

std::string stationsMemoryName(DWORD uMemory) {
    if (!db) {
        return {};
    }
    for (const MemoryRecord& m : db->memories()) {
        if (m.channel == uMemory) {
            return m.name;
        }
    }
    return {};
}

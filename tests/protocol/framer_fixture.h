// Test set-up shared by the framer tests: the queue the framer requests
// clips on, the two hand-off events, and helpers that feed octet streams.
#pragma once

#include "audio/audio.h"
#include "link/comthread.h"
#include "protocol/comexecute.h"
#include "protocol/comreceive.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class FramerTest : public testing::Test {
  protected:
    void SetUp() override {
        openQueue(&QueueMessage, "queueMessage");
        hAudioClip = CreateEventA(nullptr, FALSE, FALSE, "AudioClip");
        hGetMore = CreateEventA(nullptr, FALSE, FALSE, "GetMore");
        comReceiveSync();
        bStreaming = FALSE;
        bAudioOn = TRUE; // audio is playing: clips are handed over
    }

    void TearDown() override {
        bAudioOn = FALSE;
        comReceiveSync();
        CloseHandle(hAudioClip);
        CloseHandle(hGetMore);
        hAudioClip = nullptr;
        hGetMore = nullptr;
        closeQueue(&QueueMessage);
    }

    // Lets every clip hand-off pass at once: GetMore stays signalled.
    void answerGetMoreAlways() {
        CloseHandle(hGetMore);
        hGetMore = CreateEventA(nullptr, TRUE, TRUE, "GetMore");
    }

    // Feeds the octets one by one and returns the completed units in the
    // order they were handed on.
    std::vector<std::string> feed(std::string_view octets) {
        std::vector<std::string> units;
        for (char c : octets)
            if (comReceive(static_cast<BYTE>(c)))
                units.emplace_back(szResponse.data());
        return units;
    }

    // The packets the framer queued on QueueMessage, with their priorities.
    std::vector<std::pair<std::string, int>> queued() {
        std::vector<std::pair<std::string, int>> packets;
        int priority = -1;
        while (const char* p = dequeue(&QueueMessage, &priority)) {
            packets.emplace_back(p, priority);
            // The unit that belongs to the packet is there: no wait.
            EXPECT_EQ(WaitForSingleObject(QueueMessage.hQueue, 0), WAIT_OBJECT_0);
        }
        return packets;
    }
};

// A status record as it travels on the wire.
struct WireStatus {
    DWORD ulFreqVCO = 15000000;
    DWORD ulFreqMem = 7000000;
    BYTE ucMode = 4;
    BYTE ucModeMemory = 2;
    BYTE ucMemory = 17;
    BYTE ucJog = 4;
    BYTE ucFlags1 = 0x20;
    BYTE ucFlags2 = 0x81;
    BYTE ucVersion = 0x12;
    BYTE ucSignal = 9;

    std::string octets() const {
        std::string s;
        for (DWORD ul : {ulFreqVCO, ulFreqMem})
            for (int shift = 24; shift >= 0; shift -= 8)
                s += static_cast<char>((ul >> shift) & 0xFF);
        for (BYTE uc :
             {ucMode, ucModeMemory, ucMemory, ucJog, ucFlags1, ucFlags2, ucVersion, ucSignal})
            s += static_cast<char>(uc);
        return s;
    }
};

// Audio octets 0, 1, 2, ... so that a lost or shifted octet shows.
inline std::string countingClip(int first = 0) {
    std::string s;
    for (int i = 0; i < CLIPSIZE; ++i)
        s += static_cast<char>((first + i) & 0xFF);
    return s;
}

inline std::string frame(const WireStatus& status = {}, const std::string& clip = countingClip(),
                         std::string_view intro = "@RMC") {
    return std::string(intro) + status.octets() + clip;
}

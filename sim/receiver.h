// The emulated receiver's controller: its state, the command lines it
// understands and the answers and audio frames it builds. No timing and
// no I/O here; the emulator (sim/emulator.h) puts it on a line.
//
// Commands (one line, without its CR):
//   ?AF ?RMM ?RMI ?AU ?S      answered with "@AF<hz>", "@RMM<0|2|4>",
//                             "@RMI<step>", "@AL"/"@AU", "@S  <units>"
//   ?RMC                      answered with one audio frame
//   *AF<hz>                   tune, 100000..30000000
//   *AR<r> *AN<n> *AD<hz>     synthesizer tuning: after *AR and *AN, *AD
//                             tunes to round(N*XTAL/R - MIXER); *AD alone
//                             tunes to <hz>
//   *AL *AU                   front-panel lock on, off
//   *RMM<d>                   mode: 0/1 SSB, 2/3 CW, 4 AM
//   *RMI<step>                tuning step: 10 100 1000 1250 2500 5000 9000
//                             10000 100000
//   *KRA<n> *KWA<n>           recall, store memory channel 1..128
//   *RMC                      end of the audio stream (nothing to do)
//   XX                        restart (the emulator carries out the timing)
// Anything else, a number out of range or a malformed number is ignored.
#pragma once

#include "platform/types.h"
#include "sim/adpcmencoder.h"
#include "sim/signalmodel.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline constexpr DWORD XTAL = 3580000;
inline constexpr DWORD MIXER = 45000000;
inline constexpr std::size_t FRAME_SIZE = 4 + 16 + 250;
inline constexpr std::size_t FRAME_SAMPLES = 500;
inline constexpr DWORD POWER_ON_FREQUENCY = 15000000;
inline constexpr DWORD POWER_ON_SPEED = 2500;
inline constexpr BYTE RECEIVER_VERSION = 0x44;
inline constexpr char START_ANNOUNCEMENT[] = "QX4470 START\r";

struct MemoryChannel {
    DWORD ulFrequency = 0; // 0: the channel is empty
    DWORD uMode = 0;
};

class Receiver {
  public:
    enum class Kind { Ignored, Set, Query, Frame, Restart };
    struct Result {
        Kind kind = Kind::Ignored;
        std::string answer; // octets to send, CR included; empty for none
    };

    Receiver();

    // Carries out one command line (without CR). dSeconds is the time
    // since power-on (it drives the fading of the signal).
    Result command(std::string_view line, double dSeconds);

    // Back to the power-on state. Memory channels are kept.
    void powerOn();

    // The answer to "?S": "@S", two blanks, the S-units, CR.
    std::string signalLine(double dSeconds);

    // One audio frame: "@RMC", the status record in wire order, 250
    // octets of ADPCM continuing the audio of the previous frame.
    std::array<BYTE, FRAME_SIZE> frame(double dSeconds);

    // Front-panel access. Setters return false for a value the receiver
    // cannot take.
    DWORD frequency() const { return ulFrequency_; }
    DWORD mode() const { return uMode_; }
    DWORD speed() const { return uSpeed_; }
    bool locked() const { return bLock_; }
    // dSeconds: when (since power-on) the tuning happens; the S-meter
    // takes the settle time from then to reach the new frequency's value.
    bool setFrequency(DWORD ulFrequency, double dSeconds = 0.0);
    bool setMode(DWORD uMode);
    bool setSpeed(DWORD uSpeed);
    void setLock(bool bLock) { bLock_ = bLock; }
    // A fixed S-meter reading, or the signal model's again (nullopt).
    void setSignal(std::optional<unsigned> uSUnits) { fixedSUnits_ = uSUnits; }
    unsigned sUnits(double dSeconds);
    // What the meter settles at on this frequency (the held value when held).
    unsigned sUnitsSettled(double dSeconds);
    // After a tuning the S-meter moves from its reading then to the new
    // frequency's value in a straight line over dSeconds (0: at once), as
    // the receiver's AGC and meter do.
    void setSettle(double dSeconds) { dSettle_ = dSeconds; }
    void setStations(std::vector<BandStation> stations) {
        signal_.setStations(std::move(stations));
    }
    const MemoryChannel& memory(DWORD uChannel) const { return memory_.at(uChannel - 1); }

  private:
    double meter(double dSeconds); // the needle, between S-units while it moves

    DWORD ulFrequency_ = POWER_ON_FREQUENCY;
    DWORD uMode_ = 0;
    DWORD uSpeed_ = POWER_ON_SPEED;
    bool bLock_ = false;
    DWORD uMemory_ = 1; // the channel last recalled or stored
    std::optional<unsigned> fixedSUnits_;
    double dSettle_ = 0.0;
    double dTunedAt_ = -1.0e9; // when the frequency last changed
    double dFromSUnits_ = 0.0; // the meter's reading then
    long lDividerR_ = 0;       // from "*AR", until the next "*AD"
    long lDividerN_ = 0;       // from "*AN", until the next "*AD"
    std::array<MemoryChannel, 128> memory_{};
    SignalModel signal_;
    ADPCMENCODER encoder_;
};

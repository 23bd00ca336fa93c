// The remote-control server on loopback, in front of the real link and
// the emulated receiver: clients written here speak to it as loggers,
// decoders, trackers and scanners do.
#include "link/control.h"
#include "link_fixture.h"
#include "platform/socket.h"
#include "remote/remote.h"
#include "remote/rig_client.h"
#include "remote/rigcommand.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using simlink::LinkOnEmulator;
using simlink::waitUntil;

class RemoteOnEmulator : public LinkOnEmulator {
  protected:
    void SetUp() override {
        LinkOnEmulator::SetUp();
        bTune = FALSE;
        std::string szError;
        ASSERT_TRUE(remoteOpen("127.0.0.1:0", &szError)) << szError;
        remoteStart();
        port = remotePort();
        ASSERT_NE(port, 0);
    }
    void TearDown() override {
        remoteClose();
        LinkOnEmulator::TearDown();
    }
    // The link running and the receiver's first report in.
    void startLink() {
        start();
        ASSERT_TRUE(waitUntil([] { return radio.ulFrequency != 0; }));
    }
    std::unique_ptr<RigClient> client() {
        auto c = std::make_unique<RigClient>(port);
        EXPECT_TRUE(c->connected());
        return c;
    }
    // The client's answers still come, and right.
    void expectServing() {
        RigClient probe(port);
        EXPECT_EQ(probe.ask1("\\get_powerstat"), "1");
    }

    WORD port = 0;
};

bool isFrequency(const std::string& szLine) {
    if (szLine.empty() || szLine.size() > 8 ||
        szLine.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long ulHz = std::stoul(szLine);
    return ulHz >= MIN_FREQUENCY && ulHz <= MAX_FREQUENCY;
}

TEST_F(RemoteOnEmulator, NetworkRigHandshakeParsesFieldByField) {
    startLink();
    auto rig = client();
    EXPECT_EQ(rig->ask1("\\chk_vfo"), "0");
    ASSERT_TRUE(rig->send("\\dump_state\n"));
    auto next = [&] { return rig->line().value_or("<none>"); };
    EXPECT_EQ(next(), "0"); // protocol version
    EXPECT_EQ(next(), "2"); // network rig
    EXPECT_EQ(next(), "1"); // ITU region
    {
        std::istringstream range(next());
        double dStart = 0, dEnd = 0;
        std::string szModes, szVfo, szAnt;
        int lowPower = 0, highPower = 0;
        range >> dStart >> dEnd >> szModes >> lowPower >> highPower >> szVfo >> szAnt;
        ASSERT_FALSE(range.fail());
        EXPECT_EQ(dStart, MIN_FREQUENCY);
        EXPECT_EQ(dEnd, MAX_FREQUENCY);
        const unsigned long modes = std::stoul(szModes, nullptr, 16);
        EXPECT_EQ(modes & 0x7, 0x7u); // AM, CW, USB
        EXPECT_EQ(modes & 0x8, 0x8u); // LSB, which sets SSB too
        EXPECT_EQ(lowPower, -1);
        EXPECT_EQ(highPower, -1);
        EXPECT_EQ(szVfo, "0x1");
        EXPECT_EQ(szAnt, "0x0");
    }
    EXPECT_EQ(next(), "0 0 0 0 0 0 0"); // end of the receive ranges
    EXPECT_EQ(next(), "0 0 0 0 0 0 0"); // no transmit range
    std::vector<unsigned long> steps;
    for (std::string szLine = next(); szLine != "0 0" && szLine != "<none>"; szLine = next()) {
        std::istringstream step(szLine);
        std::string szModes;
        unsigned long ulStep = 0;
        step >> szModes >> ulStep;
        EXPECT_NE(std::stoul(szModes, nullptr, 16), 0u) << szLine;
        steps.push_back(ulStep);
    }
    EXPECT_EQ(steps,
              (std::vector<unsigned long>{10, 100, 1000, 1250, 2500, 5000, 9000, 10000, 100000}));
    EXPECT_EQ(next(), "0 0"); // filters
    for (const char* szWhat : {"RIT", "XIT", "IF shift", "announces", "preamps", "attenuators"})
        EXPECT_EQ(next(), "0") << szWhat;
    for (const char* szWhat : {"get functions", "set functions"})
        EXPECT_EQ(std::stoul(next(), nullptr, 16), 0u) << szWhat;
    EXPECT_EQ(std::stoul(next(), nullptr, 16), 0x40000000u); // STRENGTH alone
    for (const char* szWhat : {"set levels", "get parms", "set parms"})
        EXPECT_EQ(std::stoul(next(), nullptr, 16), 0u) << szWhat;
    // Nothing more, and the client goes on.
    EXPECT_FALSE(rig->line(100ms).has_value());
    EXPECT_TRUE(isFrequency(rig->ask1("f")));
}

TEST_F(RemoteOnEmulator, SetsReachTheReceiverAndGetsFollowAtOnce) {
    startLink();
    auto rig = client();
    EXPECT_EQ(rig->ask1("F 7074000"), "RPRT 0");
    EXPECT_EQ(rig->ask1("f"), "7074000"); // never the stale value
    EXPECT_TRUE(waitUntil([&] { return logHas("*AF7074000"); }));
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 7074000; }));
    EXPECT_EQ(rig->ask1("f"), "7074000");
    EXPECT_EQ(rig->ask1("\\set_freq 14074000.000000"), "RPRT 0");
    EXPECT_EQ(rig->ask1("\\get_freq"), "14074000");
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 14074000; }));
    EXPECT_GE(window.count(IDREMOTE, REMOTE_FREQUENCY), 2u);

    EXPECT_EQ(rig->ask1("M USB 0"), "RPRT 0");
    EXPECT_EQ(rig->ask(("m"), 2), (std::vector<std::string>{"USB", "0"}));
    EXPECT_TRUE(waitUntil([&] { return logHas("*RMM0"); }));
    EXPECT_TRUE(waitUntil([] { return radio.uMode == MODE_SSB; }));
    EXPECT_EQ(rig->ask(("m"), 2), (std::vector<std::string>{"USB", "0"}));

    // A scanner: set, wait, read the signal; at two levels.
    emulator.frontPanel("signal 9");
    ASSERT_TRUE(waitUntil([] { return radio.uSUnits == 9; }));
    EXPECT_EQ(rig->ask1("l STRENGTH"), "0");
    emulator.frontPanel("signal 3");
    ASSERT_TRUE(waitUntil([] { return radio.uSUnits == 3; }));
    EXPECT_EQ(rig->ask1("\\get_level STRENGTH"), "-36");

    // Out of range or malformed: nothing reaches the receiver.
    EXPECT_EQ(rig->ask1("F 30000001"), "RPRT -1");
    EXPECT_EQ(rig->ask1("F 14,074"), "RPRT -1");
    // The receiver's lock refuses sets.
    emulator.frontPanel("lock on");
    ASSERT_TRUE(waitUntil([] { return radio.bLock == TRUE; }));
    EXPECT_EQ(rig->ask1("F 9000000"), "RPRT -9");
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(logHas("*AF30000001"));
    EXPECT_FALSE(logHas("*AF9000000"));
    EXPECT_EQ(radio.ulFrequency, 14074000u);
}

// The common rig-control library's network model, as loggers and
// decoders use it: its command-line client through a whole session, and
// its daemon as a proxy in front of the server.
TEST_F(RemoteOnEmulator, TheRigLibrarysNetworkModelSetsAndReadsBack) {
    if (!rigToolsInstalled())
        GTEST_SKIP() << szRigctl << " or " << szRigctld
                     << " missing: install Debian's libhamlib-utils (scripts/setup does)";
    startLink();
    // Open (the capability block), then frequency, mode, VFO, split, PTT,
    // level and close: each as a single-VFO receiver answers it.
    emulator.frontPanel("signal 3");
    ASSERT_TRUE(waitUntil([] { return radio.uSUnits == 3; }));
    EXPECT_EQ(runRigctl(port, "F 7074000 f M CW 0 m v s t l STRENGTH"),
              "7074000\nCW\n0\nVFOA\n0\nVFOA\n0\n-36\n");
    EXPECT_TRUE(waitUntil([&] { return logHas("*AF7074000") && logHas("*RMM2"); }));
    EXPECT_TRUE(waitUntil([] { return radio.uMode == MODE_CW; }));
    // A new session reads back what the receiver now reports.
    EXPECT_EQ(runRigctl(port, "f m"), "7074000\nCW\n0\n");

    // What a receiver cannot do fails, and tunes nothing.
    const std::string szRefused = runRigctl(port, "V VFOB T 1 S 1 VFOB F 40000000 M FM 0");
    for (const char* szError : {"Invalid VFO", "Feature not available", "Invalid parameter"})
        EXPECT_NE(szRefused.find(szError), std::string::npos) << szError << " in\n" << szRefused;
    EXPECT_FALSE(logHas("*AF40000000"));
    EXPECT_EQ(runRigctl(port, "f m"), "7074000\nCW\n0\n");

    // A client that locks the mode keeps it until it goes: the library
    // asks before each mode set, and sends none while it is locked.
    {
        auto holder = client();
        EXPECT_EQ(holder->ask1("\\set_lock_mode 1"), "RPRT 0");
        EXPECT_EQ(runRigctl(port, "M USB 0"), "");
        std::this_thread::sleep_for(300ms);
        EXPECT_FALSE(logHas("*RMM0"));
        EXPECT_EQ(radio.uMode, MODE_CW);
    }
    auto probe = client();
    EXPECT_TRUE(waitUntil([&] { return probe->ask1("\\get_lock_mode") == "0"; }));

    // Through the library's daemon, as a proxy.
    RigctldProxy proxy(port);
    ASSERT_TRUE(proxy.listening()) << "rigctld did not start";
    EXPECT_EQ(runRigctl(proxy.port(), "F 9500000 M USB 0 f m"), "9500000\nUSB\n0\n");
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 9500000 && radio.uMode == MODE_SSB; }));
    EXPECT_EQ(runRigctl(proxy.port(), "f m"), "9500000\nUSB\n0\n");
    EXPECT_EQ(runRigctl(port, "f m"), "9500000\nUSB\n0\n");
}

TEST_F(RemoteOnEmulator, ClientsThatMisbehaveCostOnlyTheirOwnConnection) {
    startLink();
    auto steady = client();
    auto idle = client(); // connects and sends nothing
    auto half = client(); // half a line, then nothing
    ASSERT_TRUE(half->send("\\get_fr"));
    EXPECT_TRUE(isFrequency(steady->ask1("f")));

    // One command per connection, with a stray line after the answer.
    for (int i = 0; i < 30; ++i) {
        RigClient once(port);
        ASSERT_EQ(once.ask1("\\get_powerstat"), "1") << i;
        once.send("\n\\get_freq\n");
    }

    // A line of a megabyte: refused and closed.
    {
        auto flood = client();
        flood->send(std::string(1 << 20, 'F')); // fails part-way once closed
        EXPECT_TRUE(flood->closedByServer());
    }
    // Binary junk: a protocol error, then closed.
    {
        auto junk = client();
        junk->send(std::string("\x00\xff\xfe\x01\x02\n", 6));
        EXPECT_EQ(junk->line().value_or(""), "RPRT -8");
        EXPECT_TRUE(junk->closedByServer());
    }
    // Closes in the middle of its answers.
    for (int i = 0; i < 10; ++i) {
        auto rude = client();
        std::string szMany;
        for (int k = 0; k < 200; ++k)
            szMany += "\\dump_state\n";
        rude->send(szMany);
        rude->abort();
    }
    EXPECT_TRUE(isFrequency(steady->ask1("f")));
    ASSERT_TRUE(half->send("eq\n"));
    EXPECT_TRUE(isFrequency(half->line().value_or("")));
    EXPECT_TRUE(isFrequency(idle->ask1("f")));
    expectServing();
    // The link went on throughout.
    emulator.frontPanel("tune 5000000");
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 5000000; }));
}

// Connections that are opened and left silent (a crashed logger's
// half-open sockets) never lock out a client that talks: when all are
// taken, the one silent longest makes room, told so if it listens.
TEST_F(RemoteOnEmulator, SilentConnectionsMakeRoomForClientsThatTalk) {
    startLink();
    std::vector<std::unique_ptr<RigClient>> silent;
    for (int i = 0; i < REMOTE_CLIENTS - 1; ++i)
        silent.push_back(client());
    auto active = client(); // heard after every silent one connected
    EXPECT_EQ(active->ask1("\\get_powerstat"), "1");
    EXPECT_EQ(remoteEvictions(), 0u);
    EXPECT_EQ(remoteCountersText(), "");

    // Each newcomer is served and closes the oldest silent one; the
    // client that keeps talking is never the one.
    std::vector<std::unique_ptr<RigClient>> newcomers;
    for (std::size_t i = 0; i < silent.size(); ++i) {
        newcomers.push_back(client());
        EXPECT_TRUE(isFrequency(newcomers.back()->ask1("f"))) << i;
        EXPECT_EQ(silent[i]->line().value_or("<none>"), "RPRT -8") << i;
        EXPECT_TRUE(silent[i]->closedByServer()) << i;
        EXPECT_EQ(active->ask1("\\get_powerstat"), "1") << i;
        EXPECT_EQ(remoteEvictions(), i + 1);
    }
    // Now the newcomers that fell silent go first, oldest first.
    auto late = client();
    EXPECT_EQ(late->ask1("\\get_powerstat"), "1");
    EXPECT_TRUE(newcomers[0]->closedByServer());
    EXPECT_TRUE(isFrequency(newcomers[1]->ask1("f")));
    EXPECT_EQ(active->ask1("\\get_powerstat"), "1");
    EXPECT_EQ(remoteCountersText(), std::to_string(REMOTE_CLIENTS) +
                                        " silent remote-control connections closed for new ones\n");
    // A mode lock goes with the connection that held it.
    EXPECT_EQ(newcomers[2]->ask1("\\set_lock_mode 1"), "RPRT 0");
    EXPECT_EQ(active->ask1("M CW 0"), "RPRT -9");
    // newcomers[2] is now heard later than newcomers[3..]; make it the
    // oldest by hearing from all the others.
    for (std::size_t i = 3; i < newcomers.size(); ++i)
        EXPECT_EQ(newcomers[i]->ask1("\\get_powerstat"), "1") << i;
    EXPECT_EQ(newcomers[1]->ask1("\\get_powerstat"), "1");
    EXPECT_EQ(late->ask1("\\get_powerstat"), "1");
    EXPECT_EQ(active->ask1("\\get_powerstat"), "1");
    auto last = client();
    EXPECT_EQ(last->ask1("\\get_lock_mode"), "0");
    EXPECT_TRUE(newcomers[2]->closedByServer());
    EXPECT_EQ(active->ask1("M CW 0"), "RPRT 0");
}

TEST_F(RemoteOnEmulator, EightClientsPollWhileTheDialogTunes) {
    startLink();
    constexpr int nClients = 8;
    constexpr auto period = 100ms;
    constexpr auto duration = 30s;
    std::atomic<bool> bStop{false};
    std::array<std::atomic<int>, nClients> answers{};
    std::array<std::atomic<int>, nClients> malformed{};
    std::vector<std::thread> pollers;
    for (int i = 0; i < nClients; ++i) {
        pollers.emplace_back([&, i] {
            RigClient rig(port);
            auto next = std::chrono::steady_clock::now();
            while (!bStop) {
                const std::string szAnswer = rig.ask1("f");
                (isFrequency(szAnswer) ? answers[i] : malformed[i]) += 1;
                next += period;
                std::this_thread::sleep_until(next);
            }
        });
    }
    // The operator tunes every half second, as the dialog's tuning does.
    const auto until = std::chrono::steady_clock::now() + duration;
    int R = 0, N = 0;
    for (DWORD ulFrequency = 7000000; std::chrono::steady_clock::now() < until;
         ulFrequency += 1000) {
        queueTuning(ulFrequency, &R, &N);
        std::this_thread::sleep_for(500ms);
    }
    bStop = true;
    for (auto& poller : pollers)
        poller.join();
    const int expected = static_cast<int>(duration / period);
    for (int i = 0; i < nClients; ++i) {
        EXPECT_EQ(malformed[i], 0) << i;
        EXPECT_GE(answers[i], expected * 8 / 10) << i; // none starved
    }
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency >= 7000000; }));
}

TEST_F(RemoteOnEmulator, ClosingWithClientsConnectedClosesThem) {
    startLink();
    auto a = client();
    auto b = client();
    ASSERT_TRUE(b->send("\\dump_st")); // half a line
    EXPECT_TRUE(isFrequency(a->ask1("f")));
    remoteClose();
    EXPECT_FALSE(remoteRunning());
    EXPECT_TRUE(a->closedByServer());
    EXPECT_TRUE(b->closedByServer());
    RigClient late(port);
    EXPECT_FALSE(late.connected());

    // The port is free again.
    std::string szError;
    ASSERT_TRUE(remoteOpen("127.0.0.1:" + std::to_string(port), &szError)) << szError;
    remoteStart();
    expectServing();
    remoteClose();

    // A port in use, or an address that is none, is a clear refusal and
    // leaves nothing running.
    std::string szBusy;
    const SOCKET hBusy = ListenSocket("127.0.0.1", 0, &szBusy);
    ASSERT_NE(hBusy, INVALID_SOCKET) << szBusy;
    EXPECT_FALSE(remoteOpen("127.0.0.1:" + std::to_string(SocketPort(hBusy)), &szError));
    EXPECT_NE(szError.find("in use"), std::string::npos) << szError;
    EXPECT_FALSE(remoteRunning());
    closesocket(hBusy);
    for (const char* szBad : {"localhost:4532", "999.1.1.1:4532", "4532:"}) {
        szError.clear();
        EXPECT_FALSE(remoteOpen(szBad, &szError)) << szBad;
        EXPECT_FALSE(szError.empty()) << szBad;
        EXPECT_FALSE(remoteRunning());
    }
}

} // namespace

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
    // More clients than the server serves: the extra one is closed.
    std::this_thread::sleep_for(200ms); // the server has seen the others go
    std::vector<std::unique_ptr<RigClient>> crowd;
    for (int i = 0; i < REMOTE_CLIENTS; ++i)
        crowd.push_back(std::make_unique<RigClient>(port));
    EXPECT_TRUE(crowd.back()->closedByServer());
    crowd.clear();

    EXPECT_TRUE(isFrequency(steady->ask1("f")));
    ASSERT_TRUE(half->send("eq\n"));
    EXPECT_TRUE(isFrequency(half->line().value_or("")));
    EXPECT_TRUE(isFrequency(idle->ask1("f")));
    expectServing();
    // The link went on throughout.
    emulator.frontPanel("tune 5000000");
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 5000000; }));
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

// The framer and the interpreter fed random and mutated octet streams: no
// crash, no access out of bounds, every unit handed on well formed, and
// hunting for "@" always resumes.
#include "framer_fixture.h"

#include <cstdlib>
#include <cstring>
#include <random>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr long DEFAULT_OCTETS = 2000000;
#else
constexpr long DEFAULT_OCTETS = 4000000;
#endif

long octetBudget() {
    if (const char* s = std::getenv("VELKOR_FUZZ_OCTETS"))
        return std::atol(s);
    return DEFAULT_OCTETS;
}

class Fuzzer {
  public:
    explicit Fuzzer(unsigned seed) : rng_(seed) {}

    std::string segment() {
        switch (below(8)) {
        case 0:
            return noise(below(40));
        case 1:
        case 2:
            return mutate(validLine());
        case 3:
            return validLine();
        case 4:
            return mutate(validFrame());
        case 5:
            return validFrame();
        case 6:
            return mutate("START\r");
        default:
            return mutate(std::string(below(4), '@') + "RMC" + noise(below(20)));
        }
    }

  private:
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    char octet() { return static_cast<char>(below(256)); }

    // Random octets, weighted towards the ones the framer reacts to.
    std::string noise(int length) {
        static constexpr char special[] = {'@', '\r', 'R', 'M', 'S', 'C', '\0', '\x01'};
        std::string s;
        for (int i = 0; i < length; ++i)
            s += below(3) == 0 ? special[below(sizeof special)] : octet();
        return s;
    }

    std::string validLine() {
        static const char* const lines[] = {
            "@AF7050000\r", "@AL\r",     "@AU\r",  "@RMM4\r",          "@RSM2\r", "@RMI2500\r",
            "@RSI100000\r", "@S    7\r", "@S\r",   "@AF12345678901\r", "@\r",     "@R\r",
            "@RM\r",        "@RS\r",     "@RMX\r", "QX START\r",       "@START\r"};
        return lines[below(sizeof lines / sizeof lines[0])];
    }

    std::string validFrame() {
        WireStatus status;
        status.ulFreqVCO = static_cast<DWORD>(below(1 << 25));
        status.ucJog = static_cast<BYTE>(below(12));
        status.ucFlags1 = static_cast<BYTE>(below(256));
        status.ucSignal = static_cast<BYTE>(below(256));
        return frame(status, noise(CLIPSIZE), below(2) ? "@RMC" : "@RSC");
    }

    std::string mutate(std::string s) {
        for (int k = below(4); k > 0 && !s.empty(); --k) {
            const auto at = static_cast<std::size_t>(below(static_cast<int>(s.size())));
            switch (below(5)) {
            case 0:
                s[at] = octet();
                break;
            case 1:
                s.insert(at, 1, octet());
                break;
            case 2:
                s.erase(at, 1);
                break;
            case 3:
                s.resize(at); // cut short
                break;
            default:
                s.insert(at, noise(below(30)));
                break;
            }
        }
        return s;
    }

    std::mt19937 rng_;
};

// What may come out of the framer: an "@" line or a start announcement,
// at most 15 octets ending in CR and NUL; or an audio frame's line. A NUL
// received inside an "@" line stays in it, so the text may read shorter.
void expectWellFormed(const std::array<char, MAXRESPONSESIZE>& line) {
    std::size_t end = 1;
    while (end + 1 < line.size() && !(line[end] == '\r' && line[end + 1] == '\0'))
        ++end;
    ASSERT_LT(end + 1, line.size()) << "no CR and terminator within the buffer";
    if (line[0] != cPreamble) {
        EXPECT_NE(std::strstr(line.data(), "START"), nullptr) << line.data();
    }
}

// Longer than the longest unit in progress (a frame whose status record
// has just begun), and free of "@", CR and frame-start octets.
const std::string resync(HEADERSIZE + CLIPSIZE + 4, 'x');

TEST_F(FramerTest, RandomAndMutatedStreams) {
    answerGetMoreAlways();
    Fuzzer fuzzer(4470);
    const long budget = octetBudget();
    long fed = 0;
    int checks = 0;
    int units = 0;
    while (fed < budget) {
        const std::string garbage = fuzzer.segment();
        for (char c : garbage) {
            if (comReceive(static_cast<BYTE>(c))) {
                ++units;
                expectWellFormed(szResponse);
                comExecute(szResponse.data());
            }
        }
        fed += static_cast<long>(garbage.size());
        queued(); // the transmit side takes the clip requests

        if (++checks % 16 != 0)
            continue;
        // Garbage, then a pause in the stream, then a valid line: the
        // line is always framed exactly.
        for (char c : resync) {
            if (comReceive(static_cast<BYTE>(c))) {
                ASSERT_EQ(std::strncmp(szResponse.data(), "@R", 2), 0)
                    << "only a frame may end here";
                ASSERT_STREQ(szResponse.data() + 3, "C\r");
            }
        }
        const std::string line = "@AF7050000\r";
        for (std::size_t i = 0; i < line.size(); ++i)
            ASSERT_EQ(comReceive(static_cast<BYTE>(line[i])), i + 1 == line.size() ? TRUE : FALSE)
                << "after " << fed << " octets";
        ASSERT_STREQ(szResponse.data(), line.c_str());
        comExecute(szResponse.data());
        ASSERT_EQ(radio.ulFrequency, 7050000u);
        fed += static_cast<long>(resync.size() + line.size());
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(units, 0);
    RecordProperty("octets", std::to_string(fed));
}

TEST_F(FramerTest, RandomOctetsOnly) {
    answerGetMoreAlways();
    std::mt19937 rng(57600);
    const long budget = octetBudget() / 4;
    for (long i = 0; i < budget; ++i) {
        if (comReceive(static_cast<BYTE>(rng()))) {
            expectWellFormed(szResponse);
            comExecute(szResponse.data());
            if ((i & 0xFFF) == 0)
                queued();
        }
        if (HasFatalFailure())
            return;
    }
}

// Short lines at the very end of their buffer, for every prefix of every
// shape: the interpreter never reads past the terminator.
TEST(InterpreterRobustness, EveryPrefixOfEveryShape) {
    for (const char* shape : {"@AF7050000\r", "@AL\r", "@RMM4\r", "@RSI2500\r", "@RMC\r", "@S  9\r",
                              "START\r", "@RSM\r"}) {
        const std::size_t length = std::strlen(shape);
        for (std::size_t cut = 0; cut <= length; ++cut) {
            auto p = std::make_unique<char[]>(cut + 1);
            std::memcpy(p.get(), shape, cut);
            p[cut] = '\0';
            comExecute(p.get());
        }
    }
}

} // namespace

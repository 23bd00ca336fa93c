// The emulator's encoder against the program's decoder: the decoder must
// land on the encoder's own reconstruction, sample for sample.
#include "audio/adpcm.h"
#include "sim/adpcmencoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

// Encodes the samples in 250-octet clips and decodes every octet, low
// nibble first, as the audio pipeline does; compares the decoder's output
// with the encoder's reconstruction after each code.
void expectLockstep(const std::vector<std::int16_t>& samples) {
    ADPCMDecoderInit();
    ADPCMENCODER encoder;
    ADPCMENCODER reference;
    std::vector<std::int32_t> reconstruction;
    for (std::int16_t sample : samples) {
        adpcmEncode(reference, sample);
        reconstruction.push_back(reference.lReconstructed);
    }
    constexpr std::size_t CLIP = 250;
    std::size_t k = 0;
    for (std::size_t first = 0; first + 2 * CLIP <= samples.size(); first += 2 * CLIP) {
        std::array<BYTE, CLIP> clip{};
        adpcmEncodeBlock(encoder, std::span(samples).subspan(first, 2 * CLIP), clip);
        for (BYTE octet : clip) {
            ASSERT_EQ(ADPCMDecoder(octet & 0x0F), reconstruction[k]) << "sample " << k;
            ++k;
            ASSERT_EQ(ADPCMDecoder(octet >> 4), reconstruction[k]) << "sample " << k;
            ++k;
        }
    }
    EXPECT_EQ(k, samples.size() / 500 * 500);
}

std::vector<std::int16_t> tone(double hz, double peak, std::size_t count) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t n = 0; n < count; ++n)
        samples[n] = static_cast<std::int16_t>(
            std::lround(peak * std::sin(2 * std::numbers::pi * hz * n / 7812.5)));
    return samples;
}

double rmsError(const std::vector<std::int16_t>& samples) {
    ADPCMENCODER encoder;
    double sum = 0;
    for (std::int16_t sample : samples) {
        adpcmEncode(encoder, sample);
        const double e = sample - encoder.lReconstructed;
        sum += e * e;
    }
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

TEST(AdpcmEncoder, DecoderFollowsTonesExactly) {
    expectLockstep(tone(1000, 8192, 5000));
    expectLockstep(tone(500, 30000, 5000));
    expectLockstep(tone(3900, 32767, 5000)); // near Nyquist, full scale: clamps
    expectLockstep(tone(50, 100, 5000));     // quiet: the smallest steps
}

TEST(AdpcmEncoder, DecoderFollowsNoiseAndExtremesExactly) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::vector<std::int16_t> noise(10000);
    for (auto& s : noise)
        s = static_cast<std::int16_t>(any(random));
    expectLockstep(noise);

    // Full-scale square wave: runs into both clamps of the sample and the
    // top of the step index.
    std::vector<std::int16_t> square(5000);
    for (std::size_t n = 0; n < square.size(); ++n)
        square[n] = (n / 40) % 2 ? 32767 : -32768;
    expectLockstep(square);
}

TEST(AdpcmEncoder, ReconstructionTracksTheInput) {
    // A 1000 Hz tone at -12 dBFS comes through with an error well below
    // it (4-bit ADPCM gives about 20 dB on a tone this high in the band).
    EXPECT_LT(rmsError(tone(1000, 8192, 7812)), 8192 * 0.1);
    EXPECT_LT(rmsError(tone(300, 8192, 7812)), 8192 * 0.03);
    // Silence stays silent.
    EXPECT_EQ(rmsError(std::vector<std::int16_t>(1000, 0)), 0.0);
}

TEST(AdpcmEncoder, PacksLowNibbleFirst) {
    // From the zero state, a rising sample then silence: the first code
    // (large positive) sits in the low nibble.
    ADPCMENCODER encoder;
    const std::array<std::int16_t, 2> samples = {11, 11};
    std::array<BYTE, 1> octet{};
    adpcmEncodeBlock(encoder, samples, octet);
    EXPECT_EQ(octet[0], 0x07); // 11 is exactly code 7 at step 7; then code 0
}

} // namespace

#include "web/webframe.h"

#include <cstdint>

void webAppendFrame(std::string* pszFrames, WEBFRAMEKIND kind, std::string_view payload) {
    constexpr unsigned char FINAL = 0x80;
    constexpr std::size_t SHORTEST = 126; // lengths below fit the second octet
    constexpr std::size_t TWO_OCTETS = 0x10000;
    const std::uint64_t ulLength = payload.size();
    pszFrames->push_back(static_cast<char>(FINAL | kind));
    int nLengthOctets = 0;
    if (ulLength < SHORTEST) {
        pszFrames->push_back(static_cast<char>(ulLength));
    } else if (ulLength < TWO_OCTETS) {
        pszFrames->push_back(static_cast<char>(126));
        nLengthOctets = 2;
    } else {
        pszFrames->push_back(static_cast<char>(127));
        nLengthOctets = 8;
    }
    for (int i = nLengthOctets - 1; i >= 0; --i) // most significant first
        pszFrames->push_back(static_cast<char>((ulLength >> (8 * i)) & 0xFF));
    pszFrames->append(payload);
}

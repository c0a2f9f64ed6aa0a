// The skin PNG walker: whatever the bytes, what it hands the image decoder is
// either nothing or a well-formed chunk list (signature, IHDR, then only PLTE,
// tRNS and IDAT, with valid lengths and CRCs, ending with IEND) no longer than
// the input, with no more IDAT data than the declared size can need; and walking
// that result again gives it back unchanged.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/skin_png.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

std::uint32_t BigEndian32(std::string_view b, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        v = v << 8 | static_cast<unsigned char>(b[at + i]);
    }
    return v;
}

// An independent bitwise CRC-32, not the walker's table.
std::uint32_t Crc(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFU;
    for (const char byte : bytes) {
        crc ^= static_cast<unsigned char>(byte);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1U)));
        }
    }
    return crc ^ 0xFFFFFFFFU;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    constexpr std::uint32_t kMaxSide = 512;
    const std::string out = orvandel::CriticalPngChunks(file, kMaxSide, kMaxSide);
    if (out.empty()) {
        return 0;
    }
    Check(out.size() <= file.size());
    const auto header = orvandel::ReadPngHeader(out);
    Check(header && header->width <= kMaxSide && header->height <= kMaxSide);
    std::uint64_t pixel_bytes = 0;
    std::size_t at = 8;
    std::string_view last;
    while (at < out.size()) {
        Check(out.size() - at >= 12);
        const std::uint32_t length = BigEndian32(out, at);
        Check(length <= out.size() - at - 12);
        const std::string_view type(out.data() + at + 4, 4);
        Check(at == 8 ? type == "IHDR"
                      : type == "PLTE" || type == "tRNS" || type == "IDAT" || type == "IEND");
        Check(BigEndian32(out, at + 8 + length) == Crc(out.substr(at + 4, 4 + length)));
        if (type == "IDAT") {
            pixel_bytes += length;
        }
        last = type;
        at += 12 + length;
    }
    Check(last == "IEND");
    Check(pixel_bytes > 0 && pixel_bytes <= orvandel::PngPixelDataBound(*header));
    Check(orvandel::CriticalPngChunks(out, kMaxSide, kMaxSide) == out);
    return 0;
}

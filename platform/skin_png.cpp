#include "platform/skin_png.h"

#include <array>
#include <fstream>
#include <system_error>

namespace orvandel {
namespace {

constexpr std::string_view kSignature{"\x89PNG\r\n\x1a\n", 8};
constexpr std::size_t kChunkOverhead = 12;  // length, type, CRC
constexpr std::size_t kHeaderBytes = kSignature.size() + kChunkOverhead + 13;
// A palette of 256 RGB entries and a tRNS of one alpha per entry.
constexpr std::uint64_t kMaxPaletteBytes = 3 * 256;
constexpr std::uint64_t kMaxTransparencyBytes = 256;

std::uint32_t BigEndian32(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3]));
}

std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}

// CRC-32 of the chunk type and data, as the PNG format defines it.
std::uint32_t Crc32(std::string_view bytes) {
    static const std::array<std::uint32_t, 256> kTable = MakeCrcTable();
    std::uint32_t c = 0xFFFFFFFFU;
    for (const char ch : bytes) {
        c = kTable[(c ^ static_cast<unsigned char>(ch)) & 0xFFU] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFU;
}

int Channels(std::uint8_t colour_type) {
    switch (colour_type) {
        case 0:
            return 1;  // grey
        case 2:
            return 3;  // RGB
        case 3:
            return 1;  // palette index
        case 4:
            return 2;  // grey and alpha
        case 6:
            return 4;  // RGBA
        default:
            return 0;
    }
}

bool ValidDepth(std::uint8_t colour_type, std::uint8_t depth) {
    switch (colour_type) {
        case 0:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case 3:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case 2:
        case 4:
        case 6:
            return depth == 8 || depth == 16;
        default:
            return false;
    }
}

bool IsCritical(std::string_view type) {
    return (static_cast<unsigned char>(type[0]) & 0x20U) == 0;
}

}  // namespace

std::optional<PngHeader> ReadPngHeader(std::string_view bytes) {
    if (bytes.size() < kHeaderBytes || bytes.substr(0, kSignature.size()) != kSignature) {
        return std::nullopt;
    }
    const std::string_view chunk = bytes.substr(kSignature.size(), kChunkOverhead + 13);
    if (BigEndian32(chunk, 0) != 13 || chunk.substr(4, 4) != "IHDR" ||
        BigEndian32(chunk, 8 + 13) != Crc32(chunk.substr(4, 4 + 13))) {
        return std::nullopt;
    }
    PngHeader h;
    h.width = BigEndian32(chunk, 8);
    h.height = BigEndian32(chunk, 12);
    h.bit_depth = static_cast<std::uint8_t>(chunk[16]);
    h.colour_type = static_cast<std::uint8_t>(chunk[17]);
    const auto compression = static_cast<std::uint8_t>(chunk[18]);
    const auto filter = static_cast<std::uint8_t>(chunk[19]);
    h.interlace = static_cast<std::uint8_t>(chunk[20]);
    // The format caps each side at 2^31 - 1.
    if (h.width == 0 || h.height == 0 || h.width > 0x7FFFFFFFU || h.height > 0x7FFFFFFFU ||
        !ValidDepth(h.colour_type, h.bit_depth) || compression != 0 || filter != 0 ||
        h.interlace > 1) {
        return std::nullopt;
    }
    return h;
}

std::uint64_t PngPixelDataBound(const PngHeader& header) {
    const std::uint64_t bits = std::uint64_t{header.bit_depth} * Channels(header.colour_type);
    const std::uint64_t row = (std::uint64_t{header.width} * bits + 7) / 8;
    std::uint64_t raw = std::uint64_t{header.height} * (1 + row);
    if (header.interlace == 1) {
        // Seven passes: each of their rows has a filter byte and may start a byte
        // of its own; at most 15/8 of the height in rows, and seven more.
        raw += 4 * std::uint64_t{header.height} + 16;
    }
    // zlib at its worst: 9-bit fixed-code literals (raw / 8), five bytes per stored
    // block, the stream's header and checksum.
    return raw + raw / 8 + raw / 64 + 64;
}

std::string CriticalPngChunks(std::string_view file, std::uint32_t max_width,
                              std::uint32_t max_height) {
    const std::optional<PngHeader> header = ReadPngHeader(file);
    if (!header || header->width > max_width || header->height > max_height) {
        return {};
    }
    const std::uint64_t pixel_bound = PngPixelDataBound(*header);
    std::uint64_t pixel_bytes = 0;
    std::uint64_t other_bytes = 0;
    std::string out(file.substr(0, kHeaderBytes));
    std::size_t at = kHeaderBytes;
    while (file.size() - at >= kChunkOverhead) {
        const std::uint64_t length = BigEndian32(file, at);
        if (length > 0x7FFFFFFFU || length > file.size() - at - kChunkOverhead) {
            return {};
        }
        const std::string_view chunk = file.substr(at, kChunkOverhead + length);
        const std::string_view type = chunk.substr(4, 4);
        at += chunk.size();
        const bool pixel_data = type == "IDAT";
        const bool kept = pixel_data || type == "PLTE" || type == "tRNS" || type == "IEND";
        if (!kept) {
            // Ancillary chunks are skipped unread; an unknown critical one means a
            // picture this reader cannot show.
            if (IsCritical(type) || type == "IHDR") {
                return {};
            }
            other_bytes += chunk.size();
            if (other_bytes > kPngAllowanceBytes) {
                return {};
            }
            continue;
        }
        if (BigEndian32(chunk, 8 + length) != Crc32(chunk.substr(4, 4 + length))) {
            return {};
        }
        if (pixel_data) {
            pixel_bytes += length;
            if (pixel_bytes > pixel_bound) {
                return {};
            }
        } else if ((type == "PLTE" && length > kMaxPaletteBytes) ||
                   (type == "tRNS" && length > kMaxTransparencyBytes)) {
            return {};
        }
        out.append(chunk);
        if (type == "IEND") {
            return pixel_bytes > 0 ? out : std::string{};
        }
    }
    return {};
}

std::string ReadSkinPng(const std::filesystem::path& path, std::uint32_t max_width,
                        std::uint32_t max_height) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    std::string head(kHeaderBytes, '\0');
    if (!in.read(head.data(), static_cast<std::streamsize>(head.size()))) {
        return {};
    }
    const std::optional<PngHeader> header = ReadPngHeader(head);
    if (!header || header->width > max_width || header->height > max_height) {
        return {};
    }
    const std::uint64_t cap = kHeaderBytes + PngPixelDataBound(*header) + kMaxPaletteBytes +
                              kMaxTransparencyBytes + kPngAllowanceBytes;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > cap || size < kHeaderBytes) {
        return {};
    }
    std::string bytes = std::move(head);
    bytes.resize(static_cast<std::size_t>(size));
    const auto rest = static_cast<std::streamsize>(size - kHeaderBytes);
    if (!in.read(bytes.data() + kHeaderBytes, rest)) {
        return {};  // shorter than it was a moment ago
    }
    return CriticalPngChunks(bytes, max_width, max_height);
}

}  // namespace orvandel

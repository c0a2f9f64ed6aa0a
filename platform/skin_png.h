// Reads a skin PNG from disk as far as a decoder needs it, and no further.
//
// Image decoders parse a PNG's ancillary chunks (compressed text among them) while
// they read the header, and inflate every IDAT byte they are given. A skin file is
// untrusted input from the working folder, so it is walked here first: bounded in
// size, checked chunk by chunk, and rebuilt with the critical chunks only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvandel {

struct PngHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t bit_depth = 0;
    std::uint8_t colour_type = 0;
    std::uint8_t interlace = 0;
};

// Ancillary chunks (text, physical size, ...) and chunk overhead a skin file may
// carry besides its pixel data; they are dropped, never decoded.
inline constexpr std::uint64_t kPngAllowanceBytes = 64 * 1024;

// The signature and the IHDR chunk (its length, type, fields and CRC) at the start
// of `bytes`; nullopt when they are not a valid PNG header.
std::optional<PngHeader> ReadPngHeader(std::string_view bytes);

// The most IDAT bytes a `header` picture can need: its filtered rows, compressed
// by zlib at its worst (stored or fixed-code blocks).
std::uint64_t PngPixelDataBound(const PngHeader& header);

// `file` (a whole PNG) rebuilt from its IHDR, PLTE, tRNS, IDAT and IEND chunks in
// their order. Empty when the file is refused: no valid header, a picture wider
// than `max_width` or higher than `max_height`, a chunk that runs past the end or
// fails its CRC, an unknown critical chunk, IDAT data beyond PngPixelDataBound,
// more than kPngAllowanceBytes of other chunks, or no IEND.
std::string CriticalPngChunks(std::string_view file, std::uint32_t max_width,
                              std::uint32_t max_height);

// Reads `path` (at most the bytes a `max_width` x `max_height` picture may need)
// and returns CriticalPngChunks of it; empty on any failure, as for a missing file.
std::string ReadSkinPng(const std::filesystem::path& path, std::uint32_t max_width,
                        std::uint32_t max_height);

}  // namespace orvandel

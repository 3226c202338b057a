// Image header readers for GIF, PNG and JPEG.
#include "platform/image.h"

#include "strings/strutil.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {

// Reads exactly `n` bytes; false on a short read.
bool read_exact(std::FILE *file, unsigned char *out, std::size_t n)
{
    return std::fread(out, 1, n, file) == n;
}

std::uint32_t big_endian(const unsigned char *p, int n)
{
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | p[i];
    return v;
}

// Frame headers are the markers 0xC0 to 0xCF except the three in that range
// that carry tables or are reserved: DHT (0xC4), JPG (0xC8) and DAC (0xCC).
// Taking a Huffman table that precedes the frame for the frame would print
// numbers out of the table as the picture's size.
bool is_frame_marker(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length: TEM and RST0..RST7, SOI.
bool is_standalone_marker(int marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8); }

}  // namespace

long fread_and_discard(long count, std::FILE *file)
{
    if (count <= 0) return 0;
    unsigned char scratch[63];
    long left = count;
    while (left > 0) {
        const std::size_t piece = left < static_cast<long>(sizeof scratch) ? static_cast<std::size_t>(left)
                                                                             : sizeof scratch;
        if (std::fread(scratch, 1, piece, file) != piece) return 0;
        left -= static_cast<long>(piece);
    }
    return count;
}

void image_size_gif(std::FILE *file, ImageSize &result)
{
    unsigned char b[3];
    if (!read_exact(file, b, 3)) { result.error = "short GIF signature"; return; }
    if (std::memcmp(b, "GIF", 3) != 0) { result.error = "bad GIF signature"; return; }
    if (!read_exact(file, b, 3)) { result.error = "short GIF version"; return; }
    const char version[4] = {static_cast<char>(b[0]), static_cast<char>(b[1]), static_cast<char>(b[2]), '\0'};
    const long number = std::strtol(version, nullptr, 10);
    if (number != 87 && number != 88 && number != 89) { result.error = "bad GIF version"; return; }
    unsigned char w[2], h[2];
    if (!read_exact(file, w, 2)) { result.error = "short GIF width"; return; }
    if (!read_exact(file, h, 2)) { result.error = "short GIF height"; return; }
    result.width = w[0] | w[1] << 8;
    result.height = h[0] | h[1] << 8;
}

void image_size_png(std::FILE *file, ImageSize &result)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    unsigned char b[8];
    if (!read_exact(file, b, 8)) { result.error = "short PNG header (0)"; return; }
    if (std::memcmp(b, signature, 8) != 0) { result.error = "corrupt PNG header (bad initials)"; return; }
    if (!read_exact(file, b, 4)) { result.error = "short PNG header (1)"; return; }
    if (!read_exact(file, b, 4)) { result.error = "short PNG header (2)"; return; }
    if (std::memcmp(b, "IHDR", 4) != 0) { result.error = "corrupt PNG header (no IHDR)"; return; }
    if (!read_exact(file, b, 8)) { result.error = "short PNG header (2)"; return; }
    result.width = static_cast<int>(big_endian(b, 4));
    result.height = static_cast<int>(big_endian(b + 4, 4));
}

void image_size_jpg(std::FILE *file, ImageSize &result)
{
    unsigned char b[4];
    if (!read_exact(file, b, 2)) { result.error = "short JPG header (0)"; return; }
    if (b[0] != 0xFF || b[1] != 0xD8) { result.error = "corrupt JPG header (bad initials)"; return; }

    // Every pass consumes at least one byte of a regular file, so the scan
    // ends at the latest at the end of the file.
    for (;;) {
        int c = std::fgetc(file);
        if (c == EOF) { result.error = "end of JPG file"; return; }
        if (c == 0x00 || c == 0xDA) return;
        while (c != 0xFF) {
            c = std::fgetc(file);
            if (c == EOF) { result.error = "end of JPG file"; return; }
        }
        while (c == 0xFF) {
            c = std::fgetc(file);
            if (c == EOF) { result.error = "end of JPG file"; return; }
        }
        const int marker = c;
        // The first scan (or a stuffed zero outside any scan) before a frame
        // header: the picture's size is not in this file's headers.
        if (marker == 0xDA || marker == 0x00) return;
        if (marker == 0xD9) { result.error = "end of JPG file"; return; }
        if (is_frame_marker(marker)) break;
        if (is_standalone_marker(marker)) continue;
        if (!read_exact(file, b, 2)) { result.error = "short JPG marker (1)"; return; }
        const long length = static_cast<long>(big_endian(b, 2));
        if (length < 2) { result.error = "short JPG marker skip length"; return; }
        if (length > 2 && fread_and_discard(length - 2, file) != length - 2) {
            result.error = "end of JPG file";
            return;
        }
    }
    if (!read_exact(file, b, 3)) { result.error = "short JPG marker (1)"; return; }
    if (!read_exact(file, b, 4)) { result.error = "short JPG marker (2)"; return; }
    result.height = static_cast<int>(big_endian(b, 2));
    result.width = static_cast<int>(big_endian(b + 2, 2));
}

void image_size(const std::string &path, ImageSize &result)
{
    result.error = nullptr;
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    struct stat st;
    // Only regular files: a device or a pipe has no end to stop a scan.
    if (!file || ::fstat(::fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
        result.error = "failed to open file";
        return;
    }
    if (striend(path, ".gif") != npos)
        image_size_gif(file.get(), result);
    else if (striend(path, ".png") != npos)
        image_size_png(file.get(), result);
    else if (striend(path, ".jpg") != npos)
        image_size_jpg(file.get(), result);
    else
        result.error = "unknown file type";
}

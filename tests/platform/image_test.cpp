// Image dimensions from GIF, PNG and JPEG headers: real files made by an
// image tool, every truncation of them, and hand-made corrupt headers.
#include "platform/image.h"
#include "support/cgi_harness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using orvel_test::TempDir;

namespace {

const std::string data_dir = std::string(ORVEL_SOURCE_DIR) + "/tests/data/images/";

std::string read_data(const std::string &name)
{
    std::ifstream in(data_dir + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class ImageFiles : public ::testing::Test {
protected:
    // Writes `bytes` to a file called `name` and reads its size.
    ImageSize measure(const std::string &name, const std::string &bytes)
    {
        dir.write(name, bytes);
        ImageSize size;
        size.width = size.height = -7;  // shows whether a failure changed them
        image_size(dir.path() + "/" + name, size);
        return size;
    }
    // The error text as a string ("" on success).
    static std::string error(const ImageSize &s) { return s.error ? s.error : ""; }

    TempDir dir;
};

struct Sample {
    const char *file;
    int width, height;
};
const Sample samples[] = {
    {"photo.gif", 37, 21},       {"old.gif", 9, 300},       {"banner.png", 300, 17},
    {"photo.jpg", 123, 45},      {"progressive.jpg", 64, 48}, {"commented.jpg", 40, 30},
};

}  // namespace

TEST_F(ImageFiles, RealFilesGiveTheirSize)
{
    for (const Sample &s : samples) {
        ImageSize size;
        image_size(data_dir + s.file, size);
        EXPECT_EQ(error(size), "") << s.file;
        EXPECT_EQ(size.width, s.width) << s.file;
        EXPECT_EQ(size.height, s.height) << s.file;
    }
}

TEST_F(ImageFiles, EndingChoosesTheReaderIgnoringCase)
{
    const std::string jpg = read_data("photo.jpg");
    ImageSize upper = measure("PHOTO.JPG", jpg);
    EXPECT_EQ(error(upper), "");
    EXPECT_EQ(upper.width, 123);
    EXPECT_EQ(error(measure("photo.jpeg", jpg)), "unknown file type");
    EXPECT_EQ(error(measure("photo.Png", read_data("banner.png"))), "");
    // The reader follows the name, not the content.
    EXPECT_EQ(error(measure("photo.gif.png", read_data("photo.gif"))), "corrupt PNG header (bad initials)");

    ImageSize missing;
    image_size(dir.path() + "/absent.gif", missing);
    EXPECT_EQ(error(missing), "failed to open file");
    // A directory (or any file that is not a regular file) is not read.
    dir.write("folder.gif/inside", "");
    ImageSize folder;
    image_size(dir.path() + "/folder.gif", folder);
    EXPECT_EQ(error(folder), "failed to open file");
}

TEST_F(ImageFiles, EveryTruncationFailsCleanlyUntilTheSizeIsRead)
{
    // Each non-empty prefix of each sample either fails with an error and
    // the dimensions untouched, or (once the size fields are in) succeeds
    // with the full file's answer.  The readers run on the prefix in memory.
    for (const Sample &s : samples) {
        std::string bytes = read_data(s.file);
        const std::string ending = std::strrchr(s.file, '.');
        auto reader = ending == ".gif" ? image_size_gif : ending == ".png" ? image_size_png : image_size_jpg;
        bool succeeded = false;
        for (std::size_t n = 1; n < bytes.size(); ++n) {
            std::FILE *prefix = ::fmemopen(bytes.data(), n, "rb");
            ASSERT_NE(prefix, nullptr);
            ImageSize size;
            size.width = size.height = -7;
            reader(prefix, size);
            std::fclose(prefix);
            if (size.error) {
                EXPECT_FALSE(succeeded) << s.file << " cut at " << n << ": " << size.error;
                EXPECT_EQ(size.width, -7);
                EXPECT_EQ(size.height, -7);
            } else {
                succeeded = true;
                EXPECT_EQ(size.width, s.width) << s.file << " cut at " << n;
                EXPECT_EQ(size.height, s.height) << s.file << " cut at " << n;
            }
        }
        EXPECT_TRUE(succeeded) << s.file;
        // An empty file, through the path.
        EXPECT_NE(error(measure("empty" + ending, "")), "") << s.file;
    }
}

TEST_F(ImageFiles, TruncatedHeadersNameTheMissingField)
{
    const std::string gif = read_data("photo.gif");
    EXPECT_EQ(error(measure("a.gif", gif.substr(0, 2))), "short GIF signature");
    EXPECT_EQ(error(measure("a.gif", gif.substr(0, 5))), "short GIF version");
    EXPECT_EQ(error(measure("a.gif", gif.substr(0, 7))), "short GIF width");
    EXPECT_EQ(error(measure("a.gif", gif.substr(0, 9))), "short GIF height");

    const std::string png = read_data("banner.png");
    EXPECT_EQ(error(measure("a.png", png.substr(0, 7))), "short PNG header (0)");
    EXPECT_EQ(error(measure("a.png", png.substr(0, 11))), "short PNG header (1)");
    EXPECT_EQ(error(measure("a.png", png.substr(0, 15))), "short PNG header (2)");
    EXPECT_EQ(error(measure("a.png", png.substr(0, 23))), "short PNG header (2)");

    const std::string jpg = read_data("photo.jpg");
    EXPECT_EQ(error(measure("a.jpg", jpg.substr(0, 1))), "short JPG header (0)");
    EXPECT_EQ(error(measure("a.jpg", jpg.substr(0, 2))), "end of JPG file");
    // Cut inside the first segment's length, then inside its body.
    EXPECT_EQ(error(measure("a.jpg", jpg.substr(0, 5))), "short JPG marker (1)");
    EXPECT_EQ(error(measure("a.jpg", jpg.substr(0, 10))), "end of JPG file");
}

TEST_F(ImageFiles, CorruptGifAndPngHeaders)
{
    EXPECT_EQ(error(measure("a.gif", "GIG89a\x01\x00\x01\x00")), "bad GIF signature");
    EXPECT_EQ(error(measure("a.gif", "GIF90a\x01\x00\x01\x00")), "bad GIF version");
    EXPECT_EQ(error(measure("a.gif", "GIF8xa\x01\x00\x01\x00")), "bad GIF version");
    const ImageSize gif = measure("a.gif", std::string("GIF88a\x34\x12\xff\x00", 10));
    EXPECT_EQ(gif.width, 0x1234);
    EXPECT_EQ(gif.height, 0xff);

    std::string png = read_data("banner.png");
    png[1] = 'p';
    EXPECT_EQ(error(measure("a.png", png)), "corrupt PNG header (bad initials)");
    png = read_data("banner.png");
    png.replace(12, 4, "IDAT");
    EXPECT_EQ(error(measure("a.png", png)), "corrupt PNG header (no IHDR)");
}

namespace {

// The JPEG's segments after the SOI marker, each with its marker and body,
// up to and including the first scan (the rest is kept as one tail piece).
struct Segment {
    int marker;
    std::string bytes;  // FF, marker, length and body
};
std::vector<Segment> jpeg_segments(const std::string &jpg, std::string &tail)
{
    std::vector<Segment> out;
    std::size_t at = 2;
    while (at + 4 <= jpg.size()) {
        const int marker = static_cast<unsigned char>(jpg[at + 1]);
        const std::size_t len = static_cast<unsigned char>(jpg[at + 2]) << 8 | static_cast<unsigned char>(jpg[at + 3]);
        if (marker == 0xDA) break;
        out.push_back({marker, jpg.substr(at, 2 + len)});
        at += 2 + len;
    }
    tail = jpg.substr(at);
    return out;
}

std::string assemble(const std::vector<Segment> &segments, const std::string &tail)
{
    std::string out = "\xFF\xD8";
    for (const Segment &s : segments) out += s.bytes;
    return out + tail;
}

}  // namespace

TEST_F(ImageFiles, JpegTablesBeforeTheFrameAreSkipped)
{
    // Encoders may write the Huffman tables (0xC4) before the frame header;
    // they lie in the frame-marker range but do not hold the size.
    std::string tail;
    std::vector<Segment> segs = jpeg_segments(read_data("photo.jpg"), tail);
    std::vector<Segment> reordered;
    for (const Segment &s : segs)
        if (s.marker == 0xC4) reordered.push_back(s);
    ASSERT_FALSE(reordered.empty());
    for (const Segment &s : segs)
        if (s.marker != 0xC4) reordered.push_back(s);
    const ImageSize size = measure("tables.jpg", assemble(reordered, tail));
    EXPECT_EQ(error(size), "");
    EXPECT_EQ(size.width, 123);
    EXPECT_EQ(size.height, 45);

    // Fill bytes before a marker and stand-alone markers are passed over.
    std::string padded = read_data("photo.jpg");
    padded.insert(2, "\xFF\xFF\xFF\xD0");
    const ImageSize filled = measure("fill.jpg", padded);
    EXPECT_EQ(error(filled), "");
    EXPECT_EQ(filled.width, 123);
}

TEST_F(ImageFiles, JpegWithoutAFrameBeforeItsScan)
{
    std::string tail;
    std::vector<Segment> segs = jpeg_segments(read_data("photo.jpg"), tail);
    std::vector<Segment> no_frame;
    for (const Segment &s : segs)
        if (s.marker < 0xC0 || s.marker > 0xCF || s.marker == 0xC4) no_frame.push_back(s);
    const ImageSize size = measure("noframe.jpg", assemble(no_frame, tail));
    EXPECT_EQ(error(size), "");
    EXPECT_EQ(size.width, -7);
    EXPECT_EQ(size.height, -7);

    // A zero byte where the next marker should start also ends the search.
    EXPECT_EQ(error(measure("zero.jpg", std::string("\xFF\xD8\x00\xFF\xC0", 5))), "");
    // End of image before any frame.
    EXPECT_EQ(error(measure("eoi.jpg", "\xFF\xD8\xFF\xD9")), "end of JPG file");
}

TEST_F(ImageFiles, CorruptJpegSegments)
{
    EXPECT_EQ(error(measure("a.jpg", "\xFF\xD9\xFF\xC0")), "corrupt JPG header (bad initials)");
    // A segment length below 2 would step backwards.
    EXPECT_EQ(error(measure("a.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x01", 6))), "short JPG marker skip length");
    EXPECT_EQ(error(measure("a.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x00", 6))), "short JPG marker skip length");
    // A segment claiming to run far past the end of the file.
    EXPECT_EQ(error(measure("a.jpg", std::string("\xFF\xD8\xFF\xE1\xFF\xFF" "abc", 9))), "end of JPG file");
    // A frame header cut after its precision byte, then inside the size.
    EXPECT_EQ(error(measure("a.jpg", std::string("\xFF\xD8\xFF\xC0\x00", 5))), "short JPG marker (1)");
    EXPECT_EQ(error(measure("a.jpg", std::string("\xFF\xD8\xFF\xC0\x00\x11\x08\x00\x2d\x00", 10))),
              "short JPG marker (2)");
    // Only fill bytes after the start marker: the scan ends at the file's end.
    EXPECT_EQ(error(measure("a.jpg", "\xFF\xD8" + std::string(10000, '\xFF'))), "end of JPG file");
    // Garbage with no marker at all.
    EXPECT_EQ(error(measure("a.jpg", "\xFF\xD8" + std::string(10000, 'x'))), "end of JPG file");
}

TEST(ImageSkip, DiscardCountsOnlyWhatWasThere)
{
    std::FILE *f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::fputs(std::string(200, 'z').c_str(), f);
    std::rewind(f);
    EXPECT_EQ(fread_and_discard(0, f), 0);
    EXPECT_EQ(fread_and_discard(-5, f), 0);
    EXPECT_EQ(fread_and_discard(130, f), 130);
    EXPECT_EQ(std::ftell(f), 130);
    EXPECT_EQ(fread_and_discard(71, f), 0);
    std::fclose(f);
}

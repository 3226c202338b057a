// Pixel dimensions of GIF, PNG and JPEG files, read from their headers
// without decoding the image, for width and height attributes.
//
// Every read is checked: a truncated or corrupt header ends with one of the
// fixed error texts, never with a read past the data.  Only regular files
// are read, so every scan ends at the file's end.
#pragma once

#include <cstdio>
#include <string>

struct ImageSize {
    int width = 0;
    int height = 0;
    const char *error = nullptr;  // null on success, else a fixed message
};

// Fills `result` with the image's width and height, or sets its error text
// and leaves the dimensions unchanged.  The reader is chosen by the path's
// ending, ignoring case: ".gif", ".png" or ".jpg".  A JPEG that reaches its
// first scan before any frame header leaves the dimensions unchanged and
// no error.
void image_size(const std::string &path, ImageSize &result);

// The readers on an open file positioned at its start.
void image_size_gif(std::FILE *file, ImageSize &result);
void image_size_png(std::FILE *file, ImageSize &result);
void image_size_jpg(std::FILE *file, ImageSize &result);

// Skips `count` bytes; returns `count`, or 0 when `count` is not positive
// or the file ends first.
long fread_and_discard(long count, std::FILE *file);

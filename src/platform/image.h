// Pixel dimensions of an image file, for width and height attributes.
//
// The header readers are not part of the program yet: image_size reports
// the failure "image size not available" for every file.
#pragma once

#include <string>

struct ImageSize {
    int width = 0;
    int height = 0;
    const char *error = nullptr;  // null on success, else a fixed message
};

// Fills `result` with the image's width and height, or sets its error text
// and leaves the dimensions unchanged.
void image_size(const std::string &path, ImageSize &result);

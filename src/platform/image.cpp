// Image dimensions: no format reader yet, so every file reports a failure.
#include "platform/image.h"

void image_size(const std::string &, ImageSize &result) { result.error = "image size not available"; }

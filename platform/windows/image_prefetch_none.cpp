// Windows: pictures are decoded when they are loaded; there are no background decoders.
#include "platform/image/image_decode.h"

void prefetch_image_file(const std::string&, bool) {}

void discard_prefetched_images() {}

void discard_prefetched_image(const std::string&) {}

void hold_background_prefetch(bool) {}

bool prefetch_idle() {
    return true;
}

bool take_prefetched_image(const char*, image_pixels*, std::string*, HRESULT*) {
    return false;
}

// Inside the platform layer: a checked picture file decoded to an SDL surface, for the loaders
// that hand surfaces on (the texture loader, the window icon).
#pragma once
#include <string>

#include "platform/image/image_file.h"

struct SDL_Surface;

// read_image_header, then the decoder of that one format. Null when the file is refused or does
// not decode (reason in `why`, may be null); the caller frees the surface.
SDL_Surface* decode_image_file(const char* path, image_header* header, std::string* why);

// load_image_file without the prefetched pictures: the header check and the decoder.
HRESULT decode_image_pixels(const char* path, image_pixels* out, std::string* why);

// When `path` was prefetched and is the same file on disk as it was then: the result of its
// decoding (waited for while a worker decodes it) in `out`, `why` and `hr`, and true. False,
// with nothing changed, when the caller has to decode the file itself.
bool take_prefetched_image(const char* path, image_pixels* out, std::string* why, HRESULT* hr);

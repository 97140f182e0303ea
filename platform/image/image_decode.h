// Inside the platform layer: a checked picture file decoded to an SDL surface, for the loaders
// that hand surfaces on (the texture loader, the window icon).
#pragma once
#include <string>

#include "platform/image/image_file.h"

struct SDL_Surface;

// read_image_header, then the decoder of that one format. Null when the file is refused or does
// not decode (reason in `why`, may be null); the caller frees the surface.
SDL_Surface* decode_image_file(const char* path, image_header* header, std::string* why);

// The AVI clips the program carries, by resource ID: 330 for copying, 340 for
// removing. They are made at build time by tools/make-avi and compiled in.
#pragma once

#include <cstddef>

struct AviResource {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// False when the program has no clip of that ID.
bool FindAviResource(unsigned id, AviResource& out);

// A failed property ends the run with a report that libFuzzer keeps with the input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(c) \
    ((c) ? (void)0 : (std::fprintf(stderr, "property failed at %s:%d: %s\n", __FILE__, __LINE__, #c), std::abort()))

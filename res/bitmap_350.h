// Bitmap resource 350: the 16 x 16, 16-colour icon before every genre in the
// guide page's lists (a folder with a pin). White is its transparent colour.
#pragma once

#include <string>

// The resource as a complete Windows BMP file (4 bits per pixel, bottom-up).
const std::string& LoadBitmap350();

// The first check box or radio button GTK draws loads the theme's SVG image
// loader, and with it librsvg: some 20 ms of loading and relocation on the
// user-interface thread. Starting that load on a thread of its own while the
// toolkit and the main dialog are being set up takes it off the path to the
// window. Image-loader modules are loaded under GdkPixbuf's own lock, so the
// toolkit's later use finds the loader ready or waits for it.
#pragma once

#include <thread>

class CImageLoaderWarmUp {
public:
    CImageLoaderWarmUp() = default;
    ~CImageLoaderWarmUp() { Finish(); }
    CImageLoaderWarmUp(const CImageLoaderWarmUp&) = delete;
    CImageLoaderWarmUp& operator=(const CImageLoaderWarmUp&) = delete;

    // Starts the load; does nothing when it has run already.
    void Start();
    // Waits for the load to end.
    void Finish();

private:
    std::thread m_thread;
    bool m_started = false;
};

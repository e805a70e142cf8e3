#include "platform/image_loader_warm_up.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>

#include <system_error>

namespace {

// A one-pixel image in the form the theme's indicators take.
const char kTinySvg[] =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1\" height=\"1\"><rect width=\"1\" height=\"1\"/></svg>";

void LoadOnce()
{
    // What the toolkit does with a theme image: guess its type, then decode.
    g_free(g_content_type_guess(nullptr, reinterpret_cast<const guchar*>(kTinySvg), sizeof kTinySvg - 1, nullptr));
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("svg", nullptr);
    if (!loader)
        return; // no SVG loader here: nothing to warm
    gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(kTinySvg), sizeof kTinySvg - 1, nullptr);
    gdk_pixbuf_loader_close(loader, nullptr);
    g_object_unref(loader);
}

} // namespace

void CImageLoaderWarmUp::Start()
{
    if (m_started)
        return;
    m_started = true;
    try {
        m_thread = std::thread(LoadOnce);
    } catch (const std::system_error&) {
        // No thread to spare: the toolkit loads it when it needs it.
    }
}

void CImageLoaderWarmUp::Finish()
{
    if (m_thread.joinable())
        m_thread.join();
}

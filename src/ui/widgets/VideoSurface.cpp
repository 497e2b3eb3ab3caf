#include "widgets/VideoSurface.h"

#include <xcb/xcb.h>

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// The black pixel of the screen whose root holds `window`.
uint32_t BlackPixelFor(xcb_connection_t* connection, xcb_window_t window) {
    const std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr),
        &std::free);
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection)); screens.rem > 0;
         xcb_screen_next(&screens)) {
        if (geometry == nullptr || screens.data->root == geometry->root) {
            return screens.data->black_pixel;
        }
    }
    return 0;
}

}  // namespace

VideoSurface::VideoSurface(QWidget& host) : QObject(&host), host_(host) {
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        connection_ = x11->connection();
    }
    host_.installEventFilter(this);
}

uint32_t VideoSurface::Width() const {
    return static_cast<uint32_t>(
        std::max(1L, std::lround(host_.width() * host_.devicePixelRatioF())));
}

uint32_t VideoSurface::Height() const {
    return static_cast<uint32_t>(
        std::max(1L, std::lround(host_.height() * host_.devicePixelRatioF())));
}

// The old windows, if any, went with the host's old native window.
uint32_t VideoSurface::OutputWindow() {
    const auto host = static_cast<uint32_t>(host_.winId());
    if (connection_ == nullptr) return host;
    if (host == hostWindow_ && output_ != 0) return output_;
    hostWindow_ = host;
    output_ = xcb_generate_id(connection_);
    const uint32_t black = BlackPixelFor(connection_, host);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, output_, host, 0, 0, Width(), Height(), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL,
                      &black);
    // Made after the output, so it lies above it. It asks for no events: what the pointer
    // does over it goes on to the host.
    shield_ = xcb_generate_id(connection_);
    xcb_create_window(connection_, 0, shield_, host, 0, 0, Width(), Height(), 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_map_window(connection_, output_);
    ShowShield();
    return output_;
}

void VideoSurface::LetPointerThrough(bool through) {
    through_ = through;
    ShowShield();
}

void VideoSurface::ShowShield() {
    if (connection_ == nullptr || shield_ == 0) return;
    if (through_) {
        xcb_unmap_window(connection_, shield_);
    } else {
        xcb_map_window(connection_, shield_);
    }
    xcb_flush(connection_);
}

bool VideoSurface::eventFilter(QObject* watched, QEvent* e) {
    if (watched == &host_ && e->type() == QEvent::Resize && connection_ != nullptr &&
        output_ != 0 && static_cast<uint32_t>(host_.winId()) == hostWindow_) {
        const uint32_t size[] = {Width(), Height()};
        for (const uint32_t window : {output_, shield_}) {
            xcb_configure_window(connection_, window,
                                 XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
        }
        xcb_flush(connection_);
    }
    return false;
}

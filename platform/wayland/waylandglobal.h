// SPDX-License-Identifier: MIT
#pragma once

// Only where the Wayland client library and Qt's platform headers were found.
#include <wayland-client.h>

#include <QGuiApplication>
#include <qpa/qplatformnativeinterface.h>

#include <algorithm>
#include <cstring>

namespace waylandglobal {

inline QPlatformNativeInterface *native()
{
    return qGuiApp ? QGuiApplication::platformNativeInterface() : nullptr;
}

struct Bound {
    wl_display *display = nullptr;
    wl_event_queue *queue = nullptr;
    void *proxy = nullptr; // none when the compositor does not offer it
    uint32_t version = 0;
};

// Binds the compositor's `interface`, at most at `newest` and not below
// `oldest`, on an event queue of our own, read when the caller waits on it: a
// roundtrip on Qt's queue would run Qt's Wayland events from inside this call.
inline Bound bind(const wl_interface &interface, uint32_t oldest, uint32_t newest)
{
    Bound bound;
    bound.display =
        native() ? static_cast<wl_display *>(native()->nativeResourceForIntegration("wl_display"))
                 : nullptr;
    if (bound.display == nullptr)
        return {};
    bound.queue = wl_display_create_queue(bound.display);
    auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(bound.display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), bound.queue);
    wl_registry *registry = wl_display_get_registry(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    struct Found {
        const char *name;
        uint32_t global = 0; // the registry numbers its globals from 1
        uint32_t version = 0;
    } found{interface.name};
    static const wl_registry_listener listener{
        [](void *data, wl_registry *, uint32_t global, const char *name, uint32_t version) {
            auto *wanted = static_cast<Found *>(data);
            if (std::strcmp(name, wanted->name) == 0) {
                wanted->global = global;
                wanted->version = version;
            }
        },
        [](void *, wl_registry *, uint32_t) {}};
    wl_registry_add_listener(registry, &listener, &found);
    wl_display_roundtrip_queue(bound.display, bound.queue);
    if (found.global != 0 && found.version >= oldest) {
        bound.version = std::min(found.version, newest);
        bound.proxy = wl_registry_bind(registry, found.global, &interface, bound.version);
    }
    wl_registry_destroy(registry);
    return bound;
}

} // namespace waylandglobal

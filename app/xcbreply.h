// SPDX-License-Identifier: MIT
#pragma once

// Only where xcb was found (STASHLET_HAVE_XCB).
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace xcbreply {

// xcb hands its replies over to be released with free().
struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

// `create`: make the atom if no client has yet, for a name whose owner may
// only come later.
inline xcb_atom_t atom(xcb_connection_t *connection, const char *name, bool create = false)
{
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, create ? 0 : 1, uint16_t(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace xcbreply

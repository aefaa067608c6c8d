// Owning handles for xcb: a connection, and the replies xcb hands over to be
// freed with free().
#pragma once

#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace zed {

struct XcbDisconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using XcbConnectionPtr = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

struct XcbFreeReply {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, XcbFreeReply>;

} // namespace zed

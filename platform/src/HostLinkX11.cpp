#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <xcb/xcb.h>

#include "kivo/platform/Platform.h"

namespace kivo::platform {

namespace {

struct XcbConnection {
    xcb_connection_t* Connection = nullptr;
    XcbConnection() : Connection(xcb_connect(nullptr, nullptr)) {}
    ~XcbConnection() {
        if (Connection) xcb_disconnect(Connection);
    }
    bool Ok() const { return Connection && !xcb_connection_has_error(Connection); }
};

// The path goes through a POSIX shared memory object, the X11 message only says "look now".
// The object is kept open until the program ends, so that a host handling the message can
// still open it by name.
class X11HostLink final : public HostLink {
public:
    ~X11HostLink() override {
        if (SharedFd >= 0) close(SharedFd);
    }

    bool Notify(uint64_t hostWindow, const QString& savedPath) override {
        if (hostWindow == 0 || hostWindow > 0xFFFFFFFFu) return false;
        if (!WritePath(savedPath.toUtf8())) return false;
        return SendMessage(xcb_window_t(hostWindow));
    }

private:
    int SharedFd = -1;

    bool WritePath(const QByteArray& path) {
        if (SharedFd < 0) {
            SharedFd = shm_open(HostSharedMemoryName, O_CREAT | O_RDWR, 0600);
            if (SharedFd < 0) return false;
        }
        size_t wanted = std::max(HostSharedMemoryMinSize, size_t(path.size()) + 1);
        struct stat st {};
        if (fstat(SharedFd, &st) != 0) return false;
        size_t size = size_t(st.st_size);
        if (size < wanted) {
            if (ftruncate(SharedFd, off_t(wanted)) != 0) return false;
            size = wanted;
        }
        void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, SharedFd, 0);
        if (view == MAP_FAILED) return false;
        std::memset(view, 0, size);
        std::memcpy(view, path.constData(), size_t(path.size()));
        munmap(view, size);
        return true;
    }

    static bool SendMessage(xcb_window_t window) {
        XcbConnection x;
        if (!x.Ok()) return false;
        xcb_intern_atom_cookie_t atomCookie =
            xcb_intern_atom(x.Connection, 0, uint16_t(std::strlen(HostMessageName)), HostMessageName);
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
            xcb_intern_atom_reply(x.Connection, atomCookie, nullptr), &std::free);
        if (!atom) return false;

        // A window id that names no window is refused here instead of raising an error later.
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
            xcb_get_geometry_reply(x.Connection, xcb_get_geometry(x.Connection, window), nullptr),
            &std::free);
        if (!geometry) return false;

        // 32 bytes, the size of every X event; both parameters are 0.
        char buffer[32] = {};
        auto* event = reinterpret_cast<xcb_client_message_event_t*>(buffer);
        event->response_type = XCB_CLIENT_MESSAGE;
        event->format = 32;
        event->window = window;
        event->type = atom->atom;
        xcb_void_cookie_t cookie =
            xcb_send_event_checked(x.Connection, 0, window, XCB_EVENT_MASK_NO_EVENT, buffer);
        std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(
            xcb_request_check(x.Connection, cookie), &std::free);
        return !error;
    }
};

}  // namespace

HostLink& RealHostLink() {
    static X11HostLink instance;
    return instance;
}

}  // namespace kivo::platform

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include <QtTest>
#include <xcb/xcb.h>

#include "kivo/platform/Platform.h"

using namespace kivo::platform;

namespace {

// A host as another program would be one: its own connection, its own window, and the path read
// from the shared memory object while it handles the message.
struct Host {
    xcb_connection_t* Connection = xcb_connect(nullptr, nullptr);
    xcb_window_t Window = 0;
    xcb_atom_t Message = 0;

    Host() {
        if (xcb_connection_has_error(Connection)) return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(Connection)).data;
        Window = xcb_generate_id(Connection);
        xcb_create_window(Connection, XCB_COPY_FROM_PARENT, Window, screen->root, 0, 0, 40, 30, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        auto* reply = xcb_intern_atom_reply(
            Connection, xcb_intern_atom(Connection, 0, uint16_t(strlen(HostMessageName)), HostMessageName),
            nullptr);
        Message = reply ? reply->atom : 0;
        free(reply);
        xcb_flush(Connection);
    }
    ~Host() { xcb_disconnect(Connection); }
    bool Ok() const { return !xcb_connection_has_error(Connection) && Window != 0; }

    // Waits for the notification and returns the path then in the shared memory, or "<none>".
    QByteArray WaitForPath() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            xcb_generic_event_t* event = xcb_poll_for_event(Connection);
            if (!event) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            bool ours = (event->response_type & 0x7F) == XCB_CLIENT_MESSAGE &&
                        reinterpret_cast<xcb_client_message_event_t*>(event)->type == Message;
            bool zeros = ours && reinterpret_cast<xcb_client_message_event_t*>(event)->data.data32[0] == 0 &&
                         reinterpret_cast<xcb_client_message_event_t*>(event)->data.data32[1] == 0;
            free(event);
            if (ours) return zeros ? ReadShared() : QByteArray("<nonzero parameters>");
        }
        return "<none>";
    }

    static QByteArray ReadShared() {
        int fd = shm_open(HostSharedMemoryName, O_RDONLY, 0);
        if (fd < 0) return "<no shared memory>";
        struct stat st {};
        fstat(fd, &st);
        QByteArray path;
        if (st.st_size >= off_t(HostSharedMemoryMinSize)) {
            void* view = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
            if (view != MAP_FAILED) {
                path = QByteArray(static_cast<const char*>(view), int(strnlen(static_cast<const char*>(view), size_t(st.st_size))));
                munmap(view, size_t(st.st_size));
            }
        } else {
            path = "<too small>";
        }
        close(fd);
        return path;
    }
};

}  // namespace

class HostLinkXvfbTest : public QObject {
    Q_OBJECT

    // Xvfb resets itself when its last client leaves, refusing connections meanwhile; this one
    // stays for the whole test.
    std::unique_ptr<Host> KeepServer;

private slots:
    void initTestCase() {
        KeepServer = std::make_unique<Host>();
        if (!KeepServer->Ok()) QSKIP("no X server (run under xvfb-run)");
    }

    void HostReadsTheSavedPath_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("korean name") << QString("/home/user/사진/여름 바다.jpg");
        // Longer than the 260 bytes a Windows path could hold: the object grows to fit.
        QTest::newRow("long path") << "/tmp/" + QString(300, 'a') + ".png";
        QTest::newRow("short after long") << QString("/a.bmp");
    }
    void HostReadsTheSavedPath() {
        QFETCH(QString, path);
        Host host;
        QVERIFY(host.Ok());
        QVERIFY(RealHostLink().Notify(host.Window, path));
        QCOMPARE(host.WaitForPath(), path.toUtf8());
    }

    void WindowThatDoesNotExistIsANoOp() {
        Host host;
        // An id from our own range that was never created.
        xcb_window_t unused = xcb_generate_id(host.Connection);
        QVERIFY(!RealHostLink().Notify(unused, "/tmp/x.jpg"));
        QVERIFY(!RealHostLink().Notify(0, "/tmp/x.jpg"));
    }
};

QTEST_GUILESS_MAIN(HostLinkXvfbTest)
#include "HostLinkXvfbTest.moc"

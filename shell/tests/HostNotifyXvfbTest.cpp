#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <QTemporaryDir>
#include <QtTest>
#include <xcb/xcb.h>

#include "FrmMain.h"
#include "kivo/platform/Fakes.h"

using namespace kivo::platform;

namespace {

// The program that started the editor: a small window of its own on its own connection, which
// reads the saved path from the shared memory object when the message arrives.
struct HostWindow {
    xcb_connection_t* Connection = xcb_connect(nullptr, nullptr);
    xcb_window_t Window = 0;
    xcb_atom_t Message = 0;

    HostWindow() {
        if (xcb_connection_has_error(Connection)) return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(Connection)).data;
        Window = xcb_generate_id(Connection);
        xcb_create_window(Connection, XCB_COPY_FROM_PARENT, Window, screen->root, 0, 0, 60, 40, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(Connection, Window);
        auto* reply = xcb_intern_atom_reply(
            Connection,
            xcb_intern_atom(Connection, 0, uint16_t(strlen(HostMessageName)), HostMessageName),
            nullptr);
        Message = reply ? reply->atom : 0;
        free(reply);
        xcb_flush(Connection);
    }
    ~HostWindow() { xcb_disconnect(Connection); }
    bool Ok() const { return !xcb_connection_has_error(Connection) && Window && Message; }

    QByteArray WaitForSavedPath() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            xcb_generic_event_t* event = xcb_poll_for_event(Connection);
            if (!event) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            bool ours = (event->response_type & 0x7F) == XCB_CLIENT_MESSAGE &&
                        reinterpret_cast<xcb_client_message_event_t*>(event)->type == Message;
            free(event);
            if (ours) return ReadShared();
        }
        return "<no message>";
    }

    static QByteArray ReadShared() {
        int fd = shm_open(HostSharedMemoryName, O_RDONLY, 0);
        if (fd < 0) return "<no shared memory>";
        struct stat st {};
        fstat(fd, &st);
        QByteArray path;
        void* view = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
        if (view != MAP_FAILED) {
            path = QByteArray(static_cast<const char*>(view));
            munmap(view, size_t(st.st_size));
        }
        close(fd);
        return path;
    }
};

}  // namespace

class HostNotifyXvfbTest : public QObject {
    Q_OBJECT

private slots:
    void HostReadsSavedPath() {
        HostWindow host;
        if (!host.Ok()) QSKIP("no X server (run under xvfb-run)");
        FakePlatform fakes;
        ScopedServices realHost(Services{.Host = &RealHostLink()});
        QTemporaryDir dir;
        TMainForm form({"kivoEditor", QString::number(host.Window), "/no/such/start.bmp"});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        BitmapHandle picture;
        L_CreateBitmap(&picture, 1, 64, 48, 24);
        L_FillBitmap(&picture, RGBColor(10, 200, 30));
        form.WorkBitmap = picture;

        QString target = dir.filePath("저장된 사진.bmp");
        fakes.Pickers.SaveAnswers.push_back({true, target, 2});
        form.actFileSaveExecute();
        QCOMPARE(host.WaitForSavedPath(), target.toUtf8());
        QVERIFY(QFileInfo::exists(target));
    }

    void NoHostOnCommandLineSendsNothing() {
        HostWindow host;
        if (!host.Ok()) QSKIP("no X server (run under xvfb-run)");
        FakePlatform fakes;
        ScopedServices realHost(Services{.Host = &RealHostLink()});
        QTemporaryDir dir;
        TMainForm form({"kivoEditor", QString::number(host.Window)});  // one argument only
        BitmapHandle picture;
        L_CreateBitmap(&picture, 1, 8, 8, 24);
        form.WorkBitmap = picture;
        fakes.Pickers.SaveAnswers.push_back({true, dir.filePath("a.bmp"), 2});
        form.actFileSaveExecute();
        QVERIFY(QFileInfo::exists(dir.filePath("a.bmp")));
        QCOMPARE(host.WaitForSavedPath(), QByteArray("<no message>"));
    }
};

QTEST_MAIN(HostNotifyXvfbTest)
#include "HostNotifyXvfbTest.moc"

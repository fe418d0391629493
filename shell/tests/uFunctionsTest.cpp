#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "kivo/platform/Fakes.h"
#include "uFunctions.h"

using namespace kivo::platform;

Q_DECLARE_METATYPE(TRect)

namespace {
TRect R(int l, int t, int r, int b) { return TRect{l, t, r, b}; }
}  // namespace

class uFunctionsTest : public QObject {
    Q_OBJECT

private slots:
    void FormatFileSize_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << "0 Byte";
        QTest::newRow("999") << 999 << "999 Byte";
        QTest::newRow("1000 shows 0 KB") << 1000 << "0 KB";
        QTest::newRow("1024") << 1024 << "1 KB";
        QTest::newRow("999999") << 999999 << "976 KB";
        QTest::newRow("one million") << 1000000 << "1.0 MB";
        QTest::newRow("1.5 MiB") << 1572864 << "1.5 MB";
        QTest::newRow("negative") << -1 << "-0.0 MB";
    }
    void FormatFileSize() {
        QFETCH(int, n);
        QFETCH(QString, text);
        QCOMPARE(::FormatFileSize(n), text);
    }

    void ReplaceAll_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("result");
        QTest::newRow("doubled backslashes collapse once")
            << "C:\\\\photo\\\\a.jpg" << "\\\\" << "\\" << "C:\\photo\\a.jpg";
        QTest::newRow("triple becomes double") << "a\\\\\\b" << "\\\\" << "\\" << "a\\\\b";
        QTest::newRow("empty replacement deletes") << "a-b-c" << "-" << "" << "abc";
        QTest::newRow("inserted text is not rescanned") << "aXa" << "a" << "aa" << "aaXaa";
        QTest::newRow("no occurrence") << "abc" << "z" << "y" << "abc";
        QTest::newRow("empty find") << "abc" << "" << "y" << "abc";
    }
    void ReplaceAll() {
        QFETCH(QString, text);
        QFETCH(QString, find);
        QFETCH(QString, replacement);
        QFETCH(QString, result);
        QCOMPARE(::ReplaceAll(text, find, replacement), result);
    }

    void FitRect_data() {
        QTest::addColumn<TRect>("rect");
        QTest::addColumn<int>("maxW");
        QTest::addColumn<int>("maxH");
        QTest::addColumn<TRect>("fitted");
        // s = 0.495; 148.5 rounds to the even 148.
        QTest::newRow("400x300 into 198x199") << R(0, 0, 400, 300) << 198 << 199 << R(0, 0, 198, 148);
        QTest::newRow("smaller stays") << R(5, 5, 50, 40) << 198 << 199 << R(5, 5, 50, 40);
        QTest::newRow("never enlarges") << R(0, 0, 198, 199) << 198 << 199 << R(0, 0, 198, 199);
        QTest::newRow("offset keeps left and top") << R(10, 20, 510, 270) << 250 << 200
                                                   << R(10, 20, 260, 145);
        QTest::newRow("tall picture") << R(0, 0, 300, 900) << 250 << 200 << R(0, 0, 67, 200);
        QTest::newRow("zero height") << R(0, 0, 500, 0) << 250 << 200 << R(0, 0, 250, 0);
    }
    void FitRect() {
        QFETCH(TRect, rect);
        QFETCH(int, maxW);
        QFETCH(int, maxH);
        QFETCH(TRect, fitted);
        ::FitRect(rect, maxW, maxH);
        QCOMPARE(rect, fitted);
    }

    void CenterRect_data() {
        QTest::addColumn<TRect>("rect");
        QTest::addColumn<TRect>("bounds");
        QTest::addColumn<TRect>("centred");
        QTest::newRow("odd slack truncates") << R(0, 0, 198, 148) << R(0, 0, 250, 200)
                                             << R(26, 26, 224, 174);
        QTest::newRow("bounds offset") << R(3, 3, 13, 13) << R(100, 50, 121, 71)
                                       << R(105, 55, 115, 65);
        // (10 − 15) div 2 is −2, truncated toward zero.
        QTest::newRow("larger than bounds") << R(0, 0, 15, 15) << R(0, 0, 10, 10)
                                            << R(-2, -2, 13, 13);
        QTest::newRow("reversed rect keeps its size") << R(20, 20, 0, 0) << R(0, 0, 40, 40)
                                                      << R(10, 10, 30, 30);
    }
    void CenterRect() {
        QFETCH(TRect, rect);
        QFETCH(TRect, bounds);
        QFETCH(TRect, centred);
        ::CenterRect(rect, bounds);
        QCOMPARE(rect, centred);
    }

    void HandleRectsSitOnCornersAndMiddles() {
        TRect band = R(100, 50, 20, 10);  // reversed: normalised to (20, 10, 100, 50)
        QCOMPARE(HandleRect(band, 1), R(15, 5, 25, 15));
        QCOMPARE(HandleRect(band, 2), R(55, 5, 65, 15));
        QCOMPARE(HandleRect(band, 4), R(95, 25, 105, 35));
        QCOMPARE(HandleRect(band, 5), R(95, 45, 105, 55));
        QCOMPARE(HandleRect(band, 7), R(15, 45, 25, 55));
        QCOMPARE(HandleRect(band, 8), R(15, 25, 25, 35));
    }

    void HitTestHandles_data() {
        QTest::addColumn<TRect>("rect");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("handle");
        QTest::newRow("corner") << R(20, 10, 100, 50) << 21 << 11 << 1;
        QTest::newRow("right and bottom edges outside") << R(20, 10, 100, 50) << 25 << 11 << 0;
        QTest::newRow("left and top edges inside") << R(20, 10, 100, 50) << 95 << 45 << 5;
        QTest::newRow("bottom middle") << R(20, 10, 100, 50) << 60 << 54 << 6;
        QTest::newRow("inside, no handle") << R(20, 10, 100, 50) << 60 << 30 << 0;
        // A 6-pixel band: the squares of 1, 2 and 3 overlap; the lowest number wins.
        QTest::newRow("overlap prefers 1") << R(0, 0, 6, 6) << 4 << 1 << 1;
        QTest::newRow("past 1's right edge gives 2") << R(0, 0, 6, 6) << 5 << 1 << 2;
        QTest::newRow("overlap of 4, 5 and 6 prefers 4") << R(0, 0, 6, 6) << 7 << 6 << 4;
    }
    void HitTestHandles() {
        QFETCH(TRect, rect);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, handle);
        QCOMPARE(::HitTestHandles(rect, TPoint{x, y}), handle);
    }

    void MoveRectEdges() {
        const TRect start = R(10, 20, 30, 40);
        const TRect moved[9] = {start,          R(13, 25, 30, 40), R(10, 25, 30, 40),
                                R(10, 25, 33, 40), R(10, 20, 33, 40), R(10, 20, 33, 45),
                                R(10, 20, 30, 45), R(13, 20, 30, 45), R(13, 20, 30, 40)};
        for (int handle = 0; handle <= 9; ++handle) {
            TRect r = start;
            ::MoveRectEdges(r, TPoint{3, 5}, handle);
            QCOMPARE(r, handle <= 8 ? moved[handle] : start);
        }
    }

    void MakePictureFileNameHasNoLeadingZeros() {
        FakePlatform fakes;
        QCOMPARE(::MakePictureFileName(), QString("PIC2004210_95345.JPG"));
        fakes.Clock.Time = QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999));
        QCOMPARE(::MakePictureFileName(), QString("PIC20261231_235959999.JPG"));
    }

    void GetFileSizeBytes() {
        QTemporaryDir dir;
        auto write = [&](const QString& name, int bytes) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(bytes, 'x'));
        };
        write("b.jpg", 20);
        write("A.JPG", 10);
        QCOMPARE(::GetFileSizeBytes(dir.filePath("b.jpg")), 20);
        // Wildcards match ignoring case; the first name in order wins.
        QCOMPARE(::GetFileSizeBytes(dir.filePath("*.jpg")), 10);
        QCOMPARE(::GetFileSizeBytes(dir.filePath("?.JpG")), 10);
        QCOMPARE(::GetFileSizeBytes(dir.filePath("missing.png")), -1);
        QCOMPARE(::GetFileSizeBytes(dir.filePath("*.png")), -1);
        QCOMPARE(::GetFileSizeBytes(QString()), -1);
        // A relative path is taken from the current folder.
        QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QCOMPARE(::GetFileSizeBytes("b.jpg"), 20);
        QDir::setCurrent(old);
    }

    void Folders() {
        QTemporaryDir data;
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        qunsetenv("KIVO_SYSTEM_DIR");
        qunsetenv("KIVO_PROGRAM_FILES");
        QString system = ::SystemFolderPath();
        QCOMPARE(system, data.path() + "/kivo/system/");
        struct stat st {};
        QCOMPARE(stat(QFile::encodeName(system).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
        QCOMPARE(::ProgramFilesPath(), data.path() + "/");
        QCOMPARE(::ContentFolderPath(), data.path() + "/KIVO Image Editor/");

        qputenv("KIVO_SYSTEM_DIR", (data.path() + "/own").toUtf8());
        qputenv("KIVO_PROGRAM_FILES", (data.path() + "/programs/").toUtf8());
        QCOMPARE(::SystemFolderPath(), data.path() + "/own/");
        QVERIFY(QFileInfo(data.path() + "/own").isDir());
        QCOMPARE(::ProgramFilesPath(), data.path() + "/programs/");

        // A file in the way: the folder cannot be made, and the result is empty.
        QFile blocker(data.path() + "/blocked");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("KIVO_SYSTEM_DIR", (data.path() + "/blocked/system").toUtf8());
        QCOMPARE(::SystemFolderPath(), QString());
        qunsetenv("KIVO_SYSTEM_DIR");
        qunsetenv("KIVO_PROGRAM_FILES");
        qunsetenv("XDG_DATA_HOME");
    }

    void WebPagesGoThroughTheDesktop() {
        FakePlatform fakes;
        qunsetenv("KIVO_WEB_BASE");
        QCOMPARE(::WebServerBase(), QString("http://www.kivoalbum.example"));
        qputenv("KIVO_WEB_BASE", "http://127.0.0.1:8080/");
        QCOMPARE(::WebServerBase(), QString("http://127.0.0.1:8080"));
        fakes.Registry.WriteString(HKEY_LOCAL_MACHINE, "SOFTWARE/MORVANE", "WebBase",
                                   "http://maker.example", nullptr);
        QCOMPARE(::WebServerBase(), QString("http://maker.example"));
        qunsetenv("KIVO_WEB_BASE");
        ::OpenWebPage("http://maker.example/QXMobileX.asp");
        QCOMPARE(fakes.Desktop.Urls, QStringList{"http://maker.example/QXMobileX.asp"});
    }

    void RandomSequenceFromSeedZero() {
        RandSeed = 0;
        const int expected[] = {0, 3, 86, 20, 27};
        for (int e : expected) QCOMPARE(::Random(100), e);
        QCOMPARE(RandSeed, 1172187917u);
        RandSeed = 0;
    }
};

QTEST_GUILESS_MAIN(uFunctionsTest)
#include "uFunctionsTest.moc"

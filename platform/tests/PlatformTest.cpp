#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "kivo/platform/Fakes.h"
#include "kivo/platform/Platform.h"

using namespace kivo::platform;

class PlatformTest : public QObject {
    Q_OBJECT

private slots:
    void NameFiltersAreCaseInsensitive_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("trailing separators") << "Jpeg Files (*.jpg)|*.jpg;|Windows & OS2 (*.bmp)|*.bmp;|"
            << QStringList{"Jpeg Files (*.jpg) (*.[jJ][pP][gG])",
                           "Windows & OS2 (*.bmp) (*.[bB][mM][pP])"};
        QTest::newRow("several patterns, no trailing bar")
            << "Pcx files (*.pcx;*.dcx)|*.pcx;*.dcx"
            << QStringList{"Pcx files (*.pcx;*.dcx) (*.[pP][cC][xX] *.[dD][cC][xX])"};
        QTest::newRow("everything") << "All|*.*|" << QStringList{"All (*.*)"};
        QTest::newRow("description without patterns is dropped") << "Lonely|" << QStringList{};
    }
    void NameFiltersAreCaseInsensitive() {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(QtNameFilters(filter), expected);
    }

    void NameFilterMatchesUpperCaseNames() {
        QStringList filters = QtNameFilters("Jpeg (*.jpg;*.jff)|*.jpg;*.jff;|");
        QCOMPARE(filters.size(), 1);
        QString patterns = filters[0].section('(', -1).chopped(1);
        QVERIFY(QDir::match(patterns, "PHOTO.JPG"));
        QVERIFY(QDir::match(patterns, "photo.Jff"));
        QVERIFY(!QDir::match(patterns, "photo.png"));
    }

    void RegistryWritesIniGroupPerKey() {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        Registry& registry = RealRegistry();
        QString error;
        QVERIFY(registry.WriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\MORVANE", "Kivo Image Editor",
                                     "/opt/kivo/kivoEditor", &error));
        QCOMPARE(RegistryFilePath(), config.path() + "/kivo/registry.ini");
        // Read back by another reader of the file, not by the registry itself.
        QSettings ini(config.path() + "/kivo/registry.ini", QSettings::IniFormat);
        QCOMPARE(ini.value("HKEY_LOCAL_MACHINE/SOFTWARE/MORVANE/Kivo Image Editor").toString(),
                 QString("/opt/kivo/kivoEditor"));
        // Either separator names the same key.
        QCOMPARE(registry.ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE/MORVANE", "Kivo Image Editor"),
                 std::optional<QString>("/opt/kivo/kivoEditor"));
        QCOMPARE(registry.ReadString(HKEY_CURRENT_USER, "SOFTWARE/MORVANE", "Kivo Image Editor"),
                 std::nullopt);
        QVERIFY(registry.DeleteValue(HKEY_LOCAL_MACHINE, "SOFTWARE/MORVANE", "Kivo Image Editor"));
        QCOMPARE(registry.ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE/MORVANE", "Kivo Image Editor"),
                 std::nullopt);
        qunsetenv("XDG_CONFIG_HOME");
    }

    void RegistryWriteFailureIsReported() {
        QTemporaryDir config;
        // A file where the folder should be: nothing can be written there, even by root.
        QFile blocker(config.path() + "/kivo");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        QString error;
        QVERIFY(!RealRegistry().WriteString(HKEY_LOCAL_MACHINE, "SOFTWARE/MORVANE", "Kivo Image Editor",
                                            "x", &error));
        QVERIFY(error.contains("Kivo Image Editor"));
        qunsetenv("XDG_CONFIG_HOME");
    }

    void ScopedServicesRestore() {
        Services before = Current();
        {
            FakePlatform fakes;
            QCOMPARE(Current().Messages, static_cast<MessageBoxes*>(&fakes.Messages));
            QCOMPARE(Current().Clock, static_cast<Clock*>(&fakes.Clock));
            {
                // A partial installation keeps the other services in force.
                RecordingDesktop desktop;
                ScopedServices inner(Services{.Desktop = &desktop});
                QCOMPARE(Current().Desktop, static_cast<Desktop*>(&desktop));
                QCOMPARE(Current().Messages, static_cast<MessageBoxes*>(&fakes.Messages));
            }
            QCOMPARE(Current().Desktop, static_cast<Desktop*>(&fakes.Desktop));
        }
        QCOMPARE(Current().Messages, before.Messages);
        QCOMPARE(Current().Host, before.Host);
    }
};

QTEST_MAIN(PlatformTest)
#include "PlatformTest.moc"

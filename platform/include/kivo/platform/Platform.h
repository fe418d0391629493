#pragma once

// Everything the editor asks of the desktop or of the user goes through these interfaces, so that
// tests can install scripted fakes (Fakes.h) and read back what was asked. The program uses the
// real implementations, which Current() creates on first use.

#include <cstdint>
#include <optional>

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QString>
#include <QStringList>

class QWidget;

namespace kivo::platform {

enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A modal message box; closing it without a button gives Cancel (No for Yes/No boxes).
    virtual Answer Show(QWidget* parent, const QString& text, const QString& caption, Icon icon,
                        Buttons buttons) = 0;
};

// Filters are written as the program's dialogs always wrote them:
// "Description|*.a;*.b|Description|*.c|", and the filter index counts from 1.
struct FileRequest {
    QString Title;
    QString Filter;
    int FilterIndex = 1;
    QString InitialDir;
    QString FileName;
};

struct FileAnswer {
    bool Accepted = false;
    QString FileName;
    int FilterIndex = 1;
};

class Pickers {
public:
    virtual ~Pickers() = default;
    virtual FileAnswer OpenFile(QWidget* parent, const FileRequest& request) = 0;
    // Never asks before overwriting an existing file.
    virtual FileAnswer SaveFile(QWidget* parent, const FileRequest& request) = 0;
    // Empty when cancelled.
    virtual QString Folder(QWidget* parent, const QString& title, const QString& start) = 0;
    virtual std::optional<QColor> Colour(QWidget* parent, const QColor& initial) = 0;
    virtual std::optional<QFont> Font(QWidget* parent, const QFont& initial) = 0;
    virtual std::optional<QString> InputBox(QWidget* parent, const QString& caption,
                                            const QString& prompt, const QString& value) = 0;
};

inline const QString HKEY_LOCAL_MACHINE = QStringLiteral("HKEY_LOCAL_MACHINE");
inline const QString HKEY_CURRENT_USER = QStringLiteral("HKEY_CURRENT_USER");

// Keys are paths below a root ("SOFTWARE/MORVANE"; backslashes are accepted as separators).
class Registry {
public:
    virtual ~Registry() = default;
    // Creates the key when missing. On failure returns false and, when error is given, the
    // text a user is shown.
    virtual bool WriteString(const QString& root, const QString& key, const QString& name,
                             const QString& value, QString* error = nullptr) = 0;
    virtual std::optional<QString> ReadString(const QString& root, const QString& key,
                                              const QString& name) = 0;
    virtual bool DeleteValue(const QString& root, const QString& key, const QString& name) = 0;
};

class Desktop {
public:
    virtual ~Desktop() = default;
    virtual bool OpenUrl(const QString& url) = 0;
    virtual bool OpenFolder(const QString& path) = 0;
    virtual bool StartProgram(const QString& program, const QStringList& arguments) = 0;
    // Hands a message with one attachment to the user's mail program; true when it took it.
    virtual bool SendMail(const QString& subject, const QString& attachment) = 0;
};

// Tells the program that started the editor (its window named on the command line) the path
// of a picture just saved.
class HostLink {
public:
    virtual ~HostLink() = default;
    // False when the window does not exist or the message could not be sent.
    virtual bool Notify(uint64_t hostWindow, const QString& savedPath) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime Now() = 0;
    // Milliseconds from an arbitrary start, never going back.
    virtual int64_t Ticks() = 0;
};

struct Services {
    ::kivo::platform::MessageBoxes* Messages = nullptr;
    ::kivo::platform::Pickers* Pickers = nullptr;
    ::kivo::platform::Registry* Registry = nullptr;
    ::kivo::platform::Desktop* Desktop = nullptr;
    ::kivo::platform::HostLink* Host = nullptr;
    ::kivo::platform::Clock* Clock = nullptr;
};

// The services in force. Members left null by an installer fall back to the real ones.
Services& Current();

// Installs services for its lifetime and restores the previous ones afterwards (tests).
class ScopedServices {
public:
    explicit ScopedServices(const Services& services);
    ~ScopedServices();
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

private:
    Services Previous;
};

// The real services, for callers that need one of them explicitly.
MessageBoxes& RealMessageBoxes();
Pickers& RealPickers();
Registry& RealRegistry();
Desktop& RealDesktop();
HostLink& RealHostLink();
Clock& RealClock();

// The file holding the registry: $XDG_CONFIG_HOME/kivo/registry.ini.
QString RegistryFilePath();

// "Desc|*.a;*.b|…" → Qt name filters "Desc (*.[aA] *.[bB])", one per pair. Patterns become
// case-insensitive because the pictures they were written for came from a file system that
// ignores case.
QStringList QtNameFilters(const QString& windowsFilter);

// The shared memory object and the X11 message type of the host link.
inline constexpr const char* HostSharedMemoryName = "/kivoImageEditor";
inline constexpr const char* HostMessageName = "KivoImageEditor.Exe";
inline constexpr size_t HostSharedMemoryMinSize = 260;

}  // namespace kivo::platform

#pragma once

// Scripted stand-ins for the platform services: each records what it was asked and answers from
// a script, so tests can drive commands that ask the user or the desktop and check the asking.

#include <deque>
#include <map>
#include <vector>

#include "kivo/platform/Platform.h"

namespace kivo::platform {

class ScriptedMessageBoxes final : public MessageBoxes {
public:
    struct Shown {
        QString Text;
        QString Caption;
        Icon IconShown;
        Buttons ButtonsShown;
    };
    std::vector<Shown> Asked;
    std::deque<Answer> Answers;  // taken in order; when empty the box answers No / Ok

    Answer Show(QWidget*, const QString& text, const QString& caption, Icon icon,
                Buttons buttons) override {
        Asked.push_back({text, caption, icon, buttons});
        if (!Answers.empty()) {
            Answer a = Answers.front();
            Answers.pop_front();
            return a;
        }
        return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Answer::No
                                                                            : Answer::Ok;
    }
};

class ScriptedPickers final : public Pickers {
public:
    std::vector<FileRequest> OpenRequests;
    std::vector<FileRequest> SaveRequests;
    std::deque<FileAnswer> OpenAnswers;  // when empty: cancelled
    std::deque<FileAnswer> SaveAnswers;
    std::deque<QString> Folders;
    std::deque<std::optional<QColor>> Colours;
    std::deque<std::optional<QFont>> Fonts;
    std::deque<std::optional<QString>> Inputs;

    FileAnswer OpenFile(QWidget*, const FileRequest& request) override {
        OpenRequests.push_back(request);
        return Take(OpenAnswers, FileAnswer{});
    }
    FileAnswer SaveFile(QWidget*, const FileRequest& request) override {
        SaveRequests.push_back(request);
        return Take(SaveAnswers, FileAnswer{});
    }
    QString Folder(QWidget*, const QString&, const QString&) override {
        return Take(Folders, QString());
    }
    std::optional<QColor> Colour(QWidget*, const QColor&) override {
        return Take(Colours, std::optional<QColor>());
    }
    std::optional<QFont> Font(QWidget*, const QFont&) override {
        return Take(Fonts, std::optional<QFont>());
    }
    std::optional<QString> InputBox(QWidget*, const QString&, const QString&,
                                    const QString&) override {
        return Take(Inputs, std::optional<QString>());
    }

private:
    template <class T>
    static T Take(std::deque<T>& queue, T fallback) {
        if (!queue.empty()) {
            fallback = std::move(queue.front());
            queue.pop_front();
        }
        return fallback;
    }
};

class MemoryRegistry final : public Registry {
public:
    // root/key/name → value, keys with "/" separators.
    std::map<QString, QString> Values;
    bool FailWrites = false;

    static QString Path(const QString& root, const QString& key, const QString& name) {
        return root + '/' + QString(key).replace('\\', '/') + '/' + name;
    }
    bool WriteString(const QString& root, const QString& key, const QString& name,
                     const QString& value, QString* error) override {
        if (FailWrites) {
            if (error) *error = "Failed to set data for '" + name + "'";
            return false;
        }
        Values[Path(root, key, name)] = value;
        return true;
    }
    std::optional<QString> ReadString(const QString& root, const QString& key,
                                      const QString& name) override {
        auto it = Values.find(Path(root, key, name));
        if (it == Values.end()) return std::nullopt;
        return it->second;
    }
    bool DeleteValue(const QString& root, const QString& key, const QString& name) override {
        return Values.erase(Path(root, key, name)) > 0;
    }
};

class RecordingDesktop final : public Desktop {
public:
    QStringList Urls;
    QStringList Folders;
    std::vector<std::pair<QString, QStringList>> Programs;
    std::vector<std::pair<QString, QString>> Mails;
    bool Result = true;

    bool OpenUrl(const QString& url) override {
        Urls << url;
        return Result;
    }
    bool OpenFolder(const QString& path) override {
        Folders << path;
        return Result;
    }
    bool StartProgram(const QString& program, const QStringList& arguments) override {
        Programs.emplace_back(program, arguments);
        return Result;
    }
    bool SendMail(const QString& subject, const QString& attachment) override {
        Mails.emplace_back(subject, attachment);
        return Result;
    }
};

class RecordingHostLink final : public HostLink {
public:
    std::vector<std::pair<uint64_t, QString>> Notified;
    bool Notify(uint64_t hostWindow, const QString& savedPath) override {
        Notified.emplace_back(hostWindow, savedPath);
        return true;
    }
};

// A clock that stands still unless told; Ticks advances by TickStep at every reading.
class FixedClock final : public Clock {
public:
    QDateTime Time = QDateTime(QDate(2004, 2, 10), QTime(9, 5, 3, 45));
    int64_t TickCount = 1000;
    int64_t TickStep = 0;
    QDateTime Now() override { return Time; }
    int64_t Ticks() override {
        int64_t t = TickCount;
        TickCount += TickStep;
        return t;
    }
};

// All fakes at once, installed for the fixture's lifetime.
struct FakePlatform {
    ScriptedMessageBoxes Messages;
    ScriptedPickers Pickers;
    MemoryRegistry Registry;
    RecordingDesktop Desktop;
    RecordingHostLink Host;
    FixedClock Clock;
    ScopedServices Installed{Services{&Messages, &Pickers, &Registry, &Desktop, &Host, &Clock}};
};

}  // namespace kivo::platform

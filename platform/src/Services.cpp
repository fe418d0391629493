#include <chrono>

#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include "kivo/platform/Platform.h"

namespace kivo::platform {

namespace {

class QtMessageBoxes final : public MessageBoxes {
public:
    Answer Show(QWidget* parent, const QString& text, const QString& caption, Icon icon,
                Buttons buttons) override {
        QMessageBox box(parent);
        box.setWindowTitle(caption);
        box.setText(QString(text).replace("\r\n", "\n"));
        switch (icon) {
        case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
        case Icon::Information: box.setIcon(QMessageBox::Information); break;
        case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
        case Icon::Error: box.setIcon(QMessageBox::Critical); break;
        case Icon::Question: box.setIcon(QMessageBox::Question); break;
        }
        // Korean button texts, as the system's own message boxes showed them.
        auto add = [&](QMessageBox::StandardButton b, const QString& label) {
            box.addButton(b)->setText(label);
        };
        switch (buttons) {
        case Buttons::Ok: add(QMessageBox::Ok, "확인"); break;
        case Buttons::OkCancel:
            add(QMessageBox::Ok, "확인");
            add(QMessageBox::Cancel, "취소");
            break;
        case Buttons::YesNo:
            add(QMessageBox::Yes, "예(&Y)");
            add(QMessageBox::No, "아니요(&N)");
            break;
        case Buttons::YesNoCancel:
            add(QMessageBox::Yes, "예(&Y)");
            add(QMessageBox::No, "아니요(&N)");
            add(QMessageBox::Cancel, "취소");
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Ok: return Answer::Ok;
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        default: return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
        }
    }
};

class QtPickers final : public Pickers {
public:
    FileAnswer OpenFile(QWidget* parent, const FileRequest& request) override {
        return Run(parent, request, QFileDialog::AcceptOpen);
    }
    FileAnswer SaveFile(QWidget* parent, const FileRequest& request) override {
        return Run(parent, request, QFileDialog::AcceptSave);
    }
    QString Folder(QWidget* parent, const QString& title, const QString& start) override {
        return QFileDialog::getExistingDirectory(parent, title, start);
    }
    std::optional<QColor> Colour(QWidget* parent, const QColor& initial) override {
        QColor c = QColorDialog::getColor(initial, parent);
        if (!c.isValid()) return std::nullopt;
        return c;
    }
    std::optional<QFont> Font(QWidget* parent, const QFont& initial) override {
        bool ok = false;
        QFont f = QFontDialog::getFont(&ok, initial, parent);
        if (!ok) return std::nullopt;
        return f;
    }
    std::optional<QString> InputBox(QWidget* parent, const QString& caption, const QString& prompt,
                                    const QString& value) override {
        bool ok = false;
        QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, value, &ok);
        if (!ok) return std::nullopt;
        return text;
    }

private:
    static FileAnswer Run(QWidget* parent, const FileRequest& request,
                          QFileDialog::AcceptMode mode) {
        QFileDialog dialog(parent, request.Title, request.InitialDir);
        dialog.setAcceptMode(mode);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        // The filters carry case-insensitive patterns the user need not read.
        dialog.setOption(QFileDialog::HideNameFilterDetails, true);
        dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
        QStringList filters = QtNameFilters(request.Filter);
        if (!filters.isEmpty()) {
            dialog.setNameFilters(filters);
            int index = std::clamp(request.FilterIndex, 1, int(filters.size())) - 1;
            dialog.selectNameFilter(filters[index]);
        }
        if (!request.FileName.isEmpty()) dialog.selectFile(request.FileName);
        FileAnswer answer;
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return answer;
        answer.Accepted = true;
        answer.FileName = dialog.selectedFiles().first();
        answer.FilterIndex = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
        if (answer.FilterIndex <= 0) answer.FilterIndex = 1;
        return answer;
    }
};

QString GroupFor(const QString& root, const QString& key) {
    QString path = QString(key).replace('\\', '/');
    while (path.startsWith('/')) path.remove(0, 1);
    while (path.endsWith('/')) path.chop(1);
    return path.isEmpty() ? root : root + '/' + path;
}

class IniRegistry final : public Registry {
public:
    bool WriteString(const QString& root, const QString& key, const QString& name,
                     const QString& value, QString* error) override {
        QString file = RegistryFilePath();
        QDir().mkpath(QFileInfo(file).absolutePath());
        QSettings settings(file, QSettings::IniFormat);
        settings.beginGroup(GroupFor(root, key));
        settings.setValue(name, value);
        settings.endGroup();
        settings.sync();
        if (settings.status() == QSettings::NoError) return true;
        if (error)
            *error = QString("Failed to set data for '%1' (%2)").arg(name, QDir::toNativeSeparators(file));
        return false;
    }
    std::optional<QString> ReadString(const QString& root, const QString& key,
                                      const QString& name) override {
        QSettings settings(RegistryFilePath(), QSettings::IniFormat);
        settings.beginGroup(GroupFor(root, key));
        if (!settings.contains(name)) return std::nullopt;
        return settings.value(name).toString();
    }
    bool DeleteValue(const QString& root, const QString& key, const QString& name) override {
        QSettings settings(RegistryFilePath(), QSettings::IniFormat);
        settings.beginGroup(GroupFor(root, key));
        if (!settings.contains(name)) return false;
        settings.remove(name);
        settings.endGroup();
        settings.sync();
        return settings.status() == QSettings::NoError;
    }
};

class QtDesktop final : public Desktop {
public:
    bool OpenUrl(const QString& url) override { return QDesktopServices::openUrl(QUrl(url)); }
    bool OpenFolder(const QString& path) override {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
    bool StartProgram(const QString& program, const QStringList& arguments) override {
        return QProcess::startDetached(program, arguments);
    }
    bool SendMail(const QString& subject, const QString& attachment) override {
        return QProcess::execute("xdg-email", {"--subject", subject, "--attach", attachment}) == 0;
    }
};

class SystemClock final : public Clock {
public:
    QDateTime Now() override { return QDateTime::currentDateTime(); }
    int64_t Ticks() override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
};

Services RealServices() {
    return Services{&RealMessageBoxes(), &RealPickers(), &RealRegistry(),
                    &RealDesktop(),      &RealHostLink(), &RealClock()};
}

}  // namespace

MessageBoxes& RealMessageBoxes() {
    static QtMessageBoxes instance;
    return instance;
}
Pickers& RealPickers() {
    static QtPickers instance;
    return instance;
}
Registry& RealRegistry() {
    static IniRegistry instance;
    return instance;
}
Desktop& RealDesktop() {
    static QtDesktop instance;
    return instance;
}
Clock& RealClock() {
    static SystemClock instance;
    return instance;
}

Services& Current() {
    static Services services = RealServices();
    return services;
}

ScopedServices::ScopedServices(const Services& services) : Previous(Current()) {
    Services& now = Current();
    if (services.Messages) now.Messages = services.Messages;
    if (services.Pickers) now.Pickers = services.Pickers;
    if (services.Registry) now.Registry = services.Registry;
    if (services.Desktop) now.Desktop = services.Desktop;
    if (services.Host) now.Host = services.Host;
    if (services.Clock) now.Clock = services.Clock;
}

ScopedServices::~ScopedServices() { Current() = Previous; }

QString RegistryFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/kivo/registry.ini";
}

QStringList QtNameFilters(const QString& windowsFilter) {
    QStringList parts = windowsFilter.split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QStringList patterns;
        for (const QString& raw : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            QString pattern = raw.trimmed();
            if (pattern.isEmpty()) continue;
            QString insensitive;
            for (QChar c : pattern) {
                if (c.isLetter() && c.toLower() != c.toUpper())
                    insensitive += QString("[%1%2]").arg(c.toLower()).arg(c.toUpper());
                else
                    insensitive += c;
            }
            patterns << insensitive;
        }
        if (patterns.isEmpty()) continue;
        filters << description + " (" + patterns.join(' ') + ")";
    }
    return filters;
}

}  // namespace kivo::platform

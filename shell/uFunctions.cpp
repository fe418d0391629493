#include "uFunctions.h"

#include <sys/stat.h>

#include <climits>
#include <cmath>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include "kivo/platform/Platform.h"

namespace {

QString WithSlash(QString path) {
    if (!path.isEmpty() && !path.endsWith('/')) path += '/';
    return path;
}

QString DataHome() {
    QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty()) return xdg;
    return QDir::homePath() + "/.local/share";
}

}  // namespace

uint32_t RandSeed = 0;

int32_t Random(int32_t n) {
    RandSeed = RandSeed * 134775813u + 1u;
    return int32_t((uint64_t(RandSeed) * uint64_t(uint32_t(n))) >> 32);
}

QString SystemFolderPath() {
    QString folder = qEnvironmentVariable("KIVO_SYSTEM_DIR");
    if (folder.isEmpty()) folder = DataHome() + "/kivo/system";
    folder = WithSlash(QDir::cleanPath(folder));
    QFileInfo info(folder);
    if (!info.isDir()) {
        if (!QDir().mkpath(folder)) return {};
        // Exchange files may hold the user's pictures: only the user reads them.
        chmod(QFile::encodeName(folder).constData(), 0700);
    }
    return folder;
}

QString ProgramFilesPath() {
    QString folder = qEnvironmentVariable("KIVO_PROGRAM_FILES");
    if (folder.isEmpty()) folder = DataHome();
    return WithSlash(QDir::cleanPath(folder));
}

QString ContentFolderPath() { return ProgramFilesPath() + "KIVO Image Editor/"; }

QString WebServerBase() {
    QString base;
    if (auto* registry = kivo::platform::Current().Registry) {
        if (auto value = registry->ReadString(kivo::platform::HKEY_LOCAL_MACHINE,
                                              "SOFTWARE/MORVANE", "WebBase"))
            base = *value;
    }
    if (base.isEmpty()) base = qEnvironmentVariable("KIVO_WEB_BASE");
    if (base.isEmpty()) base = "http://www.kivoalbum.example";
    while (base.endsWith('/')) base.chop(1);
    return base;
}

QString MakePictureFileName() {
    QDateTime now = kivo::platform::Current().Clock->Now();
    QDate d = now.date();
    QTime t = now.time();
    return QString("PIC%1%2%3_%4%5%6%7.JPG")
        .arg(d.year())
        .arg(d.month())
        .arg(d.day())
        .arg(t.hour())
        .arg(t.minute())
        .arg(t.second())
        .arg(t.msec());
}

int32_t GetFileSizeBytes(const QString& path) {
    if (path.isEmpty()) return -1;
    QFileInfo full(QDir::current().absoluteFilePath(path));
    QString name = full.fileName();
    QFileInfo match;
    if (name.contains('*') || name.contains('?')) {
        QDir dir(full.absolutePath());
        dir.setNameFilters({name});
        dir.setFilter(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        dir.setSorting(QDir::Name | QDir::IgnoreCase);
        QFileInfoList list = dir.entryInfoList();
        if (list.isEmpty()) return -1;
        match = list.first();
    } else {
        if (!full.exists()) return -1;
        match = full;
    }
    if (match.isDir()) return 0;
    qint64 size = match.size();
    return size > INT32_MAX ? INT32_MAX : int32_t(size);
}

QString FormatFileSize(int32_t n) {
    if (n >= 0 && n <= 999) return QString("%1 Byte").arg(n);
    if (n >= 1000 && n <= 999999) return QString("%1 KB").arg(n / 1024);
    return QString::asprintf("%.1f MB", double(n) / 1024.0 / 1024.0);
}

QString ReplaceAll(const QString& text, const QString& find, const QString& replacement) {
    if (find.isEmpty()) return text;
    QString result;
    qsizetype from = 0;
    for (;;) {
        qsizetype at = text.indexOf(find, from);
        if (at < 0) break;
        result += QStringView(text).mid(from, at - from);
        result += replacement;
        from = at + find.size();
    }
    result += QStringView(text).mid(from);
    return result;
}

int32_t RectWidth(const TRect& r) { return std::abs(r.Right - r.Left); }
int32_t RectHeight(const TRect& r) { return std::abs(r.Bottom - r.Top); }
int32_t SignedRectWidth(const TRect& r) { return r.Right - r.Left; }
int32_t SignedRectHeight(const TRect& r) { return r.Bottom - r.Top; }

void FitRect(TRect& rect, int32_t maxW, int32_t maxH) {
    int32_t w = RectWidth(rect);
    int32_t h = RectHeight(rect);
    if (maxW >= w && maxH >= h) return;
    // A zero extent scales to zero; dividing by it would give infinity and then NaN.
    double sx = w > 0 ? double(maxW) / w : INFINITY;
    double sy = h > 0 ? double(maxH) / h : INFINITY;
    double s = sx >= sy ? sy : sx;
    // std::rint rounds halves to even under the default rounding mode.
    rect.Right = rect.Left + int32_t(std::rint(w * s));
    rect.Bottom = rect.Top + int32_t(std::rint(h * s));
}

void CenterRect(TRect& rect, const TRect& bounds) {
    int32_t w = RectWidth(rect);
    int32_t h = RectHeight(rect);
    rect.Left = bounds.Left + (bounds.Right - bounds.Left - w) / 2;
    rect.Top = bounds.Top + (bounds.Bottom - bounds.Top - h) / 2;
    rect.Right = rect.Left + w;
    rect.Bottom = rect.Top + h;
}

void NormalizeRect(TRect& rect) {
    if (rect.Right < rect.Left) std::swap(rect.Left, rect.Right);
    if (rect.Bottom < rect.Top) std::swap(rect.Top, rect.Bottom);
}

TRect HandleRect(const TRect& rect, int handle) {
    TRect r = rect;
    NormalizeRect(r);
    int32_t midX = r.Left + (r.Right - r.Left) / 2;
    int32_t midY = r.Top + (r.Bottom - r.Top) / 2;
    TPoint p;
    switch (handle) {
    case 1: p = {r.Left, r.Top}; break;
    case 2: p = {midX, r.Top}; break;
    case 3: p = {r.Right, r.Top}; break;
    case 4: p = {r.Right, midY}; break;
    case 5: p = {r.Right, r.Bottom}; break;
    case 6: p = {midX, r.Bottom}; break;
    case 7: p = {r.Left, r.Bottom}; break;
    case 8: p = {r.Left, midY}; break;
    default: return TRect{};
    }
    return TRect{p.X - 5, p.Y - 5, p.X + 5, p.Y + 5};
}

int HitTestHandles(const TRect& rect, const TPoint& point) {
    for (int handle = 1; handle <= 8; ++handle) {
        TRect h = HandleRect(rect, handle);
        if (point.X >= h.Left && point.X < h.Right && point.Y >= h.Top && point.Y < h.Bottom)
            return handle;
    }
    return 0;
}

void MoveRectEdges(TRect& rect, const TPoint& delta, int handle) {
    switch (handle) {
    case 1: rect.Left += delta.X; rect.Top += delta.Y; break;
    case 2: rect.Top += delta.Y; break;
    case 3: rect.Right += delta.X; rect.Top += delta.Y; break;
    case 4: rect.Right += delta.X; break;
    case 5: rect.Right += delta.X; rect.Bottom += delta.Y; break;
    case 6: rect.Bottom += delta.Y; break;
    case 7: rect.Left += delta.X; rect.Bottom += delta.Y; break;
    case 8: rect.Left += delta.X; break;
    default: break;
    }
}

void OpenWebPage(const QString& url) {
    try {
        if (auto* desktop = kivo::platform::Current().Desktop) desktop->OpenUrl(url);
    } catch (...) {
    }
}

#include "ui/WindowGeometry.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QStringList>
#include <QWidget>
#include <optional>

namespace {

// Enough of a window to grab it and move it back.
constexpr int GrabWidth = 100;
constexpr int GrabHeight = 50;
// Beyond any screen made.
constexpr int MaxExtent = 32767;

QString GeometryName(const QString& key) {
    return key + QStringLiteral("\\Geometry");
}

QString MaximizedName(const QString& key) {
    return key + QStringLiteral("\\Maximized");
}

// "x,y,width,height"; none when the text does not read as one.
std::optional<QRect> WindowGeometryFromText(const QString& text) {
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return std::nullopt;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok || values[i] < -MaxExtent || values[i] > MaxExtent)
            return std::nullopt;
    }
    const QRect rect(values[0], values[1], values[2], values[3]);
    if (rect.width() <= 0 || rect.height() <= 0)
        return std::nullopt;
    return rect;
}

// The stored rectangle when one of the screens shows enough of it.
std::optional<QRect> UsableWindowGeometry(const IztSettings& settings, const QString& key,
                                          const QList<QRect>& screens) {
    const std::optional<QRect> rect =
        WindowGeometryFromText(settings.GetAsString(GeometryName(key)));
    if (!rect)
        return std::nullopt;
    for (const QRect& screen : screens) {
        const QRect shown = screen.intersected(*rect);
        // Its top edge on the screen: the title bar can be reached.
        if (shown.width() >= GrabWidth && shown.height() >= GrabHeight &&
            rect->top() >= screen.top() && rect->top() <= screen.bottom() - GrabHeight)
            return rect;
    }
    return std::nullopt;
}

} // namespace

void SaveWindowGeometry(IztSettings& settings, const QString& key, const QWidget& window) {
    const QRect r = window.normalGeometry();
    settings.SetAsString(
        GeometryName(key),
        QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
    settings.SetAsBoolean(MaximizedName(key), window.isMaximized());
}

void RestoreWindowGeometry(const IztSettings& settings, const QString& key, QWidget& window) {
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const std::optional<QRect> rect = UsableWindowGeometry(settings, key, screens);
    if (!rect)
        return;
    window.setGeometry(*rect);
    if (settings.GetAsBoolean(MaximizedName(key)))
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

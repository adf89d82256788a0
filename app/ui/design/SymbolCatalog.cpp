#include "app/ui/design/SymbolCatalog.h"

#include <QPainter>
#include <QPainterPath>
#include <QHash>
#include <QStandardPaths>

#include <cmath>
#include <map>

namespace vael::SymbolCatalog {

namespace {

// Empty icon name: painted by paintGlyph below.
const std::map<std::string, QString, std::less<>>& table() {
    static const std::map<std::string, QString, std::less<>> symbols{
        {"antenna.radiowaves.left.and.right", "network-wireless-symbolic"},
        {"arrow.triangle.2.circlepath", "view-refresh-symbolic"},
        {"bolt.horizontal.fill", "thunderbolt-symbolic"},
        {"checkmark", "object-select-symbolic"},
        {"checkmark.circle.fill", "emblem-ok-symbolic"},
        {"checkmark.icloud.fill", "emblem-ok-symbolic"},
        {"checkmark.seal.fill", "emblem-default-symbolic"},
        {"checkmark.shield.fill", "security-high-symbolic"},
        {"creditcard.fill", "auth-smartcard-symbolic"},
        {"doc.badge.plus", "document-new-symbolic"},
        {"doc.on.doc", "edit-copy-symbolic"},
        {"envelope", "mail-unread-symbolic"},
        {"exclamationmark.shield.fill", ""},  // the themes' shields are outlines
        {"exclamationmark.triangle.fill", "dialog-warning-symbolic"},
        {"externaldrive.fill", "drive-harddisk-symbolic"},
        {"eye", "view-reveal-symbolic"},
        {"eye.slash", "view-conceal-symbolic"},
        {"eye.slash.fill", "view-conceal-symbolic"},
        {"folder", "folder-symbolic"},
        {"folder.badge.plus", "folder-new-symbolic"},
        {"folder.fill", "folder-symbolic"},
        {"gearshape", "emblem-system-symbolic"},
        {"globe", "web-browser-symbolic"},
        {"hand.raised.fill", ""},
        {"hourglass", "document-open-recent-symbolic"},
        {"icloud.slash.fill", "network-offline-symbolic"},
        {"key.fill", "dialog-password-symbolic"},
        {"key.horizontal.fill", "dialog-password-symbolic"},
        {"link", "insert-link-symbolic"},
        {"lock.fill", "changes-prevent-symbolic"},
        {"lock.shield", "channel-secure-symbolic"},
        {"magnifyingglass", "system-search-symbolic"},
        {"minus.circle", "list-remove-symbolic"},
        {"note.text", "text-x-generic-symbolic"},
        {"number", ""},
        {"pencil", "document-edit-symbolic"},
        {"person.2.fill", "system-users-symbolic"},
        {"person.badge.minus", "list-remove-symbolic"},
        {"person.badge.plus", "contact-new-symbolic"},
        {"person.fill", "avatar-default-symbolic"},
        {"photo", "image-x-generic-symbolic"},
        {"plus", "list-add-symbolic"},
        {"qrcode.viewfinder", ""},
        {"sparkles", ""},
        {"square.and.arrow.down", "folder-download-symbolic"},
        {"square.and.arrow.down.fill", "folder-download-symbolic"},
        {"terminal", "utilities-terminal-symbolic"},
        {"timer", "alarm-symbolic"},
        {"touchid", "auth-fingerprint-symbolic"},
        {"trash", "user-trash-symbolic"},
        {"tray", "folder-open-symbolic"},
        {"tray.full.fill", "folder-documents-symbolic"},
        {"wand.and.sparkles", ""},
        {"xmark", "window-close-symbolic"},
        {"xmark.circle", "window-close-symbolic"},
    };
    return symbols;
}

void ensureFallbackTheme() {
    static const bool done = [] {
        // Some platform plugins (offscreen among them) name no icon folders: add the XDG ones.
        QStringList paths = QIcon::themeSearchPaths();
        for (const QString& folder :
             QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, "icons", QStandardPaths::LocateDirectory))
            if (!paths.contains(folder)) paths.append(folder);
        QIcon::setThemeSearchPaths(paths);
        QIcon::setFallbackThemeName("Adwaita");
        // Without a desktop theme (offscreen, bare window managers) the fallback is the theme.
        if (QIcon::themeName().isEmpty()) QIcon::setThemeName("Adwaita");
        return true;
    }();
    (void)done;
}

// A four-pointed star centred on `c` with radius `r`.
QPainterPath sparkle(QPointF c, qreal r) {
    QPainterPath path;
    const qreal w = r * 0.28;
    path.moveTo(c.x(), c.y() - r);
    path.quadTo(c.x() + w * 0.4, c.y() - w * 0.4, c.x() + r, c.y());
    path.quadTo(c.x() + w * 0.4, c.y() + w * 0.4, c.x(), c.y() + r);
    path.quadTo(c.x() - w * 0.4, c.y() + w * 0.4, c.x() - r, c.y());
    path.quadTo(c.x() - w * 0.4, c.y() - w * 0.4, c.x(), c.y() - r);
    return path;
}

// Glyphs no theme icon fits, drawn in a unit square scaled to `rect`.
void paintGlyph(QPainter& p, const QRectF& rect, std::string_view symbol, const QColor& tint) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = std::min(rect.width(), rect.height());
    p.translate(rect.center().x() - s / 2, rect.center().y() - s / 2);
    p.scale(s, s);
    QPen pen(tint, 0.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (symbol == "number") {
        p.setPen(pen);
        p.drawLine(QPointF(0.40, 0.12), QPointF(0.30, 0.88));
        p.drawLine(QPointF(0.70, 0.12), QPointF(0.60, 0.88));
        p.drawLine(QPointF(0.14, 0.36), QPointF(0.88, 0.36));
        p.drawLine(QPointF(0.12, 0.64), QPointF(0.86, 0.64));
    } else if (symbol == "hand.raised.fill") {
        p.setPen(Qt::NoPen);
        p.setBrush(tint);
        // four fingers, a thumb and the palm
        const qreal xs[] = {0.30, 0.43, 0.56, 0.69};
        const qreal tops[] = {0.20, 0.08, 0.10, 0.20};
        for (int i = 0; i < 4; ++i) p.drawRoundedRect(QRectF(xs[i] - 0.055, tops[i], 0.11, 0.55), 0.055, 0.055);
        QPainterPath thumb;
        thumb.addRoundedRect(QRectF(-0.055, -0.2, 0.11, 0.38), 0.055, 0.055);
        p.save();
        p.translate(0.22, 0.60);
        p.rotate(-40);
        p.drawPath(thumb);
        p.restore();
        p.drawRoundedRect(QRectF(0.245, 0.46, 0.50, 0.44), 0.16, 0.16);
    } else if (symbol == "exclamationmark.shield.fill") {
        // a solid shield, the exclamation mark cut out of it
        QPainterPath shield;
        shield.moveTo(0.5, 0.04);
        shield.cubicTo(0.62, 0.12, 0.76, 0.16, 0.88, 0.16);
        shield.lineTo(0.88, 0.50);
        shield.cubicTo(0.88, 0.74, 0.70, 0.88, 0.5, 0.97);
        shield.cubicTo(0.30, 0.88, 0.12, 0.74, 0.12, 0.50);
        shield.lineTo(0.12, 0.16);
        shield.cubicTo(0.24, 0.16, 0.38, 0.12, 0.5, 0.04);
        QPainterPath mark;
        mark.addRoundedRect(QRectF(0.45, 0.24, 0.10, 0.38), 0.05, 0.05);
        mark.addEllipse(QPointF(0.5, 0.74), 0.065, 0.065);
        p.setPen(Qt::NoPen);
        p.setBrush(tint);
        p.drawPath(shield.subtracted(mark));
    } else if (symbol == "qrcode.viewfinder") {
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        const qreal a = 0.08, b = 0.92, l = 0.22;
        p.drawPolyline(QPolygonF({QPointF(a, a + l), QPointF(a, a), QPointF(a + l, a)}));
        p.drawPolyline(QPolygonF({QPointF(b - l, a), QPointF(b, a), QPointF(b, a + l)}));
        p.drawPolyline(QPolygonF({QPointF(a, b - l), QPointF(a, b), QPointF(a + l, b)}));
        p.drawPolyline(QPolygonF({QPointF(b - l, b), QPointF(b, b), QPointF(b, b - l)}));
        p.setPen(Qt::NoPen);
        p.setBrush(tint);
        p.drawRect(QRectF(0.28, 0.28, 0.17, 0.17));
        p.drawRect(QRectF(0.55, 0.28, 0.17, 0.17));
        p.drawRect(QRectF(0.28, 0.55, 0.17, 0.17));
        p.drawRect(QRectF(0.58, 0.58, 0.11, 0.11));
    } else if (symbol == "wand.and.sparkles") {
        p.setPen(QPen(tint, 0.12, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0.12, 0.88), QPointF(0.62, 0.38));
        p.setPen(Qt::NoPen);
        p.setBrush(tint);
        p.drawPath(sparkle(QPointF(0.72, 0.22), 0.18));
        p.drawPath(sparkle(QPointF(0.34, 0.20), 0.10));
        p.drawPath(sparkle(QPointF(0.80, 0.62), 0.10));
    } else {  // sparkles
        p.setPen(Qt::NoPen);
        p.setBrush(tint);
        p.drawPath(sparkle(QPointF(0.40, 0.55), 0.34));
        p.drawPath(sparkle(QPointF(0.78, 0.22), 0.16));
        p.drawPath(sparkle(QPointF(0.80, 0.80), 0.12));
    }
    p.restore();
}

}  // namespace

const std::vector<std::string>& names() {
    static const std::vector<std::string> all = [] {
        std::vector<std::string> list;
        for (const auto& [name, icon] : table()) list.push_back(name);
        return list;
    }();
    return all;
}

bool knows(std::string_view symbol) { return table().find(symbol) != table().end(); }

QString iconName(std::string_view symbol) {
    const auto found = table().find(symbol);
    return found == table().end() ? QString() : found->second;
}

bool isPainted(std::string_view symbol) { return knows(symbol) && iconName(symbol).isEmpty(); }

QPixmap pixmap(std::string_view symbol, const QColor& tint, int size, qreal dpr) {
    const int device = std::max(1, int(std::lround(size * dpr)));
    // Drawn once per colour and size for the life of the process: rows and pages repaint the same few
    // symbols all the time, each theme lookup reads the icon folders anew, and every unlock builds a
    // page of them. Kept apart from QPixmapCache, which the lock empties of the session's images.
    // Never destroyed: pixmaps must not outlive the application object.
    static auto* const drawn = new QHash<QString, QPixmap>;
    const QString key = QStringLiteral("vael.symbol/%1/%2/%3/%4")
                            .arg(QLatin1StringView(symbol.data(), qsizetype(symbol.size())))
                            .arg(tint.rgba(), 0, 16)
                            .arg(device)
                            .arg(dpr);
    if (const auto found = drawn->constFind(key); found != drawn->cend()) return *found;
    QPixmap out(device, device);
    out.fill(Qt::transparent);
    QPainter p(&out);
    if (isPainted(symbol)) {
        paintGlyph(p, QRectF(0, 0, device, device), symbol, tint);
    } else {
        ensureFallbackTheme();
        const QString name = knows(symbol) ? iconName(symbol) : QStringLiteral("image-missing");
        const QIcon themed = QIcon::fromTheme(name);
        p.drawPixmap(0, 0, themed.pixmap(QSize(device, device)));
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(out.rect(), tint);
    }
    p.end();
    out.setDevicePixelRatio(dpr);
    drawn->insert(key, out);
    return out;
}

QIcon icon(std::string_view symbol, const QColor& tint, int size) {
    QIcon result;
    result.addPixmap(pixmap(symbol, tint, size, 1.0));
    result.addPixmap(pixmap(symbol, tint, size, 2.0));
    return result;
}

void paint(QPainter& painter, const QRectF& rect, std::string_view symbol, const QColor& tint) {
    if (isPainted(symbol)) {
        paintGlyph(painter, rect, symbol, tint);
        return;
    }
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int side = int(std::ceil(std::min(rect.width(), rect.height())));
    const QPixmap image = pixmap(symbol, tint, side, dpr);
    painter.drawPixmap(QPointF(rect.center().x() - side / 2.0, rect.center().y() - side / 2.0), image);
}

}  // namespace vael::SymbolCatalog

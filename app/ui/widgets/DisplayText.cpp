#include "app/ui/widgets/DisplayText.h"

#include <QTextDocument>

#include "app/agent/UnicodeText.h"

namespace vael {

QString displayName(const std::string& stored) { return displayName(QString::fromStdString(stored)); }

QString displayName(const QString& stored) { return QString::fromStdString(displayLine(stored.toStdString())); }

QString shortName(const std::string& stored, std::size_t characters) {
    const std::string shown = displayLine(stored);
    std::string head = graphemeHead(shown, characters);
    if (head.size() < shown.size()) head += "\u2026";
    return QString::fromStdString(head);
}

QString shortName(const QString& stored, std::size_t characters) { return shortName(stored.toStdString(), characters); }

QString plainToolTip(const QString& text) {
    // Qt shows a tooltip as rich text when it looks like markup: then it gets escaped text to show.
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text;
}

QString withoutMnemonic(const QString& text) {
    QString shown = text;
    return shown.replace(u'&', QStringLiteral("&&"));
}

}  // namespace vael

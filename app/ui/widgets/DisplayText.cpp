#include "app/ui/widgets/DisplayText.h"

#include <QTextDocument>

#include "app/agent/UnicodeText.h"

namespace vael {

QString displayName(const std::string& stored) { return displayName(QString::fromStdString(stored)); }

QString displayName(const QString& stored) { return QString::fromStdString(displayLine(stored.toStdString())); }

QString plainToolTip(const QString& text) {
    // Qt shows a tooltip as rich text when it looks like markup: then it gets escaped text to show.
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text;
}

QString withoutMnemonic(const QString& text) {
    QString shown = text;
    return shown.replace(u'&', QStringLiteral("&&"));
}

}  // namespace vael

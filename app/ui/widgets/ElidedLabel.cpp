#include "app/ui/widgets/ElidedLabel.h"

#include <QEvent>
#include <QTextLayout>

#include <algorithm>
#include <utility>

namespace vael {

namespace {

// A label may show a secret: the copies made while fitting it are overwritten before they are
// let go, where nothing else shares them.
void wipe(QString& text) {
    if (text.isDetached()) std::fill(text.begin(), text.end(), QChar(u'\0'));
    text.clear();
}
void wipe(QStringList& lines) {
    for (auto& line : lines) wipe(line);
}

// The lines `text` takes at `width`, each as its own string; more than `maxLines` answers nothing.
std::optional<QStringList> linesOf(const QString& text, const QFont& font, int width, int maxLines) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (;;) {
        auto line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        lines << text.mid(line.textStart(), line.textLength());
        if (lines.size() > maxLines) break;
    }
    layout.endLayout();
    if (lines.size() > maxLines) {
        wipe(lines);
        return std::nullopt;
    }
    return lines;
}

QString shortened(const QString& text, qsizetype kept) {
    auto front = (kept + 1) / 2;
    auto back = kept / 2;
    // Never split a surrogate pair.
    if (front > 0 && text.at(front - 1).isHighSurrogate()) --front;
    if (back > 0 && text.at(text.size() - back).isLowSurrogate()) --back;
    return text.left(front) + QChar(0x2026) + text.right(back);
}

QString joined(QStringList& lines) {
    QString text = lines.join('\n');
    wipe(lines);
    return text;
}

}  // namespace

QString elideMiddle(const QString& text, const QFont& font, int width, int maxLines) {
    if (width <= 0) return text;
    if (auto lines = linesOf(text, font, width, maxLines)) return joined(*lines);
    qsizetype low = 0;
    qsizetype high = text.size() - 1;
    while (low < high) {
        const auto middle = (low + high + 1) / 2;
        QString candidate = shortened(text, middle);
        if (auto lines = linesOf(candidate, font, width, maxLines)) {
            low = middle;
            wipe(*lines);
        } else {
            high = middle - 1;
        }
        wipe(candidate);
    }
    QString best = shortened(text, low);
    auto lines = linesOf(best, font, width, maxLines);
    if (!lines) return best;
    QString shown = joined(*lines);
    wipe(best);
    return shown;
}

ElidedLabel::ElidedLabel(int maxLines, QWidget* parent) : QLabel(parent), maxLines_(maxLines) {
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text) {
    if (text == full_ && !this->text().isEmpty()) return;
    QString old = std::exchange(full_, text);
    setAccessibleName(text);
    relayout();
    wipe(old);
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, fontMetrics().lineSpacing() * std::min(maxLines_, std::max<int>(1, text().count('\n') + 1))};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    relayout();
}

void ElidedLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) relayout();
}

void ElidedLabel::relayout() {
    QString shown = elideMiddle(full_, font(), contentsRect().width(), maxLines_);
    if (shown != text()) {
        QString old = text();
        setText(shown);
        wipe(old);
    }
    wipe(shown);
}

}  // namespace vael

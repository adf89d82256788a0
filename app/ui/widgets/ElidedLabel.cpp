#include "app/ui/widgets/ElidedLabel.h"

#include <QEvent>
#include <QTextLayout>

namespace vael {

namespace {

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
    if (lines.size() > maxLines) return std::nullopt;
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

}  // namespace

QString elideMiddle(const QString& text, const QFont& font, int width, int maxLines) {
    if (width <= 0) return text;
    if (auto lines = linesOf(text, font, width, maxLines)) return lines->join('\n');
    qsizetype low = 0;
    qsizetype high = text.size() - 1;
    while (low < high) {
        const auto middle = (low + high + 1) / 2;
        if (linesOf(shortened(text, middle), font, width, maxLines)) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    const auto best = shortened(text, low);
    auto lines = linesOf(best, font, width, maxLines);
    return lines ? lines->join('\n') : best;
}

ElidedLabel::ElidedLabel(int maxLines, QWidget* parent) : QLabel(parent), maxLines_(maxLines) {
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text) {
    if (text == full_ && !this->text().isEmpty()) return;
    full_ = text;
    setAccessibleName(text);
    relayout();
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
    const auto shown = elideMiddle(full_, font(), contentsRect().width(), maxLines_);
    if (shown != text()) setText(shown);
}

}  // namespace vael

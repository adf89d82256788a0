#pragma once

#include <QLabel>

namespace vael {

// A selectable plain-text label that shows its text on at most `maxLines` lines, broken anywhere,
// with the middle left out ("…") when it does not fit the width it is given.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(int maxLines, QWidget* parent = nullptr);
    void setFullText(const QString& text);
    const QString& fullText() const { return full_; }
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void relayout();
    QString full_;
    int maxLines_;
};

// `text` broken into lines of at most `width` pixels; when that takes more than `maxLines`, as many
// characters as fit are kept from both ends around "…".
QString elideMiddle(const QString& text, const QFont& font, int width, int maxLines);

}  // namespace vael

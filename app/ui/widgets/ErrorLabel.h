#pragma once

#include <QWidget>

#include <optional>
#include <string>

class QLabel;

namespace vael {

// A failure sentence: a warning triangle and the text, caption size, red, plain text. Hidden while
// there is no message.
class ErrorLabel : public QWidget {
public:
    explicit ErrorLabel(QWidget* parent = nullptr);
    void setMessage(const std::optional<std::string>& message);
    void setMessage(const QString& message);  // empty hides it
    QString message() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void restyle();
    QLabel* icon_;
    QLabel* text_;
};

}  // namespace vael

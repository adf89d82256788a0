#pragma once

#include <QWidget>

#include <string>

class QLabel;

namespace vael {

// "Nothing here": a large symbol, a title and a description, centred. Texts are plain.
class EmptyStateView : public QWidget {
public:
    EmptyStateView(const std::string& symbol, const QString& title, const QString& description,
                   QWidget* parent = nullptr);
    void setTexts(const QString& title, const QString& description);

protected:
    void changeEvent(QEvent* event) override;

private:
    void paintIcon();
    std::string symbol_;
    QLabel* icon_;
    QLabel* title_;
    QLabel* description_;
};

}  // namespace vael

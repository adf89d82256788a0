#pragma once

#include <QGroupBox>

class QFormLayout;

namespace vael {

// One section of a grouped form: a titled box holding label/field rows.
class FormSection : public QGroupBox {
public:
    explicit FormSection(const QString& title, QWidget* parent = nullptr);
    QFormLayout* form() const { return form_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    QFormLayout* form_;
};

}  // namespace vael

#pragma once

#include <memory>

#include "app/model/LiveCredentialCapturePresenter.h"
#include "app/ui/widgets/Sheet.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace vael {

// The form in which the user answers an agent's request to save a login. It answers its own
// request, by id, exactly once: with the credential on Save, with nothing on any dismissal.
class CredentialCaptureSheet : public Sheet {
public:
    static constexpr int kWidth = 420;

    CredentialCaptureSheet(LiveCredentialCapturePresenter::Pending pending,
                           std::shared_ptr<LiveCredentialCapturePresenter> presenter, QWidget* parent = nullptr);
    ~CredentialCaptureSheet() override;
    const LiveCredentialCapturePresenter::Pending& pending() const { return pending_; }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void save();
    void answer(std::optional<CapturedCredential> credential);

    LiveCredentialCapturePresenter::Pending pending_;
    std::shared_ptr<LiveCredentialCapturePresenter> presenter_;
    bool answered_ = false;
    QLineEdit* name_;
    QLineEdit* username_;
    QLineEdit* password_;
    QLineEdit* otpSecret_;
    QComboBox* tier_;
    QPushButton* save_;
};

}  // namespace vael

#pragma once

#include <QWidget>

#include "app/model/window/SyncPillText.h"

class QLabel;

namespace vael {

class BusySpinner;

// The toolbar's compact sync indicator: a mark (or a spinner while a run is under way), the status,
// the conflicts kept in the user's favour, and where the vault syncs to or why it failed as tooltip.
class SyncStatusPill : public QWidget {
public:
    explicit SyncStatusPill(QWidget* parent = nullptr);

    void setContent(SyncPillText content);
    const SyncPillText& content() const { return content_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void restyle();

    SyncPillText content_;
    QLabel* mark_;
    BusySpinner* spinner_;
    QLabel* text_;
    QLabel* suffix_;
};

}  // namespace vael

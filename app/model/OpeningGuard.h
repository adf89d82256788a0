#pragma once

#include <QPointer>

#include "app/model/AppModel.h"

namespace vael {

// Marks an unlock or session opening as under way for as long as it lives.
class AppModel::OpeningGuard {
public:
    explicit OpeningGuard(AppModel* model) : model_(model) { model->opening_ = true; }
    ~OpeningGuard() {
        if (!model_) return;
        model_->opening_ = false;
        emit model_->openingEnded();
    }
    OpeningGuard(const OpeningGuard&) = delete;
    OpeningGuard& operator=(const OpeningGuard&) = delete;

private:
    QPointer<AppModel> model_;
};

}  // namespace vael

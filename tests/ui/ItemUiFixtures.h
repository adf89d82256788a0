#pragma once

// What the item feature screens' tests share: a wall clock that moves with the scripted timers, and
// PNG grabs for looking at a screen (written only when VAEL_UI_SNAPSHOTS names a folder).

#include <QDir>
#include <QWidget>

#include "UiFixtures.h"
#include "core/Clock.h"

namespace vael::testing {

class FollowingClock final : public Clock {
public:
    FollowingClock(const ScriptedTimerSource& timers, TimePoint start)
        : timers_(timers), start_(start), origin_(timers.now()) {}
    TimePoint now() const override {
        return start_ + std::chrono::duration_cast<TimePoint::duration>(timers_.now() - origin_);
    }

private:
    const ScriptedTimerSource& timers_;
    TimePoint start_;
    BootTime origin_;
};

inline TimePoint unixTime(std::int64_t seconds) { return TimePoint(std::chrono::seconds(seconds)); }

inline void snapshot(QWidget& widget, const QString& name) {
    const auto folder = qEnvironmentVariable("VAEL_UI_SNAPSHOTS");
    if (folder.isEmpty()) return;
    widget.grab().save(QDir(folder).filePath(name + ".png"));
}

}  // namespace vael::testing

#pragma once

// Whether the desktop asks for reduced motion. States and texts always change at once; motion is
// only ever a short decoration on top, and none at all when reduced.

class QWidget;

namespace vael::MotionPreference {

// VAEL_REDUCE_MOTION=1 reduces; otherwise the desktop's "enable-animations" through the settings
// portal; otherwise motion is on. Read once.
bool reduced();

// Fades `widget` in over about 500 ms; nothing under reduced motion.
void fadeIn(QWidget* widget);

}  // namespace vael::MotionPreference

// The pictures of the progress dialog, drawn here so that none comes from
// elsewhere: the six cycling icons (133 to 138), bitmap 130 and the frames of
// animation 126.
#pragma once
#include <QImage>
#include <QPixmap>

namespace platform {

constexpr int kFirstProgressIcon = 133;
constexpr int kLastProgressIcon = 138;
constexpr int kAnimationFrames = 12;

// A handheld with a turning arrow; `id` from 133 to 138 sets the arrow's angle.
QPixmap ProgressIcon(int id, int size = 32);
// The banner: white stands for "transparent" and is kept white here.
QImage ProgressBitmap(int width, int height);
// A page carried from the handheld to the desktop; `frame` wraps.
QPixmap AnimationFrame(int frame, int width, int height);

} // namespace platform

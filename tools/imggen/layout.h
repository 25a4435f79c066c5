#pragma once

#include <QColor>
#include <QRect>
#include <QSize>

// Where the update screen places each picture and text, in client pixels. The pictures are drawn
// at exactly these sizes so the window shows them unscaled (and at twice them for screens scaled
// up), and the small ones take their surroundings from the background at these spots.
namespace layout {

inline constexpr QSize background{736, 454};
inline constexpr QRect buttonFace{168, 237, 401, 62};
inline constexpr QRect progressTrack{168, 323, 401, 10};
inline constexpr QRect tickMark{83, 354, 25, 25};
inline constexpr QRect errorMark{168, 378, 25, 25};
inline constexpr QRect warningMark{233, 187, 25, 25};

inline constexpr QRect title{40, 32, 420, 40};
inline constexpr QRect hint{8, 159, 717, 25};
inline constexpr QRect version{264, 183, 217, 37};
inline constexpr QRect buttonCaption{168, 252, 401, 33};
inline constexpr QRect completionLine{120, 355, 605, 25};
inline constexpr QRect errorLine{210, 378, 515, 25};

// The window paints the progress fill as a plain panel of this colour over the track.
inline const QColor progressFill{159, 38, 229};

} // namespace layout

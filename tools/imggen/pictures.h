#pragma once

#include <QImage>
#include <QRect>

#include <span>

// The two full-window backgrounds. The smaller pictures borrow their corners from them, so the
// rounded shapes sit seamlessly on whichever background the window shows behind them.
struct Backgrounds {
  QImage found;
  QImage notFound;
};

// Drawn at scale device pixels per layout pixel, the images' device pixel ratio: 1 for the
// pictures the window shows at 100 %, 2 for their twins that keep it sharp on scaled screens.
Backgrounds drawBackgrounds(int scale);

// The piece of a background behind a spot of the window, given in layout pixels.
QImage backdrop(const QImage& background, const QRect& spot);

struct Picture {
  const char* fileName;
  QImage (*draw)(const Backgrounds&);
};

// Every bitmap of the window's img folder, under its file name.
std::span<const Picture> windowPictures();

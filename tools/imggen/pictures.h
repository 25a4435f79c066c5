#pragma once

#include <QImage>

#include <span>

// The two full-window backgrounds. The smaller pictures borrow their corners from them, so the
// rounded shapes sit seamlessly on whichever background the window shows behind them.
struct Backgrounds {
  QImage found;
  QImage notFound;
};

Backgrounds drawBackgrounds();

struct Picture {
  const char* fileName;
  QImage (*draw)(const Backgrounds&);
};

// Every bitmap of the window's img folder, under its file name.
std::span<const Picture> windowPictures();

#pragma once

#include <QDir>

// Composes mock-ups of the update screen in each of its states from the bitmaps in
// `imageFolder`, with the window's texts laid over them, as PNG files in `previewFolder`.
// Returns false when a bitmap cannot be read or a mock-up cannot be written.
bool writePreviews(const QDir& imageFolder, const QDir& previewFolder);

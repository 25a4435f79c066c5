// Captions of the update screen that more than one step of the window sets or reads.
#pragma once

#include <QString>

inline const QString kNoDevice = QStringLiteral("Device Not Found");
inline const QString kNoFileSelected = QStringLiteral("No file be selected !!!");
inline const QString kReadyHint = QStringLiteral("Your device will update to the latest software version");

// What to do with a log whose workbook could not be saved: the user is told why and chooses to try
// again, to save it elsewhere, or to give it up. Nothing is dropped without that last choice.
#pragma once

#include <QString>

#include <functional>

enum class SaveFailureChoice { TryAgain, SaveElsewhere, Discard };

// Asks after the failed save of the workbook meant for path; reason is the writer's own text.
SaveFailureChoice askAfterFailedSave(const QString& path, const QString& reason);

// Asks where to save the workbook instead, starting beside path; empty when the user cancelled.
QString chooseOtherWorkbookPath(const QString& path);

// Tests answer instead of the user.
struct SaveFailureAnswers {
    std::function<SaveFailureChoice(const QString& path, const QString& reason)> choice;
    std::function<QString(const QString& path)> otherPath;
};
void setSaveFailureAnswers(SaveFailureAnswers answers);

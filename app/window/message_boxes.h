// The program's message boxes, and the application's default error handler: an exception that
// escapes an event handler is shown in a message box and the event loop goes on.
#pragma once

#include <QApplication>
#include <QString>

#include <functional>

// Shows an information box with an OK button and waits until it is closed.
void showInformation(const QString& caption, const QString& text);

// Shows the text of an exception that escaped a handler.
void showException(const QString& text);

// Asks a question with Yes and No buttons, defaultYes picking the one Enter presses; true for Yes.
bool askYesNo(const QString& caption, const QString& text, bool defaultYes);

// Tests replace the boxes, which would wait for a click, with a recorder of what they would say.
using MessageBoxSink = std::function<void(const QString& caption, const QString& text)>;
void setMessageBoxSink(MessageBoxSink sink);
// ... and the questions with an answerer.
using QuestionSink = std::function<bool(const QString& caption, const QString& text)>;
void setQuestionSink(QuestionSink sink);

class LumaroApplication : public QApplication {
public:
    LumaroApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

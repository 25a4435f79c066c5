#include "app/window/message_boxes.h"

#include <QMessageBox>

#include <exception>

namespace {

MessageBoxSink& sink()
{
    static MessageBoxSink current;
    return current;
}

QuestionSink& questionSink()
{
    static QuestionSink current;
    return current;
}

}  // namespace

void setQuestionSink(QuestionSink newSink)
{
    questionSink() = std::move(newSink);
}

bool askYesNo(const QString& caption, const QString& text, bool defaultYes)
{
    if (questionSink()) return questionSink()(caption, text);
    return QMessageBox::question(nullptr, caption, text, QMessageBox::Yes | QMessageBox::No,
                                 defaultYes ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
}

void setMessageBoxSink(MessageBoxSink newSink)
{
    sink() = std::move(newSink);
}

void showInformation(const QString& caption, const QString& text)
{
    if (sink()) return sink()(caption, text);
    QMessageBox::information(nullptr, caption, text, QMessageBox::Ok);
}

void showException(const QString& text)
{
    const QString caption = QCoreApplication::applicationName();
    if (sink()) return sink()(caption, text);
    QMessageBox::critical(nullptr, caption, text, QMessageBox::Ok);
}

LumaroApplication::LumaroApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool LumaroApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        showException(QString::fromUtf8(error.what()));
    }
    return false;
}

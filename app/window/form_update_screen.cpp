#include "app/window/form_update_screen.h"

#include "app/window/imageex.h"
#include "app/window/main_form.h"
#include "app/window/message_boxes.h"
#include "app/window/post_to_form.h"

#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTimer>

// The job's log lines, also for whoever runs the program with this category switched on
// (QT_LOGGING_RULES="lumaro.updatelog.info=true"): the update log itself lies outside the window.
Q_LOGGING_CATEGORY(updateLog, "lumaro.updatelog", QtWarningMsg)

void FormUpdateScreen::setProgress(int width)
{
    postToForm(form_, [&form = form_, width] { form.ProgressBarValue->resize(width, form.ProgressBarValue->height()); });
}

void FormUpdateScreen::log(const std::string& line)
{
    // AddMessage posts from another thread in the same way, so lines keep their place among the changes.
    form_.AddMessage(QString::fromStdString(line), 1);
    qCInfo(updateLog).noquote() << QString::fromStdString(line);
}

std::shared_ptr<DiskAnswer> FormUpdateScreen::askAboutUpdateDisk(const std::string& /*drive*/, const std::string& question)
{
    auto answer = std::make_shared<DiskAnswer>();
    // A window that goes first drops the call: the answer stays pending, and the job is told to stop.
    postToForm(form_, [answer, question] {
        answer->give(askYesNo(QStringLiteral("Update"), QString::fromStdString(question), false));
    });
    return answer;
}

void FormUpdateScreen::showFailed()
{
    postToForm(form_, [&form = form_] {
        form.ProgressBarImg->show();
        form.ProgressBarValue->show();
        form.UpBtnLabel->setText(QStringLiteral("Update"));
        form.CompleteLabel->hide();
        form.CompleteImg->hide();
        form.ErrorLabel->show();
        form.ErrorImg->show();
        form.tellScreen();
        form.StartBtnImg->loadFromFile(form.imagePathOf("img/NotPress.bmp"));
        form.jobEndShown();
    });
}

void FormUpdateScreen::showDone()
{
    postToForm(form_, [&form = form_] {
        form.ProgressBarImg->hide();
        form.ProgressBarValue->hide();
        form.UpBtnLabel->setText(QStringLiteral("OK"));
        form.CompleteLabel->show();
        form.CompleteImg->show();
        form.ErrorLabel->hide();
        form.ErrorImg->hide();
        form.tellScreen();
        if (!form.inServiceView()) form.StartBtnImg->setFocus();  // OK ends the program
        form.StartBtnImg->loadFromFile(form.imagePathOf("img/BarOK.bmp"));
        form.jobEndShown();
    });
}

void FormUpdateScreen::setStartUpdateCaption(const std::string& caption)
{
    postToForm(form_, [&form = form_, text = QString::fromStdString(caption)] { form.Start_Update_Btn->setText(text); });
}

void FormUpdateScreen::enableJobButtons()
{
    postToForm(form_, [&form = form_] {
        form.Reset_DevBtn->setEnabled(true);
        form.EraseBtn->setEnabled(true);
    });
}

void FormUpdateScreen::stopRunTimer()
{
    postToForm(form_, [&form = form_] { form.RunTimer->stop(); });
}

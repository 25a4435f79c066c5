#include "app/window/save_failure_prompt.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace {

SaveFailureAnswers& answers()
{
    static SaveFailureAnswers current;
    return current;
}

}  // namespace

void setSaveFailureAnswers(SaveFailureAnswers newAnswers)
{
    answers() = std::move(newAnswers);
}

SaveFailureChoice askAfterFailedSave(const QString& path, const QString& reason)
{
    if (answers().choice) return answers().choice(path, reason);
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                    QStringLiteral("The temperature log could not be saved as\n%1\n\n%2\n\n"
                                   "Its rows are kept until it is saved.")
                        .arg(path, reason));
    QPushButton* again = box.addButton(QStringLiteral("Try Again"), QMessageBox::AcceptRole);
    QPushButton* elsewhere = box.addButton(QStringLiteral("Save Elsewhere..."), QMessageBox::ActionRole);
    QPushButton* discard = box.addButton(QStringLiteral("Discard the Log"), QMessageBox::DestructiveRole);
    box.setDefaultButton(again);
    box.setEscapeButton(again);  // closing the box must not drop the rows
    box.exec();
    if (box.clickedButton() == elsewhere) return SaveFailureChoice::SaveElsewhere;
    if (box.clickedButton() == discard) {
        const auto sure = QMessageBox::question(nullptr, QCoreApplication::applicationName(),
                                                QStringLiteral("Discard the unsaved temperature log? Its rows are lost."),
                                                QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Cancel);
        if (sure == QMessageBox::Discard) return SaveFailureChoice::Discard;
    }
    return SaveFailureChoice::TryAgain;
}

QString chooseOtherWorkbookPath(const QString& path)
{
    if (answers().otherPath) return answers().otherPath(path);
    return QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save the temperature log as"), path,
                                        QStringLiteral("Workbooks (*.xls *.xlsx)"));
}

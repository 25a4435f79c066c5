// LumaroCtrlUpdate: the firmware update utility for the Lumaro Tessaray Controller.
#include "main_form.h"
#include "message_boxes.h"

#include <QDir>

int main(int argc, char** argv)
{
    LumaroApplication application(argc, argv);
    TMainForm form(QDir(QCoreApplication::applicationDirPath()).absolutePath() + '/');
    // A missing data file has been reported; ending with a failure code tells scripts so too.
    if (form.startupAborted()) return 1;
    form.show();
    return application.exec();
}

// LumaroCtrlUpdate: the firmware update utility for the Lumaro Tessaray Controller.
#include "app/window/main_form.h"
#include "app/window/message_boxes.h"
#include "platform/process/process_end.h"
#include "platform/process/system_error_boxes.h"

#include <QDir>

namespace {

int runWindow(int argc, char** argv)
{
    platform::failInsteadOfSystemErrorBoxes();
    LumaroApplication application(argc, argv);
    useWindowFonts();
    TMainForm form(QDir(QCoreApplication::applicationDirPath()).absolutePath() + '/');
    // A missing data file has been reported; ending with a failure code tells scripts so too.
    if (form.startupAborted()) return 1;
    form.show();
    return application.exec();
}

}  // namespace

int main(int argc, char** argv) { platform::endProcess(runWindow(argc, argv)); }

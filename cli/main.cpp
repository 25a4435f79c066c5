// lumaro-update: the firmware update of Lumaro Tessaray Controllers from a command line, for
// service scripts and production lines. The same update job as the window's, on a console.
#include "console_report.h"
#include "line_setup.h"
#include "options.h"
#include "update_line.h"

#include "platform/console/broken_pipe.h"
#include "platform/console/console_end.h"
#include "platform/console/event_application.h"
#include "platform/console/interrupt_watch.h"
#include "platform/console/terminal.h"
#include "platform/process/process_end.h"
#include "platform/process/system_error_boxes.h"

#include <QDir>

#include <cstdio>

namespace {

int runCommand(int argc, char** argv)
{
    platform::failInsteadOfSystemErrorBoxes();
    // A reader that goes away (`lumaro-update --json | head -1`) ends the output, not an update
    // that has left a controller in its bootloader.
    platform::ignoreBrokenPipe();
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto parsed = parseCommandLine(arguments);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "%s\n", problem->c_str());
        return kExitBadInput;
    }
    const CommandOptions& options = std::get<CommandOptions>(parsed);
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return kExitDone;
    }
    if (options.version) {
        std::printf("lumaro-update %s\n", LUMARO_VERSION);
        return kExitDone;
    }

    const std::unique_ptr<QCoreApplication> application = platform::makeEventApplication(argc, argv);
    // The program's own folder, through any link that started it (/usr/bin/lumaro-update).
    const QString appFolder = QDir(QCoreApplication::applicationDirPath()).absolutePath() + '/';
    ConsoleReport report(options.json, platform::standardOutputIsTerminal(), stdout, stderr);
    auto setup = loadLineSetup(options, appFolder);
    if (const auto* problem = std::get_if<std::string>(&setup)) {
        report.error(*problem);
        return kExitBadInput;
    }

    UpdateLine line(options, std::move(std::get<LineSetup>(setup)), appFolder.toStdString(), report);
    platform::InterruptWatcher interrupts;
    QObject::connect(&interrupts, &platform::InterruptWatcher::interrupted, &line, &UpdateLine::interrupt);
    QObject::connect(&line, &UpdateLine::finished, application.get(), &QCoreApplication::exit, Qt::QueuedConnection);
    // The system ends a console program a few seconds after its window is closed (or the user logs
    // off): the running unit's record reaches the disk first, so that the next start finishes it.
    platform::setConsoleEndHook([&line] { line.syncRecordsNow(); });
    line.start();
    const int exitCode = application->exec();
    platform::setConsoleEndHook({});
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) { platform::endProcess(runCommand(argc, argv)); }

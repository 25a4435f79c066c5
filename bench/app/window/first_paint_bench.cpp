// Time from starting the program to its first painted window, next to the same for two Qt windows
// of the same size: an empty one, and one that draws a single label in the program's font (the
// fair floor: any window with text pays for the font set-up and the first text layout). Each run
// is a fresh process of this program in one of its child modes, timed by the parent from start
// until the child reports that its first paint is done.
//
//   first_paint_bench [runs]          prints the medians and the program's ratios to both
#include "bench/bench_stats.h"
#include "app/window/main_form.h"
#include "app/window/message_boxes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Reports the end of the first paint and ends the process. Watched on the whole application from
// before the window exists, since start-up may already let the window paint while it runs. The
// first paint event begins a pass that paints the window and all its controls and hands the frame
// over; the report is posted at its beginning and so runs once that pass is done, and what the
// controls do in their own paint events is counted too.
class FirstPaintReporter : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [] {
                    std::puts("painted");
                    std::fflush(stdout);
                    std::_Exit(0);
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool painted_ = false;
};

enum class Child { Program, Empty, OneLabel };

int runChild(int argc, char** argv, Child kind)
{
    LumaroApplication application(argc, argv);
    FirstPaintReporter reporter;
    application.installEventFilter(&reporter);
    std::unique_ptr<QWidget> window;
    if (kind == Child::Program) {
        // Started as the program starts it (app/main.cpp).
        useWindowFonts();
        QDir::setCurrent(QStringLiteral(LUMARO_DIST_DIR));
        window = std::make_unique<TMainForm>(QStringLiteral(LUMARO_DIST_DIR "/"));
    } else {
        window = std::make_unique<QWidget>();
        window->setFixedSize(738, 455);
        if (kind == Child::OneLabel) {
            // The program's title line: its family (through the same substitution) and its size.
            useWindowFonts();
            auto* label = new QLabel(QStringLiteral("Lumaro Tessaray Controller"), window.get());
            QFont font(QStringLiteral("Tahoma"));
            font.setPixelSize(27);
            label->setFont(font);
            label->move(40, 32);
        }
    }
    window->show();
    return application.exec();
}

double timeChild(const QString& self, const char* mode)
{
    QProcess child;
    QElapsedTimer clock;
    clock.start();
    child.start(self, {QString::fromLatin1(mode)});
    while (child.waitForReadyRead(10000))
        if (child.readAll().contains("painted")) break;
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    child.waitForFinished(5000);
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child-program") == 0) return runChild(argc, argv, Child::Program);
    if (argc > 1 && std::strcmp(argv[1], "--child-empty") == 0) return runChild(argc, argv, Child::Empty);
    if (argc > 1 && std::strcmp(argv[1], "--child-label") == 0) return runChild(argc, argv, Child::OneLabel);

    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 15;
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    const QString self = QString::fromLocal8Bit(argv[0]);
    std::vector<double> program;
    std::vector<double> empty;
    std::vector<double> oneLabel;
    for (int i = 0; i < runs; ++i) {  // interleaved, so that all see the same machine load
        empty.push_back(timeChild(self, "--child-empty"));
        oneLabel.push_back(timeChild(self, "--child-label"));
        program.push_back(timeChild(self, "--child-program"));
    }
    const double programMs = median(program);
    const double emptyMs = median(empty);
    const double oneLabelMs = median(oneLabel);
    std::printf("start to first paint, median of %d runs (%s platform, no controller):\n", runs,
                qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("  empty Qt window      %8.2f ms\n", emptyMs);
    std::printf("  Qt window, one label %8.2f ms   (%.2fx the empty window)\n", oneLabelMs, oneLabelMs / emptyMs);
    std::printf("  LumaroCtrlUpdate     %8.2f ms   (%.2fx the empty window, %.2f x the window with one label)\n",
                programMs, programMs / emptyMs, programMs / oneLabelMs);
    return 0;
}

#include "window_fixture.h"

#include "app/window/imageex.h"
#include "app/window/message_boxes.h"

#include "link/job_busy.h"
#include "link/usb.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <chrono>
#include <thread>

std::string devInfoRow(const std::string& name, const std::string& vidPid, int arrays, const std::string& chip)
{
    std::string row = name;
    row.resize(28, ' ');
    row += vidPid;
    row.resize(53, ' ');
    row += std::to_string(arrays);
    row.resize(72, ' ');
    return row + chip + "\n";
}

void WindowTest::SetUp()
{
    ASSERT_TRUE(appDir.isValid() && workDir.isValid());
    QDir().mkpath(appDir.filePath("img"));
    const QDir pictures(QStringLiteral(LUMARO_SOURCE_DIR "/data/img"));
    for (const QString& name : pictures.entryList({"*.bmp"}, QDir::Files))
        ASSERT_TRUE(QFile::copy(pictures.filePath(name), appDir.filePath("img/" + name)));
    writeAppFile("Firmware/Tessaray_FW_1.0.3.bin", "firmware");
    writeAppFile("Firmware/Tessaray_IMG_1.0.3.bin", "image");

    QFile shippedDevInfo(QStringLiteral(LUMARO_SOURCE_DIR "/data/DevInfo.DAT"));
    ASSERT_TRUE(shippedDevInfo.open(QIODevice::ReadOnly));
    writeWorkFile("DevInfo.DAT", shippedDevInfo.readAll().toStdString());
    writeWorkFile("Page.DAT", "UpdateFW=1\nTempTest=0\n");

    savedWorkDir = QDir::currentPath();
    QDir::setCurrent(workDir.path());
#ifndef _WIN32
    logind.emplace();
    ASSERT_TRUE(logind->started());
#endif
    setMessageBoxSink([this](const QString& boxCaption, const QString& text) { boxes.push_back({boxCaption, text}); });
    setQuestionSink([this](const QString&, const QString& text) {
        questions.push_back(text);
        return questionAnswer;
    });
    jobBusy = false;
}

void WindowTest::TearDown()
{
    setMessageBoxSink({});
    setQuestionSink({});
    QDir::setCurrent(savedWorkDir);
    Close_HidDevice();
    jobBusy = false;
}

void WindowTest::startSim(const std::vector<std::string>& deviceArgs)
{
    sim.emplace(deviceArgs);
    sim->useBus();
}

std::unique_ptr<TMainForm> WindowTest::startForm()
{
    auto form = std::make_unique<TMainForm>(appDir.path() + '/');
    form->show();
    // As the user finds it: painted, and start-up finished after the first paint.
    EXPECT_TRUE(waitUntil([&] { return !form->startupPending(); }));
    return form;
}

void WindowTest::writeWorkFile(const QString& name, const std::string& content)
{
    QFile file(workDir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content.data(), static_cast<qint64>(content.size()));
}

void WindowTest::writeAppFile(const QString& relativeName, const QByteArray& content)
{
    const QString path = appDir.filePath(relativeName);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QString WindowTest::picture(const TMainForm& form, const char* name)
{
    return QFileInfo(child<TImageEx>(form, name)->pictureFile()).fileName();
}

void HeldJobWait::installOn(TMainForm& form, int heldMs)
{
    form.jobWaitHook = [this, heldMs](int ms) {
        if (ms != heldMs) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms / 40));
            return jobBusy.load();
        }
        held = true;
        while (!release && jobBusy) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return jobBusy.load();
    };
}

bool waitUntil(const std::function<bool()>& condition, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

QString WindowTest::saveScreenshot(TMainForm& form, const QString& name)
{
    QDir().mkpath(QStringLiteral(LUMARO_ARTIFACT_DIR));
    const QString path = QStringLiteral(LUMARO_ARTIFACT_DIR "/") + name + ".png";
    form.grab().save(path);
    return path;
}

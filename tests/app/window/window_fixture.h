// A window started the way the program starts it: data files in a working directory of their
// own, pictures and Firmware/ in a separate program folder, the simulator's bus in use, and
// message boxes recorded instead of shown. On Linux a stand-in logind serves the jobs' inhibitor
// locks, so that no test holds the host's own.
#pragma once

#include "app/window/main_form.h"
#include "sim_process.h"
#ifndef _WIN32
#include "private_logind.h"
#endif

#include <QDir>
#include <QLabel>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class TImageEx;

// Failure messages show captions as text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

inline const std::string kController = "HID\\VID_1FC9&PID_0003&REV_0100";

struct MessageBox {
    QString caption;
    QString text;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulator with the given devices and points the bus clients at it.
    void startSim(const std::vector<std::string>& deviceArgs);
    std::unique_ptr<TMainForm> startForm();

    void writeWorkFile(const QString& name, const std::string& content);
    void writeAppFile(const QString& relativeName, const QByteArray& content = {});

    template <typename T>
    static T* child(const TMainForm& form, const char* name)
    {
        T* found = form.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static QString caption(const TMainForm& form, const char* name) { return child<QLabel>(form, name)->text(); }
    static QString picture(const TMainForm& form, const char* name);
    static bool shown(const TMainForm& form, const char* name) { return !child<QWidget>(form, name)->isHidden(); }

    // Saves the window as a PNG under the test artifacts folder; returns its path.
    static QString saveScreenshot(TMainForm& form, const QString& name);

    // Named as users' folders often are: letters outside ASCII and a blank, which reach the system
    // whole only as UTF-16 on Windows.
    QTemporaryDir appDir{QDir::tempPath() + QStringLiteral("/Zoë Müller XXXXXX")};
    QTemporaryDir workDir;
    QString savedWorkDir;
    std::vector<MessageBox> boxes;
    // The questions the window asked, each answered with questionAnswer.
    std::vector<QString> questions;
    bool questionAnswer = false;
    std::optional<lumaro::test::SimProcess> sim;
#ifndef _WIN32
    std::optional<lumaro::test::PrivateLogind> logind;
#endif
};

// A job's fixed waits shortened forty-fold, except the one of heldMs, which lasts until release is
// set or the job is told to stop, so that a test acts while the job is at that point.
struct HeldJobWait {
    void installOn(TMainForm& form, int heldMs);
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
};

// Handles events until the condition holds; false when it did not within limitMs.
bool waitUntil(const std::function<bool()>& condition, int limitMs = 5000);

std::string devInfoRow(const std::string& name, const std::string& vidPid, int arrays, const std::string& chip);

// The window to the keyboard and to assistive technology: the big button on every screen, the
// screens' changes told, the closed service panel out of reach, and the focus mark.
#include "window_fixture.h"

#include "app/window/form_update_screen.h"
#include "app/window/imageex.h"

#include "link/job_busy.h"

#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

const QString kHint = QStringLiteral("Your device will update to the latest software version");

struct Told {
    QObject* object;
    QAccessible::Event type;
    QString text;  // the name, description or value told
};
std::vector<Told> told;

QAccessibleInterface* accessible(QObject* object)
{
    return QAccessible::queryAccessibleInterface(object);
}

void record(QAccessibleEvent* event)
{
    QString text;
    if (event->type() == QAccessible::NameChanged) text = accessible(event->object())->text(QAccessible::Name);
    if (event->type() == QAccessible::DescriptionChanged) text = accessible(event->object())->text(QAccessible::Description);
    if (event->type() == QAccessible::ValueChanged) text = static_cast<QAccessibleValueChangeEvent*>(event)->value().toString();
    told.push_back({event->object(), event->type(), text});
}

bool wasTold(QObject* object, QAccessible::Event type, const QString& text)
{
    return std::any_of(told.begin(), told.end(), [&](const Told& e) { return e.object == object && e.type == type && e.text == text; });
}

// Everything a screen reader can reach below node, depth first.
std::vector<QAccessibleInterface*> reachable(QAccessibleInterface* node)
{
    std::vector<QAccessibleInterface*> all;
    for (int i = 0; i < node->childCount(); ++i) {
        all.push_back(node->child(i));
        const std::vector<QAccessibleInterface*> below = reachable(all.back());
        all.insert(all.end(), below.begin(), below.end());
    }
    return all;
}

QString objectNameOf(QAccessibleInterface* node)
{
    return node->object() != nullptr ? node->object()->objectName() : QString();  // items have no object
}

bool quickly(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms / 40));
    return true;
}

class AccessibleWindow : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        told.clear();
        // What a screen reader's presence does; no bridge does it on the offscreen platform.
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
        QAccessible::installUpdateHandler(record);
    }
    void TearDown() override
    {
        QAccessible::installUpdateHandler(nullptr);
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(false);
        WindowTest::TearDown();
    }
    std::unique_ptr<TMainForm> startActiveForm()
    {
        auto form = startForm();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return form;
    }
    // What assistive technology is shown outside the delivered window.
    static QStringList shownOutside(TMainForm& form)
    {
        const QRect delivered(form.mapToGlobal(QPoint(0, 0)), kDeliveredSize);
        QStringList outside;
        for (QAccessibleInterface* node : reachable(accessible(&form)))
            if (!node->state().invisible && !delivered.contains(node->rect()))
                outside << objectNameOf(node) + " " + node->text(QAccessible::Name);
        return outside;
    }
};

const std::string kPluggedController = "ctl,id=" + kController;

TEST_F(AccessibleWindow, TheBigButtonIsNamedByItsCaptionAndTellsEachScreensLine)
{
    startSim({"--controller", kPluggedController + ",unplugged"});
    auto form = startForm();
    auto* face = child<TImageEx>(*form, "StartBtnImg");
    auto* bar = child<TImageEx>(*form, "ProgressBarImg");
    FormUpdateScreen screen(*form);
    struct Step {
        const char* screen;
        std::function<void()> bringUp;
        QString name;
        QString line;
        bool focused;  // the keyboard is put on the button
        int progress = -1;
    };
    const std::vector<Step> steps = {
        {"no device", [] {}, "Update", "Device Not Found", false},
        {"ready", [&] { EXPECT_EQ(sim->control("plug ctl"), "ok"); }, "Update", kHint, true},
        {"updating",
         [&] {
             jobBusy = true;  // the press stops the job it finds instead of starting one
             accessible(face)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
         },
         "Updating", kHint, false},
        {"half way", [&] { screen.setProgress(200); }, "Updating", kHint, false, 50},
        {"failed", [&] { screen.showFailed(); }, "Update", "Fail to update ! Re-plug and update again.", false},
        {"done", [&] { screen.showDone(); }, "OK", "Update Complete ! You can remove Lumaro Controller from PC now.", true},
    };
    QString name = "Update";
    QString line = "Device Not Found";
    for (const Step& step : steps) {
        SCOPED_TRACE(step.screen);
        face->clearFocus();
        told.clear();
        step.bringUp();
        QAccessibleInterface* button = accessible(face);
        ASSERT_TRUE(waitUntil([&] {
            return button->text(QAccessible::Name) == step.name && button->text(QAccessible::Description) == step.line;
        }));
        EXPECT_EQ(button->role(), QAccessible::Button);
        EXPECT_TRUE(button->state().focusable);
        EXPECT_TRUE(button->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
        // A change is told; what stays as it was is not told again.
        EXPECT_EQ(wasTold(face, QAccessible::NameChanged, step.name), step.name != name);
        EXPECT_EQ(wasTold(face, QAccessible::DescriptionChanged, step.line), step.line != line);
        EXPECT_EQ(form->focusWidget() == face, step.focused);
        if (step.progress >= 0) {
            EXPECT_EQ(accessible(bar)->role(), QAccessible::ProgressBar);
            ASSERT_TRUE(waitUntil([&] { return bar->progressValue() == step.progress; }));
            EXPECT_EQ(accessible(bar)->valueInterface()->currentValue().toInt(), step.progress);
            EXPECT_TRUE(wasTold(bar, QAccessible::ValueChanged, QString::number(step.progress)));
        }
        name = step.name;
        line = step.line;
    }

    EXPECT_EQ(accessible(child<TImageEx>(*form, "WarIcon"))->text(QAccessible::Name), "Warning");
}

TEST_F(AccessibleWindow, TheUpdateRunsFromReadyToDoneAndOkByKeyboardAlone)
{
    startSim({"--controller", kPluggedController + ",disk-ms=20"});
    auto form = startActiveForm();
    form->jobWaitHook = quickly;
    ASSERT_EQ(QApplication::focusWidget(), child<TImageEx>(*form, "StartBtnImg"));
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Return);  // to whatever has the focus
    ASSERT_TRUE(waitUntil([&] { return caption(*form, "UpBtnLabel") == "OK" && !jobBusy; }, 15000));
    EXPECT_TRUE(sim->waitForEvent("ctl", "firmware-updated"));
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Space);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(AccessibleWindow, TabStaysOnTheMarkedButtonAndTheClosedServicePanelIsNotShown)
{
    startSim({"--controller", kPluggedController});
    auto form = startActiveForm();
    auto* face = child<TImageEx>(*form, "StartBtnImg");
    auto* strip = child<QWidget>(*form, "ServiceStrip");
    EXPECT_EQ(shownOutside(*form), QStringList());
    EXPECT_EQ(accessible(form.get())->indexOfChild(accessible(strip)), -1);
    const std::vector<QAccessibleInterface*> all = reachable(accessible(form.get()));
    for (const char* eyeOnly : {"BKImg", "CompleteImg", "ErrorImg", "UpBtnLabel", "ProgressBarValue"})
        EXPECT_TRUE(std::none_of(all.begin(), all.end(), [&](QAccessibleInterface* n) { return objectNameOf(n) == eyeOnly; }))
            << eyeOnly;
    // Focus alone changes no pixel; once the keyboard is used the mark shows, on the face only.
    const QImage focused = form->grab().toImage();
    face->clearFocus();
    EXPECT_EQ(form->grab().toImage(), focused);
    face->setFocus();
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), face);
    }
    EXPECT_TRUE(face->focusMarkShown());
    const QImage marked = QImage(saveScreenshot(*form, "focus_mark"));
    QRect changed;
    for (int y = 0; y < marked.height(); ++y)
        for (int x = 0; x < marked.width(); ++x)
            if (marked.pixel(x, y) != focused.pixel(x, y)) changed |= QRect(x, y, 1, 1);
    EXPECT_TRUE(!changed.isEmpty() && face->geometry().contains(changed)) << changed.x() << "," << changed.y();

    QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(form->inServiceView());
    EXPECT_GE(accessible(form.get())->indexOfChild(accessible(strip)), 0);
    EXPECT_FALSE(accessible(strip)->state().invisible);
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab);
    EXPECT_TRUE(strip->isAncestorOf(QApplication::focusWidget()));

    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_FALSE(form->inServiceView());
    EXPECT_EQ(QApplication::focusWidget(), face);
    EXPECT_EQ(shownOutside(*form), QStringList());
}

}  // namespace

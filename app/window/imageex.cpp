#include "app/window/imageex.h"

#include "app/window/picture_cache.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QBitmap>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <stdexcept>

namespace {

// Qt's name for a picture's twin drawn at twice the size.
QString doubleSizeName(const QString& path)
{
    const QFileInfo file(path);
    const QString suffix = file.suffix().isEmpty() ? QString() : QStringLiteral(".") + file.suffix();
    return file.path() + QStringLiteral("/") + file.completeBaseName() + QStringLiteral("@2x") + suffix;
}

// The control as assistive technology meets it, read from the control each time it is asked, so
// that a role set after the first question counts.
class ImageAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ImageAccessible(TImageEx* image) : QAccessibleWidget(image) {}

    QAccessible::Role role() const override
    {
        switch (image()->role()) {
        case TImageEx::Role::PushButton:
            return QAccessible::Button;
        case TImageEx::Role::ProgressBar:
            return QAccessible::ProgressBar;
        case TImageEx::Role::Picture:
            break;
        }
        return QAccessible::Graphic;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface && image()->role() == TImageEx::Role::ProgressBar)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (isButton()) names.prepend(pressAction());
        return names;
    }

    void doAction(const QString& actionName) override
    {
        // Queued, as Qt's own buttons do: a message box the click opens must not hold up the
        // assistive technology's call.
        if (actionName == pressAction() && isButton())
            QMetaObject::invokeMethod(image(), &TImageEx::click, Qt::QueuedConnection);
        else
            QAccessibleWidget::doAction(actionName);
    }

    QVariant currentValue() const override { return image()->progressValue(); }
    void setCurrentValue(const QVariant&) override {}  // the update sets the value, never the user
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 0; }

private:
    TImageEx* image() const { return static_cast<TImageEx*>(widget()); }
    bool isButton() const { return image()->role() == TImageEx::Role::PushButton && image()->isEnabled(); }
};

QAccessibleInterface* imageAccessible(const QString& className, QObject* object)
{
    if (className != QLatin1String("TImageEx") || object == nullptr || !object->isWidgetType()) return nullptr;
    return new ImageAccessible(static_cast<TImageEx*>(object));
}

}  // namespace

TImageEx::TImageEx(QWidget* owner) : QWidget(owner)
{
    QAccessible::installFactory(imageAccessible);  // once: a factory installed already is kept as it is
}

void TImageEx::setRole(Role role)
{
    role_ = role;
    setFocusPolicy(role == Role::PushButton ? Qt::StrongFocus : Qt::NoFocus);
}

void TImageEx::setProgressValue(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (percent == progressValue_) return;
    progressValue_ = percent;
    QAccessibleValueChangeEvent event(this, percent);
    QAccessible::updateAccessibility(&event);
}

void TImageEx::click()
{
    emit clicked();
}

void TImageEx::loadFromFile(const QString& path)
{
    if (!QFile::exists(path))
        throw std::runtime_error(QStringLiteral("Cannot open file \"%1\". No such file.").arg(path).toStdString());
    const QPixmap loaded = PictureCache::shared().picture(path);
    if (loaded.isNull())
        throw std::runtime_error(QStringLiteral("Cannot read picture \"%1\".").arg(path).toStdString());
    picture_ = keyedOut(loaded);
    doubleSizePicture_ = QPixmap();
    doubleSizeLookedFor_ = false;
    pictureFile_ = path;
    update();
}

QPixmap TImageEx::keyedOut(QPixmap picture) const
{
    if (transparent_ && !picture.isNull()) {
        const QColor key = picture.toImage().pixelColor(0, picture.height() - 1);
        picture.setMask(picture.createMaskFromColor(key, Qt::MaskInColor));
    }
    return picture;
}

const QPixmap& TImageEx::pictureFor(qreal devicePixelRatio)
{
    if (devicePixelRatio <= 1 || picture_.isNull()) return picture_;
    if (!doubleSizeLookedFor_) {
        doubleSizeLookedFor_ = true;
        QPixmap doubleSize = PictureCache::shared().picture(doubleSizeName(pictureFile_));
        // Qt's reader gives an "@2x" file ratio 2 already, unless that is switched off.
        if (!doubleSize.isNull() && doubleSize.devicePixelRatio() != 2) doubleSize.setDevicePixelRatio(2);
        doubleSizePicture_ = keyedOut(doubleSize);
    }
    return doubleSizePicture_.isNull() ? picture_ : doubleSizePicture_;
}

void TImageEx::FMouseEnter()
{
    if (FOnMouseEnter) FOnMouseEnter(this);
}

void TImageEx::FMouseLeave()
{
    if (FOnMouseLeave) FOnMouseLeave(this);
}

bool TImageEx::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Enter:
        FMouseEnter();
        return true;
    case QEvent::Leave:
        FMouseLeave();
        return true;
    case QEvent::KeyPress:
        // A key while the button has the focus, Tab included: the keyboard is in use.
        if (role_ == Role::PushButton) showFocusMark(true);
        return QWidget::event(event);
    default:
        return QWidget::event(event);
    }
}

void TImageEx::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintPicture(painter);
    if (focusMarkShown()) {
        // A ring in the caption's white just inside the face's rounded edge.
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(4, 4, -4, -4), 6, 6);
    }
}

void TImageEx::paintPicture(QPainter& painter)
{
    if (picture_.isNull()) return;
    // The painter's own scale, not the screen's: the control may be painted into an image too.
    const QPixmap& shown = pictureFor(painter.deviceTransform().m11());
    // At 125 % or 150 % the picture is scaled to the device: smoothly, not by repeating pixels.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!stretch_) {
        painter.drawPixmap(0, 0, shown);
        return;
    }
    QSize size = rect().size();
    if (proportional_) size = shown.deviceIndependentSize().toSize().scaled(size, Qt::KeepAspectRatio);
    painter.drawPixmap(QRect(QPoint(0, 0), size), shown);
}

void TImageEx::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    showFocusMark(false);
}

void TImageEx::mouseReleaseEvent(QMouseEvent* event)
{
    const bool releasedOnIt = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    if (releasedOnIt) click();
}

void TImageEx::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const bool pressKey = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    if (role_ != Role::PushButton || !pressKey || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (!event->isAutoRepeat()) click();  // a key held down clicks once
}

void TImageEx::focusInEvent(QFocusEvent* event)
{
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
        showFocusMark(true);
    QWidget::focusInEvent(event);
}

void TImageEx::showFocusMark(bool wanted)
{
    focusMarkWanted_ = wanted;
    update();
}

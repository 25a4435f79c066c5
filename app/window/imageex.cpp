#include "app/window/imageex.h"

#include "app/window/picture_cache.h"

#include <QBitmap>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>

#include <stdexcept>

namespace {

// Qt's name for a picture's twin drawn at twice the size.
QString doubleSizeName(const QString& path)
{
    const QFileInfo file(path);
    const QString suffix = file.suffix().isEmpty() ? QString() : QStringLiteral(".") + file.suffix();
    return file.path() + QStringLiteral("/") + file.completeBaseName() + QStringLiteral("@2x") + suffix;
}

}  // namespace

TImageEx::TImageEx(QWidget* owner) : QWidget(owner) {}

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
    default:
        return QWidget::event(event);
    }
}

void TImageEx::paintEvent(QPaintEvent*)
{
    if (picture_.isNull()) return;
    QPainter painter(this);
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
}

void TImageEx::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click) emit clicked();
}

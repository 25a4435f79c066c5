#include "imageex.h"

#include <QBitmap>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>

#include <stdexcept>

TImageEx::TImageEx(QWidget* owner) : QWidget(owner) {}

void TImageEx::loadFromFile(const QString& path)
{
    if (!QFile::exists(path))
        throw std::runtime_error(QStringLiteral("Cannot open file \"%1\". No such file.").arg(path).toStdString());
    QPixmap loaded;
    if (!loaded.load(path))
        throw std::runtime_error(QStringLiteral("Cannot read picture \"%1\".").arg(path).toStdString());
    if (transparent_ && !loaded.isNull()) {
        const QColor key = loaded.toImage().pixelColor(0, loaded.height() - 1);
        loaded.setMask(loaded.createMaskFromColor(key, Qt::MaskInColor));
    }
    picture_ = loaded;
    pictureFile_ = path;
    update();
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
    if (!stretch_) {
        painter.drawPixmap(0, 0, picture_);
        return;
    }
    QSize size = rect().size();
    if (proportional_) size = picture_.size().scaled(size, Qt::KeepAspectRatio);
    painter.drawPixmap(QRect(QPoint(0, 0), size), picture_);
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

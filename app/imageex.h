// The picture control of the main window: shows a bitmap (stretched, optionally keeping its
// aspect ratio, optionally with its bottom-left colour transparent) and raises its own events
// when the pointer enters or leaves it. Those two notifications are consumed here: the base
// widget's own handling of them never runs, and with no handler bound nothing happens.
#pragma once

#include <QPixmap>
#include <QWidget>

#include <functional>

class TImageEx : public QWidget {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TImageEx(QWidget* owner);

    // Loads a bitmap file. Throws std::runtime_error naming the file when it cannot be read.
    void loadFromFile(const QString& path);
    QString pictureFile() const { return pictureFile_; }  // the file last loaded, empty at first
    const QPixmap& picture() const { return picture_; }

    void setStretch(bool on) { stretch_ = on; }
    void setProportional(bool on) { proportional_ = on; }
    void setTransparent(bool on) { transparent_ = on; }

    const TNotifyEvent& OnMouseLeave() const { return FOnMouseLeave; }
    void setOnMouseLeave(TNotifyEvent handler) { FOnMouseLeave = std::move(handler); }
    const TNotifyEvent& OnMouseEnter() const { return FOnMouseEnter; }
    void setOnMouseEnter(TNotifyEvent handler) { FOnMouseEnter = std::move(handler); }

    void FMouseEnter();
    void FMouseLeave();

signals:
    void clicked();

protected:
    bool event(QEvent* event) override;  // the control's dispatch: enter and leave go to its own events
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TNotifyEvent FOnMouseLeave;
    TNotifyEvent FOnMouseEnter;
    QPixmap picture_;
    QString pictureFile_;
    bool stretch_ = false;
    bool proportional_ = false;
    bool transparent_ = false;
    bool pressed_ = false;
};

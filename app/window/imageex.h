// The picture control of the main window: shows a bitmap (stretched, optionally keeping its
// aspect ratio, optionally with its bottom-left colour transparent) and raises its own events
// when the pointer enters or leaves it. On a screen scaled up it shows the bitmap's twin drawn at
// twice the size where there is one, so the picture stays sharp; its size stays as it is. Those
// two notifications are consumed here: the base widget's own handling of them never runs, and with
// no handler bound nothing happens. Pictures come from the run's PictureCache. To assistive
// technology it is a picture, a push button or a progress bar, as its role says.
#pragma once

#include <QPixmap>
#include <QWidget>

#include <functional>

class QPainter;

class TImageEx : public QWidget {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* sender)>;
    enum class Role { Picture, PushButton, ProgressBar };

    explicit TImageEx(QWidget* owner);

    // A push button takes the keyboard focus; Enter, Space and assistive technology's press action
    // click it, and once the keyboard is in use it shows a focus mark while it has the focus. A
    // progress bar tells assistive technology its value. A picture has its accessible name.
    void setRole(Role role);
    Role role() const { return role_; }
    void setProgressValue(int percent);  // 0 to 100, told to assistive technology when it changes
    int progressValue() const { return progressValue_; }
    void click();                        // as a click with the pointer
    bool focusMarkShown() const { return focusMarkWanted_ && hasFocus(); }

    // Loads a bitmap file. Its twin of twice the size beside it (Qt's naming: "Start@2x.bmp" for
    // "Start.bmp") is read only when first painted on a scaled-up device. Throws
    // std::runtime_error naming the file when the file itself cannot be read; a twin that cannot be
    // read is left out.
    void loadFromFile(const QString& path);
    QString pictureFile() const { return pictureFile_; }  // the file last loaded, empty at first
    const QPixmap& picture() const { return picture_; }
    // What is painted where a layout pixel covers devicePixelRatio pixels of the device: the twin
    // (at device pixel ratio 2) on any scaled-up device, if there is one, else the picture. The
    // first call for a scaled-up device reads the twin.
    const QPixmap& pictureFor(qreal devicePixelRatio);

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
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void paintPicture(QPainter& painter);
    void showFocusMark(bool wanted);

    QPixmap keyedOut(QPixmap picture) const;  // with the bottom-left colour see-through when transparent

    TNotifyEvent FOnMouseLeave;
    TNotifyEvent FOnMouseEnter;
    QPixmap picture_;
    QPixmap doubleSizePicture_;        // null when the file has no readable twin, or until looked for
    bool doubleSizeLookedFor_ = false;  // the twin of the picture shown now
    QString pictureFile_;
    bool stretch_ = false;
    bool proportional_ = false;
    bool transparent_ = false;
    bool pressed_ = false;
    Role role_ = Role::Picture;
    int progressValue_ = 0;
    bool focusMarkWanted_ = false;  // the keyboard moved the focus or was used since the last click
};

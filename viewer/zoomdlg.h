// The magnifier: a sizable tool window that, every 80 ms, shows the part of the screen
// around the mouse pointer enlarged twice, with its own area greyed out in the copy.
// Where the window system does not let programs read the screen (Wayland), it enlarges
// the viewer's own windows instead. The main window owns it; a new zoom command replaces it.
#pragma once

#include <QBasicTimer>
#include <QPixmap>
#include <QRect>
#include <QWidget>

namespace viewer {

// The part of the screen shown: the client size divided by the factor, centred on the
// pointer and moved inside the screen.
QRect ZoomSourceRect(QPoint pointer, QSize client, int factor, const QRect& screen);

// Whether programs may read the screen on this window system (Qt's platform name): not on
// Wayland.
bool ScreenIsReadable(const QString& platformName);

}  // namespace viewer

class CZoomDlg : public QWidget {
    Q_OBJECT

public:
    enum class Source {
        Auto,        // the screen, unless the window system forbids reading it
        Screen,      // the screen through the window system
        OwnWindows,  // the viewer's own top-level windows, drawn where they are
    };

    // Where and how large it opens, in screen coordinates.
    static constexpr QRect kPlace{850, 465, 425, 330};
    static constexpr int kRefreshMs = 80;
    static constexpr int kFactor = 2;
    // What the magnifier's own area shows in the copy.
    static constexpr QRgb kOwnAreaGrey = 0x969696;

    explicit CZoomDlg(Source source = Source::Auto);
    ~CZoomDlg() override;

    bool Refreshing() const { return m_timer.isActive(); }
    Source CurrentSource() const { return m_source; }
    // The latest copy shown, at the source rectangle's size.
    const QPixmap& Copy() const { return m_copy; }
    QRect CopySource() const { return m_copySource; }
    int StoredWidth() const { return m_width; }
    // Takes one copy now, as a tick does.
    void Refresh();

protected:
    void timerEvent(QTimerEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void StopRefresh();
    QPixmap GrabOwnWindows(const QRect& source) const;
    // Says once per run that the screen cannot be read, and switches to the own windows.
    void FallBackToOwnWindows();

    Source m_source;
    QBasicTimer m_timer;
    QPixmap m_copy;
    QRect m_copySource;
    int m_width = 500;  // the client width after the latest size change
};

// The third-channel window: a caption-less tool window of its own that shows the third
// camera beside the main window. It docks to the main window's left edge and follows it
// until the user drags it; its return button asks the main window to show the third
// channel full screen instead. The main window creates it on first use and owns it.
#pragma once

#include "viewer/windowdrag.h"

#include <QPixmap>
#include <QWidget>
#include <functional>

class CPictureView;

// Its controls: the picture keeps the main window's third-picture id.
constexpr int IDC_CH3_PICTURE = 783;
constexpr int IDC_CH3_RETURN = 784;  // back to the main window, full screen
constexpr int IDC_CH3_HIDE = 785;

class CCH3Dlg : public QWidget {
    Q_OBJECT

public:
    // mainWindow receives WM_CH3_RETURN; openSerial tells the number of the open it shows,
    // which the message carries.
    CCH3Dlg(QWidget* mainWindow, std::function<int()> openSerial);
    ~CCH3Dlg() override;

    CPictureView* Picture() const { return m_picture; }
    // The picture at its place, shown with the window.
    void ShowPicture();
    // Puts the window's right edge on the main window's left edge, at the same top.
    void DockTo(const QRect& mainFrame);
    // Shows the window without taking the focus from the main window.
    void ShowBeside(const QRect& mainFrame);
    // The user dragged it: it no longer docks until it is hidden.
    bool MovedByUser() const { return m_movedByUser; }
    bool Returned() const { return m_returned; }
    // The main window did not act on the return (an export runs): the button works again.
    void ClearReturned() { m_returned = false; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void OnReturn();

    QPixmap m_background;
    QWidget* m_main;
    std::function<int()> m_openSerial;
    bool m_movedByUser = false;
    bool m_returned = false;
    CPictureView* m_picture = nullptr;
    CWindowDrag m_drag;
};

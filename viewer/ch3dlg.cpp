#include "viewer/ch3dlg.h"

#include "controls/controlid.h"
#include "res/resid.h"
#include "res/skin.h"
#include "viewer/mainwindow.h"
#include "viewer/pictureview.h"
#include "viewer/skinctl.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QPainter>

namespace {

// The picture fills the screen drawn into the background.
constexpr QRect kPicturePlace(8, 34, 640, 360);
// Buttons sit this far from the right edge, at the top.
constexpr int kReturnFromRight = 53;
constexpr int kHideFromRight = 29;
constexpr int kButtonTop = 5;
constexpr int kButtonSize = 25;

}  // namespace

CCH3Dlg::CCH3Dlg(QWidget* mainWindow, std::function<int()> openSerial)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint),
      m_main(mainWindow),
      m_openSerial(std::move(openSerial))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("CH3"));
    m_background = LoadSkinBitmap(IDB_CH3_BG);
    setFixedSize(m_background.isNull() ? QSize(655, 401) : m_background.deviceIndependentSize().toSize());

    QAbstractButton* back = viewer::MakeImageButton(this, IDC_CH3_RETURN, IDB_BTN_CH3_RETURN);
    QAbstractButton* hide = viewer::MakeImageButton(this, IDC_CH3_HIDE, IDB_BTN_CH3_CLOSE);
    back->setGeometry(width() - kReturnFromRight, kButtonTop, kButtonSize, kButtonSize);
    hide->setGeometry(width() - kHideFromRight, kButtonTop, kButtonSize, kButtonSize);
    // The main window keeps the keyboard.
    back->setFocusPolicy(Qt::NoFocus);
    hide->setFocusPolicy(Qt::NoFocus);
    connect(back, &QAbstractButton::clicked, this, [this] { OnReturn(); });
    connect(hide, &QAbstractButton::clicked, this, [this] { this->hide(); });

    m_picture = new CPictureView(this);
    SetControlId(m_picture, IDC_CH3_PICTURE);
    m_picture->setGeometry(kPicturePlace);
    m_picture->hide();
}

// The owner hands the third channel elsewhere first: nothing paints into the picture now.
CCH3Dlg::~CCH3Dlg() = default;

void CCH3Dlg::ShowPicture()
{
    m_picture->setGeometry(kPicturePlace);
    m_picture->show();
}

void CCH3Dlg::DockTo(const QRect& mainFrame)
{
    move(mainFrame.left() - frameGeometry().width(), mainFrame.top());
}

void CCH3Dlg::ShowBeside(const QRect& mainFrame)
{
    DockTo(mainFrame);
    show();
}

void CCH3Dlg::OnReturn()
{
    // Once: a second click before the main window acts would run the return twice.
    if (m_returned) {
        return;
    }
    m_returned = true;
    PostWinMessage(m_main, WM_CH3_RETURN, m_openSerial ? m_openSerial() : 0, 0);
}

void CCH3Dlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_background.isNull()) {
        p.fillRect(rect(), Qt::black);
    } else {
        p.drawPixmap(0, 0, m_background);
    }
}

void CCH3Dlg::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && !m_returned) {
        if (m_main != nullptr) {
            m_main->activateWindow();
        }
        m_drag.Press(this, e);
        m_movedByUser = true;
    }
    QWidget::mousePressEvent(e);
}

void CCH3Dlg::mouseMoveEvent(QMouseEvent* e)
{
    m_drag.Move(this, e);
    QWidget::mouseMoveEvent(e);
}

void CCH3Dlg::mouseReleaseEvent(QMouseEvent* e)
{
    m_drag.Release();
    QWidget::mouseReleaseEvent(e);
}

void CCH3Dlg::showEvent(QShowEvent* e)
{
    m_returned = false;
    ShowPicture();
    QWidget::showEvent(e);
}

void CCH3Dlg::hideEvent(QHideEvent* e)
{
    m_movedByUser = false;
    m_drag.Release();
    m_picture->hide();
    QWidget::hideEvent(e);
}

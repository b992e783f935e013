#include "viewer/pictureview.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>

CPictureView::CPictureView(QWidget* parent) : QWidget(parent), m_sink(0, 0, false)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Runs on an engine thread: ask the GUI thread for one repaint.
    m_sink.SetListener([this](uint64_t) {
        if (m_repaintPending.exchange(true)) {
            return;
        }
        // By slot name, not a lambda: the queued call is then made entirely inside Qt, whose
        // hand-over between threads ThreadSanitizer cannot see into.
        QMetaObject::invokeMethod(this, "OnPicturePresented", Qt::QueuedConnection);
    });
}

void CPictureView::OnPicturePresented()
{
    m_repaintPending = false;
    update();
}

CPictureView::~CPictureView()
{
    // The owner stops the engine first; nothing presents any more.
    m_sink.SetListener(nullptr);
}

QImage CPictureView::LatestImage() const
{
    CVipImgBase image;
    if (!m_sink.Latest(&image) || image.IsEmpty()) {
        return {};
    }
    const cv::Mat& mat = image.Mat();
    if (mat.type() != CV_8UC3) {
        return {};
    }
    return QImage(mat.data, mat.cols, mat.rows, static_cast<qsizetype>(mat.step), QImage::Format_BGR888)
        .copy();
}

void CPictureView::paintEvent(QPaintEvent*)
{
    // Moved to a screen of another pixel ratio: the next picture comes at the new size.
    if (QSize(m_sink.Width(), m_sink.Height()) != DeviceSize()) {
        SyncSink();
    }
    QPainter p(this);
    CVipImgBase image;
    uint64_t serial = 0;
    if (m_sink.Latest(&image, &serial) && !image.IsEmpty() && image.Mat().type() == CV_8UC3) {
        const cv::Mat& mat = image.Mat();
        const QImage view(mat.data, mat.cols, mat.rows, static_cast<qsizetype>(mat.step),
                          QImage::Format_BGR888);
        p.drawImage(rect(), view);
        m_shownSerial = serial;
    } else {
        p.fillRect(rect(), Qt::black);
    }
}

QSize CPictureView::DeviceSize() const
{
    // The engine scales each picture to the sink's size: in device pixels it stays sharp
    // on a screen of a higher pixel ratio.
    const qreal ratio = devicePixelRatioF();
    return QSize(qRound(width() * ratio), qRound(height() * ratio));
}

void CPictureView::SyncSink()
{
    const QSize size = DeviceSize();
    m_sink.SetSize(size.width(), size.height());
    m_sink.SetVisible(isVisible() && width() > 0 && height() > 0);
}

void CPictureView::resizeEvent(QResizeEvent*)
{
    SyncSink();
}

void CPictureView::showEvent(QShowEvent*)
{
    SyncSink();
}

void CPictureView::hideEvent(QHideEvent*)
{
    SyncSink();
}

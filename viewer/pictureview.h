// A picture control that shows what the engine paints into its sink. The engine paints
// from its own threads; the widget repaints on the GUI thread through a queued call, at
// most one pending at a time.
#pragma once

#include "platform/picturesink.h"

#include <QColor>
#include <QWidget>
#include <atomic>

class CPictureView : public QWidget {
    Q_OBJECT

public:
    explicit CPictureView(QWidget* parent = nullptr);
    ~CPictureView() override;

    CPictureSink* Sink() { return &m_sink; }
    // Pictures shown so far (GUI thread).
    uint64_t ShownSerial() const { return m_shownSerial; }
    // The latest picture as an image (null when there is none), for checks and stills.
    QImage LatestImage() const;

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private slots:
    // GUI thread: the repaint an engine thread asked for.
    void OnPicturePresented();

private:
    QSize DeviceSize() const;
    void SyncSink();

    CPictureSink m_sink;
    std::atomic<bool> m_repaintPending{false};
    uint64_t m_shownSerial = 0;
};

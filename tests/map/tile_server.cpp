#include "tests/map/tile_server.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTcpSocket>

namespace {

// A run of the tests asks for a few hundred tiles at most; anything beyond is refused.
constexpr int kMaxTiles = 2000;

QByteArray DrawTile(const QString& name)
{
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(QColor::fromRgb(CTileServer::kTileColour));
    QPainter p(&tile);
    p.setPen(QPen(QColor::fromRgb(CTileServer::kBorderColour), 2));
    p.drawRect(1, 1, 253, 253);
    p.drawText(tile.rect(), Qt::AlignCenter, name);
    p.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    tile.save(&buffer, "PNG");
    return png;
}

}  // namespace

CTileServer::CTileServer()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &CTileServer::OnConnection);
}

QString CTileServer::TileUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(m_server.serverPort());
}

void CTileServer::OnConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine()) {
                return;
            }
            const QString line = QString::fromLatin1(socket->readLine()).trimmed();
            static const QRegularExpression tilePath(R"(^GET /(\d+)/(\d+)/(\d+)\.png )");
            const auto match = tilePath.match(line);
            QByteArray body;
            QByteArray status = "404 Not Found";
            if (match.hasMatch() && m_served.size() < kMaxTiles) {
                const QString name = match.captured(1) + "/" + match.captured(2) + "/" + match.captured(3);
                m_served.append(name);
                body = DrawTile(name);
                status = "200 OK";
            }
            socket->write("HTTP/1.1 " + status + "\r\nContent-Type: image/png\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            socket->disconnectFromHost();
        });
    }
}

// A tile server on 127.0.0.1 for the map tests: it draws each tile it is asked for (a
// sand-coloured square with a border and its z/x/y), so a screenshot shows where tiles
// came from. Serves on the GUI thread's event loop; stops with the object.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QTcpServer>

class CTileServer : public QObject {
public:
    // The colour of every tile's inside, for screenshots to look for.
    static constexpr QRgb kTileColour = 0xFFF0E0B8;
    static constexpr QRgb kBorderColour = 0xFF8C7850;

    CTileServer();
    bool Listening() const { return m_server.isListening(); }
    // http://127.0.0.1:<port>/{z}/{x}/{y}.png
    QString TileUrl() const;
    // The paths served, in order.
    const QStringList& Served() const { return m_served; }

private:
    void OnConnection();

    QTcpServer m_server;
    QStringList m_served;
};

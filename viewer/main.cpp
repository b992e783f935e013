// mubviewer [--card DIR]: the recording viewer.
#include "viewer/app.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("mubviewer");
    QApplication::setOrganizationName("mub");
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption card("card", "A folder that counts as a card.", "DIR");
    parser.addOption(card);
    parser.process(app);
    CSamplePlayerApp viewerApp;
    return viewerApp.InitInstance(parser.value(card).toStdString());
}

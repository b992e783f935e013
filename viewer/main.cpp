// mubviewer [--card DIR]: the recording viewer.
#include "viewer/app.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <QApplication>
#include <QCommandLineParser>
#include <QSocketNotifier>

namespace {

int g_signalPipe[2] = {-1, -1};

void OnQuitSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &byte, 1);
}

// Ctrl-C and kill end the viewer through its normal shutdown (configuration saved,
// threads joined): the handler only writes to a pipe the event loop watches.
void QuitOnSignals(QApplication& app)
{
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QApplication::quit(); });
    struct sigaction action = {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    // The map's web engine shares the application's graphics contexts; it must be told
    // before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The map's web view draws through Qt Quick. Its software renderer works on every X
    // server (OpenGL on Xvfb breaks the connection) and the map is small.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) {
        qputenv("QT_QUICK_BACKEND", "software");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("mubviewer");
    QApplication::setOrganizationName("mub");
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption card("card", "A folder that counts as a card.", "DIR");
    parser.addOption(card);
    parser.process(app);
    QuitOnSignals(app);
    CSamplePlayerApp viewerApp;
    return viewerApp.InitInstance(parser.value(card).toStdString());
}

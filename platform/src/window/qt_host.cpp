// Qt's messages in the device log, and the platform Qt draws on.
#include <handset/qt_host.h>

#include <cstdio>
#include <cstdlib>

#include <QtGlobal>
#include <QString>

#include <handset/log.h>

namespace handset {

namespace {

const char* kindOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    default:
        return "fatal";
    }
}

void logQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    std::string line = kindOf(type);
    if (context.category && std::string_view(context.category) != "default")
        line += std::string(" (") + context.category + ")";
    line += ": " + message.toStdString();
    logLine("qt", line);
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

void prepareQt()
{
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(&logQtMessage);
}

}  // namespace handset

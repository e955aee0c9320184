#pragma once

#include <QList>
#include <QProcess>
#include <QString>

// Figure 4: from starting a process to its main window on the screen.
namespace ColdStart {

inline constexpr char Mode[] = "--cold-start";

// The child: builds the windows as the program's start-up does, shows the main one
// and prints "shown <monotonic ns>" once its first frame is painted.
int runChild(int argc, char* argv[]);

// Starts the child runs times, one after the other, in env; the times in ms, or an
// empty list and error.
QList<double> measureMs(const QProcessEnvironment& env, int runs, QString* error);

} // namespace ColdStart

// An X server of the bench's own for the runs under X, stopped with the object.
class XvfbServer {
public:
    XvfbServer() = default;
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;
    ~XvfbServer();

    // False with error when Xvfb is missing or does not come up.
    bool start(QString* error);
    QString display() const { return display_; }

private:
    QProcess server_;
    QString display_;
};

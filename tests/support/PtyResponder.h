#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <functional>

// The far end of a pseudo-terminal, answering each 8-byte request frame with
// whatever the test's script returns (empty: stay silent). Runs in the test's
// own event loop.
class PtyResponder : public QObject {
    Q_OBJECT
public:
    using Script = std::function<QByteArray(const QByteArray& request)>;

    PtyResponder();
    ~PtyResponder() override;

    QString slavePath() const { return slavePath_; }
    void setScript(Script script) { script_ = std::move(script); }
    // Requests seen so far, one frame each.
    const QList<QByteArray>& requests() const { return requests_; }
    // Simulates the line going away (an adapter pulled out).
    void hangUp();

    static QByteArray withCrc(const QByteArray& body);

private:
    void onReadable();

    int master_ = -1;
    int slaveHold_ = -1;
    QString slavePath_;
    QSocketNotifier* notifier_ = nullptr;
    QByteArray pending_;
    QList<QByteArray> requests_;
    Script script_;
};

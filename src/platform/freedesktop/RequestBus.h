// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class QDBusMessage;

namespace tarvo::platform {

// What a file-manager request asks for, read with the receiver's defaults: an action that is not a
// string means "compress", paths that are not a list of strings mean none.
struct FinderRequest
{
    QString action;
    QStringList paths;

    static FinderRequest read(const QVariantMap& request);
    QVariantMap toMap() const;
};

// The application on the session bus: the owner of "com.tarvo.app", which a second tarvo hands its
// request to, and the listener of the file-manager request signal. A second process uses the static
// operations to reach the running one.
class RequestBus : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* kService = "com.tarvo.app";
    static constexpr const char* kPath = "/com/tarvo/app";
    static constexpr const char* kInterface = "com.tarvo.app";
    static constexpr const char* kFinderPath = "/com/tarvo/finder";
    static constexpr const char* kFinderInterface = "com.tarvo.finder";
    static constexpr const char* kFinderMember = "request";

    enum class Start
    {
        // This process holds the name.
        owner,
        // Another process holds it: hand the request over.
        anotherRuns,
        // No session bus (or the name cannot be had): run alone.
        alone,
    };

    explicit RequestBus(QDBusConnection connection, QObject* parent = nullptr);
    ~RequestBus() override;

    // Serves the application object and asks for the name; the owner also hears the request signal.
    Start start();
    // Gives the name up and stops listening, so that requests made while the application shuts down
    // go to a new Tarvo rather than to one that no longer takes them.
    void stop();

    // The second process's side. Each waits at most `timeoutMs` for an answer (an owner that hangs
    // must not hang the caller) and says whether the running process took the request.
    static bool activate(const QDBusConnection& connection, int timeoutMs);
    static bool open(const QDBusConnection& connection, const QStringList& paths, int timeoutMs);
    static bool request(const QDBusConnection& connection, const FinderRequest& request, int timeoutMs);

Q_SIGNALS:
    // The file-manager request signal, from anyone.
    void finderRequested(const QString& action, const QStringList& paths);
    // A second tarvo's "--finder ACTION PATH...".
    void desktopActionRequested(const QString& action, const QStringList& paths);
    // A second tarvo's "PATH...".
    void openRequested(const QStringList& paths);
    // A second tarvo without arguments.
    void activationRequested();

public Q_SLOTS:
    // The methods of com.tarvo.app, called through the generated adaptor.
    void Activate();
    void Open(const QStringList& paths);
    void Request(const QVariantMap& request);

private Q_SLOTS:
    // Takes the message itself, so that a signal of any signature arrives and is read with the
    // defaults rather than dropped by the bus library.
    void onFinderSignal(const QDBusMessage& message);

private:
    QDBusConnection m_connection;
    bool m_registered = false;
    bool m_listening = false;
};

} // namespace tarvo::platform

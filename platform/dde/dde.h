#pragma once
// A DDE source on the D-Bus session bus. A service (the program's name) offers topics (forms);
// a client sends execute strings to a topic and requests, watches (hot link) or pokes the topic's
// items, which are the labels and text boxes of the form, named after the control.
//
// On the bus:
//   bus name      bus_name(service), "org.weyvane.dde." + service by default
//   object        "/" + topic, e.g. "/Form1"
//   interface     "org.weyvane.dde.Topic"
//     Execute(s command) -> b     the acknowledgement: true when the handler accepted the string;
//                                 also taken as a call without a reply (one-way) or as a signal
//                                 Execute(s) sent to the object, as plain dbus-send sends it
//     Request(s item) -> s        the item's text
//     Poke(s item, s text) -> b   puts a new text into the item
//     Advise(s item)              hot link: the caller gets Changed for every change of the item
//     Unadvise(s item)            ends the caller's hot link
//     signal Changed(s item, s text), sent to the clients that advised on the item
// An unknown item is answered with the error "org.weyvane.dde.Error.UnknownItem". Item names
// match without regard to case. A text or item name longer than kMaxText is answered with the
// bus's error "org.freedesktop.DBus.Error.LimitsExceeded" at once, and nothing is changed or run.
//
// Everything runs on the user-interface thread. An execute is taken from the bus at once and run
// from the event loop; its acknowledgement goes back when the handler returns. Executes run one at
// a time in the order they arrive, each acknowledged when its own run ends. Between two executes
// the event loop gets its turn, so clicks, timers and other calls are not held up by a backlog.
// At most kMaxWaitingExecutes wait; an execute beyond them is answered false at once (a one-way
// one is not run). An execute whose caller waited for its acknowledgement and gave up (left the
// bus later than kLeftAtOnceMs after sending) is dropped unrun; a one-way execute, or one whose
// caller left at once, is run whether its sender is still there or not.
// A missing session bus, or a name held by another program, only means that no DDE is offered.
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>

class QDBusServiceWatcher;
class QTimer;
class QWidget;

namespace dde {

inline constexpr char kInterface[] = "org.weyvane.dde.Topic";
inline constexpr char kUnknownItem[] = "org.weyvane.dde.Error.UnknownItem";
inline constexpr char kLimitsExceeded[] = "org.freedesktop.DBus.Error.LimitsExceeded";
// How many executes may wait behind the one that runs. A full network is 11 scales, and a client
// that serves each with its own caller (a totals reset or a transfer per scale) sends 11 at once;
// 32 holds that, and a second round sent before the first has ended, with room to spare. Each
// takes seconds, so far more would only hold callers past their time-out; 32 waiting texts of at
// most kMaxText characters take at most 2 MB.
inline constexpr int kMaxWaitingExecutes = 32;
// The longest text the topic takes, in an execute, a poke or an item name. No item's text can be
// longer: a text box holds at most 32767 characters (QLineEdit's maxLength), and the labels show
// a scale's line (at most 256) or the screen's own captions. A longer text is refused before it
// is copied or shown: laying out megabytes on a label holds the program for seconds and takes
// gigabytes.
inline constexpr qsizetype kMaxText = 32767;
// A caller that leaves within this time of sending an execute did not wait for its answer, and
// the execute runs: dbus-send without --print-reply sends a call that asks for a reply and leaves
// at once. One that leaves later gave up waiting (clients give up after 25 s by default), and its
// execute is dropped. 5 s is more than the longest stretch the program runs without taking the
// bus's messages in (a totals reset pauses 2.4 s).
inline constexpr qint64 kLeftAtOnceMs = 5000;

// The bus name of a service.
QString bus_name(const QString& service);
// Programs sharing one bus (tests side by side) give their services their own prefix; an empty
// prefix returns to "org.weyvane.dde.".
void set_bus_prefix(const QString& prefix);

QString object_path(const QString& topic);

class TopicObject;

class Source : public QObject {
    Q_OBJECT
public:
    // Returns whether the execute string was accepted.
    using ExecuteHandler = std::function<bool(const QString& command)>;

    // The items are the named QLabel and QLineEdit children of `form`.
    Source(QWidget* form, const QString& topic);
    ~Source() override;

    void set_execute_handler(ExecuteHandler handler) { handler_ = std::move(handler); }

    // Offers the service and the topic on the session bus. False when there is no session bus
    // or the name is taken; then nothing is offered. Starting again while offered does nothing.
    bool start(const QString& service);
    // Takes the service off the bus and ends every hot link. Safe at any time.
    void stop();
    bool active() const { return active_; }
    QString service() const { return service_; }
    QString topic() const { return topic_; }

    // The parts the bus object calls; false for an unknown item.
    bool execute(const QString& command);
    // An execute that came over the bus: run now, or after the ones before it; `call` gets its
    // acknowledgement when its run ends, or false at once when too many wait, unless it wants no
    // reply (a one-way call or a signal).
    void queue_execute(const QString& command, const QDBusMessage& call);
    int waiting_executes() const { return static_cast<int>(pending_.size()); }
    bool request(const QString& item, QString* text) const;
    bool poke(const QString& item, const QString& text);
    bool advise(const QString& client, const QString& item);
    void unadvise(const QString& client, const QString& item);
    int advise_count() const;

    // Reports the advised items whose text changed since they were last reported.
    void check_advises();

private slots:
    void execute_signalled(const QString& command, const QDBusMessage& signal);

private:
    struct PendingExecute {
        QString command;
        QDBusMessage call;
        QElapsedTimer since; // from its arrival
        bool waits;          // its caller waits for the acknowledgement
    };
    void answer(const QDBusMessage& call, bool accepted);
    void run_execute(const PendingExecute& e);
    void post_next_execute();
    void run_next_execute();
    QWidget* find_item(const QString& item) const;
    void watch(const QString& client);
    void release(const QString& client);
    void forget_advises(const QString& client);
    void client_gone(const QString& client);
    void send_changed(const QString& client, const QString& item, const QString& text);

    QWidget* form_;
    QString topic_;
    QString service_;
    QString bus_name_;
    bool active_ = false;
    ExecuteHandler handler_;
    QList<PendingExecute> pending_;
    bool executing_ = false;
    bool next_posted_ = false;
    TopicObject* object_ = nullptr;
    QTimer* advise_timer_ = nullptr;
    QDBusServiceWatcher* watcher_ = nullptr;
    // Client -> advised item names (lower case); item name -> text last reported.
    QHash<QString, QSet<QString>> advises_;
    QHash<QString, QString> last_text_;
};

} // namespace dde

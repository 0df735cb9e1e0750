#include "platform/dde/dde.h"

#include "platform/log/log.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <utility>

namespace dde {

namespace {

const QString kDefaultPrefix = QStringLiteral("org.weyvane.dde.");
QString& prefix() {
    static QString p = kDefaultPrefix;
    return p;
}

// How often the advised items are compared with the text last reported. Labels tell nobody
// when their text changes, so the hot links look.
constexpr int kAdviseCheckMs = 50;

bool is_item(const QObject* w) {
    const QString name = w->objectName();
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_")) &&
           (qobject_cast<const QLabel*>(w) || qobject_cast<const QLineEdit*>(w));
}

// The bus's last error for a trace, as ": message", or nothing when the bus gave none.
QString bus_error(const QDBusConnection& bus) {
    const QString m = bus.lastError().message();
    return m.isEmpty() ? QString() : QStringLiteral(": ") + m;
}

QString text_of(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w)) return label->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(w)) return edit->text();
    return {};
}

// Whether `text` is longer than any item could hold; such a text is refused before anything
// copies, traces or shows it.
bool refused_as_too_long(const QString& text, const QDBusMessage& m) {
    if (text.size() <= kMaxText) return false;
    qCWarning(lcDde).noquote() << m.member() << "from" << m.service() << "refused, a text of" << text.size()
                               << "characters";
    return true;
}

} // namespace

QString bus_name(const QString& service) {
    return prefix() + service;
}

void set_bus_prefix(const QString& p) {
    prefix() = p.isEmpty() ? kDefaultPrefix : p;
}

QString object_path(const QString& topic) {
    return QLatin1Char('/') + topic;
}

// The object on the bus: one per offered topic. It passes each call to its source.
class TopicObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.weyvane.dde.Topic")
public:
    explicit TopicObject(Source* source) : QObject(source), source_(source) {}

    void emit_changed(const QString& client, const QString& item, const QString& text) {
        QDBusMessage m =
            QDBusMessage::createTargetedSignal(client, object_path(source_->topic()), kInterface, "Changed");
        m << item << text;
        QDBusConnection::sessionBus().send(m);
    }

public slots:
    Q_SCRIPTABLE bool Execute(const QString& command) {
        if (too_long(command)) return false;
        // Answered when the command's own run ends, which may be after others queued before it.
        setDelayedReply(true);
        source_->queue_execute(command, message());
        return false;
    }
    Q_SCRIPTABLE QString Request(const QString& item) {
        QString text;
        if (!too_long(item) && !source_->request(item, &text)) unknown(item);
        return text;
    }
    Q_SCRIPTABLE bool Poke(const QString& item, const QString& text) {
        if (too_long(item) || too_long(text)) return false;
        qCDebug(lcDde).noquote() << "poke from" << message().service() << "of item" << item << "with" << text;
        if (source_->poke(item, text)) return true;
        unknown(item);
        return false;
    }
    Q_SCRIPTABLE void Advise(const QString& item) {
        if (!too_long(item) && !source_->advise(message().service(), item)) unknown(item);
    }
    Q_SCRIPTABLE void Unadvise(const QString& item) {
        if (!too_long(item)) source_->unadvise(message().service(), item);
    }

signals:
    Q_SCRIPTABLE void Changed(const QString& item, const QString& text);

private:
    // Refuses a text no item could hold with the bus's error.
    bool too_long(const QString& text) {
        if (!refused_as_too_long(text, message())) return false;
        if (message().isReplyRequired())
            sendErrorReply(kLimitsExceeded,
                           QStringLiteral("A text of %1 characters is longer than the %2 an item can hold")
                               .arg(text.size())
                               .arg(kMaxText));
        return true;
    }
    void unknown(const QString& item) {
        qCDebug(lcDde).noquote() << "no item" << item << "in topic" << source_->topic();
        sendErrorReply(kUnknownItem,
                       QStringLiteral("No item \"%1\" in topic \"%2\"").arg(item, source_->topic()));
    }
    Source* source_;
};

Source::Source(QWidget* form, const QString& topic) : QObject(form), form_(form), topic_(topic) {
    object_ = new TopicObject(this);
    advise_timer_ = new QTimer(this);
    advise_timer_->setInterval(kAdviseCheckMs);
    connect(advise_timer_, &QTimer::timeout, this, &Source::check_advises);
}

Source::~Source() {
    stop();
}

bool Source::start(const QString& service) {
    if (active_) return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(lcDde).noquote() << "no session bus, service" << service << "not offered" + bus_error(bus);
        return false;
    }
    const QString name = bus_name(service);
    if (!bus.registerObject(object_path(topic_), object_,
                            QDBusConnection::ExportScriptableSlots |
                                QDBusConnection::ExportScriptableSignals)) {
        qCWarning(lcDde).noquote() << "topic" << topic_ << "could not be registered" + bus_error(bus);
        return false;
    }
    if (!bus.registerService(name)) {
        qCWarning(lcDde).noquote() << "service name" << name << "could not be taken" + bus_error(bus);
        bus.unregisterObject(object_path(topic_));
        return false;
    }
    // Plain dbus-send sends a signal unless told otherwise: one named Execute sent to the topic's
    // object is a one-way execute.
    bus.connect(QString(), object_path(topic_), kInterface, QStringLiteral("Execute"), this,
                SLOT(execute_signalled(QString, QDBusMessage)));
    qCDebug(lcDde).noquote() << "offering" << name << "topic" << topic_;
    service_ = service;
    bus_name_ = name;
    active_ = true;
    watcher_ = new QDBusServiceWatcher(this);
    watcher_->setConnection(bus);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &Source::client_gone);
    return true;
}

void Source::stop() {
    // Executes still waiting are not run on a topic that is gone.
    const QList<PendingExecute> waiting = std::exchange(pending_, {});
    for (const PendingExecute& p : waiting) {
        qCDebug(lcDde).noquote() << "execute not run, the topic is gone:" << p.command;
        answer(p.call, false);
    }
    advises_.clear();
    last_text_.clear();
    advise_timer_->stop();
    if (watcher_) {
        delete watcher_;
        watcher_ = nullptr;
    }
    if (!active_) return;
    active_ = false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(QString(), object_path(topic_), kInterface, QStringLiteral("Execute"), this,
                   SLOT(execute_signalled(QString, QDBusMessage)));
    bus.unregisterObject(object_path(topic_));
    bus.unregisterService(bus_name_);
}

bool Source::execute(const QString& command) {
    if (!handler_) return true;
    const bool accepted = handler_(command);
    check_advises();
    return accepted;
}

void Source::execute_signalled(const QString& command, const QDBusMessage& signal) {
    if (!refused_as_too_long(command, signal)) queue_execute(command, signal);
}

void Source::queue_execute(const QString& command, const QDBusMessage& call) {
    const bool one_way = !call.isReplyRequired();
    qCDebug(lcDde).noquote() << (one_way ? "one-way execute from" : "execute from") << call.service()
                             << "received:" << command;
    if (pending_.size() >= kMaxWaitingExecutes) {
        qCWarning(lcDde).noquote() << "execute from" << call.service() << "refused," << pending_.size()
                                   << "executes wait already:" << command.left(80);
        answer(call, false);
        return;
    }
    PendingExecute e{command, call, {}, !one_way};
    e.since.start();
    pending_.append(e);
    // Only a caller that waits for the acknowledgement is watched: its leaving decides whether
    // the execute still runs.
    if (e.waits) watch(call.service());
    if (!executing_) post_next_execute();
}

// A caller that sent its execute without waiting for a reply gets none.
void Source::answer(const QDBusMessage& call, bool accepted) {
    if (call.isReplyRequired()) QDBusConnection::sessionBus().send(call.createReply(accepted));
}

// An execute runs from the event loop, never inside the bus call that brought it: the calls that
// came in behind it (a Request, more executes) are taken in first, and between two executes the
// event loop has its turn.
void Source::post_next_execute() {
    if (next_posted_) return;
    next_posted_ = true;
    QMetaObject::invokeMethod(this, &Source::run_next_execute, Qt::QueuedConnection);
}

void Source::run_execute(const PendingExecute& e) {
    executing_ = true;
    const bool accepted = execute(e.command);
    executing_ = false;
    qCDebug(lcDde).noquote() << "execute" << e.command << (accepted ? "run" : "refused");
    if (e.waits) answer(e.call, accepted);
    if (!pending_.isEmpty()) post_next_execute();
}

void Source::run_next_execute() {
    next_posted_ = false;
    // Posted while an execute ran and reached through its event pump: that run posts again
    // when it ends.
    if (executing_ || pending_.isEmpty()) return;
    const PendingExecute next = pending_.takeFirst();
    release(next.call.service());
    run_execute(next);
}

QWidget* Source::find_item(const QString& item) const {
    if (item.isEmpty()) return nullptr;
    const QList<QWidget*> all = form_->findChildren<QWidget*>();
    for (QWidget* w : all)
        if (is_item(w) && w->objectName().compare(item, Qt::CaseInsensitive) == 0) return w;
    return nullptr;
}

bool Source::request(const QString& item, QString* text) const {
    const QWidget* w = find_item(item);
    if (!w) return false;
    *text = text_of(w);
    return true;
}

bool Source::poke(const QString& item, const QString& text) {
    QWidget* w = find_item(item);
    if (!w) return false;
    if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(text);
    check_advises();
    return true;
}

bool Source::advise(const QString& client, const QString& item) {
    const QWidget* w = find_item(item);
    if (!w) return false;
    const QString key = w->objectName().toLower();
    if (!last_text_.contains(key)) last_text_.insert(key, text_of(w));
    watch(client);
    advises_[client].insert(key);
    advise_timer_->start();
    return true;
}

void Source::unadvise(const QString& client, const QString& item) {
    auto it = advises_.find(client);
    if (it == advises_.end()) return;
    it->remove(item.toLower());
    if (it->isEmpty()) forget_advises(client);
}

// A client is watched while it has hot links or executes waiting, so that its leaving ends them.
void Source::watch(const QString& client) {
    if (watcher_ && !watcher_->watchedServices().contains(client)) watcher_->addWatchedService(client);
}

void Source::release(const QString& client) {
    if (!watcher_ || advises_.contains(client)) return;
    for (const PendingExecute& p : std::as_const(pending_))
        if (p.waits && p.call.service() == client) return;
    watcher_->removeWatchedService(client);
}

void Source::forget_advises(const QString& client) {
    advises_.remove(client);
    release(client);
    // Items nobody watches any more are forgotten.
    QSet<QString> watched;
    for (const QSet<QString>& items : std::as_const(advises_))
        watched.unite(items);
    for (auto it = last_text_.begin(); it != last_text_.end();)
        it = watched.contains(it.key()) ? std::next(it) : last_text_.erase(it);
    if (advises_.isEmpty()) advise_timer_->stop();
}

void Source::client_gone(const QString& client) {
    // A caller that left at once never waited for the answer: its executes still run. One that
    // left later gave up waiting: nobody wants its executes any more, and they are not run.
    for (PendingExecute& p : pending_)
        if (p.waits && p.call.service() == client && p.since.elapsed() <= kLeftAtOnceMs) p.waits = false;
    const auto n =
        pending_.removeIf([&](const PendingExecute& p) { return p.waits && p.call.service() == client; });
    if (n > 0) qCDebug(lcDde).noquote() << n << "executes dropped, their caller" << client << "left";
    forget_advises(client);
}

int Source::advise_count() const {
    int n = 0;
    for (const QSet<QString>& items : advises_)
        n += static_cast<int>(items.size());
    return n;
}

void Source::check_advises() {
    if (advises_.isEmpty()) return;
    for (auto it = last_text_.begin(); it != last_text_.end(); ++it) {
        const QWidget* w = find_item(it.key());
        if (!w) continue;
        const QString text = text_of(w);
        if (text == it.value()) continue;
        it.value() = text;
        for (auto c = advises_.cbegin(); c != advises_.cend(); ++c)
            if (c->contains(it.key())) send_changed(c.key(), w->objectName(), text);
    }
}

void Source::send_changed(const QString& client, const QString& item, const QString& text) {
    if (active_) object_->emit_changed(client, item, text);
}

} // namespace dde

#include "dde.moc"

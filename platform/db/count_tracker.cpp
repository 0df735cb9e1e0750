#include "platform/db/count_tracker.h"

#include "platform/db/sql_error.h"

#include <QSqlQuery>
#include <algorithm>

namespace adodb {

KnownCounts::KnownCounts(QSqlDatabase db) : db_(std::move(db)) {}

KnownCounts::~KnownCounts() = default;

WriteStamp KnownCounts::stamp() {
    if (!stamp_query_) {
        stamp_query_ = std::make_unique<QSqlQuery>(db_);
        stamp_query_->setForwardOnly(true);
        if (!stamp_query_->prepare(
                QStringLiteral("SELECT data_version, total_changes() FROM pragma_data_version"))) {
            stamp_query_.reset();
            return {};
        }
    }
    WriteStamp s;
    if (stamp_query_->exec() && stamp_query_->next())
        s = {stamp_query_->value(0).toLongLong(), stamp_query_->value(1).toLongLong()};
    stamp_query_->finish();
    return s;
}

std::optional<int> KnownCounts::count_at(const QString& from_where, const WriteStamp& now) const {
    for (const Known& k : known_)
        if (k.from_where == from_where && k.at == now) return k.count;
    return std::nullopt;
}

void KnownCounts::remember(const QString& from_where, int count, const WriteStamp& at) {
    auto it = std::find_if(known_.begin(), known_.end(),
                           [&](const Known& k) { return k.from_where == from_where; });
    if (it != known_.end()) {
        it->count = count;
        it->at = at;
        return;
    }
    if (known_.size() >= 8) known_.erase(known_.begin());
    known_.push_back({from_where, count, at});
}

void CountTracker::reset() {
    count_ = 0;
    counted_at_ = {};
}

bool CountTracker::load(KnownCounts& counts, const QString& from_where, bool reuse, QString* error) {
    // Taken before counting: a commit by another connection while the count runs moves it.
    const WriteStamp now = counts.stamp();
    if (reuse && now.valid()) {
        if (const auto known = counts.count_at(from_where, now)) {
            count_ = *known;
            counted_at_ = now;
            return true;
        }
    }
    QSqlQuery q(counts.database());
    if (!q.exec(QStringLiteral("SELECT COUNT(*)") + from_where) || !q.next()) {
        *error = sql_error(q);
        counted_at_ = {};
        return false;
    }
    count_ = q.value(0).toInt();
    counted_at_ = now;
    if (now.valid()) counts.remember(from_where, count_, now);
    return true;
}

bool CountTracker::change(KnownCounts& counts, const QString& from_where, int affected, int delta) {
    const WriteStamp after = counts.stamp();
    const bool in_step = counted_at_.valid() && after.valid() && after.version == counted_at_.version &&
                         after.changes == counted_at_.changes + affected;
    if (!in_step) {
        QString ignored;
        if (load(counts, from_where, false, &ignored)) return false;
    }
    count_ = std::max(0, count_ + delta);
    if (!in_step) return false;
    counted_at_ = after;
    counts.remember(from_where, count_, after);
    return true;
}

} // namespace adodb

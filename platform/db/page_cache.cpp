#include "platform/db/page_cache.h"

#include <algorithm>

namespace adodb {

const std::vector<Row>* PageCache::find(int page) const {
    const auto it = pages_.find(page);
    return it == pages_.end() ? nullptr : &it->second;
}

const std::vector<Row>& PageCache::keep(int page, std::vector<Row> rows, int spare) {
    if (pages_.size() >= kMaxPages && !pages_.count(page)) {
        auto oldest = order_.begin();
        if (*oldest == spare && order_.size() > 1) ++oldest;
        pages_.erase(*oldest);
        order_.erase(oldest);
    }
    if (!pages_.count(page)) order_.push_back(page);
    return pages_[page] = std::move(rows);
}

void PageCache::erase(int page) {
    order_.erase(std::remove(order_.begin(), order_.end(), page), order_.end());
    pages_.erase(page);
}

void PageCache::clear() {
    pages_.clear();
    order_.clear();
}

int PageCache::added(const Row& added, int count, const SortsBefore& sorts_before,
                     const Neighbour& neighbour) {
    std::vector<int> ps;
    for (const auto& kv : pages_)
        ps.push_back(kv.first);
    // The first page whose last record comes after the added one (pages are in order).
    size_t lo = 0, hi = ps.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        const std::vector<Row>& rows = pages_[ps[mid]];
        const auto before =
            rows.empty() ? std::optional<bool>() : sorts_before(added.rowid, rows.back().rowid);
        if (!before) {
            clear();
            return -1;
        }
        if (*before)
            hi = mid;
        else
            lo = mid + 1;
    }
    const int old_count = count - 1;
    int at = -1;
    if (lo > 0) {
        // After every record of a last page that is not full: it ends the records.
        std::vector<Row>& rows = pages_[ps[lo - 1]];
        const int p = ps[lo - 1];
        if (rows.size() < static_cast<size_t>(kPageSize) &&
            p * kPageSize + static_cast<int>(rows.size()) == old_count) {
            at = p * kPageSize + static_cast<int>(rows.size());
            rows.push_back(added);
            return at;
        }
    }
    std::optional<Row> carry; // the record pushed out of page `carried_from`
    int carried_from = -2;
    for (size_t i = lo; i < ps.size(); ++i) {
        const int p = ps[i];
        std::vector<Row>& rows = pages_[p];
        if (rows.empty()) {
            erase(p);
            continue;
        }
        size_t place = 0; // where the record moving in goes
        std::optional<Row> moving_in;
        if (i == lo) {
            const auto before_first = sorts_before(added.rowid, rows.front().rowid);
            if (!before_first) {
                clear();
                return -1;
            }
            if (!*before_first) {
                // Inside the page: after its first record, before its last.
                size_t a = 1, b = rows.size() - 1;
                while (a < b) {
                    const size_t mid = (a + b) / 2;
                    const auto before = sorts_before(added.rowid, rows[mid].rowid);
                    if (!before) {
                        clear();
                        return -1;
                    }
                    if (*before)
                        b = mid;
                    else
                        a = mid + 1;
                }
                place = a;
                moving_in = added;
            } else if (i > 0 && ps[i - 1] == p - 1) {
                moving_in = added; // between the page before (kept as it is) and this one
            }
        } else if (carried_from == p - 1) {
            moving_in = std::move(carry);
        }
        carry.reset();
        carried_from = p;
        if (!moving_in) moving_in = neighbour(rows.front(), false);
        if (!moving_in) {
            erase(p);
            continue;
        }
        if (moving_in->rowid == added.rowid) at = p * kPageSize + static_cast<int>(place);
        rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(place), std::move(*moving_in));
        if (rows.size() > static_cast<size_t>(kPageSize)) {
            carry = std::move(rows.back());
            rows.pop_back();
        }
    }
    return at;
}

void PageCache::deleted(int position, qint64 rowid, int count, const Neighbour& neighbour) {
    std::vector<int> ps;
    for (const auto& kv : pages_)
        if ((kv.first + 1) * kPageSize > position) ps.push_back(kv.first);
    for (const int p : ps) {
        std::vector<Row>& rows = pages_[p];
        const int start = p * kPageSize;
        const bool was_full = rows.size() == static_cast<size_t>(kPageSize);
        const size_t gone = position >= start ? static_cast<size_t>(position - start) : 0;
        if (gone >= rows.size() || (position >= start && rows[gone].rowid != rowid)) {
            erase(p);
            continue;
        }
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(gone));
        bool ok = true;
        if (was_full && !rows.empty() && start + static_cast<int>(rows.size()) < count) {
            const auto next = pages_.find(p + 1);
            if (next != pages_.end() && !next->second.empty()) {
                rows.push_back(next->second.front());
            } else {
                std::optional<Row> succ = neighbour(rows.back(), true);
                ok = succ.has_value();
                if (ok) rows.push_back(std::move(*succ));
            }
        }
        if (!ok || rows.empty()) erase(p);
    }
}

} // namespace adodb

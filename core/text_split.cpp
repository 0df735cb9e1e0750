#include "core/text_split.h"

#include "core/core_state.h"

namespace {

template <typename Text> Text trimmed_of_blanks(const Text& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == ' ')
        ++b;
    while (e > b && s[e - 1] == ' ')
        --e;
    return s.mid(b, e - b);
}

} // namespace

QString trim_blanks(const QString& s) {
    return trimmed_of_blanks(s);
}
QByteArray trim_blanks(const QByteArray& s) {
    return trimmed_of_blanks(s);
}

namespace {

constexpr int kWordSlots = 101;

// Stores one word at `index`; lines with more words than the list holds keep the first ones.
void store(int index, const QString& w) {
    if (index >= 0 && index < kWordSlots) core.word[index] = trim_blanks(w);
}

void split(QString& line, QChar separator) {
    core.word_count = 0;
    for (int i = 0; i < 50; ++i)
        core.word[i].clear();
    line = trim_blanks(line);
    if (line.isEmpty()) return;

    int count = 0; // words found so far, may pass the list's size; core.word_count is capped
    QString current;
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = line[i];
        if (c != separator) {
            current += c;
            if (i == n - 1) {
                store(count, current);
                ++count;
                break;
            }
            ++i;
            continue;
        }
        // A separator ends the current word; the blanks after it are skipped.
        ++count;
        qsizetype j = i + 1;
        while (j < n && line[j] == u' ')
            ++j;
        store(count - 1, current);
        current.clear();
        i = j;
    }
    core.word_count = static_cast<int16_t>(count < kWordSlots ? count : kWordSlots);
}

} // namespace

void parse_words(QString& line) {
    split(line, u' ');
}
void parse_tab_fields(QString& line) {
    split(line, u'\t');
}

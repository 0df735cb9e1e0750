#pragma once
// The two splitters that fill the shared word list core.word / core.word_count.
#include <QByteArray>
#include <QString>

// The text without leading and trailing blanks (spaces only; tabs, CR and LF stay), as the
// program trims its texts.
QString trim_blanks(const QString& s);
QByteArray trim_blanks(const QByteArray& s);

// Splits `line` at runs of blanks. `line` is trimmed of blanks in place. Entries 0 to 49 are
// cleared first; entries 50 to 100 keep what an earlier split left there unless overwritten.
void parse_words(QString& line);
// Splits `line` at tab characters; blanks after a tab are skipped and every field is trimmed.
// Two tabs in a row give an empty field; a tab at the end adds no empty field after it.
void parse_tab_fields(QString& line);

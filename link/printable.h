#pragma once

#include <QString>
#include <QStringView>

// `text` with every control character (C0, DEL and C1) shown as "\xNN", so
// that a name or a reply from the generator cannot steer a terminal when it
// is printed.
QString PrintableText(QStringView text);

// `text` cut to its first `max` characters, with a note of how long it was.
QString ShortenedText(const QString& text, qsizetype max);

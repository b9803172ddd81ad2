#pragma once
// The split of a header field line into its name and value, shared by every
// reader of a message header.

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

struct TChampEntete {
    QByteArray Nom;        // the text before the first colon, trimmed, lower case
    QByteArrayView Valeur; // everything after that colon, as written
};

// Splits at the first colon; no value when the line holds none. A line that
// begins with a blank is split as any other: continuation lines are the
// caller's business. Each caller trims the value by its own rule.
std::optional<TChampEntete> SeparerChampEntete(QByteArrayView ligne);

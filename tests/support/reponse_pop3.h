#pragma once
// What a POP3 client makes of a multi-line answer, for the tests and the fuzz
// targets of the rewriting. Header-only: the fuzz targets link no test support.
#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace testsupport {

// The lines from `debut` up to the first lone ".", each with its leading dot
// removed. Nothing when the answer does not end exactly at that terminator.
inline std::optional<QByteArray> lireReponsePOP(const QByteArray& octets, qsizetype debut = 0) {
    QByteArray texte;
    while (debut < octets.size()) {
        const qsizetype fin = octets.indexOf("\r\n", debut);
        if (fin < 0) return std::nullopt;
        QByteArrayView ligne(octets.constData() + debut, fin - debut);
        debut = fin + 2;
        if (ligne == ".") {
            if (debut != octets.size()) return std::nullopt;
            return texte;
        }
        if (ligne.startsWith('.')) ligne = ligne.sliced(1);
        texte.append(ligne);
        texte.append("\r\n");
    }
    return std::nullopt;
}

} // namespace testsupport

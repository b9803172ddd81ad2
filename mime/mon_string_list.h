#pragma once
// The line list of a decoded body. Its text setter splits at CR, LF or CR LF
// over the whole length: zero bytes never end the text.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

class TMonStringList : public QList<QByteArray> {
public:
    // Replaces the lines with those of `texte` (a final line break adds no empty line).
    void setTexte(QByteArrayView texte);
    // The lines, each followed by CR LF.
    QByteArray Texte() const;
};

#include "core/dns_machine.h"

#include "core/cp1252.h"

#include <QFile>
#include <QHostAddress>

QByteArray PremierServeurDNS(const QString& resolvConf) {
    QFile f(resolvConf);
    if (!f.open(QIODevice::ReadOnly)) return {};
    // A resolver file is a few lines; a hostile or broken one must not be read whole.
    constexpr qint64 kTailleMax = 64 * 1024;
    const QByteArray contenu = f.read(kTailleMax);
    for (QByteArray ligne : contenu.split('\n')) {
        ligne = ligne.simplified();
        if (!ligne.startsWith("nameserver ") && !ligne.startsWith("nameserver\t")) continue;
        QByteArray valeur = ligne.mid(11).trimmed();
        const qsizetype fin = valeur.indexOf(' ');
        if (fin >= 0) valeur.truncate(fin);
        QHostAddress adresse;
        if (!adresse.setAddress(cp1252::versUnicode(valeur))) continue;
        if (adresse.protocol() != QAbstractSocket::IPv4Protocol) continue;
        return cp1252::depuisUnicode(adresse.toString());
    }
    return {};
}

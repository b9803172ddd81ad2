#pragma once
// Small helpers shared by the Bayesian filter suites.
#include "bayes/bayes_doc.h"
#include "bayes/mon_bayes_db.h"
#include "core/cp1252.h"

#include <QFile>
#include <QString>
#include <QStringList>

namespace bayestest {

// "mot=entete,texte,html" per token, in the document's order, blank-separated.
inline QString decrire(TBayesDoc& doc) {
    QStringList r;
    for (const auto& e : doc.Elements()) {
        r << cp1252::versUnicode(e->Mot) + QStringLiteral("=%1,%2,%3")
                                               .arg(e->CoteSpam.EnTete)
                                               .arg(e->CoteSpam.Texte)
                                               .arg(e->CoteSpam.Html);
    }
    return r.join(QLatin1Char(' '));
}

// "spam/bon" message counts, then "mot:" and the eight counts per token.
inline QString contenuBase(TMonBayesDB& b) {
    QStringList r{QStringLiteral("%1/%2").arg(b.NbSpamAppris).arg(b.NbBonAppris)};
    for (const auto& e : b.Elements()) {
        const TCompteMot& s = e->CoteSpam;
        const TCompteMot& g = e->CoteBon;
        r << cp1252::versUnicode(e->Mot) + QStringLiteral(":%1,%2,%3,%4,%5,%6,%7,%8")
                                               .arg(s.Total)
                                               .arg(g.Total)
                                               .arg(s.EnTete)
                                               .arg(s.Texte)
                                               .arg(s.Html)
                                               .arg(g.EnTete)
                                               .arg(g.Texte)
                                               .arg(g.Html);
    }
    return r.join(QLatin1Char(' '));
}

// UTF-8 source text to code page 1252 bytes.
inline QByteArray w(const char* utf8) {
    return cp1252::depuisLatin(utf8);
}

inline QByteArrayList lignes(std::initializer_list<const char*> l) {
    QByteArrayList r;
    for (const char* s : l)
        r << w(s);
    return r;
}

} // namespace bayestest

#include "tests/support/dovecot_peer.h"

#include <QDir>

namespace bayestest {

// The corpus folder printed by the fetch script (empty when it failed).
inline QString dossierCorpus() {
    return testsupport::dossierCorpus();
}

struct TMessageCorpus {
    QString groupe;
    QByteArray octets; // CR LF line ends, without the mbox "From " line
};

inline QByteArray preparerMessage(QByteArray brut) {
    if (brut.startsWith("From ")) {
        const qsizetype fin = brut.indexOf('\n');
        brut = fin < 0 ? QByteArray() : brut.mid(fin + 1);
    }
    brut.replace("\r\n", "\n");
    brut.replace("\n", "\r\n");
    return brut;
}

inline QList<TMessageCorpus> lireCorpus(const QString& dossier) {
    QList<TMessageCorpus> r;
    for (const QString& groupe :
         {u"easy-ham-1"_qs, u"easy-ham-2"_qs, u"hard-ham-1"_qs, u"spam-1"_qs, u"spam-2"_qs}) {
        const QDir d(QDir(dossier).filePath(groupe));
        for (const QString& nom : d.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
            QFile f(d.filePath(nom));
            if (f.open(QIODevice::ReadOnly)) r.append({groupe, preparerMessage(f.readAll())});
        }
    }
    return r;
}

} // namespace bayestest

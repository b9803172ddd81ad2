#pragma once
// Small helpers shared by the Bayesian filter suites.
#include "bayes/bayes_doc.h"
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

#include <QDir>
#include <QProcess>

namespace bayestest {

// The corpus folder printed by the fetch script (empty when it failed).
inline QString dossierCorpus() {
    QProcess p;
    p.start(QStringLiteral("bash"),
            {QStringLiteral(KELVARIN_SOURCE_DIR "/scripts/fetch-corpus.sh")});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
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

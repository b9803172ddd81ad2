#pragma once
// Small helpers shared by the Bayesian filter suites.
#include "bayes/bayes_doc.h"
#include "core/cp1252.h"

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

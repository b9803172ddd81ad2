// The filter's operations on a whole message, through the MIME decoder.
#include "bayes/filtre_bayes.h"

#include "bayes/texte_bayes.h"
#include "core/cp1252.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "mime/mon_mime_decode.h"

#include <QElapsedTimer>

#include <cstring>
#include <exception>

namespace {

TEncodageDecodage& encodage(TMonMimeDecode& decodeur) {
    TEncodageDecodage* e = decodeur.EncodageDecodage();
    if (!e) throw EMimeDecode(QStringLiteral("TMonMimeDecode : EncodageDecodage non défini"));
    return *e;
}

// Position of the first ": " of a header line, or -1.
qsizetype deuxPointsBlanc(const QByteArray& ligne) {
    const char* debut = ligne.constData();
    const char* fin = debut + ligne.size();
    for (const char* p = debut; p < fin;) {
        p = static_cast<const char*>(std::memchr(p, ':', size_t(fin - p)));
        if (!p || p + 1 >= fin) return -1;
        if (p[1] == ' ') return p - debut;
        ++p;
    }
    return -1;
}

} // namespace

void TFiltreBayes::ConstruireTexteBayes(TMonMimeDecode& decodeur, QByteArrayView message,
                                        int32_t& finTexte, int32_t& finEntetes,
                                        QByteArray& sortie) {
    decodeur.setIgnorePJ(true);
    decodeur.Reinitialiser();
    sortie.resize(0); // the buffer of the previous message is reused
    finTexte = finEntetes = 0;
    decodeur.Decoder(message);
    const TEncodageDecodage& enc = encodage(decodeur);
    // A plain part of a few blank lines counts as none, for the review page too.
    if (bayes::plainSansTexte(decodeur.MessagePlain())) decodeur.MessagePlain().clear();
    qsizetype taille = bayes::tailleCorps(decodeur.MessagePlain(), decodeur.MessageHtml());
    for (const QByteArray& ligne : decodeur.LignesEntete())
        taille += ligne.size() + 2;
    sortie.reserve(taille);
    QByteArray nom; // lower-case field name, one buffer for all
    for (const QByteArray& ligne : decodeur.LignesEntete()) {
        // Not the shared field split: the Bayesian text takes a field only at
        // its first ": ", so "Subject:x" gives nothing; the stored bases rely on it.
        const qsizetype deuxPoints = deuxPointsBlanc(ligne);
        if (deuxPoints < 0) continue;
        nom.resize(deuxPoints);
        std::memcpy(nom.data(), ligne.constData(), size_t(deuxPoints));
        cp1252::enMinuscules(nom);
        if (m_base->EnteteIgnoree(nom)) continue;
        enc.DecoderEnteteCp1252(QByteArrayView(ligne).sliced(deuxPoints + 2), sortie);
        sortie.append("\r\n");
    }
    bayes::ajouterCorps(sortie, decodeur.MessagePlain(), decodeur.MessageHtml(), finTexte,
                        finEntetes);
}

void TFiltreBayes::AppliquerBayes(TBayesDoc& doc, TMonMimeDecode& decodeur, bool apprendre,
                                  bool avecSujet, QByteArrayView message, bool estSpam) {
    ChargerBase();
    try {
        int32_t finTexte = 0, finEntetes = 0;
        ConstruireTexteBayes(decodeur, message, finTexte, finEntetes, m_texteBayes);
        QByteArray prefixe;
        if (avecSujet) {
            QByteArray sujet;
            encodage(decodeur).DecoderEnteteCp1252(decodeur.SujetBrut(), sujet);
            prefixe = PrefixeSujet(sujet);
        }
        doc.Analyser(m_texteBayes, finEntetes, prefixe, finTexte);
        if (apprendre) m_base->Apprendre(doc, estSpam);
    } catch (const std::exception& e) {
        TraceFormat(-1, Res("princ30", u"Exception : AppliquerBayes : %s"), TexteErreur(e));
    }
}

bool TFiltreBayes::ScoreBayes(TMonMimeDecode& decodeur, QByteArrayView message, int session,
                              double& pctBon, double& pctSpam) {
    QElapsedTimer chrono;
    chrono.start();
    AppliquerBayes(DocReception, decodeur, false, true, message, false);
    EvaluerDoc(DocReception, false);
    pctBon = m_base->ProbaBon * 100;
    pctSpam = m_base->ProbaSpam * 100;
    TraceFormat(session, Res("princ100", u"création bayes (%d ms)"),
                static_cast<qint64>(chrono.elapsed()));
    return pctSpam > 50;
}

void TFiltreBayes::CalculerBayesMessage(TCalculBayesMessage& record, TMonMimeDecode& decodeur,
                                        QByteArrayView message, QByteArrayView emailCompte) {
    AppliquerBayes(DocAffichage, decodeur, false, true, message, false);
    EvaluerDoc(DocAffichage, true);
    record.PctBon = m_base->ProbaBon * 100;
    record.PctSpam = m_base->ProbaSpam * 100;
    if (record.ProbaBayes < 0) record.ProbaBayes = static_cast<int32_t>(record.PctSpam * 10);
    record.Calcule = true;
    if (!emailCompte.isEmpty()) {
        record.DansTo = cp1252::minuscules(decodeur.ABrut()).contains(emailCompte);
        record.DansCc = cp1252::minuscules(decodeur.CcBrut()).contains(emailCompte);
    } else {
        record.DansTo = record.DansCc = false;
    }
}

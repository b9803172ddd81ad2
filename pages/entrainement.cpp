#include "pages/entrainement.h"

#include "accounts/un_message_mem.h"
#include "bayes/filtre_bayes.h"

bool EntrainerCorrection(TFiltreBayes& filtre, TMonMimeDecode& decodeur,
                         const TUnMessageMem& record, QByteArrayView message, TEntrainement quoi) {
    if (!record.TestBayes) return false;
    if (quoi == enSuppression) {
        if (record.ListeBlanche || record.ListeNoire || record.HorsDestinataire) return false;
    } else if (record.Spam == (quoi == enVersSpam)) {
        return false;
    }
    TBayesDoc& doc = filtre.DocAffichage;
    filtre.AppliquerBayes(doc, decodeur, false, true, message, false);
    TMonBayesDB& base = filtre.Base();
    switch (quoi) {
    case enVersSpam:
        base.Desapprendre(doc, false);
        base.Apprendre(doc, true);
        break;
    case enVersBon:
        base.Desapprendre(doc, true);
        base.Apprendre(doc, false);
        break;
    case enSuppression:
        base.Desapprendre(doc, record.Spam);
        break;
    }
    return true;
}

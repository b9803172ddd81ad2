// The knowledge base "bayes.qdl" and its two ignore lists. The first byte
// picks the file. Loaded, saved, loaded and saved again, both saves are the
// same bytes.
#include "bayes/mon_bayes_db.h"
#include "fuzz/commun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    if (size == 0) return 0;
    fuzz::ViderRepertoire();
    const QString rep = fuzz::Repertoire();
    const QString fichier = rep + QStringLiteral("bayes.qdl");
    const QByteArray contenu = fuzz::Octets(data + 1, size - 1);
    switch (data[0] % 3) {
    case 0:
        fuzz::EcrireFichier(QStringLiteral("bayes.qdl"), contenu);
        break;
    case 1:
        fuzz::EcrireFichier(TMonBayesDB::NomMotsIgnores(), contenu);
        break;
    default:
        fuzz::EcrireFichier(TMonBayesDB::NomEntetesIgnorees(), contenu);
        break;
    }
    TMonBayesDB base(fichier, rep);
    if (data[0] % 3 != 0) {
        const QByteArray mots = base.GetMotsIgnores(), entetes = base.GetEntetesIgnorees();
        (void)base.SauverListesIgnorees();
        TMonBayesDB relue(fichier, rep);
        if (relue.GetMotsIgnores() != mots)
            fuzz::Echec("ignored words", mots, relue.GetMotsIgnores());
        if (relue.GetEntetesIgnorees() != entetes)
            fuzz::Echec("ignored headers", entetes, relue.GetEntetesIgnorees());
        (void)relue.MotIgnore("viagra");
        (void)relue.EnteteIgnoree("received");
        return 0;
    }
    (void)base.Probabilite("viagra", 5);
    (void)base.CompteSpam("offer", 3);
    if (base.NbMots() == 0 || base.FichierIllisible()) return 0;
    base.Modifie = true;
    if (!base.Sauver()) return 0;
    const QByteArray premier = fuzz::LireFichier(fichier);
    TMonBayesDB relue(fichier, rep);
    relue.Modifie = true;
    (void)relue.Sauver();
    const QByteArray second = fuzz::LireFichier(fichier);
    if (premier != second) fuzz::Echec("bayes.qdl saved twice", premier, second);
    return 0;
}
